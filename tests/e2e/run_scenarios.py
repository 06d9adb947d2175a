#!/usr/bin/env python3
"""End-to-end scenarios of the Updater.

Each scenario lays out a scratch install directory (the Updater copied in,
"move.xml", "autoTemp\\", installed files, the fake product as "mivato.exe"),
runs the Updater from another working directory, and checks the exit code,
the log's lines in order, the console lines, the product's command line and
the files afterwards.

    run_scenarios.py --updater U --signed-updater S --keys DIR --product P --locker L [--wine WINE_RUN] NAME...
    run_scenarios.py --list

With --wine the programs are the Windows build, run through tools/wine-run.sh.
Scenarios whose outcome differs by platform say so where they branch on
`s.wine`. S is the Updater built with the test keys of DIR (tests/keys);
a scenario that sets `s.signed` runs it, with signed manifests.
"""

import hashlib
import os
import re
import shutil
import subprocess
import sys
import time

from cryptography.hazmat.primitives.asymmetric.ed25519 import Ed25519PrivateKey

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from scenario_runner import Failure, Helpers, Registry, expect_equal, md5, product_record, run_main  # noqa: E402
import interruption_scenarios  # noqa: E402
import signed_scenarios  # noqa: E402

SCENARIOS = Registry()
scenario = SCENARIOS


def as_bytes(content):
    return content.encode("utf-8") if isinstance(content, str) else content


def sha256(content):
    return hashlib.sha256(content).hexdigest()


def xml_escape(text):
    return (text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace('"', "&quot;"))


TIMESTAMP = re.compile(r"\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\]")
TERMINATED = "发现进程并且成功结束"


class Run:
    """What one run of the Updater left: exit code, log messages, console lines."""

    def __init__(self, program, exit_code, log, stdout):
        self.program = program
        self.exit_code = exit_code
        self.log = log
        self.stdout = stdout
        self.arg0 = log[0] if log else None


