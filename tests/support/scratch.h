// Scratch files for tests that work on real files: a fresh directory per
// test under the working directory, and whole-file reads and writes through
// the platform layer (UTF-16 paths, backslashes as on Windows).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/utf.h"

namespace testsupport {

inline void removeTree(const std::u16string& path) {
    std::vector<platform::DirEntry> entries;
    if (!platform::listDirectory(path, entries)) {
        platform::deleteFile(path);
        return;
    }
    for (const platform::DirEntry& entry : entries) {
        const std::u16string child = path + u"\\" + entry.name;
        if (entry.isDirectory) {
            removeTree(child);
        } else {
            platform::deleteFile(child);
        }
    }
    platform::removeDirectory(path);
}

inline bool writeBytes(const std::u16string& path, std::string_view bytes) {
    const platform::FileHandle file = platform::createFileAlways(path);
    if (file == platform::kInvalidFile) return false;
    const bool ok = bytes.empty() || platform::writeFile(file, bytes.data(), bytes.size());
    platform::closeFile(file);
    return ok;
}

inline std::string readBytes(const std::u16string& path) {
    platform::InputFile file;
    std::string bytes;
    if (!file.open(path)) return bytes;
    char block[4096];
    for (std::size_t got; (got = file.read(block, sizeof block)) > 0;) bytes.append(block, got);
    return bytes;
}

// UTF-16 text as its little-endian bytes.
inline std::string utf16leBytes(std::u16string_view text) {
    std::string bytes;
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

// A directory of its own for the running test, relative to the working
// directory; emptied first, removed with its contents at the end.
class ScratchDir {
public:
    ScratchDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = u"scratch-" + platform::utf8ToUtf16(info->test_suite_name()) + u"-" + platform::utf8ToUtf16(info->name());
        removeTree(dir_);
        EXPECT_EQ(platform::createDirectory(dir_), 0u);
    }
    ~ScratchDir() { removeTree(dir_); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::u16string& dir() const { return dir_; }
    std::u16string path(std::u16string_view name) const { return dir_ + u"\\" + std::u16string(name); }

private:
    std::u16string dir_;
};

// The directory of the running test program, without the last backslash.
inline std::u16string programDirectory() {
    const std::u16string path = platform::modulePath();
    return path.substr(0, path.rfind(u'\\'));
}

// The helper program built beside the tests (tests/helpers).
inline std::u16string helperProgram() {
#ifdef _WIN32
    return programDirectory() + u"\\upd_test_helper.exe";
#else
    return programDirectory() + u"\\upd_test_helper";
#endif
}

}  // namespace testsupport
