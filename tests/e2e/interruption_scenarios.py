"""Installations cut short: the Updater is killed at each of its file changes
in turn (natively, through the preloaded kill switch), or at random moments of
a large installation (natively and, with TerminateProcess from another
process, under Wine), and started again as the product would. Every rerun
must end with the whole new tree, "moveok", and nothing in autoTemp but the
staged files that were not installed."""

import os
import random
import shutil
import subprocess

from scenario_runner import Failure, Registry, expect_equal, md5, product_record

SCENARIOS = Registry()
scenario = SCENARIOS

RECOVERED = ("发现中断的安装，已还原", "发现中断的安装，已完成")


def small_update(s):
    """A replaced file, a new file, a new nested directory, a removed file (whose
    directory goes with it) and the Updater's own entry. Returns the installed
    files expected afterwards and the staging tree."""
    s.write("old.txt", "old")
    s.write("kept.txt", "not in the manifest")
    s.write("gone\\dropped.dll", "a file the new release no longer has")
    s.staged_update({"old.txt": "new", "fresh.txt": "fresh", "a\\b\\deep.dll": "deep",
                     s.self_name: "a newer updater"}, removals=["gone\\dropped.dll"])
    with open(s.path(s.self_name), "rb") as f:
        own = f.read()
    installed = {"old.txt": "new", "fresh.txt": "fresh", "a\\b\\deep.dll": "deep",
                 "kept.txt": "not in the manifest", s.self_name: own, "gone": None}
    return installed, ["a/", "a/b/", s.self_name]


def large_update(s, count=3000):
    """count files in 20 x 7 directories, a quarter of them replacing installed ones."""
    files = {}
    for i in range(count):
        path = f"d{i % 20}\\s{i % 7}\\f{i}.bin"
        files[path] = f"new {i} " + "x" * (i * 37 % 3000)
        if i % 4 == 0:
            s.write(path, f"old {i}")
    s.staged_update(files)
    staged = sorted({f"d{i % 20}/" for i in range(count)} | {f"d{i % 20}/s{i % 7}/" for i in range(count)})
    return files, staged


def journals(s):
    """The journals where the Updater keeps them: a signed one in its private directory."""
    where = s.path("~updater") if s.signed else s.path("autoTemp")
    return [name for name in os.listdir(where) if name.endswith(".journal")] if os.path.isdir(where) else []


