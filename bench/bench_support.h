// What the MD5 benchmarks share: per-round paired ratios, and a staged
// package of many files laid out as the Updater finds it. Written with the
// platform layer only, so that the Windows build runs it under Wine too.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "install/md5.h"
#include "platform/platform.h"

namespace bench {

using Clock = std::chrono::steady_clock;

template <class F>
double secondsOf(F&& run) {
    const auto start = Clock::now();
    run();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One ratio per round of two contenders timed in the same round: the
// other's time over ours, so that above 1 means ours is faster.
class PairedRatios {
public:
    explicit PairedRatios(const char* what) : what_(what) {}
    void add(double otherSeconds, double ownSeconds) { ratios_.push_back(otherSeconds / ownSeconds); }
    void print() const {
        std::vector<double> r = ratios_;
        std::sort(r.begin(), r.end());
        if (r.empty()) return;
        std::printf("  %-58s min %.3f  median %.3f  max %.3f\n", what_, r.front(), r[r.size() / 2], r.back());
    }

private:
    const char* what_;
    std::vector<double> ratios_;
};

// Deterministic bytes, different for every seed.
inline void fill(std::vector<unsigned char>& bytes, std::uint64_t seed) {
    std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (unsigned char& b : bytes) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        b = static_cast<unsigned char>(x >> 24);
    }
}

inline bool writeWhole(const std::u16string& path, const std::vector<unsigned char>& bytes) {
    const platform::FileHandle file = platform::createFileAlways(path);
    if (file == platform::kInvalidFile) return false;
    const bool ok = bytes.empty() || platform::writeFile(file, bytes.data(), bytes.size());
    platform::closeFile(file);
    return ok;
}

// The name of staged file i, as the manifest and dir\autoTemp have it.
inline std::string stagedName(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "f%05d.bin", i);
    return name;
}

// Staged file i's path below the package's directory.
inline std::u16string stagedPath(int i) {
    const std::string name = stagedName(i);
    return u"autoTemp\\" + std::u16string(name.begin(), name.end());
}

// dir\autoTemp with files staged files of bytes bytes each, and dir\move.xml
// announcing each with its digest, in UTF-8 as updtool stage writes it.
inline bool layOutPackage(const std::u16string& dir, int files, std::size_t bytes) {
    platform::createDirectory(dir);
    platform::createDirectory(dir + u"\\autoTemp");
    std::string manifest = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<update>\n";
    std::vector<unsigned char> content(bytes);
    for (int i = 0; i < files; ++i) {
        fill(content, static_cast<std::uint64_t>(i));
        const std::string name = stagedName(i);
        if (!writeWhole(dir + u"\\" + stagedPath(i), content)) return false;
        Md5Context context;
        context.addBytes(content.data(), content.size());
        manifest += "  <file path=\"" + name + "\" md5=\"" + context.hexDigest() + "\"/>\n";
    }
    manifest += "</update>\n";
    return writeWhole(dir + u"\\move.xml", std::vector<unsigned char>(manifest.begin(), manifest.end()));
}

// The sizes of the update benchmark's files: files sizes between 512 bytes
// and 52 KiB as a fixed generator draws them, scaled to total bytes in all.
inline std::vector<std::uint64_t> updateFileSizes(int files, std::uint64_t total) {
    std::vector<std::uint64_t> sizes(static_cast<std::size_t>(files));
    std::uint64_t x = 12345, drawn = 0, scaled = 0;
    for (std::uint64_t& size : sizes) {
        x = x * 6364136223846793005ull + 1442695040888963407ull;
        size = 512 + (x >> 33) % 53000;
        drawn += size;
    }
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        sizes[i] = i + 1 == sizes.size() ? total - scaled : sizes[i] * total / drawn;
        scaled += sizes[i];
    }
    return sizes;
}

inline void removePackage(const std::u16string& dir, int files) {
    for (int i = 0; i < files; ++i) {
        platform::deleteFile(dir + u"\\" + stagedPath(i));
    }
    platform::removeDirectory(dir + u"\\autoTemp");
    platform::deleteFile(dir + u"\\move.xml");
    platform::removeDirectory(dir);
}

}  // namespace bench
