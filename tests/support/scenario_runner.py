"""What the scenario runners of the end-to-end tests share: the registry, the
failure and comparison helpers, and the command line that lists or runs
scenarios, each in a scratch directory of its own."""

import argparse
import hashlib
import shutil
import tempfile


class Failure(Exception):
    pass


def expect_equal(what, actual, expected):
    if actual != expected:
        raise Failure(f"{what}:\n  expected {expected!r}\n  actual   {actual!r}")


def md5(content):
    return hashlib.md5(content).hexdigest()


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
    when none is named). make_scratch(options, base) builds the object each
    scenario receives; it must have release(). A failed scenario's scratch
    directory is kept for inspection."""
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
    failed = 0
    for name in options.names or list(scenarios):
        base = tempfile.mkdtemp(prefix=f"{prefix}-{name}-")
        s = make_scratch(options, base)
        try:
            scenarios[name](s)
            print(f"PASS {name}")
        except Failure as failure:
            failed += 1
            print(f"FAIL {name}: {failure}")
            print(f"  scratch directory kept: {base}")
        finally:
            s.release()
        if not failed:
            shutil.rmtree(base, ignore_errors=True)
    return 1 if failed else 0
