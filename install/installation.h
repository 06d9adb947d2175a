// Moves the staged files into place.
#pragma once

#include <string>
#include <vector>

#include "install/manifest_entry.h"
#include "install/step_sink.h"
#include "platform/tree.h"

namespace install {

// For each entry in order: creates the directory levels of its path (the
// prefixes before each "\") that are missing, then moves stagingDir + path
// onto path, replacing an existing file, all through tree (no link is
// followed). A failed move of the entry equal to selfName is accepted. Before
// the first change the staged files' data is flushed to disk and the plan is
// written to a journal in journalDirectory(stagingDir, parts.signedUpdate) (see
// InstallJournal), so that an interrupted installation can be put back by
// the next run; on success the committed journal stays for
// removeCompletedJournals. On the first other failure the installation is
// undone (a new file whose way back into the staging directory is gone is
// kept in the backup directory instead, reported to sink) and errorText holds
// "<path>创建目录失败 （<code>）" or "<path>移动文件失败 （<code>）";
// "<journal>写入失败 （<code>）" when the journal cannot be written, before
// anything changed.
// parts.ownFiles gives, per entry, a file of the Updater's own that is its
// new file in place of the staged one ("": the staged file): a signed
// update's copies, a patch's result; such a file is given to the
// installation by installOwnFile, undoing deletes it, and once committed the
// staged file it was made from is deleted through tree. parts.removals are
// renamed into the backup directory after the moves (journaled like replaced
// files; one already absent is passed over), and directories they leave
// empty go once committed ("<path>删除文件失败 （<code>）" when one cannot
// be). With parts.signedUpdate the journal and backups live in the private
// directory and the journal carries the release and key for the version mark.
struct InstallationParts {
    const std::vector<std::u16string>* ownFiles = nullptr;
    const std::vector<std::u16string>* removals = nullptr;
    bool signedUpdate = false;
    std::u16string release = {};
    std::u16string key = {};
};
bool installFiles(platform::Tree& tree, const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                  const std::u16string& selfName, std::u16string& errorText, StepSink& sink,
                  const InstallationParts& parts = {});

}  // namespace install
