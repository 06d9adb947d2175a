#include "install/verification.h"

#include "install/md5.h"
#include "install/path_safety.h"
#include "platform/platform.h"

namespace install {

EntryVerification verifyEntry(const ManifestEntry& entry, const std::u16string& stagingDir,
                              const std::u16string& selfName) {
    EntryVerification verification;
    if (!isSafeRelativePath(entry.path)) {
        verification.result = EntryVerification::kUnsafePath;
        return verification;
    }
    // The staged file is opened by its wide path, so that names outside
    // the OEM code page are found too.
    const std::u16string staged = stagingDir + entry.path;
    verification.actual = fileMd5(staged);
    // A directory has no digest, but an empty expected one must not let it
    // pass: the installation would move the whole unverified tree.
    const bool directory = platform::findFirstFile(staged) == platform::FindResult::kDirectory;
    if (!directory && verification.actual == toNarrow(entry.md5)) return verification;
    verification.result = entry.path == selfName ? EntryVerification::kOwnFile : EntryVerification::kMismatch;
    return verification;
}

std::u16string verificationMessage(const EntryVerification& verification, const std::u16string& path) {
    return (verification.result == EntryVerification::kUnsafePath ? u"非法路径 " : u"MD5检测错误 ") + path;
}

bool verifyPackage(const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                   const std::u16string& selfName, std::u16string& errorText) {
    for (const ManifestEntry& entry : entries) {
        const EntryVerification verification = verifyEntry(entry, stagingDir, selfName);
        if (verification.passed()) continue;
        errorText = verificationMessage(verification, entry.path);
        return false;
    }
    return true;
}

}  // namespace install
