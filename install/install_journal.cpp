#include "install/install_journal.h"

#include "install/journal_format.h"
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

bool isFile(const std::u16string& path) { return platform::findFirstFile(path) == platform::FindResult::kFile; }

bool gone(std::uint32_t code) {
    return code == platform::kErrorSuccess || code == platform::kErrorFileNotFound ||
           code == platform::kErrorPathNotFound;
}

}  // namespace

std::u16string journalDirectory(const std::u16string& stagingDir, bool signedUpdate) {
    return signedUpdate ? std::u16string() : stagingDir;
}

std::u16string journalPath(const std::u16string& journalDir, const std::u16string& backupDir) {
    return journalDir + backupDir + u".journal";
}

std::u16string backupPath(const std::u16string& journalDir, const std::u16string& backupDir, std::int32_t n) {
    return platform::formatMessage(u"%s%s\\%d", {journalDir, backupDir, n});
}

InstallJournal::InstallJournal(const std::u16string& journalDir, const std::u16string& stagingDir)
    : journalDir_(journalDir), stagingDir_(stagingDir) {}

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
        if (platform::findFirstFile(dir) != platform::FindResult::kNotFound) continue;
        code = platform::createFileNew(journal, file_);
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
    if (backups) code = platform::createDirectory(journalDir_ + backupDir_);
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
    platform::removeDirectory(journalDir_ + backupDir_);
    platform::deleteFile(path_);
}

void InstallJournal::close() {
    platform::closeFile(file_);
    file_ = platform::kInvalidFile;
}

std::uint32_t undoInstallation(const JournalRecord& record, const std::u16string& stagingDir,
                               const std::u16string& journalDir, std::u16string& failedPath) {
    for (auto move = record.moves.rbegin(); move != record.moves.rend(); ++move) {
        const std::u16string& target = move->path;
        const std::u16string staged = stagingDir + target;
        const std::u16string backup =
            move->kind == JournalMove::kReplace ? backupPath(journalDir, record.backupDir, move->backup) : u"";
        const bool haveBackup = !backup.empty() && isFile(backup);
        std::uint32_t code = platform::kErrorSuccess;
        if (isFile(target) && !isFile(staged)) {
            // The new file is in place: back to the staging directory with it.
            code = platform::renameFile(target, staged);
        } else if (haveBackup && isFile(target)) {
            // Neither moved nor staged: not ours to overwrite.
            code = platform::kErrorAlreadyExists;
        }
        if (code == platform::kErrorSuccess && haveBackup) code = platform::renameFile(backup, target);
        if (code != platform::kErrorSuccess) {
            failedPath = target;
            return code;
        }
    }
    // Only empty directories go, so nothing that was put in them is lost.
    for (auto dir = record.directories.rbegin(); dir != record.directories.rend(); ++dir) {
        platform::removeDirectory(*dir);
    }
    return platform::kErrorSuccess;
}

bool removeBackups(const JournalRecord& record, const std::u16string& journalDir) {
    bool clean = true;
    for (const JournalMove& move : record.moves) {
        if (move.kind != JournalMove::kReplace) continue;
        clean = gone(platform::deleteFile(backupPath(journalDir, record.backupDir, move.backup))) && clean;
    }
    return gone(platform::removeDirectory(journalDir + record.backupDir)) && clean;
}

}  // namespace install
