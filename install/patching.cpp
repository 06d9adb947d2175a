#include "install/patching.h"

#include "crypto/hex.h"
#include "crypto/sha256.h"
#include "install/md5.h"
#include "install/patch_files.h"
#include "install/path_safety.h"
#include "install/private_directory.h"
#include "install/verification.h"
#include "patch/decoder.h"
#include "platform/format.h"

namespace install {
namespace {

constexpr std::u16string_view kBaseDiffers = u"%s补丁基准文件不符 （%d）";
constexpr std::u16string_view kDamaged = u"%s补丁已损坏 （%d）";
constexpr std::u16string_view kApplyFailed = u"%s补丁应用失败 （%d）";
constexpr std::int32_t kMaxResultDirs = 1000;

// Windows compares names without regard to case and takes "/" for "\".
bool firstComponentIs(const std::u16string& path, const std::u16string& name) {
    const std::size_t end = path.find_first_of(u"\\/");
    return sameDirectoryName(std::u16string_view(path).substr(0, end), name);
}

// The base's digests as text, from one read through file.
bool digestsOf(platform::InputFile& file, bool sha256, std::string& md5, std::string& sha) {
    Md5Context md5Context;
    crypto::Sha256 shaContext;
    unsigned char block[65536];
    for (std::size_t got; (got = file.read(block, sizeof block)) > 0;) {
        md5Context.addBytes(block, got);
        if (sha256) shaContext.update(block, got);
    }
    md5 = md5Context.hexDigest();
    if (sha256) sha = crypto::toHex(shaContext.finish());
    return file.seek(0);
}

class Patching {
public:
    Patching(platform::Tree& tree, const std::u16string& stagingDir, const std::u16string& resultsDir, bool sha256,
             std::u16string& errorText)
        : tree_(tree), stagingDir_(stagingDir), resultsDir_(resultsDir), sha256_(sha256), errorText_(errorText) {}

    // Rebuilds entry index's new file at result; false with errorText set.
    bool rebuild(const ManifestEntry& entry, std::size_t index, std::u16string& result) {
        if (!isInstallationPath(tree_, entry.path, stagingDir_)) {
            errorText_ = u"非法路径 " + entry.path;
            return false;
        }
        if (entry.patch != kPatchFormat) return fail(kDamaged, entry.path, platform::kErrorInvalidData);
        platform::InputFile baseFile;
        const std::uint32_t opened = tree_.openForReading(entry.path, baseFile);
        if (opened != platform::kErrorSuccess) {
            const bool missing = opened == platform::kErrorFileNotFound || opened == platform::kErrorPathNotFound;
            return fail(kBaseDiffers, entry.path, missing ? platform::kErrorFileNotFound : opened);
        }
        std::string md5, sha;
        if (!digestsOf(baseFile, sha256_, md5, sha)) return fail(kBaseDiffers, entry.path, platform::kErrorInvalidData);
        const auto widened = [](const std::string& text) { return std::u16string(text.begin(), text.end()); };
        if (widened(md5) != entry.baseMd5 || (sha256_ && widened(sha) != entry.baseSha256)) {
            return fail(kBaseDiffers, entry.path, platform::kErrorInvalidData);
        }
        platform::InputFile patchFile;
        const std::uint32_t staged = tree_.openForReading(stagingDir_ + entry.path, patchFile, true);
        if (staged != platform::kErrorSuccess) return fail(kDamaged, entry.path, staged);
        FileReader base, patchBytes;
        if (!base.adopt(baseFile) || !patchBytes.adopt(patchFile)) {
            return fail(kApplyFailed, entry.path, platform::kErrorInvalidFunction);
        }
        result = platform::formatMessage(u"%s\\%d", {resultsDir_, static_cast<std::int32_t>(index)});
        platform::FileHandle file = platform::kInvalidFile;
        const std::uint32_t created = tree_.createFileNew(result, file);
        if (created != platform::kErrorSuccess) return fail(kApplyFailed, entry.path, created);
        const std::u16string path = result;
        FileWriter writer(file, [this, path](platform::InputFile& back) {
            return tree_.openForReading(path, back) == platform::kErrorSuccess;
        }, kMaxPatchResult);
        const patch::DecodeStatus status = patch::decode(patchBytes, &base, writer);
        const bool whole = writer.finish();
        switch (status) {
        case patch::DecodeStatus::kOk:
            return whole || fail(kApplyFailed, entry.path, writer.error());
        case patch::DecodeStatus::kDamaged:
            return fail(kDamaged, entry.path, platform::kErrorInvalidData);
        case patch::DecodeStatus::kPatchReadFailed:
            return fail(kDamaged, entry.path, platform::kErrorReadFault);
        case patch::DecodeStatus::kBaseReadFailed:
            return fail(kApplyFailed, entry.path, platform::kErrorReadFault);
        case patch::DecodeStatus::kWriteFailed:
            // Beyond the limit the patch itself is at fault.
            if (writer.error() == platform::kErrorDiskFull && writer.written() >= kMaxPatchResult) {
                return fail(kDamaged, entry.path, platform::kErrorInvalidData);
            }
            return fail(kApplyFailed, entry.path,
                        writer.error() != platform::kErrorSuccess ? writer.error() : platform::kErrorReadFault);
        case patch::DecodeStatus::kOutOfMemory:
            return fail(kApplyFailed, entry.path, platform::kErrorNotEnoughMemory);
        }
        return fail(kApplyFailed, entry.path, platform::kErrorInvalidFunction);
    }

private:
    bool fail(std::u16string_view format, const std::u16string& path, std::uint32_t code) {
        errorText_ = platform::formatMessage(format, {path, static_cast<std::int32_t>(code)});
        return false;
    }

