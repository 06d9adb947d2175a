#include "install/recovery.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "install/install_journal.h"
#include "install/journal_format.h"
#include "install/md5_files.h"
#include "install/release.h"
#include "platform/format.h"
#include "platform/platform.h"

namespace install {
namespace {

constexpr std::u16string_view kPrefix = u"~rollback";
constexpr std::u16string_view kSuffix = u".journal";

// The N of a journal's name "~rollbackN.journal", or 0.
std::int32_t journalNumber(const std::u16string& name) {
    if (name.size() <= kPrefix.size() + kSuffix.size() || name.compare(0, kPrefix.size(), kPrefix) != 0 ||
        name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) {
        return 0;
    }
    std::int64_t n = 0;
    for (std::size_t i = kPrefix.size(); i < name.size() - kSuffix.size(); ++i) {
        if (name[i] < u'0' || name[i] > u'9' || n > 100000) return 0;
        n = n * 10 + (name[i] - u'0');
    }
    return static_cast<std::int32_t>(n);
}

// The backup directory names of the journals in journalDir, newest first;
// there is normally one at most.
std::vector<std::u16string> journalsIn(platform::Tree& tree, const std::u16string& journalDir) {
    std::vector<platform::DirEntry> items;
    std::vector<std::int32_t> numbers;
    if (tree.listDirectory(journalDir, items) == platform::kErrorSuccess) {
        for (const platform::DirEntry& item : items) {
            const std::int32_t n = item.isDirectory ? 0 : journalNumber(item.name);
            if (n > 0) numbers.push_back(n);
        }
    }
    std::sort(numbers.rbegin(), numbers.rend());
    std::vector<std::u16string> names;
    for (const std::int32_t n : numbers) names.push_back(platform::formatMessage(u"%s%d", {kPrefix, n}));
    return names;
}

// The first new file of record, in its order, that is missing (code 2) or
// differs from the digest the journal keeps for it (13): false when every
// one is whole.
bool findDamaged(platform::Tree& tree, const JournalRecord& record, std::u16string& path, std::uint32_t& code) {
    const std::vector<JournalMove>& moves = record.moves;
    std::size_t first = moves.size();
    auto damaged = [&](std::size_t index, std::uint32_t why) {
        if (index >= first) return;
        first = index;
        code = why;
    };
    Md5Files files(kMd5MaxLanes, [&tree](std::size_t, const std::u16string& file, platform::InputFile& into) {
        return tree.openForReading(file, into) == platform::kErrorSuccess;
    });
    std::size_t started = 0;
    for (;;) {
        while (started < first && files.hasRoom()) {
            const std::size_t index = started++;
            if (moves[index].md5.empty() || files.start(index, moves[index].path)) continue;
            const bool missing = tree.find(moves[index].path) == platform::ItemKind::kMissing;
            damaged(index, missing ? platform::kErrorFileNotFound : platform::kErrorInvalidData);
        }
        std::size_t index = 0;
        FileDigests digests;
        if (!files.next(index, digests)) break;
        if (std::u16string(digests.md5.begin(), digests.md5.end()) != moves[index].md5) {
            damaged(index, platform::kErrorInvalidData);
        }
    }
    if (first == moves.size()) return false;
    path = moves[first].path;
    return true;
}

class Recovery {
public:
    Recovery(platform::Tree& tree, const std::u16string& stagingDir, const std::u16string& journalDir,
             std::u16string& errorText, StepSink& sink)
        : tree_(tree), stagingDir_(stagingDir), journalDir_(journalDir), errorText_(errorText), sink_(sink) {}

