#include "install/verification.h"

#include <memory>
#include <optional>

#include "crypto/hex.h"
#include "install/md5.h"
#include "install/path_safety.h"
#include "install/private_directory.h"
#include "install/signature.h"
#include "install/update_steps.h"
#include "platform/format.h"
#include "platform/platform.h"

namespace install {

namespace {

bool isSha256Text(const std::u16string& text) {
    std::uint8_t digest[32];
    return crypto::parseHex(text, digest);
}

// The verdict on an entry whose path is safe, from what its staged file gave.
EntryVerification judge(const ManifestEntry& entry, FileDigests digests, bool notAFile,
                        const std::u16string& selfName, bool sha256) {
    EntryVerification verification;
    verification.actual = std::move(digests.md5);
    verification.sha256 = std::move(digests.sha256);
    if (notAFile) {
        // A directory would be moved whole into the installation, a link
        // followed; their empty digest must not pass for an empty md5.
        verification.result = EntryVerification::kMismatch;
    } else if (verification.actual != toNarrow(entry.md5)) {
        verification.result = entry.path == selfName ? EntryVerification::kOwnFile : EntryVerification::kMismatch;
    }
    // The expected value is hex text already (see isSha256Text).
    const std::u16string actualSha256(verification.sha256.begin(), verification.sha256.end());
    if (sha256 && verification.passed() && entry.sha256 != actualSha256) {
        verification.result = EntryVerification::kSha256Mismatch;
    }
    return verification;
}

// Why a staged file could not be opened: the codes that say it is no file
// to install at all (a link, a directory, a device, a second name), and the
// others (missing, held without sharing), which leave its digest "".
bool isNotAFile(std::uint32_t code) {
    return code == platform::kErrorStoppedOnSymlink || code == platform::kErrorAccessDenied;
}

// A copy being written as its staged file is read, in pieces of 64 KiB.
class CopyWriter {
public:
    static constexpr std::size_t kPiece = std::size_t{1} << 16;

    CopyWriter(platform::Tree& tree, const std::u16string& path, const platform::InputFile& source) {
        code_ = tree.createCopy(path, source, file_);
        if (code_ == platform::kErrorSuccess) buffer_.reserve(kPiece);
    }
    ~CopyWriter() { platform::closeFile(file_); }
    CopyWriter(const CopyWriter&) = delete;
    CopyWriter& operator=(const CopyWriter&) = delete;

    void append(const unsigned char* data, std::size_t size) {
        if (code_ != platform::kErrorSuccess) return;
        buffer_.append(reinterpret_cast<const char*>(data), size);
        if (buffer_.size() >= kPiece) write();
    }
    // The code of the first failure of the copy, 0 when it is whole.
    std::uint32_t finish() {
        if (code_ == platform::kErrorSuccess) write();
        platform::closeFile(file_);
        file_ = platform::kInvalidFile;
        return code_;
    }
    std::uint32_t code() const { return code_; }

private:
    void write() {
        code_ = platform::writeAll(file_, buffer_.data(), buffer_.size());
        buffer_.clear();
    }

