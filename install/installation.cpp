#include "install/installation.h"

#include <cstdint>

#include "install/install_journal.h"
#include "platform/format.h"
#include "platform/platform.h"

namespace install {
namespace {

bool fail(InstallJournal& journal, std::u16string_view format, const std::u16string& path,
          std::uint32_t code, std::u16string& errorText) {
    journal.undo();
    errorText = platform::formatMessage(format, {path, static_cast<std::int32_t>(code)});
    return false;
}

}  // namespace

bool installFiles(const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                  const std::u16string& selfName, std::u16string& errorText) {
    constexpr std::u16string_view kDirectoryFailed = u"%s创建目录失败 （%d）";
    constexpr std::u16string_view kMoveFailed = u"%s移动文件失败 （%d）";
    InstallJournal journal(entries, stagingDir);
    for (const ManifestEntry& entry : entries) {
        const std::u16string& target = entry.path;
        for (std::size_t cut = target.find(u'\\'); cut != std::u16string::npos;
             cut = target.find(u'\\', cut + 1)) {
            const std::u16string level = target.substr(0, cut);
            if (platform::isDirectory(level)) continue;
            const std::uint32_t code = platform::createDirectory(level);
            if (code != platform::kErrorSuccess) {
                return fail(journal, kDirectoryFailed, target, code, errorText);
            }
            journal.directoryCreated(level);
        }

        const bool self = target == selfName;
        if (platform::findFirstFile(target) == platform::FindResult::kFile) {
            // Windows refuses to delete any name of a running program's file,
            // a backup link of the running Updater included, so its backup
            // is an independent copy.
            const std::uint32_t code = journal.keep(target, self);
            if (code != platform::kErrorSuccess) {
                // Never replace what could not be kept.
                if (self) continue;
                return fail(journal, kMoveFailed, target, code, errorText);
            }
        }
        const std::u16string source = stagingDir + target;
        const std::uint32_t code = platform::moveFileReplace(source, target);
        if (code == platform::kErrorSuccess) {
            journal.moved(source, target);
            continue;
        }
        journal.dropKept();
        if (self) continue;
        return fail(journal, kMoveFailed, target, code, errorText);
    }
    journal.commit();
    return true;
}

}  // namespace install
