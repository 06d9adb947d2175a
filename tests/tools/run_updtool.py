#!/usr/bin/env python3
"""Scenarios of updtool, the producer's companion of the Updater.

Each scenario works in a scratch directory: it builds trees, runs updtool
(and, where the Updater's own verdict is the reference, the Updater itself
with a fake product), and checks exit statuses, output and files.

    run_updtool.py --updtool T --updater U --signed-updater S --keys DIR --product P --locker L
                   [--wine WINE_RUN] NAME...
    run_updtool.py --list

With --wine the programs are the Windows build, run through tools/wine-run.sh.
Windows file names cannot hold a double quote, "<" or ">", so under Wine the
names that have them natively use a single quote and parentheses instead.
"""

import hashlib
import json
import os
import shutil
import stat
import subprocess
import sys

from cryptography.hazmat.primitives.asymmetric.ed25519 import Ed25519PrivateKey, Ed25519PublicKey
from cryptography.hazmat.primitives.serialization import Encoding, PublicFormat

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from scenario_runner import Failure, Helpers, Registry, expect_equal, md5, product_record, run_main  # noqa: E402

SCENARIOS = Registry()
scenario = SCENARIOS


class Result:
    def __init__(self, status, stdout, stderr):
        self.status = status
        self.stdout = stdout
        self.stderr = stderr

    def json(self):
        try:
            return json.loads(self.stdout)
        except ValueError as error:
            raise Failure(f"--json output does not parse ({error}):\n{self.stdout}")


class Scratch:
    def __init__(self, options, base):
        self.options = options
        self.wine = options.wine is not None
        self.exe = ".exe" if self.wine else ""
        self.base = base
        self.helpers = Helpers(base, self.wine)
        # Characters of XML's that file names may hold on the platform.
        self.quote = "'" if self.wine else '"'
        self.angles = "()" if self.wine else "<>"

    def path(self, rel):
        return os.path.join(self.base, *rel.replace("\\", "/").split("/"))

    def write(self, rel, content):
        path = self.path(rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content.encode("utf-8") if isinstance(content, str) else content)

    def read(self, rel):
        with open(self.path(rel), "rb") as f:
            return f.read()

    def command(self, program, *args):
        return ([self.options.wine, program] if self.wine else [program]) + list(args)

    def updtool(self, *args, cwd=None):
        """Runs updtool with relative paths from the scratch directory."""
        completed = subprocess.run(self.command(self.options.updtool, *args), cwd=cwd or self.base,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                   timeout=180 if self.wine else 60)
        return Result(completed.returncode, completed.stdout.decode("utf-8"),
                      completed.stderr.decode("utf-8"))

    def files(self, rel):
        """{relative path with "/": content} of every file below rel."""
        top = self.path(rel)
        found = {}
        for root, _, names in os.walk(top):
            for name in names:
                path = os.path.join(root, name)
                with open(path, "rb") as f:
                    found[os.path.relpath(path, top).replace(os.sep, "/")] = f.read()
        return found

    def listing(self, rel):
        top = self.path(rel)
        items = []
        for root, dirs, names in os.walk(top):
            prefix = os.path.relpath(root, top).replace(os.sep, "/")
            prefix = "" if prefix == "." else prefix + "/"
            items += [prefix + d + "/" for d in dirs] + [prefix + n for n in names]
        return sorted(items)

    # ---- the Updater as the reference ------------------------------------------

    def install_updater(self, rel, signed=False):
        """The Updater (signed: the one that trusts the test keys) and the product in rel."""
        updater = self.options.signed_updater if signed else self.options.updater
        shutil.copy(updater, self.path(rel + "/updater" + self.exe))
        shutil.copy(self.options.product, self.path(rel + "/mivato.exe"))

    def run_updater(self, rel):
        """Runs the Updater in directory rel; returns what the product received."""
        record = self.path(rel + "/product-cmdline.txt")
        if os.path.exists(record):
            os.remove(record)
        subprocess.run(self.command(self.path(rel + "/updater" + self.exe), "updater"), cwd=self.base,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=180 if self.wine else 60, check=True)
        return "\n".join(product_record(record, self.wine))

    def hold(self, rel, mode):
        """Keeps file rel (relative to the scratch directory) open until release."""
        self.helpers.start(self.command(self.options.locker, mode, rel), self.base)

    def release(self):
        self.helpers.release()


