// What an installation will do, worked out before it changes anything, from
// the manifest and what exists on disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "install/journal_record.h"
#include "install/manifest_entry.h"
#include "platform/tree.h"

namespace install {

struct PlannedEntry {
    enum Action {
        kMove,     // a move as it stands, which is not journaled: the entry of the
                   // Updater's own file, a staged file that is missing (or moved by
                   // an earlier entry of the same path), a target that is a directory
        kNewFile,  // the staged file becomes a new file
        kReplace,  // the installed file goes to the backup, the staged file takes its place
    };
    Action action = kMove;
    // The directory levels this entry creates: record.directories[levels], or none (-1).
    std::int32_t levels = -1;
    std::int32_t backup = -1;  // kReplace: the backup's number
};

struct InstallPlan {
    JournalRecord record;  // backupDir is chosen when the journal is written
    std::vector<PlannedEntry> entries;  // one per manifest entry, in its order

    // Only moves change the installation; directories alone are undone by a failed run.
    bool needsJournal() const { return !record.moves.empty(); }
};

// Where each entry's new file comes from, and whether that is a file of the
// Updater's own (JournalMove::own) rather than the staged one.
struct EntrySources {
    std::function<std::u16string(std::size_t)> path;
    std::function<bool(std::size_t)> own;
};

// The moves of entries, then a kRemove for each of removals that exists as a
// file (or as anything but a directory's absence: its rename then tells).
InstallPlan planInstallation(platform::Tree& tree, const std::vector<ManifestEntry>& entries,
                             const EntrySources& sources, const std::u16string& selfName,
                             const std::vector<std::u16string>& removals);

// The directory levels of created, outermost first.
std::vector<std::u16string> createdLevels(const CreatedLevels& created);

}  // namespace install