class Scenario:
    def __init__(self, options, base):
        self.options = options
        self.wine = options.wine is not None
        self.exe = ".exe" if self.wine else ""
        self.base = base  # files that escaped the install directory would land here
        self.dir = os.path.join(base, "install")
        self.self_name = "updater" + self.exe
        self.env = dict(os.environ)
        self.helpers = Helpers(base, self.wine)
        self.signed = False  # the Updater with the test keys, and signed manifests
        self.preexec = None  # run in the Updater's process before it starts (POSIX)
        self.product_restarted = False  # by the last run, which told it so in the log
        self.reset()

    def reset(self):
        """A fresh install directory holding only the Updater and the product."""
        self.settle()
        shutil.rmtree(self.dir, ignore_errors=True)
        os.mkdir(self.dir)
        shutil.copy(self.options.signed_updater if self.signed else self.options.updater, self.path(self.self_name))
        shutil.copy(self.options.product, self.path("mivato.exe"))

    # ---- layout -------------------------------------------------------------

    def path(self, rel):
        return os.path.join(self.dir, *rel.replace("\\", "/").split("/"))

    def write(self, rel, content):
        path = self.path(rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(as_bytes(content))

    def stage(self, rel, content):
        self.write("autoTemp\\" + rel, content)

    def manifest(self, entries, version="1.0.0", removals=()):
        """entries: (path, md5) pairs or (path, md5, sha256) triples, or a
        dict of a file element's attributes besides the path as the fourth;
        None leaves an attribute out; removals: paths to remove. Signed with
        the first test key when signed, and then naming its release version
        (None: none)."""
        root = f'<update version="{version}">' if self.signed and version is not None else "<update>"
        lines = ['<?xml version="1.0" encoding="UTF-8"?>', root]
        for path, *digests in entries:
            more = digests.pop() if digests and isinstance(digests[-1], dict) else {}
            pairs = list(zip(("md5", "sha256"), digests)) + list(more.items())
            attributes = "".join(f' {name}="{xml_escape(value)}"' for name, value in pairs if value is not None)
            lines.append(f'  <file path="{xml_escape(path)}"{attributes}/>')
        lines += [f'  <remove path="{xml_escape(path)}"/>' for path in removals]
        lines.append("</update>")
        self.write("move.xml", "\n".join(lines) + "\n")
        if self.signed:
            self.sign()

    def sign(self, key="test-only-a"):
        """move.xml.sig for move.xml as it stands, signed with a key of tests/keys
        by Python's cryptography package (OpenSSL), not by the project's code."""
        with open(os.path.join(self.options.keys, key + ".key")) as f:
            private = Ed25519PrivateKey.from_private_bytes(bytes.fromhex(f.read().strip()))
        with open(self.path("move.xml"), "rb") as f:
            self.write("move.xml.sig", private.sign(f.read()).hex() + "\n")

    def staged_update(self, files, version="1.0.0", removals=()):
        """Stages files {path: content} and lists them with their digests."""
        for rel, content in files.items():
            self.stage(rel, content)
        self.manifest([(rel, md5(as_bytes(content)), sha256(as_bytes(content)) if self.signed else None)
                       for rel, content in files.items()], version, removals)

    def command(self, program, *args):
        return ([self.options.wine, program] if self.wine else [program]) + list(args)

    # ---- helpers that stay running -------------------------------------------

    def start_product(self, name="mivato.exe"):
        """Starts a copy of the fake product under name, running until released."""
        if name != "mivato.exe":
            shutil.copy(self.options.product, self.path(name))
        return self.helpers.start(self.command(self.path(name), "--stay"), self.dir, self.env)

    def hold(self, rel, mode):
        """Holds an installed file open: mode "exclusive" or "shared"."""
        return self.helpers.start(self.command(self.options.locker, mode, rel), self.dir, self.env)

    def release(self):
        self.helpers.release()

    # ---- running the Updater ---------------------------------------------------

    def settle(self):
        """Waits until the product the last run restarted has written its
        record: removing the directory or the record under it races with that
        write. A product that never writes is left to the scenario's checks."""
        if self.product_restarted:
            self.product_restarted = False
            try:
                product_record(self.path("product-cmdline.txt"), self.wine)
            except Failure:
                pass

    def run(self, *args, program=None):
        program = program or self.self_name
        self.settle()
        if os.path.exists(self.path("product-cmdline.txt")):
            os.remove(self.path("product-cmdline.txt"))
        stdout_path = os.path.join(self.base, "stdout")
        with open(stdout_path, "wb") as out:
            # Started from elsewhere: the Updater must make its own directory
            # the working directory.
            completed = subprocess.run(self.command(self.path(program), *args), cwd=self.base, env=self.env,
                                       stdout=out, stderr=subprocess.DEVNULL, preexec_fn=self.preexec,
                                       timeout=180 if self.wine else 60)
        with open(stdout_path, "rb") as f:
            # Narrow console lines are code page 936 on Windows, UTF-8 on Linux.
            text = f.read().decode("gbk" if self.wine else "utf-8")
        stdout = text.replace("\r\n", "\n").split("\n")
        if stdout[-1] != "":
            raise Failure(f"console output does not end with a line end: {text!r}")
        log = self.read_log()
        self.product_restarted = any(line == "moveok" or line.startswith("movefail~") for line in log) and \
            not any(line.startswith("主程序启动失败") for line in log)
        return Run(program, completed.returncode, log, stdout[:-1])

    def read_log(self):
        if os.path.exists(os.path.join(self.base, "autolog")):
            raise Failure("autolog was written to the caller's working directory")
        with open(self.path("autolog"), "rb") as f:
            data = f.read()
        if not data.startswith(b"\xff\xfe"):
            raise Failure(f"autolog does not start with FF FE: {data[:8]!r}")
        text = data[2:].decode("utf-16-le")
        if not text.endswith("\r\n"):
            raise Failure(f"autolog does not end with CR LF: {text!r}")
        messages = []
        for line in text[:-2].split("\r\n"):
            if not TIMESTAMP.match(line):
                raise Failure(f"log line without a timestamp: {line!r}")
            messages.append(line[21:])
        return messages

    def product_command_line(self):
        """Waits for the restarted product's record of its command line."""
        product_record(self.path("product-cmdline.txt"), self.wine)
        # Give a second start, which must not happen, time to show.
        time.sleep(0.3)
        lines = product_record(self.path("product-cmdline.txt"), self.wine)
        expect_equal("number of product starts", len(lines), 1)
        return lines[0]

    def expect_no_product_start(self):
        time.sleep(3 if self.wine else 1)
        if os.path.exists(self.path("product-cmdline.txt")):
            raise Failure("the product was started")

    def product_path(self):
        """The path the Updater builds: module directory (backslashes on both
        platforms), a backslash, the product's name."""
        directory = os.path.realpath(self.dir).replace("/", "\\")
        return ("Z:" if self.wine else "") + directory + "\\mivato.exe"

    # ---- expectations -----------------------------------------------------------

    def expect_start(self, run):
        expect_equal("exit code", run.exit_code, 0)
        if not run.log or not run.stdout:
            raise Failure(f"no argument lines: log {run.log!r}, stdout {run.stdout!r}")
        expect_equal("argument 0 on the console", run.stdout[0], run.arg0)
        if self.wine:
            if not run.arg0.replace("\\", "/").endswith("/" + run.program):
                raise Failure(f"argument 0 {run.arg0!r} does not name {run.program}")
        else:
            expect_equal("argument 0", run.arg0, self.path(run.program))

    def expect_outcome(self, run, error=None, args=("updater",), terminated=0, console=(),
                       start_failed=False):
        """A run with the argument "updater": error None means success."""
        self.expect_start(run)
        outcome = "moveok~" if error is None else "movefail~  " + error
        log = [run.arg0, *args, "自动更新"] + [TERMINATED] * terminated
        log.append("moveok" if error is None else outcome)
        if start_failed:
            log.append(f"主程序启动失败 2  {self.product_path()}")
        log += ["自动更新", "退出"]
        expect_equal("log", run.log, log)
        out = [run.arg0, *args, "自动更新"] + (["find process"] if terminated else []) + list(console)
        if start_failed:
            out.append("主程序启动失败2")
        out.append("自动更新完成" + outcome)
        expect_equal("console", run.stdout, out)
        if start_failed:
            self.expect_no_product_start()
        else:
            expect_equal("product command line", self.product_command_line(), outcome)

    def expect_files(self, files):
        """files {path: content}; content None means the path must not exist."""
        for rel, content in files.items():
            path = self.path(rel)
            if content is None:
                if os.path.lexists(path):
                    raise Failure(f"{rel} should not exist")
                continue
            if not os.path.isfile(path):
                raise Failure(f"{rel} is missing")
            with open(path, "rb") as f:
                expect_equal(rel, f.read(), as_bytes(content))

    def tree(self, rel):
        """Every file and directory below rel ("dir/" for directories), sorted."""
        top = self.path(rel)
        items = []
        for root, dirs, files in os.walk(top):
            prefix = os.path.relpath(root, top).replace(os.sep, "/")
            prefix = "" if prefix == "." else prefix + "/"
            items += [prefix + d + "/" for d in dirs] + [prefix + f for f in files]
        return sorted(items)

    def expect_tree(self, rel, items):
        expect_equal(f"tree of {rel}", self.tree(rel), sorted(items))


# ---- scenarios ------------------------------------------------------------------


@scenario
def no_updater_argument(s):
    """Arguments that only resemble "updater" are logged verbatim; nothing else happens."""
    running = s.start_product()
    s.staged_update({"a.txt": "new"})
    args = ("Updater", "updater2", "100%s %d%%")
    run = s.run(*args)
    s.expect_start(run)
    expect_equal("log", run.log, [run.arg0, *args, "退出"])
    expect_equal("console", run.stdout, [run.arg0, *args])
    s.expect_no_product_start()
    if running.poll() is not None:
        raise Failure("a product process was terminated")
    s.expect_files({"a.txt": None, "autoTemp\\a.txt": "new"})


@scenario
def full_update(s):
    """Nested new directories, a replaced file, a new file; several "updater" arguments give one run."""
    s.write("data.txt", "old data")
    s.write("bin\\keep.dll", "untouched")
    files = {"bin\\plugins\\deep\\x.dll": "x" * 5000, "data.txt": "new data",
             "bin\\plugins\\y.dll": "y", "readme.txt": ""}
    s.staged_update(files)
    run = s.run("updater", "updater")
    s.expect_outcome(run, args=("updater", "updater"))
    s.expect_files({**files, "bin\\keep.dll": "untouched"})
    # Staged files are moved out; their directories stay; no backup is left.
    s.expect_tree("autoTemp", ["bin/", "bin/plugins/", "bin/plugins/deep/"])


@scenario
def empty_manifest(s):
    """An update element without files passes every step."""
    s.write("move.xml", "<update></update>")
    s.expect_outcome(s.run("updater"))


@scenario
def missing_manifest(s):
    s.expect_outcome(s.run("updater"), error="WellForme err", console=["move.xml load err"])


@scenario
def wrong_root(s):
    """Element names are compared exactly; the product gets a 21-character command line."""
    s.stage("a.txt", "a")
    s.write("move.xml", f'<Update><file path="a.txt" md5="{md5(b"a")}"/></Update>')
    s.expect_outcome(s.run("updater"), error="update err")
    s.expect_files({"a.txt": None})


@scenario
def two_roots(s):
    s.write("move.xml", "<update/><update/>")
    s.expect_outcome(s.run("updater"), error="WellForme err", console=["move.xml load err"])


@scenario
def missing_md5_attribute(s):
    s.stage("a.txt", "a")
    s.manifest([("a.txt", None)])
    s.expect_outcome(s.run("updater"), error="MD5检测错误 a.txt")


@scenario
def upper_case_digest(s):
    s.stage("a.txt", "a")
    s.manifest([("a.txt", md5(b"a").upper())])
    s.expect_outcome(s.run("updater"), error="MD5检测错误 a.txt")
    s.expect_files({"a.txt": None, "autoTemp\\a.txt": "a"})


@scenario
def second_fails_verification(s):
    """Nothing is installed; the third staged file is not needed."""
    s.write("one.txt", "old")
    s.stage("one.txt", "new")
    s.stage("two.txt", "corrupted")
    s.manifest([("one.txt", md5(b"new")), ("two.txt", md5(b"two")), ("three.txt", md5(b"3"))])
    s.expect_outcome(s.run("updater"), error="MD5检测错误 two.txt")
    s.expect_files({"one.txt": "old", "two.txt": None, "autoTemp\\one.txt": "new"})


@scenario
def second_fails_occupancy(s):
    """A target held without any sharing: code 32, nothing moved."""
    s.write("one.txt", "old1")
    s.write("data\\held.dat", "old2")
    s.staged_update({"one.txt": "new1", "data\\held.dat": "new2", "three.txt": "new3"})
    s.hold("data/held.dat", "exclusive")
    run = s.run("updater")
    s.release()
    s.expect_outcome(run, error="data\\held.dat被占用,请重启电脑或关闭占用软件 （32）",
                     console=["data\\held.dat被占用32"])
    s.expect_files({"one.txt": "old1", "data\\held.dat": "old2", "three.txt": None})
    s.expect_tree("autoTemp", ["data/", "data/held.dat", "one.txt", "three.txt"])


@scenario
def running_program_target(s):
    """A target that is a running program is in use (32)."""
    s.start_product("tool.exe")
    s.staged_update({"tool.exe": "new tool"})
    run = s.run("updater")
    s.release()
    s.expect_outcome(run, error="tool.exe被占用,请重启电脑或关闭占用软件 （32）",
                     console=["tool.exe被占用32"])


@scenario
def second_fails_installation(s):
    """The second entry has no md5 and no staged file: it passes verification and
    its move fails (2). The first target gets its old content back, the staged
    files are back in autoTemp, and no backup is left."""
    s.write("one.txt", "old1")
    s.stage("one.txt", "new1")
    s.stage("dir\\three.txt", "new3")
    s.manifest([("one.txt", md5(b"new1")), ("two.txt", None), ("dir\\three.txt", md5(b"new3"))])
    s.expect_outcome(s.run("updater"), error="two.txt移动文件失败 （2）")
    s.expect_files({"one.txt": "old1", "two.txt": None, "dir\\three.txt": None,
                    "autoTemp\\one.txt": "new1", "autoTemp\\dir\\three.txt": "new3"})
    s.expect_tree("autoTemp", ["dir/", "dir/three.txt", "one.txt"])


@scenario
def shared_target_rolled_back(s):
    """A target shared for reading and writing but not deletion passes the
    occupancy check, then its move fails (5) and
    the installation is undone: the new file before it is removed, the
    replaced one restored, the staged files are back."""
    s.write("lib\\one.dll", "old1")
    s.write("two.dat", "old2")
    s.staged_update({"lib\\one.dll": "new1", "lib\\new.dll": "new", "two.dat": "new2",
                     "three.txt": "new3"})
    s.hold("two.dat", "shared")
    run = s.run("updater")
    s.release()
    s.expect_outcome(run, error="two.dat移动文件失败 （5）")
    s.expect_files({"lib\\one.dll": "old1", "lib\\new.dll": None, "two.dat": "old2",
                    "three.txt": None})
    # The held target was never renamed away, so nothing of it stays behind.
    s.expect_tree("autoTemp", ["lib/", "lib/one.dll", "lib/new.dll", "two.dat", "three.txt"])


@scenario
def directory_level_is_a_file(s):
    """A directory level that exists as a file: 183, earlier entries undone."""
    s.write("one.txt", "old1")
    s.write("plugins", "a file, not a directory")
    s.staged_update({"one.txt": "new1", "plugins\\p.dll": "p"})
    s.expect_outcome(s.run("updater"), error="plugins\\p.dll创建目录失败 （183）")
    s.expect_files({"one.txt": "old1", "plugins": "a file, not a directory",
                    "autoTemp\\one.txt": "new1", "autoTemp\\plugins\\p.dll": "p"})
    s.expect_tree("autoTemp", ["one.txt", "plugins/", "plugins/p.dll"])


@scenario
def forward_slash_paths(s):
    """A forward slash separates no levels: no directory is created for it, so
    the move succeeds only where the directory exists (else 3)."""
    s.write("sub\\a.dll", "old")
    s.staged_update({"sub/a.dll": "new"})
    s.expect_outcome(s.run("updater"))
    s.expect_files({"sub\\a.dll": "new"})

    s.write("first.txt", "old1")
    s.staged_update({"first.txt": "new1", "nodir/b.dll": "b"})
    s.expect_outcome(s.run("updater"), error="nodir/b.dll移动文件失败 （3）")
    s.expect_files({"first.txt": "old1", "nodir": None, "autoTemp\\first.txt": "new1"})
    s.expect_tree("autoTemp", ["first.txt", "nodir/", "nodir/b.dll", "sub/"])


@scenario
def own_file_in_each_step(s):
    """The Updater, stored under another name, lists itself with a wrong digest:
    verification passes it, the occupancy check accepts its sharing violation
    (32), and the installation accepts that the running program cannot be
    replaced (5; the POSIX layer refuses it like Windows does). The staged
    copy waits in autoTemp, the run goes on and succeeds."""
    own = "upd-renamed" + s.exe
    shutil.copy(s.options.updater, s.path(own))
    with open(s.path(own), "rb") as f:
        original = f.read()
    s.stage(own, "a newer updater")
    s.stage("after.txt", "after")
    s.manifest([(own, md5(b"something else")), ("after.txt", md5(b"after"))])
    s.expect_outcome(s.run("updater", program=own))
    s.expect_files({own: original, "autoTemp\\" + own: "a newer updater", "after.txt": "after"})
    s.expect_tree("autoTemp", [own])


@scenario
def own_name_variants_not_exempt(s):
    """Only the exact own name is exempt: not other capitals, not another directory."""
    s.stage("UPDATER" + s.exe, "x")
    s.manifest([("UPDATER" + s.exe, md5(b"y"))])
    s.expect_outcome(s.run("updater"), error="MD5检测错误 UPDATER" + s.exe)
    s.stage("bin\\updater" + s.exe, "x")
    s.manifest([("bin\\updater" + s.exe, md5(b"y"))])
    s.expect_outcome(s.run("updater"), error="MD5检测错误 bin\\updater" + s.exe)


@scenario
def two_running_products(s):
    first = s.start_product()
    second = s.start_product()
    s.write("move.xml", "<update/>")
    run = s.run("updater")
    for process in (first, second):
        try:
            process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            raise Failure("a running product was not terminated")
    s.expect_outcome(run, terminated=2)


@scenario
def product_with_other_capitals(s):
    """A process named Mivato.exe is left running."""
    other = s.start_product("Mivato.exe")
    s.write("move.xml", "<update/>")
    run = s.run("updater")
    alive = other.poll() is None
    s.release()
    if not alive:
        raise Failure("Mivato.exe was terminated")
    s.expect_outcome(run)


@scenario
def product_missing(s):
    """The product cannot be started: code 2 and the full product path in the log; exit code 0."""
    os.remove(s.path("mivato.exe"))
    s.write("move.xml", "<update/>")
    s.expect_outcome(s.run("updater"), start_failed=True)


@scenario
def unsafe_paths(s):
    """Rooted paths, ":" anywhere and ".." components are refused before any
    file is read or touched, although their digests match."""
    s.write("escaped.txt", "staged")  # autoTemp\..\escaped.txt
    s.stage("rooted.txt", "staged")   # autoTemp\ + \rooted.txt
    s.stage("sub\\x.txt", "staged")
    digest = md5(b"staged")
    for path in ("..\\escaped.txt", "../escaped.txt", "sub\\..\\..\\escaped.txt",
                 "\\rooted.txt", "/rooted.txt", "C:rooted.txt", "sub\\x.txt:stream",
                 "sub\\.. \\..\\escaped.txt"):
        s.manifest([("sub\\x.txt", digest), (path, digest)])
        s.expect_outcome(s.run("updater"), error="非法路径 " + path)
        s.expect_files({"sub\\x.txt": None})
        if os.path.exists(os.path.join(s.base, "escaped.txt")):
            raise Failure(f"{path} escaped the install directory")


@scenario
def long_path_in_use(s):
    """A 300-character path fails the occupancy check with the whole path in the message."""
    path = "d" * 140 + "\\" + "e" * 140 + "\\" + "f" * 18
    assert len(path) == 300
    s.write(path, "old")
    s.staged_update({path: "new"})
    s.hold(path.replace("\\", "/"), "exclusive")
    run = s.run("updater")
    s.release()
    s.expect_outcome(run, error=path + "被占用,请重启电脑或关闭占用软件 （32）",
                     console=[path + "被占用32"])
    s.expect_files({path: "old"})


@scenario
def long_path_installed(s):
    """A file whose path is over 260 characters is installed, replacing the old
    one, in directories created for it: the manifest declares long paths."""
    old = "g" * 120 + "\\" + "h" * 135 + "\\old.txt"
    new = "g" * 120 + "\\" + "i" * 130 + "\\" + "j" * 40 + ".txt"
    assert len(old) > 260 and len(new) > 290
    s.write(old, "old")
    files = {old: "replaced", new: "created"}
    s.staged_update(files)
    s.expect_outcome(s.run("updater"))
    s.expect_files(files)


@scenario
def chinese_file_names(s):
    """Under Wine with LANG=en_US.UTF-8 the OEM code page (437) has no Chinese
    characters; the staged files are still found and installed."""
    s.env["UPD_WINE_LANG"] = "en_US.UTF-8"
    s.write("中文.txt", "旧")
    files = {"数据\\中文文件.txt": "新文件", "中文.txt": "新"}
    s.staged_update(files)
    s.expect_outcome(s.run("updater"))
    s.expect_files(files)
    s.expect_tree("autoTemp", ["数据/"])


@scenario
def older_log_replaced(s):
    old = "\ufeff" + "[2020-01-01 00:00:00]an older run with a much longer line\r\n" * 50
    s.write("autolog", old.encode("utf-16-le"))
    s.write("move.xml", "<update/>")
    s.expect_outcome(s.run("updater"))


SCENARIOS.update(interruption_scenarios.SCENARIOS)
SCENARIOS.update(signed_scenarios.SCENARIOS)


def main():
    return run_main(SCENARIOS, Scenario, "upd-e2e",
                    ("--updater", "--signed-updater", "--keys", "--product", "--locker", "--helper",
                     "--kill-switch"))


if __name__ == "__main__":
    sys.exit(main())
