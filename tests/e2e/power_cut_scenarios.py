#!/usr/bin/env python3
"""Power cuts during an installation, on a real ext4 file system.

The installation lives on an ext4 image attached to a loop device and
mounted with commit=60, so that only what a program flushes reaches the
image. The native Updater installs a staged update of a few thousand files
and is killed through the preloaded kill switch before one of its counted
calls (the first three of the installation, then random ones of the
installation and after it), or left to exit; at once the image's backing
file is copied as it stands. That copy is what a power cut leaves: whatever was
only in the page cache is missing from it. The copy is mounted (ext4 replays
its journal) and the Updater started again, as the product would, having
been told nothing. After that rerun every file must hold its old bytes or
its new bytes, all of them the same version; the product must have been
told moveok~ for the new version and movefail~ for the old; autoTemp may
hold only staged files that were not installed. And once the cut left the
installation's whole plan or the whole staged update on disk, the rerun
must end with the new version: the update must not be lost.

    power_cut_scenarios.py --updater U --signed-updater S --keys DIR --product P --kill-switch K [--seed N] NAME...
    power_cut_scenarios.py --list

    UPD_POWER_CUTS=N   cuts per scenario, for longer runs than the default
    --seed N           the seed of the random cuts that a run printed, to repeat them

A machine that cannot (not root, no free loop device, no ext4, or ext4 not
keeping unflushed changes out of the image) skips them with exit code 77.
Each mount and loop device is released before the runner ends, also on
failure and on Ctrl-C or SIGTERM.
"""

import contextlib
import hashlib
import os
import random
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from scenario_runner import Failure, Registry, Skip, product_record, run_main  # noqa: E402
from interruption_scenarios import run_native  # noqa: E402
from run_scenarios import Scenario  # noqa: E402

SCENARIOS = Registry()

# Large enough for the programs (sanitized ones too) and the files, small
# enough to copy in milliseconds: the copy of a sparse image reads its holes
# as holes. The journal is large enough that staging and installing fit in
# one transaction of it: nothing is committed unless something flushes.
IMAGE_SIZE = 256 << 20
MKFS = ["mkfs.ext4", "-q", "-b", "4096", "-J", "size=64", "-E", "lazy_itable_init=0,lazy_journal_init=0"]
MOUNT_OPTIONS = "commit=60"

# The two versions of an installation, in the order of a table's pairs.
VERSIONS = ("old", "new")
# The images of a scenario's scratch directory; release() removes them.
IMAGES = ("template.img", "work.img", "staged.img", "cut.img", "rerun.img")
# What the Updater and the product keep beside the installed files.
OWN_FILES = {"updater", "mivato.exe", "move.xml", "move.xml.sig", "autolog", "product-cmdline.txt"}


def large_update(count=3000, kept=20):
    """{path: (old bytes, new bytes)}, None meaning absent: count files in
    20 x 7 directories, a quarter of them replacing installed ones, and a few
    installed files that the update leaves alone."""
    files = {}
    for i in range(count):
        old = f"old {i}".encode() if i % 4 == 0 else None
        files[f"d{i % 20}\\s{i % 7}\\f{i}.bin"] = (old, f"new {i} ".encode() + b"x" * (i * 37 % 3000))
    for i in range(kept):
        files[f"keep\\k{i}.txt"] = (f"kept {i}".encode(),) * 2
        # Files the new release no longer has, whose directories go with them.
        files[f"gone\\g{i % 3}\\r{i}.txt"] = (f"removed {i}".encode(), None)
    return files


class Layout:
    """An installation and its update as a table of old and new files; the
    staged files are those whose new bytes differ from the old."""

    def __init__(self, files, signed=False):
        self.files = files
        self.signed = signed  # the Updater with the test keys, a signed manifest
        self.staged = {rel: new for rel, (old, new) in files.items() if new is not None and new != old}
        self.removals = [rel for rel, (old, new) in files.items() if old is not None and new is None]


# name: (layout, how the product left the staged update, default number of
# cuts). "unsynced": written and nothing flushed, as right after a download;
# "synced": the file system flushed (syncfs) before the Updater started.
UPDATE = large_update()
VARIANTS = {
    "unsynced": (Layout(UPDATE), "unsynced", 18),
    "synced": (Layout(UPDATE), "synced", 18),
    "signed_synced": (Layout(UPDATE, signed=True), "synced", 6),
}


