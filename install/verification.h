// Checks that every staged file is the file the manifest announces.
#pragma once

#include <string>
#include <vector>

#include "install/manifest_entry.h"

namespace install {

// For each entry in order: refuses an unsafe path ("非法路径 " + path), then
// compares the MD5 of stagingDir + path with the expected digest, exactly. The
// entry whose path equals selfName passes whatever its digest. Stops at the
// first failing entry with its message in errorText ("MD5检测错误 " + path).
// Reads the staged files only.
bool verifyPackage(const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                   const std::u16string& selfName, std::u16string& errorText);

// One entry's share of verifyPackage, for callers that want every entry's result.
struct EntryVerification {
    enum Result { kPassed, kOwnFile, kUnsafePath, kMismatch };
    Result result = kPassed;
    std::string actual;  // the staged file's digest; "" when unreadable or not read

    // kOwnFile passes although its digest differs.
    bool passed() const { return result == kPassed || result == kOwnFile; }
};
EntryVerification verifyEntry(const ManifestEntry& entry, const std::u16string& stagingDir,
                              const std::u16string& selfName);
// verifyPackage's message for an entry that did not pass.
std::u16string verificationMessage(const EntryVerification& verification, const std::u16string& path);

}  // namespace install
