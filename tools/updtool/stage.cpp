// updtool stage: lays out move.xml and autoTemp\ for the Updater.
#include <algorithm>
#include <optional>
#include <utility>

#include "install/md5.h"
#include "install/patch_files.h"
#include "install/patching.h"
#include "install/release.h"
#include "install/signature.h"
#include "platform/platform.h"
#include "tools/updtool/commands.h"
#include "tools/updtool/key_files.h"
#include "tools/updtool/manifest_writer.h"
#include "tools/updtool/output.h"
#include "tools/updtool/tree.h"
#include "patch/decoder.h"
#include "patch/encoder.h"

namespace updtool {
namespace {

// Fresh names for the parts written before they are renamed into place.
constexpr int kMaxPartialNames = 1000;
// A patch is staged in place of its file only when it saves at least a
// quarter of the download: a patch that cannot be applied costs the whole
// file's download anyway, so a small saving is not worth that risk.
constexpr std::uint64_t kPatchKeptAtMost = 3;  // quarters of the file's size

struct StageOptions {
    std::u16string installed;
    std::u16string newTree;
    std::u16string out;
    bool all = false;
    // --sign: the private key of a signed update.
    std::optional<crypto::Ed25519Seed> seed;
    // --version: the release, which a signed update must name.
    std::u16string version;
    // --patches: stage a VCDIFF patch against the installed file where it pays.
    bool patches = false;
    // --keep-removed: list no removals for files the new tree no longer has.
    bool keepRemoved = false;
};

struct StagedFile {
    install::ManifestEntry entry;
    std::u16string kind;  // "new", "changed", "patched", or "same" (staged because of --all)
};

// Parses the options; returns 0 or the exit status of a usage error.
int parseOptions(const std::vector<std::u16string>& args, StageOptions& options) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::u16string& arg = args[i];
        if (arg == u"--all" || arg == u"--patches" || arg == u"--keep-removed") {
            (arg == u"--all" ? options.all : arg == u"--patches" ? options.patches : options.keepRemoved) = true;
            continue;
        }
        if (arg == u"--version") {
            install::ReleaseVersion parsed;
            if (i + 1 == args.size() || !install::parseVersion(args[i + 1], parsed)) {
                return usageError(u"stage: --version needs one to four dot-separated numbers (1.5.0)");
            }
            options.version = args[++i];
            continue;
        }
        if (arg == u"--sign") {
            if (i + 1 == args.size() || args[i + 1].empty()) return usageError(u"stage: --sign needs a key file");
            std::u16string problem;
            if (!readPrivateKey(args[++i], options.seed.emplace(), problem)) return usageError(u"stage: " + problem);
            continue;
        }
        std::u16string* value = arg == u"--installed" ? &options.installed
                                : arg == u"--new"     ? &options.newTree
                                : arg == u"--out"     ? &options.out
                                                      : nullptr;
        if (value == nullptr) return usageError(u"stage: unknown argument \"" + arg + u"\"");
        if (i + 1 == args.size() || args[i + 1].empty()) return usageError(u"stage: " + arg + u" needs a directory");
        *value = args[++i];
    }
    if (options.newTree.empty() || options.out.empty()) return usageError(u"stage needs --new and --out");
    // The Updater refuses a signed update that does not say which release it is.
    if (options.seed && options.version.empty()) return usageError(u"stage: --sign needs --version");
    if (options.installed.empty() && !options.all) return usageError(u"stage needs --installed (or --all)");
    if (options.installed.empty() && options.patches) return usageError(u"stage: --patches needs --installed");
    if (!platform::isDirectory(options.newTree)) return usageError(u"stage: " + options.newTree + u" is not a directory");
    if (!options.installed.empty() && !platform::isDirectory(options.installed)) {
        return usageError(u"stage: " + options.installed + u" is not a directory");
    }
    return 0;
}

int failed(const std::vector<std::u16string>& problems) {
    for (const std::u16string& problem : problems) writeProblem(problem);
    writeProblem(u"nothing was staged");
    return kExitFailed;
}

