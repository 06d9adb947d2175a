"""What the scenario runners of the end-to-end tests share: the registry, the
failure and comparison helpers, and the command line that lists or runs
scenarios, each in a scratch directory of its own."""

import argparse
import hashlib
import os
import shutil
import subprocess
import tempfile
import time


class Failure(Exception):
    pass


class Skip(Exception):
    """The machine cannot run the scenario (the message says why)."""


# The exit code that ctest reports as a skipped test (SKIP_RETURN_CODE).
SKIPPED = 77


def expect_equal(what, actual, expected):
    if actual != expected:
        raise Failure(f"{what}:\n  expected {expected!r}\n  actual   {actual!r}")


def md5(content):
    return hashlib.md5(content).hexdigest()


class Helpers:
    """Helper processes that stay running (a fake product, a file locker) until
    their marker file is removed."""

    def __init__(self, base, wine):
        self.base = base
        self.wine = wine
        self.running = []  # (process, marker)

    def start(self, command, cwd, env=None):
        """Starts command + [marker, ready] and waits until it has made ready."""
        marker = os.path.join(self.base, f"hold-{len(self.running)}")
        ready = marker + ".ready"
        open(marker, "w").close()
        process = subprocess.Popen(command + [marker, ready], cwd=cwd, env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.running.append((process, marker))
        deadline = time.monotonic() + (60 if self.wine else 10)
        while not os.path.exists(ready):
            if process.poll() is not None:
                raise Failure(f"helper {command} ended with {process.returncode}")
            if time.monotonic() > deadline:
                raise Failure(f"helper {command} did not get ready")
            time.sleep(0.05)
        return process

    def release(self):
        for process, marker in self.running:
            if os.path.exists(marker):
                os.remove(marker)
        for process, _ in self.running:
            try:
                process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        self.running = []


def product_record(path, wine):
    """The lines in which the fake product recorded its command lines, once the
    first has been written whole."""
    deadline = time.monotonic() + (60 if wine else 10)
    while time.monotonic() < deadline:
        if os.path.exists(path):
            with open(path, "rb") as f:
                data = f.read()
            if data.endswith(b"\n"):
                return data.decode("utf-8").split("\n")[:-1]
        time.sleep(0.005)
    raise Failure("the product was not started")


class Registry(dict):
    """Scenario functions by name, in the order they are defined."""

    def __init__(self):
        super().__init__()
        self.native = set()  # names of the scenarios that only the native build runs

    def __call__(self, function):
        self[function.__name__] = function
        return function

    def native_only(self, function):
        self.native.add(function.__name__)
        return self(function)

    def update(self, other):
        super().update(other)
        self.native |= getattr(other, "native", set())


def run_main(scenarios, make_scratch, prefix, programs):
    """--list prints the scenario names (with --wine, those the Windows build
    runs); otherwise runs the named scenarios (all
    when none is named). programs are the options that take a value.
    make_scratch(options, base) builds the object each
    scenario receives; it must have release(). A failed scenario's scratch
    directory is kept for inspection. A scenario that raises Skip makes the
    exit code SKIPPED, unless another one failed."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--list", action="store_true")
    for option in programs:
        parser.add_argument(option)
    parser.add_argument("--wine", metavar="WINE_RUN")
    parser.add_argument("names", nargs="*")
    options = parser.parse_args()
    if options.list:
        print("\n".join(name for name in scenarios if not (options.wine and name in scenarios.native)))
        return 0
    failed = skipped = 0
    for name in options.names or list(scenarios):
        base = tempfile.mkdtemp(prefix=f"{prefix}-{name}-")
        s = make_scratch(options, base)
        try:
            scenarios[name](s)
            print(f"PASS {name}")
        except Skip as skip:
            skipped += 1
            print(f"SKIP {name}: {skip}")
        except Failure as failure:
            failed += 1
            print(f"FAIL {name}: {failure}")
            print(f"  scratch directory kept: {base}")
        finally:
            s.release()
        if not failed:
            shutil.rmtree(base, ignore_errors=True)
    return 1 if failed else SKIPPED if skipped else 0
