// The journal of an installation: the plan on disk before the first change,
// so that an installation cut short at any instant (the Updater killed, the
// power lost, the system crashed) is put back whole by the next run, and a
// completed one is only tidied up.
//
// Each planned move is one or two renames, and what exists on disk tells how
// far it got, so no flush is needed per file:
//   new file:  staged -> target
//   replace:   target -> backup, then staged -> target
// Undoing walks the moves newest first and reverses each by what it finds
// (target present and staged file gone: the target goes back to the staging
// directory; backup present: it goes back to the target), then removes the
// created directories that are empty. It only renames onto names that do not
// exist, so running it again after an interruption of its own is harmless.
//
// Durability: before anything changes, the data of every staged file (and
// of the manifest) is flushed to disk, once per file system (platform::
// flushData), and then the plan is written and flushed (FlushFileBuffers /
// fsync of the file and of the directory that holds it); the commit record is
// appended and flushed after the last move. Only then are the backups
// deleted, and the journal last of all, so a run cut short in that clean-up
// leaves a committed journal, which the next run only finishes, once it has
// found every new file whole by the digest the journal keeps for it.
//
// So a power cut at any instant leaves either the old installation with the
// whole download still staged (the next run puts back what was moved and
// installs again) or the new installation. The product need not flush what
// it downloads.
//
// What this relies on, and its limits:
// - A rename (MoveFileExW without copying, rename(2)) is atomic: after a power
//   cut the file has its old or its new name, never both or neither.
// - The file system keeps metadata changes in order, so that the flushed
//   commit implies every rename before it, and a rename that survived implies
//   the renames before it (NTFS's log, ext4's journal with data=ordered).
// - A flush that the disk acknowledged was made. A disk that acknowledges
//   flushes it did not make can still lose new files' data behind a commit:
//   the next run then finds a new file that differs from its digest or is
//   missing, puts the old version back from the backups and fails the run,
//   so that the product downloads again. That holds while the backups are
//   there, i.e. until the run that found the commit whole deletes them.
// - A plan torn by a power cut fails its checksum and is known to precede
//   any change; a flushed journal that the disk later damages cannot be told
//   from a torn one.
// - Directories that a failed installation created are removed only when they
//   are empty; an interruption of a run whose every move fails (it journals
//   nothing) may leave such empty directories behind.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "install/journal_record.h"
#include "install/manifest_entry.h"
#include "platform/platform.h"
#include "platform/tree.h"

namespace install {

// Where an installation keeps its journal and its backup directory: the
// staging directory; for a signed update the private directory, which only
// the Updater may write. The staging directory is written by whoever stages
// updates, and the recovery of a journal found there would rename that
// user's files into the installation unverified.
std::u16string journalDirectory(const std::u16string& stagingDir, bool signedUpdate);

// journalDir + backupDir + ".journal", and the backup file of number n.
std::u16string journalPath(const std::u16string& journalDir, const std::u16string& backupDir);
std::u16string backupPath(const std::u16string& journalDir, const std::u16string& backupDir, std::int32_t n);
// Where a new file of move n is kept when undoing finds its way back into the
// staging directory gone: "new<n>" in the backup directory.
std::u16string keptPath(const std::u16string& journalDir, const std::u16string& backupDir, std::size_t n);

// Told of each new file that undoing kept in the backup directory.
using KeptFile = std::function<void(const std::u16string& path, const std::u16string& keptAt)>;

// The journal file of the installation that is running.
class InstallJournal {
public:
    // The journal and the backups go in journalDir (see journalDirectory),
    // every file of them reached through tree.
    InstallJournal(platform::Tree& tree, const std::u16string& journalDir, const std::u16string& stagingDir);
    ~InstallJournal();
    InstallJournal(const InstallJournal&) = delete;
    InstallJournal& operator=(const InstallJournal&) = delete;

    // Chooses a backup directory "~rollbackN" in the journal directory that
    // neither exists nor holds (or is) any entry's target or staged file, and
    // sets record.backupDir to it; creates the journal beside it, and the
    // backup directory when there are backups; calls flushStaged, which makes
    // the staged files' data durable; writes the plan and makes it durable.
    // Returns 0 or the error code, with nothing left behind.
    std::uint32_t begin(JournalRecord& record, const std::vector<ManifestEntry>& entries,
                        const std::function<std::uint32_t()>& flushStaged);
    // Appends the commit record and makes it durable. Returns 0 or the error code.
    std::uint32_t commit();
    // Closes the journal, removes the empty backup directory and deletes the
    // journal: the installation needs it no more.
    void discard();
    // Closes the journal and leaves it for the next run.
    void close();

    bool isOpen() const { return file_ != platform::kInvalidFile; }
    const std::u16string& path() const { return path_; }

private:
    platform::Tree& tree_;
    const std::u16string journalDir_;
    const std::u16string stagingDir_;
    std::u16string backupDir_;
    std::u16string path_;
    platform::FileHandle file_ = platform::kInvalidFile;
};

// Puts back what the installation of record did, however far it got, through
// tree: a new file goes back into the staging directory while the way there
// is the one it came by (tree.unchanged), otherwise into the backup
// directory (told to kept); one that was the Updater's own (JournalMove::own:
// its staged file never left) is deleted; a replaced or removed file gets
// its backup back. Returns 0, or the code of the first rename that failed
// with its target in failedPath; what was put back before it stays put back.
std::uint32_t undoInstallation(platform::Tree& tree, const JournalRecord& record, const std::u16string& stagingDir,
                               const std::u16string& journalDir, std::u16string& failedPath, const KeptFile& kept);

// After a committed installation: the staged files that the Updater's own
// new files were made from go, and so do the directories that removals
// left empty.
void tidyCommitted(platform::Tree& tree, const JournalRecord& record, const std::u16string& stagingDir);

// Deletes the backups of a completed installation and its backup directory.
// True when none of them is left.
bool removeBackups(platform::Tree& tree, const JournalRecord& record, const std::u16string& journalDir);

}  // namespace install
