// Moves the staged files into place.
#pragma once

#include <string>
#include <vector>

#include "install/manifest_entry.h"
#include "install/staged_copies.h"
#include "install/step_sink.h"
#include "platform/tree.h"

namespace install {

// For each entry in order: creates the directory levels of its path (the
// prefixes before each "\") that are missing, then moves stagingDir + path
// onto path, replacing an existing file, all through tree (no link is
// followed). A failed move of the entry equal to selfName is accepted. Before
// the first change the staged files' data is flushed to disk and the plan is
// written to a journal in journalDirectory(stagingDir, signedRun != nullptr) (see
// InstallJournal), so that an interrupted installation can be put back by
// the next run; on success the committed journal stays for
// removeCompletedJournals. On the first other failure the installation is
// undone (a new file whose way back into the staging directory is gone is
// kept in the backup directory instead, reported to sink) and errorText holds
// "<path>创建目录失败 （<code>）" or "<path>移动文件失败 （<code>）";
// "<journal>写入失败 （<code>）" when the journal cannot be written, before
// anything changed.
// With signedRun (a signed update) each entry's new file is the copy that
// verification made (given to the installation by installOwnFile), the
// journal and backups live in the private directory, undoing deletes the
// new files instead of moving them anywhere, and once committed the staged
// files of the installed entries are deleted through tree, the copies
// removed; the journal carries the release for the version mark.
struct SignedInstallation {
    const StagedCopies& copies;
    std::u16string release;
    std::u16string key;
};
bool installFiles(platform::Tree& tree, const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                  const std::u16string& selfName, std::u16string& errorText, StepSink& sink,
                  const SignedInstallation* signedRun = nullptr);

}  // namespace install
