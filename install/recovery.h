// The first file step of a run: an installation that an earlier run did not
// finish (the Updater killed, the power lost) is put back or tidied up from
// its journal alone, before the manifest is read.
#pragma once

#include <string>

#include "install/install_journal.h"
#include "install/step_sink.h"
#include "platform/tree.h"

namespace install {

enum class RecoveryResult {
    kNothing,     // no journal of an unfinished installation
    kRolledBack,  // the installed files and the staging directory are as they were before it
    kCompleted,   // it had completed; its backups are deleted
    // It had completed, but a new file is missing (2) or differs from its
    // digest (13): the old installation is put back and errorText holds
    // "<path>安装文件已损坏 （<code>）".
    kDamaged,
    kFailed,      // it could not be put back: errorText holds "<path>还原文件失败 （<code>）"
};

// Looks for journals ("~rollbackN.journal") in journalDir (see
// journalDirectory; journals anywhere else are never read) and handles each.
// A journal that cannot be put back stays, with every backup, for a later run;
// so does a committed one, for removeCompletedJournals.
// Every file is reached through tree; a new file kept in the backup
// directory for want of its way back (see undoInstallation) is told to sink.
RecoveryResult recoverInstallation(platform::Tree& tree, const std::u16string& stagingDir,
                                   const std::u16string& journalDir, std::u16string& errorText, StepSink& sink);

// The last step of a successful run, once the product has been told: deletes
// the journals of completed installations (whose backups are all gone),
// after writing the version mark of a signed one's release.
void removeCompletedJournals(platform::Tree& tree, const std::u16string& journalDir);

}  // namespace install
