// A small program the tests start as "another process":
//   sleep MS                     stay alive for MS milliseconds
//   hold PATH none|readwrite MS  hold PATH open, create PATH.ready, stay alive
//   md5 PATH...                  print fileMd5 of each PATH, one line each
//   terminate-when PATH MS NAME  once PATH exists (two minutes at most), wait
//                                MS milliseconds, then terminate every process
//                                named NAME; exit code 1 when there was none
//   others-may-write PATH...     print "yes" or "no" for each PATH: whether
//                                anyone but this user, Administrators and
//                                SYSTEM owns it or may write it
// On POSIX the tests start it with the whole command line as its only
// argument, as the Updater starts the product, so that line is split here.
#include <string>
#include <vector>

#include "install/md5.h"
#include "platform/format.h"
#include "platform/held_file.h"
#include "platform/platform.h"
#include "platform/utf.h"

namespace {

void waitFor(const std::u16string& path) {
    for (int i = 0; i < 120000 && platform::findFirstFile(path) == platform::FindResult::kNotFound; ++i) {
        platform::sleepMs(1);
    }
}

std::vector<std::u16string> splitBlanks(const std::u16string& line) {
    std::vector<std::u16string> words;
    std::u16string word;
    for (const char16_t c : line + u" ") {
        if (c != u' ') {
            word.push_back(c);
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    return words;
}

std::uint32_t toNumber(const std::u16string& text) {
    std::uint32_t n = 0;
    for (const char16_t c : text) {
        if (c < u'0' || c > u'9') break;
        n = n * 10 + static_cast<std::uint32_t>(c - u'0');
    }
    return n;
}

int run(std::vector<std::u16string> args) {
    if (args.size() == 1) args = splitBlanks(args[0]);
    if (args.size() < 2) return 2;
    const std::u16string& mode = args[1];
    if (mode == u"sleep" && args.size() == 3) {
        platform::sleepMs(toNumber(args[2]));
        return 0;
    }
    if (mode == u"hold" && args.size() == 5) {
        const auto sharing = args[3] == u"none" ? platform::HeldFile::Sharing::kNone : platform::HeldFile::Sharing::kReadWrite;
        const platform::HeldFile held(args[2], sharing);
        if (!held.isHeld()) return 3;
        platform::closeFile(platform::createFileAlways(args[2] + u".ready"));
        platform::sleepMs(toNumber(args[4]));
        return 0;
    }
    if (mode == u"terminate-when" && args.size() == 5) {
        waitFor(args[2]);
        platform::sleepMs(toNumber(args[3]));
        std::vector<platform::ProcessEntry> processes;
        platform::processSnapshot(processes);
        bool found = false;
        for (const platform::ProcessEntry& process : processes) {
            if (process.exeName == args[4]) found = platform::terminateProcess(process.id) || found;
        }
        return found ? 0 : 1;
    }
    if (mode == u"others-may-write") {
        for (std::size_t i = 2; i < args.size(); ++i) {
            platform::writeNarrowLine(platform::othersMayWrite(args[i]) ? u"yes" : u"no");
        }
        return 0;
    }
    if (mode == u"md5") {
        for (std::size_t i = 2; i < args.size(); ++i) {
            platform::writeNarrowLine(platform::utf8ToUtf16(fileMd5(args[i])));
        }
        return 0;
    }
    return 2;
}

}  // namespace

#ifdef _WIN32
static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t must be a UTF-16 code unit");

int wmain(int argc, wchar_t* argv[]) {
    std::vector<std::u16string> args;
    for (int i = 0; i < argc; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    return run(args);
}
#else
int main(int argc, char* argv[]) {
    std::vector<std::u16string> args;
    for (int i = 0; i < argc; ++i) args.push_back(platform::utf8ToUtf16(argv[i]));
    return run(args);
}
#endif
