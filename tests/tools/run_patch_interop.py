#!/usr/bin/env python3
"""updtool's VCDIFF against Debian's xdelta3, in both directions.

xdelta3 -d must apply every patch `updtool patch` makes, with and without
--checksum, byte for byte; `updtool apply` must apply every patch xdelta3
makes without secondary compression, without its checksum (-n -A=) and
with it and its application header. On generated pairs (0 bytes to
200 MiB: insertions, deletions, moved blocks, text edits) and on real
binaries: the shared libraries of two versions of Debian packages, fetched
from the package archive into the cache directory (where the benchmark
bench/patch_bench finds them too: CACHE/pairs/NAME.base and NAME.new).

    run_patch_interop.py --updtool U --cache DIR [NAME...]
    run_patch_interop.py --list

Exit status 0: passed, 1: failed, 77: skipped (the archive could not be
reached and nothing was cached), which ctest counts as skipped.
"""

import argparse
import glob
import os
import random
import shutil
import subprocess
import sys
import tempfile

SKIPPED = 77
MiB = 1 << 20


class Failure(Exception):
    pass


class Skip(Exception):
    pass


def run(command, **kwargs):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs)


def must(command, what):
    result = run(command)
    if result.returncode != 0:
        raise Failure(f"{what}: {' '.join(command)} exited {result.returncode}: {result.stderr.decode(errors='replace')}")
    return result


