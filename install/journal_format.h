// The journal's bytes: UTF-16LE text after a byte order mark, one record per
// line ending in CR LF, fields separated by a tab, so that support can read
// it in any editor:
//
//   updater installation journal 2
//   backups  ~rollback1
//   release  1.5.0  <key>                     a signed update's release, for the version mark
//   mkdir    bin\plugins\x  2                 the last 2 levels to create: bin\plugins, bin\plugins\x
//   new      bin\plugins\x.dll  <md5>        a staged file that becomes a new file
//   replace  bin\core.dll  0  <md5>          an installed file kept as backup 0
//   replace  bin\ui.dll  1  <md5>  own       the new file was the Updater's own, not the staged one
//   remove   plugins\old.dll  2              an installed file removed, kept as backup 2
//   end      5  <md5 of every byte before this line>
//   commit                                    appended once every move is made
//
// A move's <md5> is the new file's digest as the manifest gives it (empty
// when the manifest gave none that its file could be read by). Version 1,
// which is still read, has no digests and one level per mkdir line.
// Paths are those a manifest may give (install/path_safety.h), never inside
// the staging directory.
// "%" and the code units below U+0020 (tab, CR, LF among them) are written
// as "%" and two upper-case hex digits. The end line lets a reader tell a
// plan that was written whole from one that a power cut tore.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "install/journal_record.h"
#include "install/update_steps.h"

namespace install {

// No journal is larger than what the plan of the largest manifest that is
// read (kMaxManifestBytes) encodes: each entry gives at most a mkdir line
// and a move line, each holding its path (at most as many code units as the
// manifest spends bytes on it, tripled by escapes) and some 60 units more,
// two bytes each, while the entry takes at least 16 bytes of the manifest:
// at most 12 journal bytes per manifest byte, and the header.
inline constexpr std::size_t kMaxJournalBytes = 12 * kMaxManifestBytes + 4096;

enum class JournalState {
    kTorn,       // a plan that was never written whole: nothing was changed after it
    kForeign,    // not a journal of ours: never touched
    kPlanned,    // a whole plan without its commit
    kCommitted,  // a whole plan and its commit
    kUnreadable  // ours, but of another version, damaged or unsafe: nothing is touched
};

// The whole plan, up to and including its end line.
std::string encodeJournal(const JournalRecord& record);
// The record appended when the installation is complete.
std::string_view journalCommitRecord();

// Reads bytes as a journal; fills record for kPlanned and kCommitted.
JournalState decodeJournal(std::string_view bytes, JournalRecord& record);

}  // namespace install
