// What an installation changed, so that a failed installation can be undone
// and nothing of the old product is lost.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "install/manifest_entry.h"

namespace install {

class InstallJournal {
public:
    // Backups go into one directory under stagingDir that the journal creates
    // fresh on the first backup, so it holds nothing but backups. Its name is
    // chosen so that no entry's target or staged path lies in it: a later
    // move can never land on a backup. entries must outlive the journal.
    InstallJournal(const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir);
    InstallJournal(const InstallJournal&) = delete;
    InstallJournal& operator=(const InstallJournal&) = delete;

    void directoryCreated(const std::u16string& dir);

    // Keeps the content of the existing file target before a move replaces
    // it: a hard link on the same volume, or a copy where no link can be made
    // (always a copy when copyOnly). Returns 0 or the error code.
    std::uint32_t keep(const std::u16string& target, bool copyOnly);

    // The move that the last keep prepared failed; the target is unchanged
    // and its backup is removed.
    void dropKept();

    // source has been moved onto target (replacing what the last keep kept).
    void moved(const std::u16string& source, const std::u16string& target);

    // Undoes every recorded change, newest first: each moved file goes back
    // to its staged path, each replaced target gets its backup back, each
    // created directory is removed when empty. A backup that cannot be put
    // back stays where it is.
    void undo();

    // The installation succeeded: removes every backup.
    void commit();

private:
    struct Change {
        std::u16string target;  // a moved file's target, or a created directory
        std::u16string source;  // the staged path; empty for a directory
        std::u16string backup;  // the kept old content; empty when none was kept
    };

    std::uint32_t openBackupDir();
    bool entryInside(const std::u16string& dir) const;
    void closeBackupDir();

    const std::vector<ManifestEntry>& entries_;
    const std::u16string stagingDir_;
    std::vector<Change> changes_;
    std::u16string backupDir_;
    std::u16string pendingBackup_;
    std::int32_t backupCount_ = 0;
};

}  // namespace install
