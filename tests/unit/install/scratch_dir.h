// A fresh empty working directory for each test of the file steps, removed
// afterwards. Paths given to the helpers use "\" like the manifest does.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

class ScratchDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        std::random_device random;
        dir_ = std::filesystem::temp_directory_path() / ("upd-test-" + std::to_string(random()));
        std::filesystem::create_directories(dir_);
        std::filesystem::current_path(dir_);
    }

    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    static std::filesystem::path fsPath(std::u16string path) {
        for (char16_t& c : path) {
            if (c == u'\\') c = u'/';
        }
        return std::filesystem::path(path);
    }

    static void writeFile(const std::u16string& path, const std::string& content) {
        const std::filesystem::path p = fsPath(path);
        if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
    }

    // The content of a file, or nothing when it is missing.
    static std::optional<std::string> readFile(const std::u16string& path) {
        std::ifstream in(fsPath(path), std::ios::binary);
        if (!in || std::filesystem::is_directory(fsPath(path))) return std::nullopt;
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    static bool exists(const std::u16string& path) { return std::filesystem::exists(fsPath(path)); }

    // Names in a directory, sorted.
    static std::string listing(const std::u16string& dir) {
        std::vector<std::string> names;
        for (const auto& item : std::filesystem::directory_iterator(fsPath(dir))) {
            names.push_back(item.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        std::string out;
        for (const std::string& name : names) out += (out.empty() ? "" : " ") + name;
        return out;
    }

private:
    std::filesystem::path previous_;
    std::filesystem::path dir_;
};
