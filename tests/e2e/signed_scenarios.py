"""Signed updates: the Updater built with the test keys (tests/keys) installs
an update whose "move.xml" one of its keys signed, from copies of the staged
files of its own, and refuses every tampered one with nothing installed,
autoTemp as it was and the product told why. The keyless Updater runs every
other scenario unchanged."""

import hashlib
import os
import subprocess
import threading
import time

from scenario_runner import Failure, Registry, expect_equal
import interruption_scenarios

SCENARIOS = Registry()
scenario = SCENARIOS

OLD = {"a.txt": "old a", "bin\\b.dll": "old b"}
# The last path is longer than 260 characters: the move through a handle takes it whole.
LONG = "bin\\" + "l" * 130 + "\\" + "m" * 140 + ".dll"
NEW = {"a.txt": "new a", "bin\\b.dll": "new b" * 300, "bin\\c.dll": "new c", LONG: "new long"}
# What stays in autoTemp once NEW is installed: its directories.
INSTALLED_TREE = ["bin/", "bin/" + "l" * 130 + "/"]


def signed_update(s, files=NEW, signed=True, version="1.0.0", reset=True):
    """A fresh install directory (unless reset is False) with the signed
    Updater (with signed False, the keyless one), the old files installed and
    files {path: content} staged and signed as release version."""
    s.signed = signed
    if reset:
        s.reset()
        for rel, content in OLD.items():
            s.write(rel, content)
    s.staged_update(files, version)


def entries(s, files=NEW):
    return [[rel, hashlib.md5(c.encode()).hexdigest(), hashlib.sha256(c.encode()).hexdigest()]
            for rel, c in files.items()]


def read(s, rel):
    with open(s.path(rel), "rb") as f:
        return f.read()


def flip_byte(s):
    data = bytearray(read(s, "move.xml"))
    at = data.index(b'md5="') + 7
    data[at] = ord("1") if data[at] == ord("0") else ord("0")
    s.write("move.xml", bytes(data))


def without_sha256(s):
    listed = entries(s)
    listed[1][2] = None
    s.manifest(listed)


def wrong_sha256(s):
    listed = entries(s)
    listed[2][2] = hashlib.sha256(b"other").hexdigest()
    s.manifest(listed)


def own_file_wrong_sha256(s):
    """The Updater's own entry passes with a wrong md5, never with a wrong sha256."""
    s.stage(s.self_name, "a newer updater")
    s.manifest([[s.self_name, hashlib.md5(b"x").hexdigest(), hashlib.sha256(b"x").hexdigest()]] + entries(s))


def signature_text(s, change):
    s.write("move.xml.sig", change(read(s, "move.xml.sig").decode()))


def versioned(version):
    return lambda s: s.manifest(entries(s), version)


SIG = "move.xml.sig签名检测错误 "
# (what, how the signed update is spoiled, the message; None: it installs)
TAMPERING = [
    ("one byte of move.xml flipped", flip_byte, SIG + "（577）"),
    ("no move.xml.sig", lambda s: os.remove(s.path("move.xml.sig")), SIG + "（2）"),
    ("signed by a key the Updater does not trust", lambda s: s.sign("test-only-untrusted"), SIG + "（577）"),
    ("a signature of 127 digits", lambda s: signature_text(s, lambda t: t[1:]), SIG + "（13）"),
    ("a signature in upper case", lambda s: signature_text(s, str.upper), SIG + "（13）"),
    ("a blank after the signature", lambda s: signature_text(s, lambda t: t.strip() + " \n"), SIG + "（13）"),
    ("an entry without sha256", without_sha256, "SHA256检测错误 bin\\b.dll"),
    ("an entry with a wrong sha256", wrong_sha256, "SHA256检测错误 bin\\c.dll"),
    ("a staged file changed after signing", lambda s: s.stage("bin\\b.dll", "new b" * 299 + "new c"),
     "MD5检测错误 bin\\b.dll"),
    ("the Updater's own file with a wrong sha256", own_file_wrong_sha256, "SHA256检测错误 {self}"),
    ("no version", versioned(None), "move.xml版本号错误 （13）"),
    ("a version that is not one", versioned("1.x"), "move.xml版本号错误 （13）"),
    ("a version of five numbers", versioned("1.2.3.4.5"), "move.xml版本号错误 （13）"),
    ("a path into the private directory", lambda s: s.manifest(entries(s) + [["~updater\\version", "0" * 32, "0" * 64]]),
     "非法路径 ~updater\\version"),
    ("a CR LF after the signature", lambda s: signature_text(s, lambda t: t.strip() + "\r\n"), None),
    ("signed by the second trusted key", lambda s: s.sign("test-only-b"), None),
]