// The files of the new tree that go into the update, with their digests.
bool chooseFiles(const StageOptions& options, std::vector<StagedFile>& staged, std::size_t& unchanged,
                 std::vector<std::u16string>& problems) {
    std::vector<std::u16string> files;
    listFiles(options.newTree, files, problems);
    // The manifest's order: by path, code unit by code unit.
    std::sort(files.begin(), files.end());
    for (const std::u16string& rel : files) {
        const std::u16string problem = pathProblem(rel);
        if (!problem.empty()) {
            problems.push_back(rel + u": " + problem);
        } else if (platform::findFirstFile(joinPath(options.newTree, rel)) != platform::FindResult::kFile) {
            // A name the system cannot give back as it is (not valid UTF-8 on Linux).
            problems.push_back(rel + u": the name is not valid text in the file system's encoding");
        }
    }
    if (!problems.empty()) return false;

    Progress progress(u"stage: comparing", files.size());
    for (const std::u16string& rel : files) {
        progress.advance();
        FileDigests digests;
        if (!fileDigests(joinPath(options.newTree, rel), options.seed.has_value(), digests)) {
            problems.push_back(joinPath(options.newTree, rel) + u": cannot be read");
            continue;
        }
        std::u16string kind = u"new";
        FileDigests base;
        if (!options.installed.empty()) {
            const std::u16string installed = joinPath(options.installed, rel);
            if (platform::findFirstFile(installed) == platform::FindResult::kFile &&
                fileDigests(installed, options.seed.has_value(), base)) {
                kind = base.md5 == digests.md5 ? u"same" : u"changed";
            }
        }
        if (kind == u"same" && !options.all) {
            ++unchanged;
            continue;
        }
        StagedFile& file = staged.emplace_back(StagedFile{{rel, widen(digests.md5), widen(digests.sha256)}, kind});
        if (kind == u"changed" && options.patches) {
            // A candidate: copyFiles makes the patch and keeps it if it pays.
            file.entry.baseMd5 = widen(base.md5);
            file.entry.baseSha256 = widen(base.sha256);
        }
    }
    return problems.empty();
}

// The files of the installed tree that the new one no longer has.
bool chooseRemovals(const StageOptions& options, std::vector<std::u16string>& removals,
                    std::vector<std::u16string>& problems) {
    if (options.installed.empty() || options.keepRemoved) return true;
    std::vector<std::u16string> files;
    listFiles(options.installed, files, problems);
    std::sort(files.begin(), files.end());
    for (const std::u16string& rel : files) {
        if (platform::findFirstFile(joinPath(options.newTree, rel)) != platform::FindResult::kNotFound) continue;
        const std::u16string problem = pathProblem(rel);
        if (!problem.empty()) {
            problems.push_back(rel + u": cannot be listed for removal: " + problem);
        } else {
            removals.push_back(rel);
        }
    }
    return problems.empty();
}

// Writes into copy the patch that makes source from base, if it is small
// enough to pay, and checks that it makes source; false, with nothing at
// copy, when the file is to be staged whole.
bool stagePatch(const std::u16string& base, const std::u16string& source, const std::u16string& copy,
                const install::ManifestEntry& entry, std::vector<std::u16string>& problems) {
    install::FileReader baseReader, target;
    if (!baseReader.open(base) || !target.open(source)) return false;
    platform::FileHandle file = platform::kInvalidFile;
    if (platform::createFileNew(copy, file) != platform::kErrorSuccess) return false;
    install::FileWriter writer(file, [&copy](platform::InputFile& back) { return back.open(copy); },
                               target.size() / 4 * kPatchKeptAtMost);
    const bool made = patch::encode(&baseReader, target, writer) == patch::EncodeStatus::kOk && writer.finish();
    writer.finish();
    // The patch is trusted only once it makes the file, as the Updater will apply it.
    const std::u16string check = copy + u".check";
    bool applies = false;
    if (made && platform::createFileNew(check, file) == platform::kErrorSuccess) {
        install::FileReader patchBytes;
        install::FileWriter result(file, [&check](platform::InputFile& back) { return back.open(check); },
                                   install::kMaxPatchResult);
        applies = patchBytes.open(copy) && patch::decode(patchBytes, &baseReader, result) == patch::DecodeStatus::kOk &&
                  result.finish();
        result.finish();
        FileDigests digests;
        applies = applies && fileDigests(check, !entry.sha256.empty(), digests) && widen(digests.md5) == entry.md5 &&
                  widen(digests.sha256) == entry.sha256;
        platform::deleteFile(check);
    }
    if (made && !applies) problems.push_back(source + u": its patch does not make it back; staged whole");
    if (!applies) platform::deleteFile(copy);
    return applies;
}

// Copies the staged files into dir and checks that each copy is the file
// that was compared.
bool copyFiles(const StageOptions& options, std::vector<StagedFile>& staged, const std::u16string& dir,
               std::vector<std::u16string>& problems) {
    Progress progress(u"stage: copying", staged.size());
    std::vector<std::u16string> notes;
    for (StagedFile& file : staged) {
        progress.advance();
        const std::u16string& rel = file.entry.path;
        for (std::size_t cut = rel.find(u'\\'); cut != std::u16string::npos; cut = rel.find(u'\\', cut + 1)) {
            const std::u16string level = joinPath(dir, rel.substr(0, cut));
            if (platform::isDirectory(level)) continue;
            const std::uint32_t code = platform::createDirectory(level);
            if (code != platform::kErrorSuccess) {
                problems.push_back(level + u": cannot be created (" + decimal(code) + u")");
                return false;
            }
        }
        const std::u16string source = joinPath(options.newTree, rel);
        const std::u16string copy = joinPath(dir, rel);
        if (!file.entry.baseMd5.empty()) {
            if (stagePatch(joinPath(options.installed, rel), source, copy, file.entry, notes)) {
                file.entry.patch = std::u16string(install::kPatchFormat);
                file.kind = u"patched";
                continue;
            }
            file.entry.baseMd5.clear();
            file.entry.baseSha256.clear();
        }
        const std::uint32_t code = platform::copyFileNew(source, copy);
        if (code != platform::kErrorSuccess) {
            problems.push_back(source + u": cannot be copied (" + decimal(code) + u")");
            return false;
        }
        FileDigests digests;
        if (!fileDigests(copy, !file.entry.sha256.empty(), digests) || widen(digests.md5) != file.entry.md5 ||
            widen(digests.sha256) != file.entry.sha256) {
            problems.push_back(source + u": changed while it was being staged");
            return false;
        }
    }
    for (const std::u16string& note : notes) writeProblem(note);
    return true;
}

}  // namespace

