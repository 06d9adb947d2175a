// Checks that every staged file is the file the manifest announces.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "install/manifest_entry.h"
#include "install/md5_files.h"
#include "install/step_sink.h"

namespace install {

// One entry's verification.
struct EntryVerification {
    enum Result { kPassed, kOwnFile, kUnsafePath, kMismatch };
    Result result = kPassed;
    std::string actual;  // the staged file's digest; "" when unreadable or not read

    // kOwnFile passes although its digest differs.
    bool passed() const { return result == kPassed || result == kOwnFile; }
};

struct VerificationOptions {
    // kUntilFailure: no entry after the first failing one is examined, and of
    // their staged files only those already being hashed were opened.
    Examine examine = Examine::kUntilFailure;
    // Staged files hashed at once, at most; 1 hashes one after the other.
    unsigned lanes = kMd5MaxLanes;
    // How the staged files are opened (empty: platform::InputFile::open).
    Md5Files::Opener open;
};

// Verifies entries in manifest order and hands each one's result to onResult
// in that order: after a failing entry nothing more with kUntilFailure. An entry
// fails when its path is unsafe (refused before anything is opened), when
// its staged file stagingDir + path is a directory, or when that file's MD5
// differs from the expected digest, exactly; a file that cannot be opened
// has the digest "". The entry whose path equals selfName passes whatever its
// digest. Reads the staged files only.
void verifyEntries(const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                   const std::u16string& selfName, const VerificationOptions& options,
                   const std::function<void(const EntryVerification&)>& onResult);

// The step: verifyEntries, each entry's result going to sink; the first
// failure's message goes to errorText: "非法路径 " or "MD5检测错误 " + path.
bool verifyPackage(const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                   const std::u16string& selfName, std::u16string& errorText, StepSink& sink,
                   Examine examine = Examine::kUntilFailure);

// verifyPackage's message for an entry that did not pass.
std::u16string verificationMessage(const EntryVerification& verification, const std::u16string& path);

}  // namespace install
