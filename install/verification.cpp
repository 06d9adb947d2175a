#include "install/verification.h"

#include "install/md5.h"
#include "install/path_safety.h"

namespace install {

bool verifyPackage(const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                   const std::u16string& selfName, std::u16string& errorText) {
    for (const ManifestEntry& entry : entries) {
        if (!isSafeRelativePath(entry.path)) {
            errorText = u"非法路径 " + entry.path;
            return false;
        }
        // The staged file is opened by its wide path, so that names outside
        // the OEM code page are found too.
        const std::string actual = fileMd5(stagingDir + entry.path);
        if (actual == toNarrow(entry.md5) || entry.path == selfName) continue;
        errorText = u"MD5检测错误 " + entry.path;
        return false;
    }
    return true;
}

}  // namespace install
