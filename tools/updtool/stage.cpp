// updtool stage: lays out move.xml and autoTemp\ for the Updater.
#include <algorithm>
#include <optional>
#include <utility>

#include "install/md5.h"
#include "install/release.h"
#include "install/signature.h"
#include "platform/platform.h"
#include "tools/updtool/commands.h"
#include "tools/updtool/key_files.h"
#include "tools/updtool/manifest_writer.h"
#include "tools/updtool/output.h"
#include "tools/updtool/tree.h"

namespace updtool {
namespace {

// Fresh names for the parts written before they are renamed into place.
constexpr int kMaxPartialNames = 1000;

struct StageOptions {
    std::u16string installed;
    std::u16string newTree;
    std::u16string out;
    bool all = false;
    // --sign: the private key of a signed update.
    std::optional<crypto::Ed25519Seed> seed;
    // --version: the release, which a signed update must name.
    std::u16string version;
};

struct StagedFile {
    install::ManifestEntry entry;
    std::u16string kind;  // "new", "changed", or "same" (staged because of --all)
};

// Parses the options; returns 0 or the exit status of a usage error.
int parseOptions(const std::vector<std::u16string>& args, StageOptions& options) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::u16string& arg = args[i];
        if (arg == u"--all") {
            options.all = true;
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
        if (!options.installed.empty()) {
            const std::u16string installed = joinPath(options.installed, rel);
            if (platform::findFirstFile(installed) != platform::FindResult::kNotFound) {
                kind = fileMd5(installed) == digests.md5 ? u"same" : u"changed";
            }
        }
        if (kind == u"same" && !options.all) {
            ++unchanged;
            continue;
        }
        staged.push_back({{rel, widen(digests.md5), widen(digests.sha256)}, kind});
    }
    return problems.empty();
}

// Copies the staged files into dir and checks that each copy is the file
// that was compared.
bool copyFiles(const StageOptions& options, const std::vector<StagedFile>& staged, const std::u16string& dir,
               std::vector<std::u16string>& problems) {
    Progress progress(u"stage: copying", staged.size());
    for (const StagedFile& file : staged) {
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
    return true;
}

}  // namespace

int stageCommand(const std::vector<std::u16string>& args) {
    StageOptions options;
    if (const int status = parseOptions(args, options); status != 0) return status;

    std::vector<StagedFile> staged;
    std::size_t unchanged = 0;
    std::vector<std::u16string> problems;
    if (!chooseFiles(options, staged, unchanged, problems)) return failed(problems);

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

    std::vector<install::ManifestEntry> entries;
    for (const StagedFile& file : staged) entries.push_back(file.entry);
    std::string bytes;
    bool done = copyFiles(options, staged, partialDir, problems) && writeManifest(entries, options.version, partialManifest, bytes, problems);
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
    writeOut(decimal(static_cast<long long>(staged.size())) + u" files staged, " +
             decimal(static_cast<long long>(unchanged)) + u" unchanged: " + manifest +
             (options.seed ? u", " + signature : u"") + u" and " + stagingDir + u"\n");
    return kExitOk;
}

}  // namespace updtool