def parse_text(stdout):
    """Entry lines of check's text output: [(status, path)], and the outcome."""
    lines = stdout.split("\n")
    if lines[-1] != "":
        raise Failure(f"output does not end with a line end: {stdout!r}")
    lines = lines[:-1]
    outcome = lines[-1].split("; the product gets: ", 1)[1]
    entries = []
    for line in lines[:-1]:
        if line.startswith("move.xml: ") or line.endswith(" entries"):
            continue
        status, rest = line.split(" ", 1)
        path = rest.lstrip(" ")
        for cut in ("  expected ", "  ("):
            path = path.split(cut, 1)[0]
        entries.append((status, path))
    return entries, outcome


def check_both(s, rel, expect_status):
    """Runs check in text and JSON form: same facts in both; returns the JSON."""
    text = s.updtool("check", rel)
    as_json = s.updtool("check", "--json", rel)
    expect_equal("check exit status", text.status, expect_status)
    expect_equal("check --json exit status", as_json.status, expect_status)
    report = as_json.json()
    entries, outcome = parse_text(text.stdout)
    expect_equal("entries, text against JSON", entries,
                 [(e["status"], e["path"]) for e in report["entries"]])
    expect_equal("outcome, text against JSON", outcome, report["outcome"])
    expect_equal("install flag", report["install"], expect_status == 0)
    fault = report["manifest"]["fault"]
    if fault and "line" in fault:
        expect_equal("fault line in text", f"move.xml: line {fault['line']}, column {fault['column']}: "
                     f"{fault['description']}" in text.stdout, True)
    return report


# ---- scenarios ----------------------------------------------------------------


@scenario
def round_trip(s):
    """stage -> check -> the Updater installs -> the installed tree equals the new tree."""
    q, (lt, gt) = s.quote, s.angles
    old = {"readme.txt": "old readme", "bin/core.dll": "old core", "bin/same.dll": "same",
           "数据/图标.png": "old icon", "docs/R&D notes.txt": "unchanged"}
    new = dict(old)
    new.update({"readme.txt": "new readme\r\n", "bin/core.dll": b"\x00\x01new core" * 300,
                "数据/图标.png": "new icon", "bin/plugins/deep/x.dll": "x" * 5000,
                f"docs/R&D {q}quoted{q} {lt}a{gt} & b.txt": "ampersand, quotes, blanks",
                "a b/c d.txt": "blanks", "中文目录/文件 1.txt": "中文", "empty.txt": ""})
    for rel, content in old.items():
        s.write("install/" + rel, content)
    for rel, content in new.items():
        s.write("new/" + rel, content)
    result = s.updtool("stage", "--installed", "install", "--new", "new", "--out", "out")
    expect_equal("stage exit status", (result.status, result.stderr), (0, ""))
    changed = sorted(rel for rel in new if old.get(rel) != new[rel])
    expect_equal("staged files", sorted(s.files("out/autoTemp")),  sorted(changed))
    expect_equal("out", sorted(os.listdir(s.path("out"))), ["autoTemp", "move.xml"])
    manifest = s.read("out/move.xml").decode("utf-8")
    if not manifest.startswith('<?xml version="1.0" encoding="UTF-8"?>\n<update>\n'):
        raise Failure(f"manifest head: {manifest[:80]!r}")
    report = check_both(s, "out", 0)
    paths = [e["path"] for e in report["entries"]]
    expect_equal("manifest order (by UTF-16 code units)", paths,
                 sorted(paths, key=lambda p: p.encode("utf-16-be")))
    expect_equal("manifest paths", sorted(p.replace("\\", "/") for p in paths), changed)
    for e in report["entries"]:
        expect_equal(f"digest of {e['path']}", (e["expected"], e["actual"]),
                     (md5(s.read("new/" + e["path"])),) * 2)

    # Shipping: the manifest and the staging directory go beside the Updater.
    s.install_updater("install")
    shutil.copy(s.path("out/move.xml"), s.path("install/move.xml"))
    shutil.copytree(s.path("out/autoTemp"), s.path("install/autoTemp"))
    expect_equal("check in the install directory", s.updtool("check", "install").status, 0)
    expect_equal("product command line", s.run_updater("install"), "moveok~")
    installed = s.files("install")
    for extra in ("updater" + s.exe, "mivato.exe", "move.xml", "autolog", "product-cmdline.txt"):
        installed.pop(extra, None)
    expect_equal("installed tree", installed,
                 {rel: (c.encode("utf-8") if isinstance(c, str) else c) for rel, c in new.items()})