    RecoveryResult run() {
        RecoveryResult result = RecoveryResult::kNothing;
        for (const std::u16string& backupDir : journalsIn(tree_, journalDir_)) {
            const RecoveryResult one = recover(backupDir);
            if (one == RecoveryResult::kFailed || one == RecoveryResult::kDamaged) return one;
            if (one == RecoveryResult::kRolledBack || result == RecoveryResult::kNothing) result = one;
        }
        return result;
    }

private:
    RecoveryResult recover(const std::u16string& backupDir) {
        const std::u16string path = journalPath(journalDir_, backupDir);
        std::string bytes;
        // Not read at all when it is larger than any journal of ours.
        if (tree_.readFile(path, kMaxJournalBytes, bytes) != platform::kErrorSuccess) {
            return failed(path, platform::kErrorInvalidData);
        }
        JournalRecord record;
        switch (decodeJournal(bytes, record)) {
        case JournalState::kForeign:
            return RecoveryResult::kNothing;
        case JournalState::kUnreadable:
            return failed(path, platform::kErrorInvalidData);
        case JournalState::kTorn:
            // Written before any change, so there is nothing to put back.
            removeJournal(backupDir, path);
            return RecoveryResult::kRolledBack;
        case JournalState::kPlanned:
            return undo(record, backupDir, path) ? RecoveryResult::kRolledBack : RecoveryResult::kFailed;
        case JournalState::kCommitted: {
            // A disk that lost what it had confirmed must not cost the old
            // version: the backups go only once every new file is found whole.
            std::u16string damaged;
            std::uint32_t code = platform::kErrorSuccess;
            if (!findDamaged(tree_, record, damaged, code)) {
                removeBackups(tree_, record, journalDir_);
                // What the run cut short may not have got to.
                tidyCommitted(tree_, record, stagingDir_);
                return RecoveryResult::kCompleted;
            }
            if (!undo(record, backupDir, path)) return RecoveryResult::kFailed;
            errorText_ = platform::formatMessage(u"%s安装文件已损坏 （%d）", {damaged, static_cast<std::int32_t>(code)});
            return RecoveryResult::kDamaged;
        }
        }
        return RecoveryResult::kNothing;
    }

    // Puts back what record did and removes its journal; false, with the
    // failure in errorText and the journal left for a later run, when a file
    // cannot be put back.
    bool undo(const JournalRecord& record, const std::u16string& backupDir, const std::u16string& path) {
        std::u16string failedPath;
        const auto kept = [this](const std::u16string& file, const std::u16string& at) { sink_.stagedFileKept(file, at); };
        const std::uint32_t code = undoInstallation(tree_, record, stagingDir_, journalDir_, failedPath, kept);
        if (code != platform::kErrorSuccess) {
            failed(failedPath, code);
            return false;
        }
        removeJournal(backupDir, path);
        return true;
    }

    void removeJournal(const std::u16string& backupDir, const std::u16string& path) {
        tree_.removeDirectory(journalDir_ + backupDir);
        tree_.deleteFile(path);
    }

    RecoveryResult failed(const std::u16string& path, std::uint32_t code) {
        errorText_ = platform::formatMessage(u"%s还原文件失败 （%d）", {path, static_cast<std::int32_t>(code)});
        return RecoveryResult::kFailed;
    }

    platform::Tree& tree_;
    const std::u16string& stagingDir_;
    const std::u16string& journalDir_;
    std::u16string& errorText_;
    StepSink& sink_;
};

}  // namespace

RecoveryResult recoverInstallation(platform::Tree& tree, const std::u16string& stagingDir,
                                   const std::u16string& journalDir, std::u16string& errorText, StepSink& sink) {
    return Recovery(tree, stagingDir, journalDir, errorText, sink).run();
}

void removeCompletedJournals(platform::Tree& tree, const std::u16string& journalDir) {
    for (const std::u16string& backupDir : journalsIn(tree, journalDir)) {
        const std::u16string path = journalPath(journalDir, backupDir);
        std::string bytes;
        JournalRecord record;
        if (tree.readFile(path, kMaxJournalBytes, bytes) != platform::kErrorSuccess ||
            decodeJournal(bytes, record) != JournalState::kCommitted) {
            continue;
        }
        // Without all its backups gone the journal stays, for a later run to
        // finish. They lie in the backup directory: when that is gone, so are they.
        const bool backupsGone = tree.find(journalDir + backupDir) == platform::ItemKind::kMissing;
        if (!backupsGone && !removeBackups(tree, record, journalDir)) continue;
        // The release it installed is the mark from now on; until the mark
        // is written the journal stays, so that a later run writes it.
        if (!record.release.empty() &&
            writeVersionMark(tree, record.release, record.releaseKey) != platform::kErrorSuccess) {
            continue;
        }
        tree.deleteFile(path);
    }
}

}  // namespace install
