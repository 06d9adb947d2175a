// Moves the staged files into place.
#pragma once

#include <string>
#include <vector>

#include "install/manifest_entry.h"

namespace install {

// For each entry in order: creates the directory levels of its path (the
// prefixes before each "\") that are missing, then moves stagingDir + path
// onto path, replacing an existing file. A failed move of the entry equal to
// selfName is accepted. Before the first change the plan is written to a
// journal under stagingDir (see InstallJournal), so that an interrupted
// installation can be put back by the next run; on success the committed
// journal stays for removeCompletedJournals. On the first other failure
// the installation is undone and errorText holds "<path>创建目录失败 （<code>）"
// or "<path>移动文件失败 （<code>）"; "<journal>写入失败 （<code>）" when the
// journal cannot be written, before anything changed.
bool installFiles(const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                  const std::u16string& selfName, std::u16string& errorText);

}  // namespace install
