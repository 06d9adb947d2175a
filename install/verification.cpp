#include "install/verification.h"

#include <optional>

#include "crypto/hex.h"
#include "install/md5.h"
#include "install/path_safety.h"
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

}  // namespace

void verifyEntries(platform::Tree& tree, const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                   const std::u16string& selfName, const VerificationOptions& options,
                   const std::function<void(const EntryVerification&)>& onResult) {
    const bool stop = options.examine == Examine::kUntilFailure;
    HeldFiles* const held = options.held;
    const std::u16string_view stagingName = std::u16string_view(stagingDir).substr(0, stagingDir.find_last_not_of(u'\\') + 1);
    const std::u16string_view reserved[] = {stagingName};
    // Why each staged file could not be opened, for judge.
    std::vector<std::uint32_t> openCodes(entries.size(), platform::kErrorSuccess);
    Md5Files::Opener open = options.open;
    if (held != nullptr) {
        held->clear();
        held->resize(entries.size());
        // Each staged file is opened as a held file and read through it, as
        // no second open of it is let in now.
        open = [held, &tree, &openCodes](std::size_t tag, const std::u16string& path, platform::InputFile& file) {
            const platform::ItemKind kind = tree.find(path);
            if (kind != platform::ItemKind::kFile) {
                openCodes[tag] =
                    kind == platform::ItemKind::kMissing ? platform::kErrorFileNotFound : platform::kErrorAccessDenied;
                return false;
            }
            openCodes[tag] = (*held)[tag].open(path);
            return openCodes[tag] == platform::kErrorSuccess && file.open((*held)[tag]);
        };
    } else if (!open) {
        open = [&tree, &openCodes](std::size_t tag, const std::u16string& path, platform::InputFile& file) {
            openCodes[tag] = tree.openForReading(path, file, true);
            return openCodes[tag] == platform::kErrorSuccess;
        };
    }
    // Files end in any order; results wait here until they can be handed on in manifest order.
    std::vector<std::optional<EntryVerification>> results(entries.size());
    std::size_t firstFailure = entries.size();
    Md5Files files(options.lanes, open, held != nullptr);
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
            if (!isSafeRelativePath(entry.path, reserved) || tree.find(entry.path) == platform::ItemKind::kLink) {
                EntryVerification unsafe;
                unsafe.result = EntryVerification::kUnsafePath;
                record(index, std::move(unsafe));
                continue;
            }
            if (held != nullptr && !isSha256Text(entry.sha256)) {
                EntryVerification missing;
                missing.result = EntryVerification::kNoSha256;
                record(index, std::move(missing));
                continue;
            }
            // The staged file is opened by its wide path, so that names
            // outside the OEM code page are found too.
            const std::u16string staged = stagingDir + entry.path;
            if (!files.start(index, staged)) {
                record(index, judge(entry, {}, isNotAFile(openCodes[index]), selfName, held != nullptr));
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
            record(index, judge(entries[index], std::move(digests), false, selfName, held != nullptr));
            if (!files.hasEnded()) break;
        }
    }
}

bool verifyPackage(platform::Tree& tree, const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                   const std::u16string& selfName, std::u16string& errorText, StepSink& sink, Examine examine,
                   HeldFiles* held) {
    if (held != nullptr) {
        const std::uint32_t code = platform::reserveOpenFiles(entries.size());
        if (code != platform::kErrorSuccess) {
            errorText = platform::formatMessage(u"%s打开文件失败 （%d）", {stagingDir, static_cast<std::int32_t>(code)});
            return false;
        }
    }
    bool passed = true;
    std::size_t index = 0;
    VerificationOptions options;
    options.examine = examine;
    options.held = held;
    verifyEntries(tree, entries, stagingDir, selfName, options, [&](const EntryVerification& verification) {
        sink.entryVerified(index, verification);
        if (!verification.passed() && passed) {
            errorText = verificationMessage(verification, entries[index].path);
            passed = false;
        }
        ++index;
    });
    // Nothing will be moved: the held files go at once.
    if (!passed && held != nullptr) held->clear();
    return passed;
}

std::u16string verificationMessage(const EntryVerification& verification, const std::u16string& path) {
    switch (verification.result) {
    case EntryVerification::kUnsafePath: return u"非法路径 " + path;
    case EntryVerification::kNoSha256:
    case EntryVerification::kSha256Mismatch: return u"SHA256检测错误 " + path;
    default: return u"MD5检测错误 " + path;
    }
}

}  // namespace install
