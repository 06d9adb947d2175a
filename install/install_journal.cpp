#include "install/install_journal.h"

#include "install/install_plan.h"
#include "install/journal_format.h"
#include "install/private_directory.h"
#include "platform/format.h"

namespace install {
namespace {

// Enough fresh names for any number of runs that left a backup directory behind.
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

bool isInside(const std::u16string& path, const std::u16string& name) {
    return path.compare(0, name.size(), name) == 0 && (path.size() == name.size() || path[name.size()] == u'\\');
}

// True when some entry's target or staged file is path or lies inside it.
bool entryInside(const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                 const std::u16string& path) {
    const std::u16string name = folded(path);
    for (const ManifestEntry& entry : entries) {
        if (isInside(folded(entry.path), name) || isInside(folded(stagingDir + entry.path), name)) return true;
    }
    return false;
}


bool gone(std::uint32_t code) {
    return code == platform::kErrorSuccess || code == platform::kErrorFileNotFound ||
           code == platform::kErrorPathNotFound;
}

}  // namespace

std::u16string journalDirectory(const std::u16string& stagingDir, bool signedUpdate) {
    return signedUpdate ? std::u16string(kPrivateDir) : stagingDir;
}

std::u16string journalPath(const std::u16string& journalDir, const std::u16string& backupDir) {
    return journalDir + backupDir + u".journal";
}

std::u16string backupPath(const std::u16string& journalDir, const std::u16string& backupDir, std::int32_t n) {
    return platform::formatMessage(u"%s%s\\%d", {journalDir, backupDir, n});
}

std::u16string keptPath(const std::u16string& journalDir, const std::u16string& backupDir, std::size_t n) {
    return platform::formatMessage(u"%s%s\\new%d", {journalDir, backupDir, static_cast<std::int32_t>(n)});
}

InstallJournal::InstallJournal(platform::Tree& tree, const std::u16string& journalDir, const std::u16string& stagingDir)
    : tree_(tree), journalDir_(journalDir), stagingDir_(stagingDir) {}

InstallJournal::~InstallJournal() { close(); }

std::uint32_t InstallJournal::begin(JournalRecord& record, const std::vector<ManifestEntry>& entries,
                                    const std::function<std::uint32_t()>& flushStaged) {
    bool backups = false;
    for (const JournalMove& move : record.moves) backups = backups || move.kind == JournalMove::kReplace;
    std::uint32_t code = platform::kErrorAlreadyExists;
    for (std::int32_t n = 1; n <= kMaxBackupDirs; ++n) {
        const std::u16string name = platform::formatMessage(u"~rollback%d", {n});
        const std::u16string dir = journalDir_ + name;
        const std::u16string journal = journalPath(journalDir_, name);
        if (entryInside(entries, stagingDir_, dir) || entryInside(entries, stagingDir_, journal)) continue;
        // A directory of that name may hold what an earlier run could not put back.
        if (tree_.find(dir) != platform::ItemKind::kMissing) continue;
        code = tree_.createFileNew(journal, file_);
        if (code == platform::kErrorFileExists || code == platform::kErrorAlreadyExists) continue;
        if (code != platform::kErrorSuccess) return code;
        backupDir_ = name;
        path_ = journal;
        record.backupDir = name;
        break;
    }
    if (!isOpen()) return code;
    // An interruption from here until the flush leaves a torn plan, which the
    // next run discards together with the empty backup directory.
    if (backups) code = tree_.createDirectory(journalDir_ + backupDir_);
    // The staged files' data reaches the disk before any rename that the
    // journal's flushes make durable.
    if (code == platform::kErrorSuccess) code = flushStaged();
    const std::string plan = encodeJournal(record);
    if (code == platform::kErrorSuccess) code = platform::writeAll(file_, plan.data(), plan.size());
    if (code == platform::kErrorSuccess) code = platform::flushFile(file_);
    if (code == platform::kErrorSuccess) code = platform::syncDirectory(journalDir_.empty() ? u"." : journalDir_);
    if (code != platform::kErrorSuccess) discard();
    return code;
}

std::uint32_t InstallJournal::commit() {
    const std::string_view record = journalCommitRecord();
    std::uint32_t code = platform::writeAll(file_, record.data(), record.size());
    if (code == platform::kErrorSuccess) code = platform::flushFile(file_);
    return code;
}

void InstallJournal::discard() {
    close();
    if (path_.empty()) return;
    tree_.removeDirectory(journalDir_ + backupDir_);
    tree_.deleteFile(path_);
}

void InstallJournal::close() {
    platform::closeFile(file_);
    file_ = platform::kInvalidFile;
}

std::uint32_t undoInstallation(platform::Tree& tree, const JournalRecord& record, const std::u16string& stagingDir,
                               const std::u16string& journalDir, std::u16string& failedPath, const KeptFile& kept) {
    const auto isFile = [&tree](const std::u16string& path) { return tree.find(path) == platform::ItemKind::kFile; };
    for (std::size_t n = record.moves.size(); n-- > 0;) {
        const JournalMove& move = record.moves[n];
        const std::u16string& target = move.path;
        const std::u16string staged = stagingDir + target;
        const std::u16string backup =
            move.kind != JournalMove::kNewFile ? backupPath(journalDir, record.backupDir, move.backup) : u"";
        const bool haveBackup = !backup.empty() && isFile(backup);
        std::uint32_t code = platform::kErrorSuccess;
        if (move.kind == JournalMove::kRemove) {
            // Nothing came in its place.
        } else if (move.own && move.kind == JournalMove::kNewFile) {
            const std::uint32_t deleted = tree.deleteFile(target);
            if (deleted != platform::kErrorFileNotFound && deleted != platform::kErrorPathNotFound) code = deleted;
        } else if (move.own) {
            // The replacing file goes where the old one comes back.
            if (haveBackup && isFile(target)) code = tree.deleteFile(target);
        } else if (isFile(target) && !isFile(staged)) {
            // The new file is in place: back to the staging directory with
            // it, if that is still where it came from; else into the backups.
            const std::size_t cut = staged.find_last_of(u"\\/");
            code = platform::kErrorPathNotFound;
            if (tree.find(staged) == platform::ItemKind::kMissing &&
                tree.unchanged(staged.substr(0, cut == std::u16string::npos ? 0 : cut))) {
                code = tree.moveFile(target, staged, false);
            }
            if (code == platform::kErrorPathNotFound || code == platform::kErrorStoppedOnSymlink) {
                const std::u16string at = keptPath(journalDir, record.backupDir, n);
                tree.createDirectory(journalDir + record.backupDir);
                code = tree.moveFile(target, at, false);
                if (code == platform::kErrorSuccess) kept(target, at);
            }
        } else if (haveBackup && isFile(target)) {
            // Neither moved nor staged: not ours to overwrite.
            code = platform::kErrorAlreadyExists;
        }
        // A removed file comes back where nothing else is; a new one in its
        // place is not ours to overwrite.
        if (code == platform::kErrorSuccess && haveBackup) code = tree.moveFile(backup, target, false);
        if (code != platform::kErrorSuccess) {
            failedPath = target;
            return code;
        }
    }
    // Only empty directories go, so nothing that was put in them is lost.
    for (auto created = record.directories.rbegin(); created != record.directories.rend(); ++created) {
        const std::vector<std::u16string> levels = createdLevels(*created);
        for (auto level = levels.rbegin(); level != levels.rend(); ++level) tree.removeDirectory(*level);
    }
    return platform::kErrorSuccess;
}

void tidyCommitted(platform::Tree& tree, const JournalRecord& record, const std::u16string& stagingDir) {
    for (const JournalMove& move : record.moves) {
        if (move.own) tree.deleteFile(stagingDir + move.path);
        if (move.kind != JournalMove::kRemove) continue;
        // Up from the removed file, every directory that is empty now; the
        // first that is not (or that was never ours to empty) ends it.
        std::u16string dir = move.path;
        for (std::size_t cut = dir.rfind(u'\\'); cut != std::u16string::npos; cut = dir.rfind(u'\\')) {
            dir.resize(cut);
            if (tree.removeDirectory(dir) != platform::kErrorSuccess) break;
        }
    }
}

bool removeBackups(platform::Tree& tree, const JournalRecord& record, const std::u16string& journalDir) {
    bool clean = true;
    for (const JournalMove& move : record.moves) {
        if (move.kind == JournalMove::kNewFile) continue;
        clean = gone(tree.deleteFile(backupPath(journalDir, record.backupDir, move.backup))) && clean;
    }
    return gone(tree.removeDirectory(journalDir + record.backupDir)) && clean;
}

}  // namespace install