    platform::FileHandle file_ = platform::kInvalidFile;
    std::string buffer_;
    std::uint32_t code_ = platform::kErrorSuccess;
};

}  // namespace

void verifyEntries(platform::Tree& tree, const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                   const std::u16string& selfName, const VerificationOptions& options,
                   const std::function<void(const EntryVerification&)>& onResult) {
    const bool stop = options.examine == Examine::kUntilFailure;
    const bool sha256 = options.sha256;
    StagedCopies* const copies = options.copies;
    // Why each staged file could not be opened, for judge.
    std::vector<std::uint32_t> openCodes(entries.size(), platform::kErrorSuccess);
    // The copies being written, by entry.
    std::vector<std::unique_ptr<CopyWriter>> writers(copies != nullptr ? entries.size() : 0);
    if (copies != nullptr) {
        copies->assign(entries.size(), std::u16string());
        makeCopiesDirectory(tree);
    }
    Md5Files::Opener open = options.open;
    if (!open) {
        open = [&](std::size_t tag, const std::u16string& path, platform::InputFile& file) {
            openCodes[tag] = tree.openForReading(path, file, true);
            if (openCodes[tag] != platform::kErrorSuccess) return false;
            const bool own = options.sources != nullptr && !(*options.sources)[tag].empty();
            if (copies != nullptr && own) {
                (*copies)[tag] = path;
            } else if (copies != nullptr) {
                (*copies)[tag] = copyPath(tag);
                writers[tag] = std::make_unique<CopyWriter>(tree, (*copies)[tag], file);
            }
            return true;
        };
    }
    // Files end in any order; results wait here until they can be handed on in manifest order.
    std::vector<std::optional<EntryVerification>> results(entries.size());
    std::size_t firstFailure = entries.size();
    Md5Files files(options.lanes, open, sha256);
    if (copies != nullptr) {
        files.setTap([&writers](std::size_t tag, const unsigned char* data, std::size_t size) {
            writers[tag]->append(data, size);
        });
    }
    auto record = [&](std::size_t index, EntryVerification verification) {
        if (!verification.passed() && index < firstFailure) {
            firstFailure = index;
            if (stop) files.dropAbove(index);
        }
        results[index] = std::move(verification);
    };

    std::size_t started = 0, handed = 0;
    for (;;) {
        // Files are opened in manifest order, so every entry before a known
        // failure is already decided or in flight.
        while (started < (stop ? firstFailure : entries.size()) && files.hasRoom()) {
            const std::size_t index = started++;
            const ManifestEntry& entry = entries[index];
            if (!isInstallationPath(tree, entry.path, stagingDir)) {
                EntryVerification unsafe;
                unsafe.result = EntryVerification::kUnsafePath;
                record(index, std::move(unsafe));
                continue;
            }
            if (sha256 && !isSha256Text(entry.sha256)) {
                EntryVerification missing;
                missing.result = EntryVerification::kNoSha256;
                record(index, std::move(missing));
                continue;
            }
            // The staged file is opened by its wide path, so that names
            // outside the OEM code page are found too.
            const bool own = options.sources != nullptr && !(*options.sources)[index].empty();
            const std::u16string staged = own ? (*options.sources)[index] : stagingDir + entry.path;
            if (!files.start(index, staged)) {
                record(index, judge(entry, {}, isNotAFile(openCodes[index]), selfName, sha256));
            }
        }
        for (; handed < entries.size() && results[handed]; ++handed) {
            onResult(*results[handed]);
            if (stop && !results[handed]->passed()) return;
        }
        if (handed == entries.size()) return;
        // Every file that ended in one round is judged before more are opened.
        std::size_t index = 0;
        FileDigests digests;
        while (files.next(index, digests)) {
            EntryVerification verification = judge(entries[index], std::move(digests), false, selfName, sha256);
            if (copies != nullptr && writers[index]) {
                const std::uint32_t code = writers[index]->finish();
                writers[index].reset();
                if (code != platform::kErrorSuccess && verification.passed()) {
                    verification.result = EntryVerification::kCopyFailed;
                    verification.copyCode = code;
                }
            }
            record(index, std::move(verification));
            if (!files.hasEnded()) break;
        }
    }
}

bool verifyPackage(platform::Tree& tree, const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                   const std::u16string& selfName, std::u16string& errorText, StepSink& sink, Examine examine,
                   bool signedUpdate, StagedCopies* copies, const std::vector<std::u16string>* sources) {
    bool passed = true;
    std::size_t index = 0;
    VerificationOptions options;
    options.examine = examine;
    options.sha256 = signedUpdate;
    options.copies = copies;
    options.sources = sources;
    verifyEntries(tree, entries, stagingDir, selfName, options, [&](const EntryVerification& verification) {
        sink.entryVerified(index, verification);
        if (!verification.passed() && passed) {
            errorText = verificationMessage(verification, entries[index].path);
            passed = false;
        }
        ++index;
    });
    // Nothing will be installed: the copies go at once.
    if (!passed && copies != nullptr) {
        removeCopies(tree);
        copies->clear();
    }
    return passed;
}

bool isInstallationPath(platform::Tree& tree, const std::u16string& path, const std::u16string& stagingDir) {
    const std::u16string_view reserved[] = {
        std::u16string_view(stagingDir).substr(0, stagingDir.find_last_not_of(u'\\') + 1),
        kPrivateDir.substr(0, kPrivateDir.size() - 1)};
    return isSafeRelativePath(path, reserved) && tree.find(path) != platform::ItemKind::kLink;
}

bool checkRemovals(platform::Tree& tree, const std::vector<std::u16string>& removals, const std::u16string& stagingDir,
                   const std::u16string& selfName, std::u16string& errorText) {
    const std::u16string_view kept[] = {selfName, u"autolog", kManifestName, kSignatureName};
    for (const std::u16string& path : removals) {
        bool refused = !isInstallationPath(tree, path, stagingDir);
        const std::size_t separator = path.find_first_of(u"\\/");
        const std::u16string_view first = std::u16string_view(path).substr(0, separator);
        const bool alone = separator == std::u16string::npos || path.find_first_not_of(u"\\/", separator) == std::u16string::npos;
        for (const std::u16string_view name : kept) refused = refused || (alone && sameDirectoryName(first, name));
        if (refused || path.empty()) {
            errorText = u"非法路径 " + path;
            return false;
        }
    }
    return true;
}

std::u16string verificationMessage(const EntryVerification& verification, const std::u16string& path) {
    switch (verification.result) {
    case EntryVerification::kUnsafePath: return u"非法路径 " + path;
    case EntryVerification::kCopyFailed:
        return platform::formatMessage(u"%s复制文件失败 （%d）", {path, static_cast<std::int32_t>(verification.copyCode)});
    case EntryVerification::kNoSha256:
    case EntryVerification::kSha256Mismatch: return u"SHA256检测错误 " + path;
    default: return u"MD5检测错误 " + path;
    }
}

}  // namespace install
