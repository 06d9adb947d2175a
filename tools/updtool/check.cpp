// updtool check: what the Updater would decide before it installs, with its
// own code and messages, touching nothing.
#include <optional>

#include "crypto/hex.h"
#include "install/manifest.h"
#include "install/occupancy.h"
#include "install/patching.h"
#include "install/release.h"
#include "install/signature.h"
#include "install/update_steps.h"
#include "install/verification.h"
#include "platform/platform.h"
#include "platform/tree.h"
#include "tools/updtool/commands.h"
#include "tools/updtool/json.h"
#include "tools/updtool/key_files.h"
#include "tools/updtool/manifest_fault.h"
#include "tools/updtool/output.h"
#include "tools/updtool/self_name.h"
#include "xml/xml_doc.h"

namespace updtool {
namespace {

struct CheckOptions {
    std::u16string dir = u".";
    std::u16string selfName = defaultSelfName();
    bool json = false;
    // --pub: check as the Updater built with these keys does.
    std::vector<crypto::Ed25519PublicKey> keys;
    // --installed: the version mark of that installation, as its Updater would see it.
    std::optional<install::VersionMark> installed;
};

struct EntryResult {
    install::ManifestEntry entry;
    install::EntryVerification verification;
    std::uint32_t occupancy = 0;  // the open test's error code; 0: free or not tested
    std::u16string status;
    std::u16string message;  // the Updater's message for this entry; "" when it passes
    std::u16string note;
};

struct CheckResult {
    bool manifestRead = true;
    bool signedUpdate = false;  // checked as a signed update (--pub)
    std::optional<install::SignatureCheck> signature;  // when it was checked
    std::u16string signatureKey;  // the key that verified it, in hex
    install::ManifestExtras extras;  // removals, and a signed update's version
    std::optional<install::VersionMark> installed;  // --installed: what that installation has
    ManifestFault fault;
    std::vector<EntryResult> entries;
    std::u16string step;       // the step that would fail: manifest, verification, occupancy
    std::u16string errorText;  // its message
};

int parseOptions(const std::vector<std::u16string>& args, CheckOptions& options) {
    bool haveDir = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::u16string& arg = args[i];
        if (arg == u"--json") {
            options.json = true;
        } else if (arg == u"--self") {
            if (i + 1 == args.size() || args[i + 1].empty()) return usageError(u"check: --self needs a file name");
            options.selfName = args[++i];
        } else if (arg == u"--installed") {
            if (i + 1 == args.size() || args[i + 1].empty()) return usageError(u"check: --installed needs a directory");
            const std::u16string installed = args[++i];
            if (!platform::isDirectory(installed)) return usageError(u"check: " + installed + u" is not a directory");
            std::string bytes;
            install::VersionMark mark;
            const std::uint32_t code =
                platform::readFile(installed + u"\\" + std::u16string(install::kVersionMark), 256, bytes);
            if (code == platform::kErrorSuccess && !install::parseVersionMark(bytes, mark)) {
                return usageError(u"check: " + installed + u"\\" + std::u16string(install::kVersionMark) +
                                  u" is damaged");
            }
            options.installed = mark;
        } else if (arg == u"--pub") {
            if (i + 1 == args.size() || args[i + 1].empty()) return usageError(u"check: --pub needs a key file");
            std::u16string problem;
            if (!readPublicKeys(args[++i], options.keys, problem)) return usageError(u"check: " + problem);
        } else if (!arg.empty() && arg[0] == u'-') {
            return usageError(u"check: unknown option \"" + arg + u"\"");
        } else if (haveDir) {
            return usageError(u"check takes one directory");
        } else {
            options.dir = arg;
            haveDir = true;
        }
    }
    if (!platform::isDirectory(options.dir)) return usageError(u"check: " + options.dir + u" is not a directory");
    return 0;
}

// The facts of each entry, as the steps report them.
class CheckSink final : public install::StepSink {
public:
    CheckSink(CheckResult& result, const std::vector<install::ManifestEntry>& entries)
        : result_(result), entries_(entries) {}

