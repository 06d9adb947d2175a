#include "install/install_journal.h"

#include "platform/format.h"
#include "platform/platform.h"

namespace install {
namespace {

// Enough fresh names for any number of runs that left a backup directory
// behind after a failed restore.
constexpr std::int32_t kMaxBackupDirs = 1000;

// Windows compares names without regard to case and takes "/" for "\".
std::u16string folded(std::u16string_view path) {
    std::u16string out(path);
    for (char16_t& c : out) {
        if (c == u'/') c = u'\\';
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    }
    return out;
}

bool isInside(const std::u16string& path, const std::u16string& dir) {
    return path.compare(0, dir.size(), dir) == 0 &&
           (path.size() == dir.size() || path[dir.size()] == u'\\');
}

}  // namespace

InstallJournal::InstallJournal(const std::vector<ManifestEntry>& entries,
                               const std::u16string& stagingDir)
    : entries_(entries), stagingDir_(stagingDir) {}

void InstallJournal::directoryCreated(const std::u16string& dir) {
    changes_.push_back({dir, {}, {}});
}

std::uint32_t InstallJournal::keep(const std::u16string& target, bool copyOnly) {
    const std::uint32_t dirCode = openBackupDir();
    if (dirCode != platform::kErrorSuccess) return dirCode;
    std::u16string backup = platform::formatMessage(u"%s\\%d", {backupDir_, backupCount_++});
    std::uint32_t code = copyOnly ? platform::kErrorInvalidFunction
                                  : platform::createHardLink(backup, target);
    if (code != platform::kErrorSuccess) code = platform::copyFileNew(target, backup);
    if (code == platform::kErrorSuccess) {
        pendingBackup_ = std::move(backup);
    } else {
        platform::deleteFile(backup);  // whatever a failed copy left
    }
    return code;
}

void InstallJournal::dropKept() {
    if (!pendingBackup_.empty()) platform::deleteFile(pendingBackup_);
    pendingBackup_.clear();
}

void InstallJournal::moved(const std::u16string& source, const std::u16string& target) {
    changes_.push_back({target, source, std::move(pendingBackup_)});
    pendingBackup_.clear();
}

void InstallJournal::undo() {
    for (auto change = changes_.rbegin(); change != changes_.rend(); ++change) {
        if (change->source.empty()) {
            platform::removeDirectory(change->target);
            continue;
        }
        platform::moveFileReplace(change->target, change->source);
        // The old content matters more than the staged copy: put it back even
        // when the new file could not be moved out of the way.
        if (!change->backup.empty()) platform::moveFileReplace(change->backup, change->target);
    }
    changes_.clear();
    closeBackupDir();
}

void InstallJournal::commit() {
    for (const Change& change : changes_) {
        if (!change.backup.empty()) platform::deleteFile(change.backup);
    }
    changes_.clear();
    closeBackupDir();
}

std::uint32_t InstallJournal::openBackupDir() {
    if (!backupDir_.empty()) return platform::kErrorSuccess;
    for (std::int32_t n = 1; n <= kMaxBackupDirs; ++n) {
        std::u16string dir = platform::formatMessage(u"%s~rollback%d", {stagingDir_, n});
        if (entryInside(dir)) continue;
        const std::uint32_t code = platform::createDirectory(dir);
        if (code == platform::kErrorAlreadyExists) continue;
        if (code != platform::kErrorSuccess) return code;
        backupDir_ = std::move(dir);
        return platform::kErrorSuccess;
    }
    return platform::kErrorAlreadyExists;
}

bool InstallJournal::entryInside(const std::u16string& dir) const {
    const std::u16string foldedDir = folded(dir);
    for (const ManifestEntry& entry : entries_) {
        if (isInside(folded(entry.path), foldedDir)) return true;
        if (isInside(folded(stagingDir_ + entry.path), foldedDir)) return true;
    }
    return false;
}

void InstallJournal::closeBackupDir() {
    // Fails, and so keeps the directory, while a backup that could not be
    // put back is still in it.
    if (!backupDir_.empty()) platform::removeDirectory(backupDir_);
    backupDir_.clear();
}

}  // namespace install
