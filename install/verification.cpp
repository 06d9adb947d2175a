#include "install/verification.h"

#include <optional>

#include "install/md5.h"
#include "install/path_safety.h"
#include "platform/platform.h"

namespace install {

namespace {

// The verdict on an entry whose path is safe, from what its staged file gave.
EntryVerification judge(const ManifestEntry& entry, std::string actual, bool stagedIsDirectory,
                        const std::u16string& selfName) {
    EntryVerification verification;
    verification.actual = std::move(actual);
    if (stagedIsDirectory) {
        // It would be moved whole into the installation; its empty digest
        // must not pass for an empty md5.
        verification.result = EntryVerification::kMismatch;
    } else if (verification.actual != toNarrow(entry.md5)) {
        verification.result = entry.path == selfName ? EntryVerification::kOwnFile : EntryVerification::kMismatch;
    }
    return verification;
}

}  // namespace

void verifyEntries(const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                   const std::u16string& selfName, const VerificationOptions& options,
                   const std::function<void(const EntryVerification&)>& onResult) {
    const bool stop = options.examine == Examine::kUntilFailure;
    // Files end in any order; results wait here until they can be handed on in manifest order.
    std::vector<std::optional<EntryVerification>> results(entries.size());
    std::size_t firstFailure = entries.size();
    Md5Files files(options.lanes, options.open);
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
            if (!isSafeRelativePath(entry.path)) {
                EntryVerification unsafe;
                unsafe.result = EntryVerification::kUnsafePath;
                record(index, std::move(unsafe));
                continue;
            }
            // The staged file is opened by its wide path, so that names
            // outside the OEM code page are found too.
            const std::u16string staged = stagingDir + entry.path;
            if (!files.start(index, staged)) record(index, judge(entry, {}, platform::isDirectory(staged), selfName));
        }
        for (; handed < entries.size() && results[handed]; ++handed) {
            onResult(*results[handed]);
            if (stop && !results[handed]->passed()) return;
        }
        if (handed == entries.size()) return;
        // Every file that ended in one round is judged before more are opened.
        std::size_t index = 0;
        std::string digest;
        while (files.next(index, digest)) {
            record(index, judge(entries[index], std::move(digest), false, selfName));
            if (!files.hasEnded()) break;
        }
    }
}

bool verifyPackage(const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                   const std::u16string& selfName, std::u16string& errorText, StepSink& sink, Examine examine) {
    bool passed = true;
    std::size_t index = 0;
    VerificationOptions options;
    options.examine = examine;
    verifyEntries(entries, stagingDir, selfName, options, [&](const EntryVerification& verification) {
        sink.entryVerified(index, verification);
        if (!verification.passed() && passed) {
            errorText = verificationMessage(verification, entries[index].path);
            passed = false;
        }
        ++index;
    });
    return passed;
}

std::u16string verificationMessage(const EntryVerification& verification, const std::u16string& path) {
    return (verification.result == EntryVerification::kUnsafePath ? u"非法路径 " : u"MD5检测错误 ") + path;
}

}  // namespace install
