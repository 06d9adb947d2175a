// Checks that every staged file is the file the manifest announces.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "install/manifest_entry.h"
#include "install/md5_files.h"
#include "install/staged_copies.h"
#include "install/step_sink.h"
#include "platform/tree.h"

namespace install {

// One entry's verification.
struct EntryVerification {
    enum Result {
        kPassed,
        kOwnFile,         // the Updater's own file: passed although its MD5 differs
        kUnsafePath,      // refused as it stands, or its target passes through a link
        kMismatch,        // MD5
        kNoSha256,        // signed: the entry has no valid sha256
        kSha256Mismatch,  // signed
        kCopyFailed,      // signed: the copy could not be written (copyCode)
    };
    Result result = kPassed;
    std::string actual;  // the staged file's digest; "" when unreadable or not read
    std::string sha256;  // signed: its SHA-256; "" when unreadable or not read
    std::uint32_t copyCode = 0;  // kCopyFailed: the error code

    // kOwnFile passes although its digest differs.
    bool passed() const { return result == kPassed || result == kOwnFile; }
};

struct VerificationOptions {
    // kUntilFailure: no entry after the first failing one is examined, and of
    // their staged files only those already being hashed were opened.
    Examine examine = Examine::kUntilFailure;
    // Staged files hashed at once, at most; 1 hashes one after the other.
    unsigned lanes = kMd5MaxLanes;
    // How the staged files are opened (empty: through the tree, a regular
    // file with one name, no link on the way).
    Md5Files::Opener open;
    // A signed update: each entry needs a sha256, and its file's SHA-256 is
    // checked as well, from the same read.
    bool sha256 = false;
    // Where the staged files are copied as they are read (copyPath of their
    // index, through the tree), a signed update's only read of them; each
    // entry's copy goes in its place here, "" where none was made. Not set:
    // nothing is written (a check).
    StagedCopies* copies = nullptr;
    // Per entry, a file of the Updater's own to verify in place of the
    // staged one ("": the staged file), as a patch's result; it is not
    // copied, being the Updater's already.
    const std::vector<std::u16string>* sources = nullptr;
};

// Verifies entries in manifest order and hands each one's result to onResult
// in that order: after a failing entry nothing more with kUntilFailure. An entry
// fails when its path is unsafe (isSafeRelativePath, the staging directory
// reserved) or its target passes through a link (refused before anything
// is opened), when its staged file stagingDir + path is not a regular file
// with one name reached without a link (a directory, a link, a FIFO, a hard
// link: whatever md5 says), or when that file's MD5 differs from the
// expected digest, exactly; a file that cannot be opened for another reason
// (missing, held without sharing) has the digest "". The entry whose path
// equals selfName passes whatever its MD5. A signed update's entry also fails, before its file is opened, when
// its sha256 is not 64 lowercase hex digits, and when its file's SHA-256
// differs; nothing is exempt from that, not the Updater's own file, which
// would otherwise be a way into the installation for bytes nobody signed.
// Reads the staged files only.
void verifyEntries(platform::Tree& tree, const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                   const std::u16string& selfName, const VerificationOptions& options,
                   const std::function<void(const EntryVerification&)>& onResult);

// The step: verifyEntries, each entry's result going to sink; the first
// failure's message goes to errorText: "非法路径 ", "MD5检测错误 " or
// "SHA256检测错误 " + path, or "<path>复制文件失败 （<code>）". With
// signedUpdate each entry's sha256 is checked too, and with copies (the
// Updater's signed run) every staged file is copied into the private
// directory as it is read; when the step fails the copies are removed
// again, so that nothing is left but what was there.
bool verifyPackage(platform::Tree& tree, const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                   const std::u16string& selfName, std::u16string& errorText, StepSink& sink,
                   Examine examine = Examine::kUntilFailure, bool signedUpdate = false, StagedCopies* copies = nullptr,
                   const std::vector<std::u16string>* sources = nullptr);

// Whether path may name a file of the installation: safe (path_safety.h)
// with the staging directory and the private directory as reserved first
// components, and reaching no link in tree.
bool isInstallationPath(platform::Tree& tree, const std::u16string& path, const std::u16string& stagingDir);

// The removals of a manifest, before anything changes: each must be a safe
// path (as an entry's) that reaches no link, and none may name the
// Updater's own file, "autolog", "move.xml" or "move.xml.sig" (compared as
// Windows compares names). The first that is refused gives "非法路径 " + path.
bool checkRemovals(platform::Tree& tree, const std::vector<std::u16string>& removals, const std::u16string& stagingDir,
                   const std::u16string& selfName, std::u16string& errorText);

// verifyPackage's message for an entry that did not pass.
std::u16string verificationMessage(const EntryVerification& verification, const std::u16string& path);

}  // namespace install