@scenario
def signed_update_installs_and_tampering_is_refused(s):
    """A signed update installs; each row of TAMPERING is refused with
    nothing installed, or installs where the row says so; the keyless Updater
    still installs the update unsigned."""
    # As root, natively: files staged by another user, writable by anyone.
    other_user = not s.wine and os.geteuid() == 0
    for what, spoil, error in TAMPERING:
        signed_update(s)
        spoil(s)
        staged = s.tree("autoTemp")
        for rel in NEW:
            # Writable by anyone (Wine shows the mode as an ACE for Everyone).
            os.chmod(s.path("autoTemp\\" + rel), 0o4777)
            if other_user:
                os.chown(s.path("autoTemp\\" + rel), 65534, 65534)
        run = s.run("updater")
        try:
            if error is None:
                s.expect_outcome(run)
                s.expect_files(NEW)
                s.expect_tree("autoTemp", INSTALLED_TREE)
                # Whoever staged them cannot change them where they landed.
                expect_equal("installed files others may write", others_may_write(s, list(NEW)), [])
                if other_user:
                    expect_equal("owner and mode of the installed files",
                                 {(os.stat(s.path(rel)).st_uid, os.stat(s.path(rel)).st_mode & 0o7777) for rel in NEW},
                                 {(0, 0o755)})
            else:
                s.expect_outcome(run, error=error.format(self=s.self_name))
                s.expect_files({**OLD, "bin\\c.dll": None, LONG: None})
                s.expect_tree("autoTemp", staged)
        except Failure as failure:
            raise Failure(f"{what}: {failure}")
    signed_update(s, signed=False)
    s.expect_outcome(s.run("updater"))
    s.expect_files(NEW)


def others_may_write(s, paths):
    """The paths that someone but the Updater's user (and on Windows
    Administrators and SYSTEM) owns or may write, as the platform layer reads
    their owner and DACL or mode."""
    out = subprocess.run(s.command(s.options.helper, "others-may-write", *paths), cwd=s.dir, env=s.env,
                         capture_output=True, timeout=120).stdout.decode().split()
    return [path for path, answer in zip(paths, out) if answer != "no"]


def after_verification(s, act):
    """Runs act in a thread once the Updater has verified the staged files and
    waits in its 1500 ms pause: 600 ms after its log appears (verifying a few
    small files takes milliseconds)."""
    def wait():
        deadline = time.monotonic() + 60
        while not os.path.exists(s.path("autolog")) and time.monotonic() < deadline:
            time.sleep(0.005)
        time.sleep(0.6)
        act()
    thread = threading.Thread(target=wait)
    thread.start()
    return thread


def rewrite(path):
    with open(path, "r+b") as f:
        f.write(b"evil")


@scenario
def staged_file_changed_around_the_run(s):
    """A staged file replaced or rewritten during the pause, or written through
    a descriptor opened for writing before the run and kept after it: the
    Updater installs its own copy of the bytes it verified, so what was
    installed stays the signed bytes, whatever happens to the staged file."""
    target = "autoTemp\\bin\\b.dll"
    for attack in ("replace", "rewrite", "descriptor"):
        signed_update(s)
        s.write("evil.dll", "evil")
        kept = open(s.path(target), "r+b") if attack == "descriptor" else None
        act = {"replace": lambda: os.replace(s.path("evil.dll"), s.path(target)),
               "rewrite": lambda: rewrite(s.path(target)),
               "descriptor": lambda: None}[attack]
        thread = after_verification(s, act)
        run = s.run("updater")
        thread.join()
        if kept is not None:
            kept.write(b"evil")
            kept.close()
        try:
            s.expect_outcome(run)
            s.expect_files({k: v for k, v in NEW.items()})
        except Failure as failure:
            raise Failure(f"{attack}: {failure}")