class Installation(Scenario):
    """An install directory on a mounted image, with the layout helpers of
    the other scenarios (write, stage, manifest and signature)."""

    def __init__(self, options, base, directory, signed):
        # Not Scenario.__init__: that makes a fresh install directory of its own.
        self.options = options
        self.wine = False
        self.exe = ""
        self.base = base  # the Updater's working directory, off the image
        self.dir = directory
        self.self_name = "updater"
        self.env = dict(os.environ)
        self.signed = signed

    def read(self, rel):
        try:
            with open(self.path(rel), "rb") as f:
                return f.read()
        except (FileNotFoundError, NotADirectoryError, IsADirectoryError):
            return None


class Rig:
    """One scenario's images, loop device and mount, released whatever happens."""

    def __init__(self, options, base):
        self.options = options
        self.base = base
        self.mount_point = os.path.join(base, "mnt")
        self.devices = []
        self.mounted = False

    def image(self, name):
        return os.path.join(self.base, name)

    @staticmethod
    def command(*args, skip=False):
        completed = subprocess.run(args, capture_output=True, text=True)
        if completed.returncode != 0:
            why = f"{' '.join(args)}: {(completed.stderr or completed.stdout).strip()}"
            raise Skip(why) if skip else Failure(why)
        return completed.stdout.strip()

    @contextlib.contextmanager
    def mount(self, image, signed, skip=False):
        """Attaches image to a free loop device and mounts it; yields its installation."""
        device = self.command("losetup", "-f", "--show", image, skip=skip)
        self.devices.append(device)
        try:
            os.makedirs(self.mount_point, exist_ok=True)
            self.command("mount", "-o", MOUNT_OPTIONS, device, self.mount_point, skip=skip)
            self.mounted = True
            try:
                yield Installation(self.options, self.base, os.path.join(self.mount_point, "install"), signed)
            finally:
                self.unmount()
        finally:
            self.detach(device)

    def unmount(self):
        # A product the Updater started may still be running in it.
        deadline = time.monotonic() + 10
        while True:
            completed = subprocess.run(["umount", self.mount_point], capture_output=True, text=True)
            if completed.returncode == 0:
                self.mounted = False
                return
            if time.monotonic() > deadline:
                break
            time.sleep(0.05)
        # Detached from the tree, it goes with the loop device once unused.
        subprocess.run(["umount", "-l", self.mount_point], capture_output=True)
        self.mounted = False
        raise Failure(f"umount {self.mount_point}: {completed.stderr.strip()}")

    def detach(self, device):
        self.devices.remove(device)
        self.command("losetup", "-d", device)

    def copy(self, source, target):
        """The backing file as it stands, holes kept as holes."""
        self.command("cp", "--sparse=always", source, target)

    def release(self):
        if self.mounted:
            with contextlib.suppress(Failure):
                self.unmount()
        for device in list(self.devices):
            with contextlib.suppress(Failure):
                self.detach(device)
        for name in IMAGES:
            with contextlib.suppress(FileNotFoundError):
                os.remove(self.image(name))


def check_machine():
    if os.geteuid() != 0:
        raise Skip("power cuts need root (loop devices and mounts)")
    for program in ("losetup", "mkfs.ext4", "mount", "umount", "cp"):
        if shutil.which(program) is None:
            raise Skip(f"power cuts need {program}")
    Rig.command("losetup", "-f", skip=True)


def make_template(rig, layout):
    """The old installation on a fresh image, durable: the image every cut starts from."""
    template = rig.image("template.img")
    with open(template, "wb") as f:
        f.truncate(IMAGE_SIZE)
    rig.command(*MKFS, template, skip=True)
    with rig.mount(template, layout.signed, skip=True) as inst:
        os.mkdir(inst.dir)
        shutil.copy(rig.options.signed_updater if layout.signed else rig.options.updater,
                    inst.path(inst.self_name))
        shutil.copy(rig.options.product, inst.path("mivato.exe"))
        for rel, (old, _) in layout.files.items():
            if old is not None:
                inst.write(rel, old)
        rig.command("sync", "-f", inst.dir)
    return template


def stage(rig, inst, layout, staging):
    """The update as the product leaves it once downloaded; returns the bytes
    of the manifest and its signature, as the cut must find them to have
    the whole update."""
    inst.staged_update(layout.staged, removals=layout.removals)
    if staging == "synced":
        rig.command("sync", "-f", inst.dir)
    return {rel: inst.read(rel) for rel in ("move.xml", "move.xml.sig") if inst.read(rel) is not None}


def whole_plan(data):
    """Whether a journal holds its plan written whole: up to an end line that
    carries the MD5 of every byte before it."""
    at = data.find("\r\nend\t".encode("utf-16-le"))
    while at >= 0 and at % 2:
        at = data.find("\r\nend\t".encode("utf-16-le"), at + 1)
    if at < 0:
        return False
    end = data[at + 4:].decode("utf-16-le", errors="replace").split("\r\n")
    return len(end) > 1 and end[0].split("\t")[-1].lower() == hashlib.md5(data[:at + 4]).hexdigest()


