#include "tools/updtool/commands.h"

#include "tools/updtool/output.h"
#include "platform/format.h"
#include "tools/updtool/self_name.h"
#include "upd_version.h"

namespace updtool {
namespace {

constexpr std::u16string_view kHelp =
    u"updtool: stages and checks updates for the Mivato Updater, with the Updater's own code.\n"
    u"\n"
    u"updtool stage --installed DIR --new DIR --out DIR [--all] [--patches] [--keep-removed]\n"
    u"              [--sign NAME.key --version V]\n"
    u"    Compares the new product tree with the installed one by MD5 and copies every\n"
    u"    new or changed file (every file with --all; --installed may then be left out)\n"
    u"    into OUT\\autoTemp\\ at its relative path, then writes OUT\\move.xml: UTF-8 with\n"
    u"    an XML declaration, root \"update\", one \"file\" element per staged file with\n"
    u"    \"path\" (backslash-separated) and \"md5\", sorted by path, code unit by code unit\n"
    u"    of its UTF-16 text. The manifest is read back through the Updater's reader\n"
    u"    before anything appears in OUT, which must not hold autoTemp or move.xml yet.\n"
    u"    Names the Updater refuses (rooted, \":\", \"..\", devices such as CON or COM1,\n"
    u"    its own autoTemp and ~updater) or that cannot be written into\n"
    u"    the manifest (control characters, invalid UTF-16 or UTF-8, a backslash inside\n"
    u"    a Linux file name) fail the command and leave OUT as it was.\n"
    u"    Every file of --installed that the new tree no longer has is listed as a\n"
    u"    \"remove\" element, which the Updater removes after the moves (with its\n"
    u"    directories, when they are left empty); --keep-removed lists none.\n"
    u"    --patches stages, for each changed file, a VCDIFF patch from the installed\n"
    u"    file instead of the file, where the patch is at most 3/4 of its size and\n"
    u"    makes it back exactly; the entry then says patch=\"vcdiff\" and the\n"
    u"    installed file's base-md5 (and base-sha256 when signed).\n"
    u"    --sign NAME.key makes it a signed update: every entry gets \"sha256\" too,\n"
    u"    and OUT\\move.xml.sig holds the signature of move.xml's bytes. It needs\n"
    u"    --version V, the release (one to four dot-separated numbers, 1.5.0), which\n"
    u"    goes on the root element; a signed Updater never installs an older one.\n"
    u"\n"
    u"updtool check [--json] [--self NAME] [--pub FILE]... [--installed DIR] [DIR]\n"
    u"    Does in DIR (default: the current directory) what the Updater does before it\n"
    u"    installs, terminating nothing, pausing not and moving nothing: reads move.xml,\n"
    u"    verifies every staged file in autoTemp\\, checks that no target is in use.\n"
    u"    Prints one line per entry and the outcome the product would receive. For a\n"
    u"    manifest that is not well formed it names the first fault by line and column,\n"
    u"    both counted from 1 in the decoded UTF-16 text (a character outside the Basic\n"
    u"    Multilingual Plane counts 2 columns; LF, CR LF and a lone CR end a line).\n"
    u"    --json prints the same facts as one JSON document.\n"
    u"    --self NAME is the Updater's own file name, which the Updater exempts from\n"
    u"    the digest and occupancy checks (default: %s).\n"
    u"    --pub FILE checks a signed update as an Updater built with the keys of\n"
    u"    FILE (a NAME.pub or the UPD_TRUSTED_KEYS file) does: the signature\n"
    u"    move.xml.sig and every entry's sha256 as well, and reports the release.\n"
    u"    --installed DIR reads the version mark of the installation in DIR and\n"
    u"    fails where its Updater would refuse the release as older.\n"
    u"    Exit status: 0 the Updater would go on to install, 1 it would fail, 2 bad usage.\n"
    u"\n"
    u"updtool md5 FILE...\n"
    u"    Each file's MD5 exactly as the Updater computes it, in md5sum's format.\n"
    u"\n"
    u"updtool keygen NAME\n"
    u"    Makes a key pair for signed updates from the system's random source:\n"
    u"    NAME.key, the private key (64 hex digits, readable by its owner only), and\n"
    u"    NAME.pub, the public key, a line for the file UPD_TRUSTED_KEYS names.\n"
    u"    Existing files are never replaced.\n"
    u"\n"
    u"updtool sign --key NAME.key [--version V] DIR\n"
    u"    Makes the staged update in DIR a signed one: gives every entry of\n"
    u"    DIR\\move.xml that has none the \"sha256\" of its staged file, checks the\n"
    u"    digests it has against the files, rewrites move.xml as stage writes it\n"
    u"    and writes DIR\\move.xml.sig. --version V names the release (needed when\n"
    u"    move.xml names none).\n"
    u"\n"
    u"updtool patch [--checksum] BASE NEW OUT\n"
    u"    Writes OUT, a VCDIFF patch (RFC 3284, default code table, no secondary\n"
    u"    compression) that makes NEW from BASE; xdelta3 -d applies it too.\n"
    u"    --checksum gives every window xdelta3's Adler-32 of its bytes, which\n"
    u"    apply checks. BASE is held in memory while the patch is made.\n"
    u"\n"
    u"updtool apply BASE PATCH OUT\n"
    u"    Applies a VCDIFF patch (ours or xdelta3 -S none's) to BASE, writing OUT.\n"
    u"    A damaged patch, or one that needs a secondary compressor or its own\n"
    u"    code table, is refused with exit status 1.\n"
    u"\n"
    u"patch and apply write OUT through OUT.partial and never replace an existing\n"
    u"file: a run that fails leaves no OUT.\n"
    u"\n"
    u"Long runs show progress on standard error when it is a terminal.\n";

}  // namespace

int usageError(std::u16string_view message) {
    writeProblem(std::u16string(message) + u" (see updtool --help)");
    return kExitUsage;
}

int run(const std::vector<std::u16string>& args) {
    if (args.empty()) return usageError(u"a command is needed: stage, check, md5, keygen, sign, patch or apply");
    const std::u16string& command = args[0];
    const std::vector<std::u16string> rest(args.begin() + 1, args.end());
    if (command == u"stage") return stageCommand(rest);
    if (command == u"check") return checkCommand(rest);
    if (command == u"md5") return md5Command(rest);
    if (command == u"keygen") return keygenCommand(rest);
    if (command == u"sign") return signCommand(rest);
    if (command == u"patch") return patchCommand(rest);
    if (command == u"apply") return applyCommand(rest);
    if (command == u"--help" || command == u"-h" || command == u"help") {
        writeOut(platform::formatMessage(kHelp, {defaultSelfName()}));
        return kExitOk;
    }
    if (command == u"--version") {
        writeOut(u"updtool " + widen(UPD_VERSION_STRING) + u"\n");
        return kExitOk;
    }
    return usageError(u"unknown command \"" + command + u"\"");
}

}  // namespace updtool
