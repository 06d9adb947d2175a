#include "tools/updtool/tree.h"

#include "platform/platform.h"

namespace updtool {
namespace {

// Deeper trees are taken for a loop of directory links.
constexpr int kMaxDepth = 256;

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

void listBelow(const std::u16string& dir, const std::u16string& prefix, int depth,
               std::vector<std::u16string>& files, std::vector<std::u16string>& problems) {
    const std::u16string here = prefix.empty() ? dir : joinPath(dir, prefix);
    if (depth > kMaxDepth) {
        problems.push_back(here + u": more than 256 directory levels (a loop of links?)");
        return;
    }
    std::vector<platform::DirEntry> entries;
    if (!platform::listDirectory(here, entries)) {
        problems.push_back(here + u": cannot be listed");
        return;
    }
    for (const platform::DirEntry& entry : entries) {
        const std::u16string rel = prefix.empty() ? entry.name : prefix + u"\\" + entry.name;
        if (entry.name.find(u'\\') != std::u16string::npos) {
            problems.push_back(rel + u": a backslash in a name would be read as a directory separator");
        } else if (entry.isDirectory) {
            listBelow(dir, rel, depth + 1, files, problems);
        } else {
            files.push_back(rel);
        }
    }
}

}  // namespace

std::u16string joinPath(const std::u16string& dir, const std::u16string& name) {
    if (dir.empty()) return name;
    return isSeparator(dir.back()) ? dir + name : dir + u"\\" + name;
}

bool listFiles(const std::u16string& dir, std::vector<std::u16string>& files,
               std::vector<std::u16string>& problems) {
    const std::size_t before = problems.size();
    listBelow(dir, u"", 0, files, problems);
    return problems.size() == before;
}

void removeTree(const std::u16string& path) {
    std::vector<platform::DirEntry> entries;
    if (platform::listDirectory(path, entries)) {
        for (const platform::DirEntry& entry : entries) {
            const std::u16string child = joinPath(path, entry.name);
            if (entry.isDirectory) {
                removeTree(child);
            } else {
                platform::deleteFile(child);
            }
        }
    }
    platform::removeDirectory(path);
}

}  // namespace updtool