def left_by_cut(inst, layout, manifest):
    """What of the installation the cut left that its rerun must finish: "the
    whole plan" (a journal of it, wherever the Updater keeps it), "the whole
    update" (the manifest and each staged file's new bytes, staged or
    moved), or None."""
    for folder in (inst.dir, inst.path("autoTemp")):
        for name in os.listdir(folder) if os.path.isdir(folder) else []:
            if name.endswith(".journal"):
                with open(os.path.join(folder, name), "rb") as f:
                    if whole_plan(f.read()):
                        return "the whole plan"
    if all(inst.read(rel) == data for rel, data in manifest.items()) and \
            all(new in (inst.read("autoTemp\\" + rel), inst.read(rel)) for rel, new in layout.staged.items()):
        return "the whole update"
    return None


def slashed(rel):
    return rel.replace("\\", "/")


def size(data):
    return "absent" if data is None else f"{len(data)} bytes"


def settled_version(inst, layout, exit_code):
    """After a run that completed: "old" or "new", the version that every
    file of the table holds and the product was told of, and what it was
    told; raises Failure with everything that is otherwise."""
    problems = [] if exit_code == 0 else [f"exit code {exit_code}"]
    fitting = set(VERSIONS)
    neither = []
    only = dict.fromkeys(VERSIONS, 0)
    for rel, pair in layout.files.items():
        content = inst.read(rel)
        fits = {version for version, data in zip(VERSIONS, pair) if content == data}
        if not fits:
            neither.append(f"{slashed(rel)} ({size(content)}; old {size(pair[0])}, new {size(pair[1])})")
        fitting &= fits
        if len(fits) == 1:
            only[min(fits)] += 1
    if neither:
        problems.append(f"{len(neither)} files hold neither their old nor their new bytes: " +
                        ", ".join(neither[:3]) + (", ..." if len(neither) > 3 else ""))
    elif not fitting:
        problems.append(f"old and new mixed: {only['old']} files old, {only['new']} new")
    version = min(fitting) if len(fitting) == 1 else None

    try:
        told = product_record(inst.path("product-cmdline.txt"), False)
    except Failure:
        told = []
    # The product must learn the version it finds installed.
    if not (version == "new" and told == ["moveok~"] or
            version == "old" and len(told) == 1 and told[0].startswith("movefail~  ")):
        problems.append(f"the product was told {told!r}")

    # Backups, journals and staged files that were installed have no place;
    # the staging directories stay.
    staged = {"autoTemp/" + slashed(rel) for rel in layout.staged}
    kept = [i for i, v in enumerate(VERSIONS) if version in (None, v)]
    files = {slashed(rel) for rel, pair in layout.files.items() for i in kept if pair[i] is not None}
    if version != "new":
        files |= staged
    folders = {"/".join(rel.split("/")[:n]) + "/" for rel in files | staged for n in range(1, rel.count("/") + 1)}
    if inst.signed:
        # The signed Updater's private directory, with the mark of the release it installed.
        folders.add("~updater/")
        if version == "new":
            files.add("~updater/version")
    extra = sorted(item for item in inst.tree("")
                   if item not in (folders if item.endswith("/") else files | OWN_FILES))
    if extra:
        problems.append(f"left over: {', '.join(extra[:5])}" + (", ..." if len(extra) > 5 else ""))
    if problems:
        raise Failure("; ".join(problems))
    return version, told[0]


def first_installation_call(inst, calls):
    """The first counted call of the installation: before it, a kill leaves
    the install directory as it was but for the log, so the same staged
    update serves the next try."""
    before = set(inst.tree(""))
    for k in range(1, calls + 1):
        code, _ = run_native(inst, kill_at=k)
        if code != -9:
            raise Failure(f"a kill at call {k} did not end the Updater (exit code {code})")
        if set(inst.tree("")) - before - {"autolog"}:
            return k
    raise Failure("no kill left a trace of the installation")


