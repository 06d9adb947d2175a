"""Signed updates: the Updater built with the test keys (tests/keys) installs
an update whose "move.xml" one of its keys signed, and refuses every
tampered one with nothing installed, autoTemp as it was and the product told
why. The keyless Updater runs every other scenario unchanged."""

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


def signed_update(s, files=NEW, signed=True):
    """A fresh install directory with the signed Updater (with signed False,
    the keyless one), the old files installed and files {path: content}
    staged and signed."""
    s.signed = signed
    s.reset()
    for rel, content in OLD.items():
        s.write(rel, content)
    s.staged_update(files)


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
        if other_user:
            for rel in NEW:
                os.chown(s.path("autoTemp\\" + rel), 65534, 65534)
                os.chmod(s.path("autoTemp\\" + rel), 0o666)
        run = s.run("updater")
        try:
            if error is None:
                s.expect_outcome(run)
                s.expect_files(NEW)
                s.expect_tree("autoTemp", INSTALLED_TREE)
                if other_user:
                    # Whoever staged them cannot change them where they landed.
                    expect_equal("owner and mode of the installed files",
                                 {(os.stat(s.path(rel)).st_uid, os.stat(s.path(rel)).st_mode & 0o7777) for rel in NEW},
                                 {(0, 0o644)})
            else:
                s.expect_outcome(run, error=error.format(self=s.self_name))
                s.expect_files({**OLD, "bin\\c.dll": None, LONG: None})
                s.expect_tree("autoTemp", staged)
        except Failure as failure:
            raise Failure(f"{what}: {failure}")
    signed_update(s, signed=False)
    s.expect_outcome(s.run("updater"))
    s.expect_files(NEW)


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
def staged_file_replaced_during_the_pause(s):
    """Another process goes for a staged file after its verification.
    Windows: the Updater holds it, so deleting, replacing and opening it for
    writing all fail, and the verified bytes are installed. POSIX: nothing
    can refuse it, so the move finds the file changed (another file under its
    name, or the same file written) and the installation is refused and undone."""
    target = "autoTemp\\bin\\b.dll"
    if s.wine:
        signed_update(s)
        s.write("evil.dll", "evil")
        report = os.path.join(s.base, "tamper.txt")
        with open(report, "wb") as out:
            helper = subprocess.Popen(s.command(s.options.helper, "tamper-when", "autolog", "600", target,
                                                "evil.dll"), cwd=s.dir, env=s.env, stdout=out,
                                      stderr=subprocess.DEVNULL)
            run = s.run("updater")
            helper.wait(timeout=120)
        with open(report, "rb") as f:
            codes = dict(word.split("=") for word in f.read().decode().split())
        expect_equal("calls the helper tried", sorted(codes), ["delete", "replace", "write"])
        for call, code in codes.items():
            if code == "0":
                raise Failure(f"the {call} of the held staged file succeeded: {codes}")
        s.expect_outcome(run)
        s.expect_files({**NEW, "evil.dll": "evil"})
        return
    for attack in ("replace", "rewrite"):
        signed_update(s)
        staged_tree = s.tree("autoTemp")
        s.write("evil.dll", "evil")
        act = (lambda: os.replace(s.path("evil.dll"), s.path(target))) if attack == "replace" else \
            (lambda: rewrite(s.path(target)))
        thread = after_verification(s, act)
        run = s.run("updater")
        thread.join()
        try:
            s.expect_outcome(run, error="bin\\b.dll暂存文件已被更改 （1006）")
            s.expect_files({**OLD, LONG: None})
            s.expect_tree("autoTemp", staged_tree)
        except Failure as failure:
            raise Failure(f"{attack}: {failure}")


def forged_journal():
    """A journal as the Updater writes it, of an installation that replaced
    victim.txt and kept the old file as backup 0: its recovery renames the
    backup, which the forger made, into the installation."""
    text = "\ufeffupdater installation journal 1\r\nbackups\t~rollback1\r\nreplace\tvictim.txt\t0\r\n"
    data = text.encode("utf-16-le")
    return data + f"end\t3\t{hashlib.md5(data).hexdigest()}\r\n".encode("utf-16-le")


@scenario
def journal_in_staging_directory_ignored(s):
    """Whoever stages updates can write autoTemp\\; a journal forged there has
    the keyless Updater's recovery install the forger's file (the control:
    the forgery is one the recovery takes). The signed Updater keeps its
    journals in its own directory, never reads one in autoTemp\\, and installs."""
    for signed in (False, True):
        signed_update(s, {"a.txt": "new a"}, signed)
        s.write("victim.txt", "installed")
        s.write("autoTemp\\~rollback1.journal", forged_journal())
        s.write("autoTemp\\~rollback1\\0", "the forger's file")
        run = s.run("updater")
        if not signed:
            expect_equal("the keyless Updater's recovery", (run.log[3:4], read(s, "victim.txt")),
                         (["发现中断的安装，已还原"], b"the forger's file"))
            continue
        s.expect_outcome(run)
        s.expect_files({"a.txt": "new a", "victim.txt": "installed",
                        "autoTemp\\~rollback1\\0": "the forger's file"})


@scenario.native_only
def open_file_limit(s):
    """A signed update holds every staged file open until its move: the soft
    limit on open files is raised towards the hard one, and an update that
    the hard limit cannot hold fails before anything is read."""
    import resource
    files = {f"many\\f{i}.txt": f"file {i}" for i in range(300)}
    for hard, error in ((4096, None), (256, "autoTemp\\打开文件失败 （4）")):
        signed_update(s, files)
        s.preexec = lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (128, hard))
        run = s.run("updater")
        s.preexec = None
        s.expect_outcome(run, error=error)
        if error is None:
            s.expect_files(files)
        else:
            s.expect_files({rel: None for rel in files})


@scenario.native_only
def signed_killed_at_every_change(s):
    """The Updater with the test keys cut short at each of its changes: its
    journal and backups live in its own directory, and so does its recovery."""
    s.signed = True
    s.reset()
    interruption_scenarios.killed_at_every_change(s)