@scenario
def stage_all_and_md5(s):
    """--all stages every file; md5 prints md5sum's format, digests as the Updater computes them."""
    files = {"a.txt": "a", "sub/b c.txt": "b" * 1024, "sub/中文.bin": b"\xff" * 1025}
    for rel, content in files.items():
        s.write("new/" + rel, content)
    result = s.updtool("stage", "--all", "--new", "new", "--out", "out")
    expect_equal("stage --all", result.status, 0)
    expect_equal("staged", sorted(s.files("out/autoTemp")), sorted(files))
    expect_equal("check", check_both(s, "out", 0)["message"], None)

    names = ["new/" + rel for rel in files]
    result = s.updtool("md5", *names)
    expect_equal("md5 exit status", result.status, 0)
    expected = "".join(f"{md5(s.read(n))}  {n}\n" for n in names)
    expect_equal("md5 output", result.stdout, expected)
    if not s.wine:
        listed = subprocess.run(["md5sum", *names], cwd=s.base, stdout=subprocess.PIPE, check=True)
        expect_equal("md5 against md5sum", result.stdout, listed.stdout.decode("utf-8"))
    # A path with a backslash is escaped as md5sum escapes it.
    result = s.updtool("md5", "new\\a.txt")
    if s.wine:
        expect_equal("escaped line", result.stdout, f"\\{md5(b'a')}  new\\\\a.txt\n")
    result = s.updtool("md5", "new/a.txt", "missing.txt")
    expect_equal("md5 with a missing file", (result.status, result.stdout.count("\n")), (1, 1))
    if "missing.txt" not in result.stderr:
        raise Failure(f"the missing file is not named: {result.stderr!r}")


@scenario
def stage_refusals_leave_out_untouched(s):
    """Names the Updater would refuse or the manifest cannot carry fail the
    command, and nothing is left in OUT."""
    s.write("new/good.txt", "good")
    s.write("out/keep.txt", "keep")
    bad = []
    if not s.wine:
        # Names that Windows cannot even create.
        bad = ["c:d.txt", "...", "tab\there.txt", "back\\slash.txt"]
        os.makedirs(s.path("new/sub"))
        for name in bad:
            with open(os.path.join(s.path("new/sub"), name), "wb") as f:
                f.write(b"bad")
        with open(os.path.join(s.path("new/sub").encode(), b"latin1-\xe9.txt"), "wb") as f:
            f.write(b"not UTF-8")
        result = s.updtool("stage", "--all", "--new", "new", "--out", "out")
        expect_equal("stage exit status", result.status, 1)
        for name in bad + ["latin1-"]:
            if name not in result.stderr:
                raise Failure(f"{name!r} is not reported: {result.stderr!r}")
        expect_equal("out after refusal", s.listing("out"), ["keep.txt"])
        shutil.rmtree(s.path("new/sub"))
    # OUT holding a manifest already: refused, nothing changed.
    s.write("out/move.xml", "<update/>")
    result = s.updtool("stage", "--all", "--new", "new", "--out", "out")
    expect_equal("stage into a used OUT", result.status, 1)
    expect_equal("out after refusal", s.listing("out"), ["keep.txt", "move.xml"])
    expect_equal("old manifest kept", s.read("out/move.xml"), b"<update/>")
    # A new OUT that stage creates itself and then fills.
    result = s.updtool("stage", "--all", "--new", "new", "--out", "fresh")
    expect_equal("stage into a new OUT", result.status, 0)
    expect_equal("fresh", s.listing("fresh"), ["autoTemp/", "autoTemp/good.txt", "move.xml"])


def updater_verdict(s, rel):
    """check's verdict for directory rel, compared with the Updater's own run there."""
    report = check_both(s, rel, 1)
    s.install_updater(rel)
    expect_equal("the Updater's outcome against check's", s.run_updater(rel), report["outcome"])
    return report


