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

from scenario_runner import Failure, Registry, expect_equal, product_record

SCENARIOS = Registry()
scenario = SCENARIOS

RECOVERED = ("发现中断的安装，已还原", "发现中断的安装，已完成")


def small_update(s):
    """A replaced file, a new file, a new nested directory and the Updater's own
    entry. Returns the installed files expected afterwards and the staging tree."""
    s.write("old.txt", "old")
    s.write("kept.txt", "not in the manifest")
    s.staged_update({"old.txt": "new", "fresh.txt": "fresh", "a\\b\\deep.dll": "deep",
                     s.self_name: "a newer updater"})
    with open(s.path(s.self_name), "rb") as f:
        own = f.read()
    installed = {"old.txt": "new", "fresh.txt": "fresh", "a\\b\\deep.dll": "deep",
                 "kept.txt": "not in the manifest", s.self_name: own}
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
    """The journals where the Updater keeps them: a signed one in its own directory."""
    where = s.dir if s.signed else s.path("autoTemp")
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


def told_moveok(s):
    """Whether the run reached the point where it tells the product moveok~."""
    try:
        with open(s.path("autolog"), "rb") as f:
            return "]moveok\r\n" in f.read().decode("utf-16-le", errors="replace")
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