def calibrate(rig, template, layout, staging):
    """From uninterrupted runs: the number of counted calls and the first of
    the installation, once the staging is known to reach the image as the
    variant says (all of it synced, nothing of it unsynced)."""
    rig.copy(template, rig.image("work.img"))
    with rig.mount(rig.image("work.img"), layout.signed) as inst:
        manifest = stage(rig, inst, layout, staging)
        rig.copy(rig.image("work.img"), rig.image("staged.img"))
        code, calls = run_native(inst, count=True)
        try:
            version, _ = settled_version(inst, layout, code)
        except Failure as failure:
            raise Failure(f"uninterrupted run: {failure}")
        if version != "new":
            raise Failure(f"uninterrupted run: the {version} version is installed")
    with rig.mount(rig.image("staged.img"), layout.signed) as inst:
        left = left_by_cut(inst, layout, manifest)
        anything = os.path.exists(inst.path("move.xml")) or os.path.exists(inst.path("autoTemp"))
    if staging == "synced" and left != "the whole update":
        raise Skip("the image's copy lacks the staged update that syncfs flushed")
    if staging == "unsynced" and anything:
        raise Skip("the unflushed staged update reached the image: a copy of it is no power cut")
    rig.copy(template, rig.image("work.img"))
    with rig.mount(rig.image("work.img"), layout.signed) as inst:
        stage(rig, inst, layout, staging)
        first = first_installation_call(inst, calls)
    return calls, first


def power_cut(rig, template, layout, staging, kill_at):
    """One cut: killed before counted call kill_at (0: after it exited), the
    image copied at once, the copy mounted and the Updater run again. Returns
    what the cut left and the version the rerun ended with."""
    work, cut, rerun_image = rig.image("work.img"), rig.image("cut.img"), rig.image("rerun.img")
    rig.copy(template, work)
    with rig.mount(work, layout.signed) as inst:
        manifest = stage(rig, inst, layout, staging)
        code, _ = run_native(inst, kill_at=kill_at)
        rig.copy(work, cut)
        if code != (-9 if kill_at else 0):
            raise Failure(f"the run ended with exit code {code}")
    os.remove(work)
    rig.copy(cut, rerun_image)
    with rig.mount(rerun_image, layout.signed) as inst:
        left = left_by_cut(inst, layout, manifest)
        with contextlib.suppress(FileNotFoundError):
            os.remove(inst.path("product-cmdline.txt"))
        rerun = subprocess.run([inst.path(inst.self_name), "updater"], cwd=rig.base, env=inst.env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        version, told = settled_version(inst, layout, rerun.returncode)
        if left and version == "old":
            lost = sum(inst.read("autoTemp\\" + rel) != new for rel, new in layout.staged.items())
            raise Failure(f"the cut left {left}, yet the rerun ended with the old version ({told!r}): "
                          f"{lost} staged files lack their new bytes")
    return left, version


def power_cuts(rig, variant):
    layout, staging, default_cuts = VARIANTS[variant]
    cuts = int(os.environ.get("UPD_POWER_CUTS", default_cuts))
    seed = int(rig.options.seed) if rig.options.seed is not None else random.randrange(1 << 30)
    rng = random.Random(seed)
    check_machine()
    template = make_template(rig, layout)
    calls, first = calibrate(rig, template, layout, staging)
    # The first calls of the installation, until its plan is flushed, each
    # leave a state of their own but are too few for chance to pick them.
    early = list(range(first, first + min(3, cuts)))
    ends = max(1, cuts // 6) if cuts > len(early) else 0
    kills = early + sorted(rng.randint(first, calls) for _ in range(cuts - len(early) - ends)) + [0] * ends
    print(f"{variant}, seed {seed}: {calls} counted calls, the installation from call {first}")
    tally = {"old": 0, "new": 0, "failed": 0}
    failures = []
    for kill_at in kills:
        what = f"cut at call {kill_at}" if kill_at else "cut after the Updater exited"
        try:
            left, version = power_cut(rig, template, layout, staging, kill_at)
            tally[version] += 1
            print(f"  {what}: it left {left or 'neither plan nor update'}; the rerun ended {version}")
        except Failure as failure:
            tally["failed"] += 1
            print(f"  {what}: FAILED: {failure}")
            if not failures and os.path.exists(rig.image("cut.img")):
                os.rename(rig.image("cut.img"), rig.image("failed-cut.img"))
                print(f"  the image that cut left is kept: {rig.image('failed-cut.img')}")
            failures.append(what)
    summary = (f"{variant}, seed {seed}: {len(kills)} cuts: {tally['new']} new, {tally['old']} old, "
               f"{tally['failed']} failed")
    print(summary)
    if failures:
        raise Failure(f"{summary} (repeat with --seed {seed})")


for _name in VARIANTS:
    SCENARIOS[_name] = lambda rig, variant=_name: power_cuts(rig, variant)
    SCENARIOS.native.add(_name)


def main():
    # Ended by SIGTERM, the runner still goes through its finally blocks and
    # releases the mounts and the loop devices.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
    return run_main(SCENARIOS, Rig, "upd-power-cut",
                    ("--updater", "--signed-updater", "--keys", "--product", "--kill-switch", "--seed"))


if __name__ == "__main__":
    sys.exit(main())