    void manifestNotLoaded() override { result_.manifestRead = false; }

    void signatureChecked(const install::SignatureCheck& check) override { result_.signature = check; }

    void entryVerified(std::size_t index, const install::EntryVerification& verification) override {
        if (!progress_) progress_.emplace(u"check", entries_.size());
        progress_->advance();
        EntryResult& entry = result_.entries.emplace_back();
        entry.entry = entries_[index];
        entry.verification = verification;
        using V = install::EntryVerification;
        switch (verification.result) {
        case V::kUnsafePath:
            entry.status = u"unsafe-path";
            break;
        case V::kMismatch:
            entry.status = verification.actual.empty() ? u"missing" : u"md5-mismatch";
            break;
        case V::kOwnFile:
            entry.status = u"own-file";
            entry.note = u"the Updater's own file: its digest is not checked";
            break;
        case V::kPassed:
            entry.status = u"ok";
            if (verification.actual.empty()) {
                entry.note = u"no md5 and no staged file: the Updater's move of it will fail (2)";
            }
            break;
        case V::kNoSha256:
            entry.status = u"sha256-missing";
            entry.note = u"a signed update needs a sha256 of 64 lowercase hex digits on every entry";
            break;
        case V::kSha256Mismatch:
            entry.status = verification.sha256.empty() ? u"missing" : u"sha256-mismatch";
            break;
        case V::kCopyFailed:  // a check copies nothing
            entry.status = u"copy-failed";
            break;
        }
        if (!verification.passed()) entry.message = install::verificationMessage(verification, entry.entry.path);
    }

