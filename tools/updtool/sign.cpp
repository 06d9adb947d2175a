// updtool sign: makes a staged directory a signed update.
#include "install/manifest.h"
#include "install/release.h"
#include "install/signature.h"
#include "platform/platform.h"
#include "tools/updtool/commands.h"
#include "tools/updtool/key_files.h"
#include "tools/updtool/manifest_writer.h"
#include "tools/updtool/output.h"
#include "tools/updtool/tree.h"
#include "xml/xml_doc.h"

namespace updtool {
namespace {

constexpr int kMaxPartialNames = 1000;

int failed(const std::vector<std::u16string>& problems) {
    for (const std::u16string& problem : problems) writeProblem(problem);
    writeProblem(u"nothing was signed");
    return kExitFailed;
}

// Gives every entry its staged file's SHA-256 where it has none, and checks
// the digests it has: a manifest is signed only as its files stand.
bool completeDigests(const std::u16string& dir, std::vector<install::ManifestEntry>& entries, std::size_t& added,
                     std::vector<std::u16string>& problems) {
    Progress progress(u"sign: hashing", entries.size());
    for (install::ManifestEntry& entry : entries) {
        progress.advance();
        const std::u16string problem = pathProblem(entry.path);
        const std::u16string staged = joinPath(dir, u"autoTemp\\" + entry.path);
        FileDigests digests;
        if (!problem.empty()) {
            problems.push_back(entry.path + u": " + problem);
        } else if (!entry.patch.empty()) {
            // The staged file is a patch: the digests of what it makes need
            // the installed file, which only stage --patches has at hand.
            if (entry.sha256.empty() || entry.baseSha256.empty()) {
                problems.push_back(entry.path + u": a patched entry needs its sha256 and base-sha256 (updtool stage "
                                                u"--patches --sign writes them)");
            }
        } else if (platform::findFirstFile(staged) != platform::FindResult::kFile || !fileDigests(staged, true, digests)) {
            problems.push_back(staged + u": cannot be read");
        } else if (widen(digests.md5) != entry.md5) {
            problems.push_back(staged + u": its MD5 is " + widen(digests.md5) + u", the manifest says \"" + entry.md5 + u"\"");
        } else if (entry.sha256.empty()) {
            entry.sha256 = widen(digests.sha256);
            ++added;
        } else if (widen(digests.sha256) != entry.sha256) {
            problems.push_back(staged + u": its SHA-256 is " + widen(digests.sha256) + u", the manifest says \"" +
                               entry.sha256 + u"\"");
        }
    }
    return problems.empty();
}

}  // namespace

int signCommand(const std::vector<std::u16string>& args) {
    std::u16string keyFile, dir, version;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == u"--version") {
            install::ReleaseVersion parsed;
            if (i + 1 == args.size() || !install::parseVersion(args[i + 1], parsed)) {
                return usageError(u"sign: --version needs one to four dot-separated numbers (1.5.0)");
            }
            version = args[++i];
        } else if (args[i] == u"--key") {
            if (i + 1 == args.size() || args[i + 1].empty()) return usageError(u"sign: --key needs a key file");
            keyFile = args[++i];
        } else if (!args[i].empty() && args[i][0] == u'-') {
            return usageError(u"sign: unknown option \"" + args[i] + u"\"");
        } else if (!dir.empty()) {
            return usageError(u"sign takes one directory");
        } else {
            dir = args[i];
        }
    }
    if (keyFile.empty() || dir.empty()) return usageError(u"sign needs --key and a directory");
    if (!platform::isDirectory(dir)) return usageError(u"sign: " + dir + u" is not a directory");
    crypto::Ed25519Seed seed;
    std::u16string problem;
    if (!readPrivateKey(keyFile, seed, problem)) return usageError(u"sign: " + problem);

    const std::u16string manifest = joinPath(dir, u"move.xml");
    const std::u16string signature = joinPath(dir, std::u16string(install::kSignatureName));
    xml::XmlDoc doc;
    doc.loadFile(manifest);
    std::vector<install::ManifestEntry> entries;
    std::u16string errorText;
    install::ManifestExtras extras;
    if (!install::readManifest(doc, entries, errorText, true, &extras)) {
        return failed({manifest + u": the Updater would refuse it (" + errorText + u"); updtool check names the fault"});
    }
    install::ReleaseVersion parsed;
    if (version.empty()) version = extras.version;
    if (!install::parseVersion(version, parsed)) {
        return failed({manifest + u": it names no release (or not one); give it with --version 1.5.0"});
    }
    std::size_t added = 0;
    std::vector<std::u16string> problems;
    if (!completeDigests(dir, entries, added, problems)) return failed(problems);

    // Written beside under names of their own, then renamed over the old
    // ones: should the second rename fail, the pair left is one that the
    // Updater refuses.
    std::u16string partialManifest, partialSignature;
    for (int n = 1; n <= kMaxPartialNames && partialManifest.empty(); ++n) {
        const std::u16string suffix = u".partial" + decimal(n);
        if (platform::findFirstFile(manifest + suffix) != platform::FindResult::kNotFound ||
            platform::findFirstFile(signature + suffix) != platform::FindResult::kNotFound) {
            continue;
        }
        partialManifest = manifest + suffix;
        partialSignature = signature + suffix;
    }
    if (partialManifest.empty()) return failed({dir + u": no free name for the partial manifest"});
    std::string bytes;
    bool done = writeManifest(entries, {extras.removals, version}, partialManifest, bytes, problems) &&
                writeSignature(bytes, seed, partialSignature, problems);
    for (const auto& [from, to] : {std::pair{partialSignature, signature}, std::pair{partialManifest, manifest}}) {
        if (!done) break;
        const std::uint32_t code = platform::moveFileReplace(from, to);
        if (code != platform::kErrorSuccess) {
            problems.push_back(to + u": cannot be put in place (" + decimal(code) + u")");
            done = false;
        }
    }
    platform::deleteFile(partialManifest);
    platform::deleteFile(partialSignature);
    if (!done) return failed(problems);
    writeOut(u"signed " + manifest + u": " + decimal(static_cast<long long>(entries.size())) + u" entries, " +
             decimal(static_cast<long long>(added)) + u" sha256 added; " + signature + u"\n");
    return kExitOk;
}

}  // namespace updtool