    platform::Tree& tree_;
    const std::u16string& stagingDir_;
    const std::u16string& resultsDir_;
    const bool sha256_;
    std::u16string& errorText_;
};

}  // namespace

std::u16string patchResultsDirectory(platform::Tree& tree, const std::vector<ManifestEntry>& entries,
                                     const std::u16string& stagingDir, bool signedUpdate) {
    if (signedUpdate) return std::u16string(kPrivateDir) + u"patched";
    for (std::int32_t n = 1; n <= kMaxResultDirs; ++n) {
        const std::u16string name = platform::formatMessage(u"~patched%d", {n});
        bool taken = tree.find(stagingDir + name) != platform::ItemKind::kMissing;
        for (std::size_t i = 0; i < entries.size() && !taken; ++i) taken = firstComponentIs(entries[i].path, name);
        if (!taken) return stagingDir + name;
    }
    return {};
}

bool applyPatches(platform::Tree& tree, const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                  const std::u16string& resultsDir, bool sha256, std::vector<std::u16string>& results,
                  std::u16string& errorText) {
    results.assign(entries.size(), std::u16string());
    bool any = false;
    for (const ManifestEntry& entry : entries) any = any || !entry.patch.empty();
    if (!any) return true;
    if (resultsDir.empty()) {
        errorText = platform::formatMessage(u"%s创建目录失败 （%d）",
                                            {stagingDir, std::int32_t{platform::kErrorAlreadyExists}});
        return false;
    }
    const std::uint32_t made = tree.createDirectory(resultsDir);
    if (made != platform::kErrorSuccess && made != platform::kErrorAlreadyExists) {
        errorText = platform::formatMessage(u"%s创建目录失败 （%d）", {resultsDir, static_cast<std::int32_t>(made)});
        return false;
    }
    Patching patching(tree, stagingDir, resultsDir, sha256, errorText);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].patch.empty()) continue;
        if (!patching.rebuild(entries[i], i, results[i])) {
            removePatchResults(tree, resultsDir);
            results.clear();
            return false;
        }
    }
    return true;
}

void removePatchResults(platform::Tree& tree, const std::u16string& resultsDir) {
    if (resultsDir.empty()) return;
    std::vector<platform::DirEntry> items;
    if (tree.listDirectory(resultsDir, items) != platform::kErrorSuccess) return;
    for (const platform::DirEntry& item : items) tree.deleteFile(resultsDir + u"\\" + item.name);
    tree.removeDirectory(resultsDir);
}

}  // namespace install