def forged_journal():
    """A journal as the Updater writes it, of an installation that replaced
    victim.txt and kept the old file as backup 0: its recovery renames the
    backup, which the forger made, into the installation."""
    text = "\ufeffupdater installation journal 1\r\nbackups\t~rollback1\r\nreplace\tvictim.txt\t0\r\n"
    data = text.encode("utf-16-le")
    return data + f"end\t3\t{hashlib.md5(data).hexdigest()}\r\n".encode("utf-16-le")


def plant_journal(s, where):
    s.write(where + "~rollback1.journal", forged_journal())
    s.write(where + "~rollback1\\0", "the forger's file")


@scenario
def forged_journals_are_never_followed(s):
    """Whoever stages updates can write autoTemp\\ and, as the product writes
    move.xml there, the Updater's directory. A journal forged in autoTemp\\
    has the keyless Updater's recovery install the forger's file (the
    control: the forgery is one the recovery takes). The signed Updater
    reads journals only in its private directory: not one beside it, not one
    in autoTemp\\, and not one in a private directory that someone else made,
    which it sets aside, unread, before it makes its own."""
    signed_update(s, {"a.txt": "new a"}, False)
    s.write("victim.txt", "installed")
    plant_journal(s, "autoTemp\\")
    run = s.run("updater")
    expect_equal("the keyless Updater's recovery", (run.log[3:4], read(s, "victim.txt")),
                 (["发现中断的安装，已还原"], b"the forger's file"))
    for where in ("", "autoTemp\\", "~updater\\"):
        signed_update(s, {"a.txt": "new a"})
        s.write("victim.txt", "installed")
        plant_journal(s, where)
        if where == "~updater\\":
            # Made by someone else: another owner, and anyone may write it.
            if not s.wine:
                os.chmod(s.path("~updater"), 0o777)
            os.chown(s.path("~updater"), 65534, 65534)
        run = s.run("updater")
        try:
            if where == "~updater\\":
                expect_equal("the line of the impostor", run.log[3:4], ["私有目录不可信，已移至~updater.untrusted1"])
                del run.log[3]
                s.expect_files({"~updater.untrusted1\\~rollback1\\0": "the forger's file"})
            s.expect_outcome(run)
            s.expect_files({"a.txt": "new a", "victim.txt": "installed"})
            expect_equal("the private directory's others", others_may_write(s, ["~updater"]), [])
        except Failure as failure:
            place = where or "the Updater's directory"
            raise Failure(f"a journal planted in {place}: {failure}")


@scenario
def older_releases_never_install_again(s):
    """The version mark: an older signed release after a newer one is refused
    before any staged file is read, and nothing changes; the same release
    again (1.5 is 1.5.0) and a newer one install."""
    signed_update(s, {"a.txt": "1.5.0"}, version="1.5.0")
    s.expect_outcome(s.run("updater"))
    for version, error in (("1.4.9", "move.xml版本过旧 1.4.9 （已安装 1.5.0）"), ("1.5", None), ("2.0.0.1", None),
                           ("1.5.0", "move.xml版本过旧 1.5.0 （已安装 2.0.0.1）")):
        signed_update(s, {"a.txt": version}, version=version, reset=False)
        staged = s.tree("autoTemp")
        run = s.run("updater")
        try:
            s.expect_outcome(run, error=error)
            if error is None:
                s.expect_files({"a.txt": version})
            else:
                s.expect_tree("autoTemp", staged)
        except Failure as failure:
            raise Failure(f"release {version}: {failure}")
    with open(s.path("~updater\\version"), "rb") as f:
        expect_equal("the mark", f.read().decode().split("\n")[0], "2.0.0.1")


@scenario.native_only
def signed_killed_at_every_change(s):
    """The Updater with the test keys cut short at each of its changes: its
    copies, journal and backups live in its private directory, and so does
    its recovery."""
    s.signed = True
    s.reset()
    interruption_scenarios.killed_at_every_change(s)