def run_native(s, kill_at=0, count=False):
    """Runs the native Updater with the kill switch; returns (exit code, counted calls)."""
    env = dict(s.env, LD_PRELOAD=s.options.kill_switch, UPD_SKIP_SLEEP="1")
    # A sanitized Updater accepts a library preloaded before its runtime.
    env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"), "verify_asan_link_order=0"]))
    count_file = os.path.join(s.base, "count")
    if kill_at:
        env["UPD_KILL_AT"] = str(kill_at)
    if count:
        env["UPD_COUNT_FILE"] = count_file
    completed = subprocess.run([s.path(s.self_name), "updater"], cwd=s.base, env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    calls = None
    if count:
        with open(count_file) as f:
            calls = int(f.read())
    return completed.returncode, calls


def expect_killed(code, what):
    if code != -9:
        raise Failure(f"{what}: the Updater was not killed (exit code {code})")


def product_lines(s):
    return product_record(s.path("product-cmdline.txt"), s.wine)


def told_moveok(s, line="moveok\r\n"):
    """Whether the run reached the point where it tells the product moveok~
    (or another outcome that begins with line)."""
    try:
        with open(s.path("autolog"), "rb") as f:
            return "]" + line in f.read().decode("utf-16-le", errors="replace")
    except FileNotFoundError:
        return False


def expect_new_tree(s, installed, staged, journal_before, what):
    """After a complete run: the log says moveok, the product was told moveok~,
    every file is new, autoTemp holds only what was not installed."""
    try:
        log = s.read_log()[1:]
        if journal_before:
            if len(log) < 3 or log[2] not in RECOVERED:
                raise Failure(f"no recovery line in the log: {log!r}")
            del log[2]
        expect_equal("log", log, ["updater", "自动更新", "moveok", "自动更新", "退出"])
        expect_equal("product command lines", product_lines(s), ["moveok~"])
        s.expect_files(installed)
        s.expect_tree("autoTemp", staged)
    except Failure as failure:
        raise Failure(f"{what}: {failure}")


def expect_recovered(s, run, installed, staged, what):
    """What the product does after a run that was cut short: if that run had
    told it moveok~, the update is done; otherwise it starts the Updater
    again, which must install."""
    if told_moveok(s):
        try:
            expect_equal("product command lines", product_lines(s), ["moveok~"])
            s.expect_files(installed)
        except Failure as failure:
            raise Failure(f"{what}: {failure}")
        return
    before = bool(journals(s))
    expect_equal(f"{what}: exit code of the rerun", run(), 0)
    expect_new_tree(s, installed, staged, before, what + ", rerun")


def link_or_copy(source, target):
    # Programs are linked (nothing rewrites them in place); small files, which
    # a run may truncate or append to, are copied.
    if os.path.getsize(source) > 65536:
        os.link(source, target)
    else:
        shutil.copy2(source, target)


def journal_bytes(directories, moves, committed, backups="~rollback1"):
    """A journal as the Updater writes it: directories are (deepest level,
    how many levels up to it were created), moves (path, backup number or
    None for a new file, md5 of the new file)."""
    def field(text):
        return "".join(f"%{ord(c):02X}" if c == "%" or ord(c) < 0x20 else c for c in text)
    lines = ["\ufeffupdater installation journal 2\r\n", f"backups\t{backups}\r\n"]
    lines += [f"mkdir\t{field(d)}\t{count}\r\n" for d, count in directories]
    for path, backup, digest in moves:
        middle = "" if backup is None else f"\t{backup}"
        lines.append(f"{'new' if backup is None else 'replace'}\t{field(path)}{middle}\t{digest}\r\n")
    data = "".join(lines).encode("utf-16-le")
    data += f"end\t{len(lines)}\t{md5(data)}\r\n".encode("utf-16-le")
    return data + ("commit\r\n".encode("utf-16-le") if committed else b"")


def committed_small_update(s):
    """What a run of small_update leaves when it is cut short after its
    commit: every staged file moved, the replaced one in the backups, the
    committed journal where the Updater keeps it."""
    where = "~updater\\" if s.signed else "autoTemp\\"
    moves = []
    for rel in ("old.txt", "fresh.txt", "a\\b\\deep.dll"):
        with open(s.path("autoTemp\\" + rel), "rb") as f:
            digest = md5(f.read())
        backup = None
        if os.path.exists(s.path(rel)):
            backup = sum(1 for _, b, _ in moves if b is not None)
            os.makedirs(s.path(where + "~rollback1"), exist_ok=True)
            os.rename(s.path(rel), s.path(f"{where}~rollback1\\{backup}"))
        os.makedirs(os.path.dirname(s.path(rel)), exist_ok=True)
        os.rename(s.path("autoTemp\\" + rel), s.path(rel))
        moves.append((rel, backup, digest))
    s.write(where + "~rollback1.journal", journal_bytes([("a\\b", 2)], moves, True))


@scenario
def damaged_commit_puts_the_old_version_back(s):
    """A disk lost the data of new files behind a committed installation (one
    truncated, one missing): the rerun puts the old version back whole, the
    new files back into autoTemp, and tells the product, which downloads
    again. Natively it is also killed at each change of that recovery, and
    then the run after it must end the same way."""
    small_update(s)
    committed_small_update(s)
    s.write("fresh.txt", "")
    os.remove(s.path("a\\b\\deep.dll"))
    old = {"old.txt": "old", "kept.txt": "not in the manifest", "fresh.txt": None, "a": None,
           "gone\\dropped.dll": "a file the new release no longer has"}
    staged = ["a/", "a/b/", "fresh.txt", "old.txt", s.self_name]
    snapshot = os.path.join(s.base, "snapshot")
    shutil.copytree(s.dir, snapshot, copy_function=link_or_copy)
    run = s.run("updater")
    expect_equal("log", run.log[3:5], ["发现中断的安装，文件已损坏，已还原", "movefail~  fresh.txt安装文件已损坏 （13）"])
    expect_equal("product command line", s.product_command_line(), "movefail~  fresh.txt安装文件已损坏 （13）")
    s.expect_files(old)
    s.expect_tree("autoTemp", staged)
    if s.wine:
        return
    s.settle()
    shutil.rmtree(s.dir)
    shutil.copytree(snapshot, s.dir, copy_function=link_or_copy)
    calls = run_native(s, count=True)[1]
    product_lines(s)  # the product it started has written its record
    for m in range(1, calls + 1):
        shutil.rmtree(s.dir)
        shutil.copytree(snapshot, s.dir, copy_function=link_or_copy)
        expect_killed(run_native(s, kill_at=m)[0], f"kill at {m}")
        # A run killed after it told the product needs no rerun.
        if not told_moveok(s, "movefail~"):
            expect_equal(f"kill at {m}: exit code of the rerun", run_native(s)[0], 0)
        try:
            outcome = product_lines(s)
            if len(outcome) != 1 or not outcome[0].startswith("movefail~  "):
                raise Failure(f"product command lines {outcome!r}")
            s.expect_files(old)
            s.expect_tree("autoTemp", staged)
        except Failure as failure:
            raise Failure(f"kill at {m}, rerun: {failure}")


@scenario.native_only
def killed_at_every_change(s):
    """Killed before each counted call of the run in turn, then once more before
    each call of the rerun that recovers, then run cleanly. Native only: the
    kill switch is a preloaded Linux library (see random_kills_at_scale)."""
    installed, staged = small_update(s)
    code, calls = run_native(s, count=True)
    expect_equal("exit code", code, 0)
    expect_new_tree(s, installed, staged, False, "uninterrupted")
    snapshot = os.path.join(s.base, "snapshot")
    for k in range(1, calls + 1):
        s.reset()
        small_update(s)
        expect_killed(run_native(s, kill_at=k)[0], f"kill at {k}")
        if told_moveok(s):
            expect_recovered(s, None, installed, staged, f"kill at {k}")
            continue
        shutil.rmtree(snapshot, ignore_errors=True)
        shutil.copytree(s.dir, snapshot, copy_function=link_or_copy)
        before = bool(journals(s))
        code, rerun_calls = run_native(s, count=True)
        expect_equal(f"exit code after a kill at {k}", code, 0)
        expect_new_tree(s, installed, staged, before, f"kill at {k}, rerun")
        for m in range(1, rerun_calls + 1):
            shutil.rmtree(s.dir)
            shutil.copytree(snapshot, s.dir, copy_function=link_or_copy)
            expect_killed(run_native(s, kill_at=m)[0], f"kill at {k}, then at {m}")
            expect_recovered(s, lambda: run_native(s)[0], installed, staged, f"kill at {k}, then at {m}")


@scenario
def random_kills_at_scale(s):
    """3,000 files, a quarter replacing installed ones, killed at random moments
    of the installation. Natively: at a random counted call, and twice at a
    random time by another process; under Wine: TerminateProcess from another
    Wine process a random time after the journal appears."""
    seed = random.randrange(1 << 30)
    rng = random.Random(seed)
    # The killer ends processes by name: a name of this run's own, so that no
    # other Updater on the machine is hit.
    s.self_name = f"updater-{os.getpid()}{s.exe}"
    s.reset()
    tries = []
    if not s.wine:
        files, staged = large_update(s)
        code, calls = run_native(s, count=True)
        expect_equal("exit code", code, 0)
        expect_new_tree(s, files, staged, False, "uninterrupted")
        tries = [("call", rng.randint(1, calls)) for _ in range(6)]
    tries += [("time", rng.randint(0, 300)) for _ in range(2 if not s.wine else 3)]

    def run():
        return subprocess.run(s.command(s.path(s.self_name), "updater"), cwd=s.base, env=s.env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=600).returncode

    interrupted = 0
    for kind, where in tries:
        s.reset()
        files, staged = large_update(s)
        what = f"seed {seed}, kill at {kind} {where}"
        if kind == "call":
            expect_killed(run_native(s, kill_at=where)[0], what)
        else:
            journal = "autoTemp\\~rollback1.journal"
            killer = subprocess.Popen(s.command(s.options.helper, "terminate-when", journal, str(where),
                                                s.self_name), cwd=s.dir, env=s.env,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            run()
            killer.wait(timeout=600)
        # A run that was not cut short ends its log with its last line.
        if s.read_log()[-1:] != ["退出"]:
            interrupted += 1
        expect_recovered(s, run, files, staged, what)
    print(f"seed {seed}: {interrupted} of {len(tries)} tries interrupted the installation")
    if interrupted == 0:
        raise Failure(f"seed {seed}: no try interrupted the installation")