@scenario
def check_reports_the_updaters_failures(s):
    """Each failure check predicts is the message the Updater then sends."""
    good = md5(b"good")
    cases = {
        "mismatch": ([("a.txt", good), ("b.txt", md5(b"other"))], "md5-mismatch", "MD5检测错误 b.txt"),
        "upper": ([("a.txt", good.upper())], "md5-mismatch", "MD5检测错误 a.txt"),
        "missing": ([("a.txt", good), ("gone\\x.txt", good)], "missing", "MD5检测错误 gone\\x.txt"),
        "unsafe": ([("a.txt", good), ("..\\evil.txt", good)], "unsafe-path", "非法路径 ..\\evil.txt"),
    }
    for name, (entries, status, message) in cases.items():
        s.write(name + "/autoTemp/a.txt", "good")
        s.write(name + "/autoTemp/b.txt", "good")
        body = "".join(f'<file path="{p}" md5="{d}"/>' for p, d in entries)
        s.write(name + "/move.xml", f"<update>{body}</update>")
        report = updater_verdict(s, name)
        expect_equal(f"{name}: message", (report["step"], report["message"]), ("verification", message))
        expect_equal(f"{name}: failing entry", report["entries"][-1]["status"], status)
        expect_equal(f"{name}: first entry", report["entries"][0]["status"], "ok" if name != "upper" else status)

    # A target held without sharing: code 32, as the Updater reports it.
    s.write("held/autoTemp/data.dat", "new")
    s.write("held/data.dat", "old")
    s.write("held/move.xml", f'<update><file path="data.dat" md5="{md5(b"new")}"/></update>')
    s.hold("held/data.dat", "exclusive")
    try:
        report = updater_verdict(s, "held")
    finally:
        s.release()
    expect_equal("in use", (report["step"], report["entries"][0]["status"], report["entries"][0]["code"]),
                 ("occupancy", "in-use", 32))
    expect_equal("in use: message", report["message"], "data.dat被占用,请重启电脑或关闭占用软件 （32）")

    # The Updater's own file passes whatever its digest; only under its exact name.
    s.write("own/autoTemp/updater" + s.exe, "newer")
    s.write("own/move.xml", f'<update><file path="updater{s.exe}" md5="{md5(b"x")}"/></update>')
    report = check_both(s, "own", 0)
    expect_equal("own file", report["entries"][0]["status"], "own-file")
    report = s.updtool("check", "--json", "--self", "other.exe", "own").json()
    expect_equal("another own name", report["message"], f"MD5检测错误 updater{s.exe}")


@scenario
def check_locates_manifest_faults(s):
    """The first fault of a broken manifest by line and column; the Updater says WellForme err."""
    cases = [
        ("syntax", '<update>\n  <file path="a"/>\n  <1>\n</update>', "syntax-error", 3, 3),
        ("lone", '<update>\r\n  <file path="a"/></fiel>\r\n</update>', "lone-end-tag", 2, 19),
        ("unended", '<?xml version="1.0"?>\n<update>\n  <file path="中文">\n</update>', "unended-element", 3, 3),
        ("roots", '<update/>\n\n   <update/>', "second-root", 3, 4),
        ("nothing", "just text", "no-element", None, None),
        ("empty", "", "empty", None, None),
        ("long", '<update>\n  <file path="a"></file' + " " * 1020 + '>\n</update>', "tag-too-long", 2, 18),
        # Levels up to 65535 fit: the first element past them is the fault.
        ("deep", "<update>\n" + "<a>" * 65536 + "</a>" * 65536 + "</update>", "too-deep", 2, 3 * 65535 + 1),
    ]
    for name, text, kind, line, column in cases:
        s.write(name + "/move.xml", text)
        report = updater_verdict(s, name)
        fault = report["manifest"]["fault"]
        expect_equal(f"{name}: fault", (fault["kind"], fault.get("line"), fault.get("column")),
                     (kind, line, column))
        expect_equal(f"{name}: message", report["message"], "WellForme err")
    s.write("root/move.xml", "<files/>")
    report = updater_verdict(s, "root")
    expect_equal("wrong root", (report["message"], report["manifest"]["fault"]["kind"]), ("update err", "wrong-root"))
    os.mkdir(s.path("none"))
    report = check_both(s, "none", 1)
    expect_equal("no manifest", report["manifest"]["fault"]["kind"], "missing")


