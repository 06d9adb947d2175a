// Moves the staged files into place.
#pragma once

#include <string>
#include <vector>

#include "install/held_files.h"
#include "install/manifest_entry.h"

namespace install {

// For each entry in order: creates the directory levels of its path (the
// prefixes before each "\") that are missing, then moves stagingDir + path
// onto path, replacing an existing file. A failed move of the entry equal to
// selfName is accepted. Before the first change the plan is written to a
// journal in journalDirectory(stagingDir, held) (see InstallJournal), so that
// an interrupted installation can be put back by the next run; on success the
// committed journal stays for removeCompletedJournals. On the first other
// failure the installation is undone and errorText holds
// "<path>创建目录失败 （<code>）" or "<path>移动文件失败 （<code>）";
// "<journal>写入失败 （<code>）" when the journal cannot be written, before
// anything changed.
// With held (a signed update: the files that verification held, one per
// entry) each staged file is moved through its held handle and closed after
// its move; a held file that was changed or replaced since its verification
// fails the installation with "<path>暂存文件已被更改 （1006）", also for the
// entry of selfName.
bool installFiles(const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                  const std::u16string& selfName, std::u16string& errorText, HeldFiles* held = nullptr);

}  // namespace install