def same_file(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        while True:
            x, y = fa.read(MiB), fb.read(MiB)
            if x != y:
                return False
            if not x:
                return True


def both_ways(updtool, work, name, base, new):
    """Every patch of one side applied by the other, compared byte for byte."""
    made = {
        "ours": [updtool, "patch", base, new],
        "ours --checksum": [updtool, "patch", "--checksum", base, new],
        "xdelta3 -n -A=": ["xdelta3", "-e", "-S", "none", "-n", "-A=", "-f", "-s", base, new],
        "xdelta3 with checksum and header": ["xdelta3", "-e", "-S", "none", "-f", "-s", base, new],
    }
    for index, (kind, command) in enumerate(made.items()):
        patch = os.path.join(work, f"{name}.{index}.vcdiff")
        must(command + [patch], f"{name}: {kind} patch")
        appliers = [("xdelta3 -d", ["xdelta3", "-d", "-f", "-s", base, patch]), ("updtool apply", [updtool, "apply", base, patch])]
        for applier, apply in appliers:
            out = os.path.join(work, f"{name}.{index}.out")
            if os.path.exists(out):
                os.remove(out)
            must(apply + [out], f"{name}: {applier} on the {kind} patch")
            if not same_file(out, new):
                raise Failure(f"{name}: {applier} on the {kind} patch made other bytes than the new file")
            os.remove(out)
        os.remove(patch)


def text(r, size):
    vocabulary = [b"update ", b"install ", b"window ", b"copy ", b"the ", b"of ", b"file ", b"\n"]
    out = bytearray()
    while len(out) < size:
        out += r.choice(vocabulary)
    return bytes(out[:size])


def generated_pairs(r):
    a4 = r.randbytes(4 * MiB)
    inserted = bytearray(a4)
    for _ in range(20):
        at = r.randrange(len(inserted))
        inserted[at:at] = r.randbytes(r.randrange(1, 500))
    deleted = bytearray(a4)
    for _ in range(20):
        at = r.randrange(len(deleted) - 1000)
        del deleted[at:at + r.randrange(1, 1000)]
    a12 = r.randbytes(12 * MiB)
    blocks = [a12[i:i + MiB] for i in range(0, len(a12), MiB)]
    r.shuffle(blocks)
    t = text(r, 3 * MiB)
    edited = bytearray(t)
    for at in range(1000, len(edited), 4099):
        edited[at] ^= 0x20
    big = r.randbytes(200 * MiB)
    big_new = big[:30 * MiB] + r.randbytes(1000) + big[30 * MiB:90 * MiB] + big[150 * MiB:160 * MiB] + \
        big[100 * MiB:150 * MiB] + big[91 * MiB:100 * MiB] + big[160 * MiB:]
    return [
        ("both-empty", b"", b""),
        ("empty-base", b"", text(r, 5000)),
        ("empty-new", a4[:10000], b""),
        ("identical", a4, a4),
        ("insertions", a4, bytes(inserted)),
        ("deletions", a4, bytes(deleted)),
        ("moved-blocks", a12, b"".join(blocks)),
        ("text-edits", t, bytes(edited)),
        ("large-moved-blocks", big, big_new),
    ]


# Packages whose archive may hold two versions (a release and its update),
# and the files of each to pair.
PACKAGES = [
    ("libssl3", ["usr/lib/x86_64-linux-gnu/libcrypto.so.3", "usr/lib/x86_64-linux-gnu/libssl.so.3"]),
    ("libc6", ["lib/x86_64-linux-gnu/libc.so.6", "lib/x86_64-linux-gnu/libm.so.6"]),
    ("libpython3.11", ["usr/lib/x86_64-linux-gnu/libpython3.11.so.1.0"]),
    ("libperl5.36", ["usr/lib/x86_64-linux-gnu/libperl.so.5.36.0"]),
    ("libxml2", ["usr/lib/x86_64-linux-gnu/libxml2.so.2.9.14"]),
    ("libglib2.0-0", ["usr/lib/x86_64-linux-gnu/libgio-2.0.so.0.7400.6"]),
    ("libcurl4", ["usr/lib/x86_64-linux-gnu/libcurl.so.4.8.0"]),
    ("libpq5", ["usr/lib/x86_64-linux-gnu/libpq.so.5.15"]),
    ("libtiff6", ["usr/lib/x86_64-linux-gnu/libtiff.so.6.0.0"]),
]


def versions(package):
    result = run(["apt-cache", "madison", package])
    found = []
    for line in result.stdout.decode(errors="replace").splitlines():
        fields = [f.strip() for f in line.split("|")]
        if len(fields) == 3 and "amd64" in fields[2] and fields[1] not in found:
            found.append(fields[1])
    return found


def fetch_pairs(cache):
    """CACHE/pairs/<package>-<file>.base and .new from two versions of each
    package; what was fetched once is not fetched again."""
    pairs_dir = os.path.join(cache, "pairs")
    debs = os.path.join(cache, "debs")
    os.makedirs(pairs_dir, exist_ok=True)
    os.makedirs(debs, exist_ok=True)
    reasons = []
    for package, files in PACKAGES:
        names = [f"{package}-{os.path.basename(f)}" for f in files]
        if all(os.path.exists(os.path.join(pairs_dir, n + ".new")) for n in names):
            continue
        found = versions(package)
        if len(found) < 2:
            reasons.append(f"{package}: {len(found)} version(s) in the archive's index")
            continue
        trees = []
        for version in sorted(found)[-2:]:
            fetched = run(["apt-get", "download", "-q", f"{package}={version}"], cwd=debs)
            deb = glob.glob(os.path.join(debs, f"{package}_*{version.split(':')[-1]}_amd64.deb"))
            if fetched.returncode != 0 or not deb:
                reasons.append(f"{package}={version}: {fetched.stderr.decode(errors='replace').strip()[-200:]}")
                break
            tree = os.path.join(debs, os.path.basename(deb[0]) + ".x")
            if not os.path.isdir(tree):
                must(["dpkg-deb", "-x", deb[0], tree], f"{package}: unpacking")
            trees.append(tree)
        if len(trees) != 2:
            continue
        for name, rel in zip(names, files):
            old, new = (os.path.join(t, rel) for t in trees)
            if os.path.exists(old) and os.path.exists(new):
                shutil.copyfile(old, os.path.join(pairs_dir, name + ".base"))
                shutil.copyfile(new, os.path.join(pairs_dir, name + ".new"))
    pairs = sorted(p[:-4] for p in glob.glob(os.path.join(pairs_dir, "*.new")))
    if not pairs:
        raise Skip("no pair of Debian binaries: " + "; ".join(reasons[:3]))
    return pairs


SCENARIOS = {}


def scenario(function):
    SCENARIOS[function.__name__] = function
    return function


@scenario
def generated(options, work):
    r = random.Random(3284)
    for name, base, new in generated_pairs(r):
        files = []
        for kind, content in (("base", base), ("new", new)):
            path = os.path.join(work, f"{name}.{kind}")
            with open(path, "wb") as f:
                f.write(content)
            files.append(path)
        both_ways(options.updtool, work, name, *files)
        for path in files:
            os.remove(path)


@scenario
def debian_binaries(options, work):
    for pair in fetch_pairs(options.cache):
        both_ways(options.updtool, work, os.path.basename(pair), pair + ".base", pair + ".new")


@scenario
def refusals(options, work):
    """A damaged patch is refused with status 1 and leaves no OUT; an
    existing OUT is never replaced."""
    base, new, patch, out = (os.path.join(work, n) for n in ("base", "new", "patch", "out"))
    r = random.Random(7)
    with open(base, "wb") as f:
        f.write(r.randbytes(100000))
    with open(new, "wb") as f:
        f.write(r.randbytes(500) + open(base, "rb").read()[:90000])
    must([options.updtool, "patch", "--checksum", base, new, patch], "patch")
    content = open(patch, "rb").read()
    middle = len(content) // 2  # in the data section, which the checksum covers
    damages = {
        "a data byte changed": content[:middle] + bytes([content[middle] ^ 1]) + content[middle + 1:],
        "the magic changed": content[:1] + b"\x00" + content[2:],
        "the last byte cut off": content[:-1],
    }
    for what, damaged in damages.items():
        with open(patch, "wb") as f:
            f.write(damaged)
        result = run([options.updtool, "apply", base, patch, out])
        if result.returncode != 1 or b"damaged" not in result.stderr:
            raise Failure(f"{what}: status {result.returncode}, {result.stderr!r}")
        if os.path.exists(out) or os.path.exists(out + ".partial"):
            raise Failure(f"{what}: the refused patch left {out} or its .partial")
    with open(patch, "wb") as f:
        f.write(content)
    with open(out, "wb") as f:
        f.write(b"keep")
    result = run([options.updtool, "apply", base, patch, out])
    if result.returncode != 1 or open(out, "rb").read() != b"keep":
        raise Failure(f"apply over an existing file: status {result.returncode}, {result.stderr!r}")
    if run([options.updtool, "apply", base, patch]).returncode != 2:
        raise Failure("apply with two arguments is not a usage error")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--updtool")
    parser.add_argument("--cache")
    parser.add_argument("names", nargs="*")
    options = parser.parse_args()
    if options.list:
        print("\n".join(SCENARIOS))
        return 0
    if shutil.which("xdelta3") is None:
        print("FAIL: xdelta3 is not installed (tools/setup.sh installs it)")
        return 1
    status = 0
    for name in options.names or list(SCENARIOS):
        work = tempfile.mkdtemp(prefix=f"patch-interop-{name}-")
        try:
            SCENARIOS[name](options, work)
            print(f"PASS {name}")
            shutil.rmtree(work, ignore_errors=True)
        except Skip as skip:
            print(f"SKIP {name}: {skip}")
            status = status or SKIPPED
            shutil.rmtree(work, ignore_errors=True)
        except Failure as failure:
            print(f"FAIL {name}: {failure}")
            print(f"  scratch directory kept: {work}")
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