@scenario
def usage_and_progress(s):
    """Bad usage exits with 2; progress appears on a terminal only."""
    os.mkdir(s.path("empty"))
    for args in ([], ["bogus"], ["check", "--bad"], ["check", "nowhere"], ["check", "empty", "empty"],
                 ["stage", "--new", "empty"], ["stage", "--new", "nowhere", "--out", "o", "--all"],
                 ["stage", "--new", "empty", "--out"], ["md5"]):
        result = s.updtool(*args)
        expect_equal(f"exit status of {args}", result.status, 2)
        if not result.stderr.startswith("updtool: "):
            raise Failure(f"no message for {args}: {result.stderr!r}")
    expect_equal("--help", s.updtool("--help").status, 0)
    if "UTF-16" not in s.updtool("--help").stdout:
        raise Failure("the help does not say how columns count")

    for i in range(300):
        s.write(f"new/d{i % 7}/f{i}.txt", str(i))
    result = s.updtool("stage", "--all", "--new", "new", "--out", "out")
    expect_equal("stage without a terminal", (result.status, result.stderr), (0, ""))
    if not s.wine:
        import pty
        pid, fd = pty.fork()
        if pid == 0:
            os.chdir(s.base)
            os.execv(s.options.updtool, [s.options.updtool, "check", "out"])
        seen = b""
        while True:
            try:
                chunk = os.read(fd, 4096)
            except OSError:
                break
            if not chunk:
                break
            seen += chunk
        _, status = os.waitpid(pid, 0)
        expect_equal("check on a terminal", os.waitstatus_to_exitcode(status), 0)
        if b"\rcheck 300/300 (100%)" not in seen:
            raise Failure(f"no progress on the terminal: {seen[-200:]!r}")


def test_key(s, name):
    return os.path.join(s.options.keys, name)


def verifies(public_hex, data, signature_text):
    """Whether the signature file's text is public_hex's signature of data, by OpenSSL."""
    try:
        Ed25519PublicKey.from_public_bytes(bytes.fromhex(public_hex)).verify(bytes.fromhex(signature_text), data)
        return True
    except Exception:
        return False


def expect_signed(s, rel, key="test-only-a"):
    """rel holds a signed update: sha256 on every entry, right for its staged
    file, and move.xml.sig the key's signature of move.xml's bytes."""
    manifest = s.read(rel + "/move.xml")
    with open(test_key(s, key + ".pub")) as f:
        public = f.read().strip()
    if not verifies(public, manifest, s.read(rel + "/move.xml.sig").decode().strip()):
        raise Failure(f"{rel}/move.xml.sig is not {key}'s signature of move.xml")
    report = s.updtool("check", "--json", "--pub", test_key(s, key + ".pub"), rel).json()
    expect_equal(f"{rel}: signature", report["signature"], {"status": "verified", "code": None, "key": public})
    for e in report["entries"]:
        expect_equal(f"{rel}: sha256 of {e['path']}", (e["sha256"]["expected"], e["sha256"]["actual"]),
                     (hashlib.sha256(s.read(rel + "/autoTemp/" + e["path"])).hexdigest(),) * 2)
    return report


