// updtool md5: digests in md5sum's format.
#include "install/md5.h"
#include "tools/updtool/commands.h"
#include "tools/updtool/output.h"

namespace updtool {
namespace {

// md5sum marks a line whose name needed escaping with a leading backslash
// and escapes backslashes and line ends in the name.
std::u16string md5sumLine(const std::string& digest, const std::u16string& name) {
    std::u16string escaped;
    bool marked = false;
    for (const char16_t c : name) {
        if (c == u'\\' || c == u'\n' || c == u'\r') {
            marked = true;
            escaped += c == u'\\' ? u"\\\\" : c == u'\n' ? u"\\n" : u"\\r";
        } else {
            escaped += c;
        }
    }
    std::u16string line = marked ? u"\\" : u"";
    line += widen(digest);
    line += u"  ";
    line += escaped;
    line += u'\n';
    return line;
}

}  // namespace

int md5Command(const std::vector<std::u16string>& args) {
    if (args.empty()) return usageError(u"md5 needs at least one file");
    int status = kExitOk;
    for (const std::u16string& file : args) {
        const std::string digest = fileMd5(file);
        if (digest.empty()) {
            writeProblem(file + u": cannot be read");
            status = kExitFailed;
            continue;
        }
        writeOut(md5sumLine(digest, file));
    }
    return status;
}

}  // namespace updtool