    void entryOccupancy(std::size_t index, std::uint32_t code) override {
        // The removals follow the entries; what holds one is told by the message.
        if (code == platform::kErrorSuccess || index >= result_.entries.size()) return;
        EntryResult& entry = result_.entries[index];
        entry.occupancy = code;
        entry.status = u"in-use";
        entry.message = install::occupancyMessage(entry.entry.path, code);
    }

private:
    CheckResult& result_;
    const std::vector<install::ManifestEntry>& entries_;
    std::optional<Progress> progress_;
};

install::StepResult goOnIf(bool passed) { return passed ? install::StepResult::kGoOn : install::StepResult::kFail; }

// The Updater's steps that only look at files, each entry examined; the run
// fails where the Updater's would.
CheckResult check(const CheckOptions& options) {
    CheckResult result;
    xml::XmlDoc doc;
    std::vector<install::ManifestEntry> entries;
    CheckSink sink(result, entries);
    result.signedUpdate = !options.keys.empty();
    result.installed = options.installed;
    // The directory as the Updater sees it: no link followed.
    platform::Tree tree;
    tree.open();
    const std::u16string stagingDir(install::kStagingDir);
    constexpr install::Examine kEvery = install::Examine::kEveryEntry;
    std::u16string patchedDir;
    std::vector<std::u16string> patched;
    const install::RunResult run = install::runSteps(true, [&](install::Step step) {
        switch (step) {
        case install::Step::kManifest:
            if (!install::loadManifest(tree, doc, entries, result.errorText, sink, options.keys, &result.extras)) {
                return install::StepResult::kFail;
            }
            return goOnIf(!result.signedUpdate ||
                          install::checkRelease(result.extras.version, options.installed.value_or(install::VersionMark{}),
                                                options.keys, result.errorText));
        case install::Step::kPatching:
            // Where the Updater puts the results (the private directory is
            // its own), and gone again when the check ends.
            patchedDir = install::patchResultsDirectory(tree, entries, stagingDir, false);
            return goOnIf(install::applyPatches(tree, entries, stagingDir, patchedDir, result.signedUpdate, patched,
                                                result.errorText));
        case install::Step::kVerification:
            return goOnIf(install::verifyPackage(tree, entries, stagingDir, options.selfName, result.errorText, sink,
                                                 kEvery, result.signedUpdate, nullptr, &patched) &&
                          install::checkRemovals(tree, result.extras.removals, stagingDir, options.selfName,
                                                 result.errorText));
        case install::Step::kOccupancy: {
            std::vector<install::ManifestEntry> targets = entries;
            for (const std::u16string& removal : result.extras.removals) targets.push_back({removal, {}});
            return goOnIf(install::checkOccupancy(tree, targets, options.selfName, result.errorText, sink, kEvery));
        }
        default:
            return install::StepResult::kGoOn;
        }
    });
    install::removePatchResults(tree, patchedDir);
    if (result.signature && result.signature->result == install::SignatureCheck::kVerified) {
        result.signatureKey = widen(crypto::toHex(options.keys[result.signature->key]));
    }
    if (run.succeeded) return result;
    result.step = install::stepName(run.lastStep);
    const bool signatureFailed = result.signature && result.signature->result != install::SignatureCheck::kVerified;
    if (run.lastStep == install::Step::kManifest && !signatureFailed) {
        if (platform::findFirstFile(std::u16string(install::kManifestName)) != platform::FindResult::kFile) {
            result.fault.kind = u"missing";
            result.fault.description = u"there is no file move.xml";
        } else {
            result.fault = findManifestFault(doc);
        }
    }
    return result;
}

std::u16string outcome(const CheckResult& result) { return install::outcomeText(result.step.empty(), result.errorText); }

// What check says of the signature: its status word and, for the text, a sentence.
struct SignatureWords {
    std::u16string status;
    std::u16string sentence;
};

SignatureWords signatureWords(const CheckResult& result) {
    using S = install::SignatureCheck;
    const S& check = *result.signature;
    switch (check.result) {
    case S::kVerified: return {u"verified", u"verified with key " + result.signatureKey};
    case S::kUnreadable:
        return {check.code == platform::kErrorFileNotFound ? u"missing" : u"unreadable",
                u"cannot be read (" + decimal(check.code) + u")"};
    case S::kMalformed: return {u"malformed", u"is not one line of 128 lowercase hex digits"};
    case S::kNotVerified: return {u"not-verified", u"no given key verifies move.xml with it"};
    }
    return {};
}

std::u16string faultText(const ManifestFault& fault) {
    std::u16string text = u"move.xml: ";
    if (fault.line > 0) text += u"line " + decimal(fault.line) + u", column " + decimal(fault.column) + u": ";
    return text + fault.description + u"\n";
}

void printText(const CheckResult& result) {
    std::u16string text;
    if (!result.fault.kind.empty()) text += faultText(result.fault);
    if (result.signature) text += std::u16string(install::kSignatureName) + u": " + signatureWords(result).sentence + u"\n";
    if (result.signature && result.signature->result == install::SignatureCheck::kVerified) {
        text += u"release: " + (result.extras.version.empty() ? u"none" : result.extras.version);
        if (result.installed) {
            text += result.installed->present ? u", installed " + result.installed->version : u", nothing installed yet";
        }
        text += u"\n";
    }
    for (const EntryResult& entry : result.entries) {
        text += entry.status + std::u16string(entry.status.size() < 13 ? 13 - entry.status.size() : 1, u' ') +
                entry.entry.path;
        if (entry.status == u"md5-mismatch" || entry.status == u"missing") {
            text += u"  expected \"" + entry.entry.md5 + u"\", actual " +
                    (entry.verification.actual.empty() ? u"none (autoTemp\\" + entry.entry.path + u" cannot be read)"
                                                       : widen(entry.verification.actual));
        }
        if (entry.status == u"sha256-mismatch") {
            text += u"  expected sha256 \"" + entry.entry.sha256 + u"\", actual " + widen(entry.verification.sha256);
        }
        if (entry.status == u"in-use") text += u"  (" + decimal(entry.occupancy) + u")";
        if (!entry.note.empty()) text += u"  (" + entry.note + u")";
        text += u"\n";
    }
    for (const std::u16string& removal : result.extras.removals) text += u"remove       " + removal + u"\n";
    if (result.step != u"manifest") text += decimal(static_cast<long long>(result.entries.size())) + u" entries\n";
    if (result.step.empty()) {
        text += u"The Updater would install; the product gets: moveok~\n";
    } else {
        text += u"The Updater would fail at the " + result.step + u" step; the product gets: " + outcome(result) + u"\n";
    }
    writeOut(text);
}

std::u16string jsonOrNull(std::u16string_view text) { return text.empty() ? u"null" : jsonString(text); }

void printJson(const CheckResult& result) {
    std::u16string json = u"{\n  \"manifest\": {\"read\": ";
    json += result.manifestRead ? u"true" : u"false";
    json += u", \"fault\": ";
    if (result.fault.kind.empty()) {
        json += u"null";
    } else {
        const ManifestFault& fault = result.fault;
        json += u"{\"kind\": " + jsonString(fault.kind) + u", \"description\": " + jsonString(fault.description);
        if (fault.line > 0) {
            json += u", \"line\": " + decimal(fault.line) + u", \"column\": " + decimal(fault.column) +
                    u", \"offset\": " + decimal(fault.offset);
        }
        json += u"}";
    }
    json += u"},\n";
    if (result.signedUpdate) {
        json += u"  \"signature\": ";
        if (result.signature) {
            const install::SignatureCheck& check = *result.signature;
            json += u"{\"status\": " + jsonString(signatureWords(result).status) + u", \"code\": " +
                    (check.code != 0 ? decimal(check.code) : u"null") + u", \"key\": " +
                    jsonOrNull(result.signatureKey) + u"}";
        } else {
            json += u"null";  // no manifest to check it against
        }
        json += u",\n  \"release\": {\"version\": " + jsonOrNull(result.extras.version) + u", \"installed\": " +
                (result.installed && result.installed->present ? jsonString(result.installed->version) : u"null") +
                u"},\n";
    }
    json += u"  \"entries\": [";
    for (std::size_t i = 0; i < result.entries.size(); ++i) {
        const EntryResult& entry = result.entries[i];
        json += i == 0 ? u"\n    " : u",\n    ";
        json += u"{\"path\": " + jsonString(entry.entry.path) + u", \"expected\": " + jsonString(entry.entry.md5) +
                u", \"actual\": " + jsonString(widen(entry.verification.actual)) + u", \"status\": " +
                jsonString(entry.status) + u", \"code\": " +
                (entry.occupancy != 0 ? decimal(entry.occupancy) : u"null") + u", \"message\": " +
                jsonOrNull(entry.message) + u", \"note\": " + jsonOrNull(entry.note);
        if (result.signedUpdate) {
            json += u", \"sha256\": {\"expected\": " + jsonString(entry.entry.sha256) + u", \"actual\": " +
                    jsonString(widen(entry.verification.sha256)) + u"}";
        }
        json += u"}";
    }
    json += result.entries.empty() ? u"],\n" : u"\n  ],\n";
    json += u"  \"removals\": [";
    for (std::size_t i = 0; i < result.extras.removals.size(); ++i) {
        json += (i == 0 ? u"" : u", ") + jsonString(result.extras.removals[i]);
    }
    json += u"],\n";
    json += u"  \"install\": " + std::u16string(result.step.empty() ? u"true" : u"false") + u",\n";
    json += u"  \"step\": " + jsonOrNull(result.step) + u",\n";
    json += u"  \"message\": " + jsonOrNull(result.errorText) + u",\n";
    json += u"  \"outcome\": " + jsonString(outcome(result)) + u"\n}\n";
    writeOut(json);
}

}  // namespace

int checkCommand(const std::vector<std::u16string>& args) {
    CheckOptions options;
    if (const int status = parseOptions(args, options); status != 0) return status;
    // The Updater's relative names resolve in its own directory.
    const std::uint32_t code = platform::setCurrentDirectory(options.dir);
    if (code != platform::kErrorSuccess) {
        writeProblem(options.dir + u": cannot be entered (" + decimal(code) + u")");
        return kExitFailed;
    }
    const CheckResult result = check(options);
    if (options.json) {
        printJson(result);
    } else {
        printText(result);
    }
    return result.step.empty() ? kExitOk : kExitFailed;
}

}  // namespace updtool
