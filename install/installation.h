// Moves the staged files into place.
#pragma once

#include <string>
#include <vector>

#include "install/held_files.h"
#include "install/manifest_entry.h"
#include "install/step_sink.h"
#include "platform/tree.h"

namespace install {

// For each entry in order: creates the directory levels of its path (the
// prefixes before each "\") that are missing, then moves stagingDir + path
// onto path, replacing an existing file, all through tree (no link is
// followed). A failed move of the entry equal to selfName is accepted. Before
// the first change the staged files' data is flushed to disk and the plan is
// written to a journal in journalDirectory(stagingDir, held) (see
// InstallJournal), so that an interrupted installation can be put back by
// the next run; on success the committed journal stays for
// removeCompletedJournals. On the first other failure the installation is
// undone (a new file whose way back into the staging directory is gone is
// kept in the backup directory instead, reported to sink) and errorText holds
// "<path>创建目录失败 （<code>）" or "<path>移动文件失败 （<code>）";
// "<journal>写入失败 （<code>）" when the journal cannot be written, before
// anything changed.
// With held (a signed update: the files that verification held, one per
// entry) each staged file is moved through its held handle and closed after
// its move; a held file that was changed or replaced since its verification
// fails the installation with "<path>暂存文件已被更改 （1006）", also for the
// entry of selfName.
bool installFiles(platform::Tree& tree, const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                  const std::u16string& selfName, std::u16string& errorText, StepSink& sink,
                  HeldFiles* held = nullptr);

}  // namespace install
