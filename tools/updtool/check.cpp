// updtool check: what the Updater would decide before it installs, with its
// own code and messages, touching nothing.
#include <optional>

#include "install/manifest.h"
#include "install/occupancy.h"
#include "install/update_steps.h"
#include "install/verification.h"
#include "platform/platform.h"
#include "tools/updtool/commands.h"
#include "tools/updtool/json.h"
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
        }
        if (!verification.passed()) entry.message = install::verificationMessage(verification, entry.entry.path);
    }

    void entryOccupancy(std::size_t index, std::uint32_t code) override {
        if (code == platform::kErrorSuccess) return;
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
    const std::u16string stagingDir(install::kStagingDir);
    constexpr install::Examine kEvery = install::Examine::kEveryEntry;
    const install::RunResult run = install::runSteps(true, [&](install::Step step) {
        switch (step) {
        case install::Step::kManifest:
            return goOnIf(install::loadManifest(doc, entries, result.errorText, sink));
        case install::Step::kVerification:
            return goOnIf(install::verifyPackage(entries, stagingDir, options.selfName, result.errorText, sink, kEvery));
        case install::Step::kOccupancy:
            return goOnIf(install::checkOccupancy(entries, options.selfName, result.errorText, sink, kEvery));
        default:
            return install::StepResult::kGoOn;
        }
    });
    if (run.succeeded) return result;
    result.step = install::stepName(run.lastStep);
    if (run.lastStep == install::Step::kManifest) {
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

std::u16string faultText(const ManifestFault& fault) {
    std::u16string text = u"move.xml: ";
    if (fault.line > 0) text += u"line " + decimal(fault.line) + u", column " + decimal(fault.column) + u": ";
    return text + fault.description + u"\n";
}

void printText(const CheckResult& result) {
    std::u16string text;
    if (!result.fault.kind.empty()) text += faultText(result.fault);
    for (const EntryResult& entry : result.entries) {
        text += entry.status + std::u16string(entry.status.size() < 13 ? 13 - entry.status.size() : 1, u' ') +
                entry.entry.path;
        if (entry.status == u"md5-mismatch" || entry.status == u"missing") {
            text += u"  expected \"" + entry.entry.md5 + u"\", actual " +
                    (entry.verification.actual.empty() ? u"none (autoTemp\\" + entry.entry.path + u" cannot be read)"
                                                       : widen(entry.verification.actual));
        }
        if (entry.status == u"in-use") text += u"  (" + decimal(entry.occupancy) + u")";
        if (!entry.note.empty()) text += u"  (" + entry.note + u")";
        text += u"\n";
    }
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
    json += u"},\n  \"entries\": [";
    for (std::size_t i = 0; i < result.entries.size(); ++i) {
        const EntryResult& entry = result.entries[i];
        json += i == 0 ? u"\n    " : u",\n    ";
        json += u"{\"path\": " + jsonString(entry.entry.path) + u", \"expected\": " + jsonString(entry.entry.md5) +
                u", \"actual\": " + jsonString(widen(entry.verification.actual)) + u", \"status\": " +
                jsonString(entry.status) + u", \"code\": " +
                (entry.occupancy != 0 ? decimal(entry.occupancy) : u"null") + u", \"message\": " +
                jsonOrNull(entry.message) + u", \"note\": " + jsonOrNull(entry.note) + u"}";
    }
    json += result.entries.empty() ? u"],\n" : u"\n  ],\n";
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
