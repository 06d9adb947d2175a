// updtool patch and updtool apply: VCDIFF patches between two files.
#include "install/patch_files.h"
#include "patch/decoder.h"
#include "patch/encoder.h"
#include "tools/updtool/commands.h"
#include "tools/updtool/output.h"

namespace updtool {
namespace {

using install::FileReader;

// Writes OUT through OUT.partial, which becomes OUT only when write(writer)
// succeeded: a failed run leaves no OUT. Returns 0, or the error code of the
// file operations, or kWriteRefused when write returned false with the
// files in order.
constexpr std::uint32_t kWriteRefused = ~std::uint32_t(0);
template <class Write>
std::uint32_t writeThroughPartial(const std::u16string& out, Write&& write) {
    const std::u16string partial = out + u".partial";
    platform::FileHandle file = platform::kInvalidFile;
    std::uint32_t code = platform::createFileNew(partial, file);
    if (code != platform::kErrorSuccess) return code;
    install::FileWriter writer(file, [&partial](platform::InputFile& back) { return back.open(partial); });
    const bool written = write(writer);
    writer.finish();
    code = written ? platform::renameFile(partial, out) : kWriteRefused;
    if (code != platform::kErrorSuccess) platform::deleteFile(partial);
    return code;
}

// The message for a failed write of out through writeThroughPartial.
std::u16string outputProblem(const std::u16string& out, std::uint32_t code) {
    if (code == platform::kErrorFileExists || code == platform::kErrorAlreadyExists) {
        return out + u" (or " + out + u".partial) exists already: it is never replaced";
    }
    return out + u": cannot be written (" + decimal(code) + u")";
}

int failed(const std::u16string& problem, const std::u16string& out) {
    writeProblem(problem + u"; " + out + u" was not written");
    return kExitFailed;
}

}  // namespace

int patchCommand(const std::vector<std::u16string>& args) {
    bool checksum = false;
    std::vector<std::u16string> files;
    for (const std::u16string& arg : args) {
        if (arg == u"--checksum") {
            checksum = true;
        } else if (!arg.empty() && arg[0] == u'-') {
            return usageError(u"patch: unknown option \"" + arg + u"\"");
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 3) return usageError(u"patch takes BASE NEW OUT");
    const std::u16string &baseFile = files[0], &newFile = files[1], &out = files[2];
    FileReader base, target;
    if (!base.open(baseFile)) return failed(baseFile + u": cannot be read", out);
    if (!target.open(newFile)) return failed(newFile + u": cannot be read", out);
    if (platform::findFirstFile(out) != platform::FindResult::kNotFound) {
        return failed(out + u" exists already: it is never replaced", out);
    }
    patch::EncodeStatus status = patch::EncodeStatus::kOk;
    const std::uint32_t code = writeThroughPartial(out, [&](patch::Writer& writer) {
        patch::EncodeOptions options;
        options.checksum = checksum;
        status = patch::encode(&base, target, writer, options);
        return status == patch::EncodeStatus::kOk;
    });
    switch (status) {
        case patch::EncodeStatus::kOk: break;
        case patch::EncodeStatus::kBaseReadFailed: return failed(baseFile + u": cannot be read", out);
        case patch::EncodeStatus::kTargetReadFailed: return failed(newFile + u": cannot be read", out);
        case patch::EncodeStatus::kOutOfMemory: return failed(baseFile + u": too large to be held in memory", out);
        case patch::EncodeStatus::kWriteFailed: return failed(out + u": cannot be written", out);
    }
    if (code != platform::kErrorSuccess) return failed(outputProblem(out, code), out);
    return kExitOk;
}

int applyCommand(const std::vector<std::u16string>& args) {
    if (args.size() != 3) return usageError(u"apply takes BASE PATCH OUT");
    for (const std::u16string& arg : args) {
        if (!arg.empty() && arg[0] == u'-') return usageError(u"apply: unknown option \"" + arg + u"\"");
    }
    const std::u16string &baseFile = args[0], &patchFile = args[1], &out = args[2];
    FileReader base, patchBytes;
    if (!base.open(baseFile)) return failed(baseFile + u": cannot be read", out);
    if (!patchBytes.open(patchFile)) return failed(patchFile + u": cannot be read", out);
    if (platform::findFirstFile(out) != platform::FindResult::kNotFound) {
        return failed(out + u" exists already: it is never replaced", out);
    }
    patch::DecodeStatus status = patch::DecodeStatus::kOk;
    const std::uint32_t code = writeThroughPartial(out, [&](patch::TargetWriter& writer) {
        status = patch::decode(patchBytes, &base, writer);
        return status == patch::DecodeStatus::kOk;
    });
    switch (status) {
        case patch::DecodeStatus::kOk: break;
        case patch::DecodeStatus::kDamaged:
            return failed(patchFile + u": damaged, or not a VCDIFF patch this tool applies", out);
        case patch::DecodeStatus::kBaseReadFailed: return failed(baseFile + u": cannot be read", out);
        case patch::DecodeStatus::kPatchReadFailed: return failed(patchFile + u": cannot be read", out);
        case patch::DecodeStatus::kWriteFailed: return failed(out + u": cannot be written", out);
        case patch::DecodeStatus::kOutOfMemory: return failed(u"not enough memory for the decoder", out);
    }
    if (code != platform::kErrorSuccess) return failed(outputProblem(out, code), out);
    return kExitOk;
}

}  // namespace updtool
