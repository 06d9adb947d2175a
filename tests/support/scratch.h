// Scratch files for tests that work on real files: a fresh directory per
// test under the working directory, and whole-file reads and writes through
// the platform layer (UTF-16 paths, backslashes as on Windows).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/tree.h"
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
        std::replace(dir_.begin(), dir_.end(), u'/', u'_');  // parameterised tests' names
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

// A fixture for the tests of steps that work relative to the working
// directory, as the Updater does: each test runs in a ScratchDir of its own
// as the working directory. Paths use "\" like the manifest does.
class ScratchDirTest : public ::testing::Test {
protected:
    // The scratch directory as the steps reach it, opened for each test.
    platform::Tree tree;

    void SetUp() override {
        previous_ = std::filesystem::current_path();
        scratch_.emplace();
        ASSERT_EQ(platform::setCurrentDirectory(scratch_->dir()), 0u);
        ASSERT_EQ(tree.open(), 0u);
    }

    void TearDown() override {
        tree.close();
        std::filesystem::current_path(previous_);
        scratch_.reset();
    }

    // Writes content to path, creating the directories on the way.
    static void writeFile(const std::u16string& path, std::string_view content) {
        for (std::size_t cut = path.find(u'\\'); cut != std::u16string::npos; cut = path.find(u'\\', cut + 1)) {
            platform::createDirectory(path.substr(0, cut));
        }
        ASSERT_TRUE(writeBytes(path, content));
    }

    // The content of a file, or nothing when it is missing or a directory.
    static std::optional<std::string> readFile(const std::u16string& path) {
        if (platform::findFirstFile(path) != platform::FindResult::kFile) return std::nullopt;
        return readBytes(path);
    }

    static bool exists(const std::u16string& path) {
        return platform::findFirstFile(path) != platform::FindResult::kNotFound;
    }

    // Names in a directory, sorted, separated by blanks.
    static std::string listing(const std::u16string& dir) {
        std::vector<platform::DirEntry> entries;
        platform::listDirectory(dir, entries);
        std::vector<std::string> names;
        for (const platform::DirEntry& entry : entries) names.push_back(platform::utf16ToUtf8(entry.name));
        std::sort(names.begin(), names.end());
        std::string out;
        for (const std::string& name : names) out += (out.empty() ? "" : " ") + name;
        return out;
    }

private:
    std::filesystem::path previous_;
    std::optional<ScratchDir> scratch_;
};

// The directory of the running test program, without the last backslash.
inline std::u16string programDirectory() {
    const std::u16string path = platform::modulePath();
    return path.substr(0, path.rfind(u'\\'));
}

// The helper program built beside the tests (tests/helpers).
inline std::u16string helperProgram() {
    return programDirectory() + u"\\upd_test_helper" + std::u16string(platform::executableSuffix());
}

}  // namespace testsupport