int stageCommand(const std::vector<std::u16string>& args) {
    StageOptions options;
    if (const int status = parseOptions(args, options); status != 0) return status;

    std::vector<StagedFile> staged;
    std::size_t unchanged = 0;
    std::vector<std::u16string> problems;
    std::vector<std::u16string> removals;
    if (!chooseFiles(options, staged, unchanged, problems) || !chooseRemovals(options, removals, problems)) {
        return failed(problems);
    }

    const std::u16string stagingDir = joinPath(options.out, u"autoTemp");
    const std::u16string manifest = joinPath(options.out, u"move.xml");
    const std::u16string signature = joinPath(options.out, std::u16string(install::kSignatureName));
    const bool createdOut = !platform::isDirectory(options.out);
    if (createdOut) {
        const std::uint32_t code = platform::createDirectory(options.out);
        if (code != platform::kErrorSuccess) return failed({options.out + u": cannot be created (" + decimal(code) + u")"});
    }
    for (const std::u16string& existing : {stagingDir, manifest, signature}) {
        if (platform::findFirstFile(existing) != platform::FindResult::kNotFound) {
            return failed({existing + u" exists already: stage into a new or empty directory"});
        }
    }

    // Everything is written under names of its own first and renamed into
    // place only when complete, so a failure leaves OUT as it was.
    std::u16string partialDir;
    std::u16string partialManifest;
    std::u16string partialSignature;
    for (int n = 1; n <= kMaxPartialNames && partialDir.empty(); ++n) {
        const std::u16string suffix = u".partial" + decimal(n);
        const std::uint32_t code = platform::createDirectory(stagingDir + suffix);
        if (code == platform::kErrorAlreadyExists) continue;
        if (code != platform::kErrorSuccess) return failed({stagingDir + suffix + u": cannot be created (" + decimal(code) + u")"});
        partialDir = stagingDir + suffix;
        partialManifest = manifest + suffix;
        partialSignature = signature + suffix;
    }
    if (partialDir.empty()) return failed({options.out + u": no free name for the partial staging directory"});

    std::string bytes;
    bool done = copyFiles(options, staged, partialDir, problems);
    std::vector<install::ManifestEntry> entries;
    for (const StagedFile& file : staged) entries.push_back(file.entry);
    done = done && writeManifest(entries, {removals, options.version}, partialManifest, bytes, problems);
    if (done && options.seed) done = writeSignature(bytes, *options.seed, partialSignature, problems);
    // move.xml comes last: its presence is what the product and the Updater go by.
    std::vector<std::pair<std::u16string, std::u16string>> moves = {{partialDir, stagingDir}};
    if (options.seed) moves.emplace_back(partialSignature, signature);
    moves.emplace_back(partialManifest, manifest);
    for (std::size_t i = 0; done && i < moves.size(); ++i) {
        const std::uint32_t code = platform::moveFileReplace(moves[i].first, moves[i].second);
        if (code == platform::kErrorSuccess) continue;
        problems.push_back(moves[i].second + u": cannot be put in place (" + decimal(code) + u")");
        while (i-- > 0) platform::moveFileReplace(moves[i].second, moves[i].first);
        done = false;
    }
    if (!done) {
        removeTree(partialDir);
        platform::deleteFile(partialManifest);
        platform::deleteFile(partialSignature);
        if (createdOut) platform::removeDirectory(options.out);
        return failed(problems);
    }

    for (const StagedFile& file : staged) {
        writeOut(file.kind + std::u16string(9 - file.kind.size(), u' ') + file.entry.path + u"\n");
    }
    for (const std::u16string& removal : removals) writeOut(u"remove   " + removal + u"\n");
    writeOut(decimal(static_cast<long long>(staged.size())) + u" files staged, " +
             decimal(static_cast<long long>(unchanged)) + u" unchanged, " +
             decimal(static_cast<long long>(removals.size())) + u" to remove: " + manifest +
             (options.seed ? u", " + signature : u"") + u" and " + stagingDir + u"\n");
    return kExitOk;
}

}  // namespace updtool
