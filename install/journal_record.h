// What an installation is about to change, as its journal keeps it on disk:
// enough to put the installation back without the manifest.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace install {

struct JournalMove {
    enum Kind {
        kNewFile,  // a new file where there was none
        kReplace,  // the installed file kept as a backup, the new file in its place
        kRemove,   // the installed file kept as a backup, nothing in its place
    };
    Kind kind = kNewFile;
    // The target, relative to the working directory; the new file came from
    // the staging directory + path, or for a signed update from the
    // Updater's own copy of it.
    std::u16string path;
    // kReplace, kRemove: the old file's name in the backup directory.
    std::int32_t backup = -1;
    // The MD5 the manifest gives the new file, by which a committed
    // installation is known to be whole; empty in journals that predate it.
    std::u16string md5 = {};
    // The new file was the Updater's own (a signed update's copy, a patch's
    // result), not the staged file: undoing deletes it, and once committed
    // the staged file it came from goes.
    bool own = false;
};

// Directory levels an installation creates for one entry: the last count
// levels of path ("\" separating them), outermost first. An entry creates
// the levels behind the last one that exists, so they are always the last.
struct CreatedLevels {
    std::u16string path;
    std::int32_t count = 1;

    bool operator==(const CreatedLevels&) const = default;
};

struct JournalRecord {
    // The backup directory's name in the journal directory ("~rollbackN");
    // the journal itself is that name + ".journal" beside it.
    std::u16string backupDir;
    // Directory levels the installation creates, in the order it creates them.
    std::vector<CreatedLevels> directories;
    // The moves that change the installation, in the order they are made.
    std::vector<JournalMove> moves;
    // A signed update: the release it installs and the key that signed it,
    // which become the version mark once it is committed.
    std::u16string release = {};
    std::u16string releaseKey = {};
};

}  // namespace install