@scenario
def signed_round_trip(s):
    """keygen, stage --sign, sign and check --pub, and the Updater built with
    the test keys installing what they make."""
    # keygen: a seed, its public key as OpenSSL derives it, the private file for its owner only.
    result = s.updtool("keygen", "team")
    expect_equal("keygen", (result.status, result.stderr), (0, ""))
    seed = bytes.fromhex(s.read("team.key").decode())
    derived = Ed25519PrivateKey.from_private_bytes(seed).public_key().public_bytes(Encoding.Raw, PublicFormat.Raw)
    expect_equal("team.pub", s.read("team.pub"), derived.hex().encode() + b"\n")
    expect_equal("team.key is one line of 64 hex digits", len(s.read("team.key")), 65)
    if not s.wine:
        expect_equal("team.key mode", stat.S_IMODE(os.stat(s.path("team.key")).st_mode), 0o600)
    result = s.updtool("keygen", "team")
    expect_equal("keygen over an existing key", (result.status, s.read("team.key")), (1, seed.hex().encode() + b"\n"))

    files = {"readme.txt": "new readme", "bin/core.dll": b"\x00core" * 500, "数据/图标.png": "icon"}
    for rel, content in files.items():
        s.write("new/" + rel, content)
    result = s.updtool("stage", "--all", "--new", "new", "--out", "out", "--sign", test_key(s, "test-only-a.key"))
    expect_equal("stage --sign without --version", (result.status, os.path.exists(s.path("out"))), (2, False))
    result = s.updtool("stage", "--all", "--new", "new", "--out", "out", "--sign", test_key(s, "test-only-a.key"),
                       "--version", "1.5")
    expect_equal("stage --sign", (result.status, result.stderr), (0, ""))
    expect_equal("the release checked", expect_signed(s, "out")["release"], {"version": "1.5", "installed": None})
    # Without --pub, check says what it always said.
    plain = s.updtool("check", "--json", "out").json()
    expect_equal("check without --pub", ("signature" in plain, "sha256" in plain["entries"][0]), (False, False))
    report = s.updtool("check", "--json", "--pub", test_key(s, "test-only-untrusted.pub"), "out").json()
    expect_equal("another key", (report["signature"]["status"], report["message"]),
                 ("not-verified", "move.xml.sig签名检测错误 （577）"))
    text = s.updtool("check", "--pub", test_key(s, "test-only-untrusted.pub"), "out").stdout
    if "move.xml.sig: no given key verifies move.xml with it\n" not in text:
        raise Failure(f"check's text does not name the signature's fault: {text!r}")

    # sign: an unsigned staging gains sha256 and a signature; a staged file
    # that no longer matches its md5 is refused and nothing changes.
    result = s.updtool("stage", "--all", "--new", "new", "--out", "plain")
    expect_equal("stage", result.status, 0)
    result = s.updtool("sign", "--key", test_key(s, "test-only-a.key"), "plain")
    expect_equal("sign without a release", (result.status, os.path.exists(s.path("plain/move.xml.sig"))), (1, False))
    result = s.updtool("sign", "--key", test_key(s, "test-only-a.key"), "--version", "1.4.9", "plain")
    expect_equal("sign", (result.status, result.stderr), (0, ""))
    expect_signed(s, "plain")
    before = (s.read("plain/move.xml"), s.read("plain/move.xml.sig"))
    s.write("plain/autoTemp/readme.txt", "changed after staging")
    result = s.updtool("sign", "--key", test_key(s, "test-only-a.key"), "--version", "1.4.9", "plain")
    expect_equal("sign a changed staging", (result.status, s.read("plain/move.xml"), s.read("plain/move.xml.sig")),
                 (1, *before))
    report = check_both(s, "plain", 1)
    expect_equal("check without --pub of the changed staging", report["message"], "MD5检测错误 readme.txt")

    # A wrong sha256 in a manifest that is signed all the same: check --pub
    # names it, and the Updater with the test keys says what check predicts.
    shutil.copytree(s.path("out"), s.path("wrong"))
    right = hashlib.sha256(s.read("wrong/autoTemp/readme.txt")).hexdigest()
    manifest = s.read("wrong/move.xml").replace(right.encode(), b"0" * 64)
    s.write("wrong/move.xml", manifest)
    with open(test_key(s, "test-only-a.key")) as f:
        signer = Ed25519PrivateKey.from_private_bytes(bytes.fromhex(f.read().strip()))
    s.write("wrong/move.xml.sig", signer.sign(manifest).hex() + "\n")
    report = s.updtool("check", "--json", "--pub", test_key(s, "test-only-a.pub"), "wrong").json()
    wrong = [e for e in report["entries"] if e["status"] != "ok"]
    expect_equal("wrong sha256", [(e["path"], e["status"], e["message"]) for e in wrong],
                 [("readme.txt", "sha256-mismatch", "SHA256检测错误 readme.txt")])
    s.install_updater("wrong", signed=True)
    expect_equal("the signed Updater against check --pub", s.run_updater("wrong"), report["outcome"])

    # Shipping: the Updater with the test keys installs the signed update.
    s.install_updater("out", signed=True)
    expect_equal("check --pub in the install directory",
                 s.updtool("check", "--pub", test_key(s, "test-only-a.pub"), "out").status, 0)
    expect_equal("the signed Updater's outcome", s.run_updater("out"), "moveok~")
    installed = {rel: s.read("out/" + rel) for rel in files}
    expect_equal("installed", installed, {rel: (c.encode() if isinstance(c, str) else c) for rel, c in files.items()})
    # That installation's Updater would refuse an older release, as check --installed says.
    s.write("plain/autoTemp/readme.txt", "new readme")
    report = s.updtool("check", "--json", "--pub", test_key(s, "test-only-a.pub"), "--installed", "out", "plain").json()
    expect_equal("an older release against the installation", (report["release"], report["message"]),
                 ({"version": "1.4.9", "installed": "1.5"}, "move.xml版本过旧 1.4.9 （已安装 1.5）"))


def main():
    return run_main(SCENARIOS, Scratch, "updtool",
                    ("--updtool", "--updater", "--signed-updater", "--keys", "--product", "--locker"))


if __name__ == "__main__":
    sys.exit(main())
