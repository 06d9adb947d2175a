// A whole native update without its fixed pauses: 10,000 staged files of
// 256 MiB in all, in nested directories, a quarter of them replacing installed
// files. The Updater's steps are timed one by one (the 50 ms, 1500 ms and
// 100 ms pauses lie outside them) against a floor measured in the same run on
// the same layout: reading and hashing every staged file with OpenSSL's MD5,
// one syncfs() that writes the staged data to disk once (as it must be before
// a rename may depend on it), and one rename() per file into target
// directories that already exist.
//
//   update_bench [SCRATCH_DIR [ROUNDS [synced]]]   defaults: the temp directory, 3
//
// Each round lays the tree out afresh (so both sides read from the page
// cache) and runs the floor, then the Updater; the ratio of each round counts.
// The staged files are left unflushed, as a product leaves its download;
// with "synced" they are synced before each side runs, and the time the
// Updater's flush of the file system takes then is printed too.
// The installation also flushes its journal twice; its cost without those:
//   LD_PRELOAD=build/native/tests/e2e/libupd_kill_switch.so UPD_SKIP_FSYNC=1 update_bench
#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/update_job.h"
#include "bench/bench_support.h"
#include "platform/platform.h"
#include "platform/utf.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 10000;
constexpr std::uint64_t kTotalBytes = 256ull << 20;

struct PlannedFile {
    std::string path;  // manifest path, with backslashes
    std::uint64_t size = 0;
    bool existing = false;  // an installed file is replaced
    std::string md5;
};

std::string slashes(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

// Deterministic bytes, different for every file.
void fillContent(std::vector<char>& out, std::uint64_t size, std::uint64_t seed) {
    out.resize(size);
    std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (std::uint64_t i = 0; i < size; i += 8) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        for (std::uint64_t j = i; j < std::min(size, i + 8); ++j) out[j] = static_cast<char>(x >> (8 * (j - i)));
    }
}

std::string hexMd5(const unsigned char* data, std::size_t size) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(data, size, digest, &length, EVP_md5(), nullptr);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

std::vector<PlannedFile> plan() {
    std::vector<PlannedFile> files(kFiles);
    const std::vector<std::uint64_t> sizes = bench::updateFileSizes(kFiles, kTotalBytes);
    for (int i = 0; i < kFiles; ++i) {
        PlannedFile& f = files[i];
        f.size = sizes[i];
        f.path = "d" + std::to_string(i % 20) + "\\s" + std::to_string(i % 7) + "\\f" + std::to_string(i) + ".bin";
        f.existing = i % 4 == 0;
    }
    std::vector<char> content;
    for (int i = 0; i < kFiles; ++i) {
        fillContent(content, files[i].size, static_cast<std::uint64_t>(i));
        files[i].md5 = hexMd5(reinterpret_cast<const unsigned char*>(content.data()), content.size());
    }
    return files;
}

void writeFile(const fs::path& path, const char* data, std::size_t size) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(data, static_cast<std::streamsize>(size));
}

// A fresh install directory: installed old versions, the staged files, the manifest.
void layOut(const fs::path& dir, const std::vector<PlannedFile>& files, bool targetDirectories) {
    fs::remove_all(dir);
    fs::create_directories(dir / "autoTemp");
    std::vector<char> content;
    std::string manifest = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<update>\n";
    for (std::size_t i = 0; i < files.size(); ++i) {
        const PlannedFile& f = files[i];
        fillContent(content, f.size, i);
        writeFile(dir / "autoTemp" / slashes(f.path), content.data(), content.size());
        if (f.existing) {
            writeFile(dir / slashes(f.path), "old version", 11);
        } else if (targetDirectories) {
            fs::create_directories((dir / slashes(f.path)).parent_path());
        }
        manifest += "  <file path=\"" + f.path + "\" md5=\"" + f.md5 + "\"/>\n";
    }
    manifest += "</update>\n";
    writeFile(dir / "move.xml", manifest.data(), manifest.size());
}

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct FloorTimes {
    double hash = 0, flush = 0, rename = 0;
    double total() const { return hash + flush + rename; }
};

// The floor: what any installer of this package has to do at the least.
FloorTimes floorRound(const fs::path& dir, const std::vector<PlannedFile>& files) {
    FloorTimes t;
    std::vector<char> buffer(1 << 16);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    for (const PlannedFile& f : files) {
        const std::string staged = (dir / "autoTemp" / slashes(f.path)).string();
        const std::string target = (dir / slashes(f.path)).string();
        auto start = Clock::now();
        std::FILE* in = std::fopen(staged.c_str(), "rb");
        if (in == nullptr) throw std::runtime_error("cannot open " + staged);
        EVP_DigestInit_ex(context, EVP_md5(), nullptr);
        std::size_t got;
        while ((got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) EVP_DigestUpdate(context, buffer.data(), got);
        std::fclose(in);
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_DigestFinal_ex(context, digest, &length);
        t.hash += msSince(start);
    }
    EVP_MD_CTX_free(context);
    auto start = Clock::now();
    if (platform::flushFileSystems({platform::utf8ToUtf16(dir.string())}) != 0) throw std::runtime_error("syncfs failed");
    t.flush = msSince(start);
    for (const PlannedFile& f : files) {
        const std::string staged = (dir / "autoTemp" / slashes(f.path)).string();
        const std::string target = (dir / slashes(f.path)).string();
        start = Clock::now();
        if (std::rename(staged.c_str(), target.c_str()) != 0) throw std::runtime_error("cannot rename " + staged);
        t.rename += msSince(start);
    }
    return t;
}

struct StepTimes {
    double terminate = 0, recover = 0, manifest = 0, verify = 0, occupancy = 0, install = 0;
    double total() const { return terminate + recover + manifest + verify + occupancy + install; }
};

StepTimes updaterRound(const fs::path& dir) {
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    app::UpdateJob job;
    job.productExe = u"no-such-product.exe";  // the same snapshot and comparisons, nothing to end
    StepTimes t;
    bool ok = true;
    auto start = Clock::now();
    job.terminateProduct();
    t.terminate = msSince(start);
    start = Clock::now();
    ok = job.recoverInstallation() == install::RecoveryResult::kNothing;
    t.recover = msSince(start);
    start = Clock::now();
    ok = ok && job.loadManifest();
    t.manifest = msSince(start);
    start = Clock::now();
    ok = ok && job.verifyPackage();
    t.verify = msSince(start);
    start = Clock::now();
    ok = ok && job.checkOccupancy();
    t.occupancy = msSince(start);
    start = Clock::now();
    ok = ok && job.installFiles();
    if (ok) job.finishInstallation();
    t.install = msSince(start);
    fs::current_path(previous);
    if (!ok || job.entries.size() != kFiles) {
        throw std::runtime_error("the update failed: " + platform::utf16ToUtf8(job.errorText));
    }
    return t;
}

}  // namespace

int main(int argc, char* argv[]) {
    const fs::path dir = fs::absolute(argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path()) / "upd-update-bench";
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const bool synced = argc > 3 && std::string(argv[3]) == "synced";
    try {
        std::cout << "planning " << kFiles << " files, " << (kTotalBytes >> 20) << " MiB\n" << std::flush;
        const std::vector<PlannedFile> files = plan();
        FloorTimes bestFloor;
        StepTimes best;
        std::vector<double> ratios, flushShares;
        for (int round = 1; round <= rounds; ++round) {
            layOut(dir, files, true);
            if (synced) ::sync();
            const FloorTimes floor = floorRound(dir, files);
            layOut(dir, files, false);
            double flush = 0;
            if (synced) {
                ::sync();
                // What the Updater's own flush costs on a file system with nothing left to write.
                const auto start = Clock::now();
                platform::flushFileSystems({platform::utf8ToUtf16(dir.string())});
                flush = msSince(start);
            }
            const StepTimes t = updaterRound(dir);
            ratios.push_back(t.total() / floor.total());
            flushShares.push_back(flush / t.total());
            std::printf("round %d: floor %.0f ms, Updater %.0f ms, %.3fx", round, floor.total(), t.total(),
                        ratios.back());
            if (synced) std::printf(", a flush of the synced staging %.1f ms", flush);
            std::printf("\n");
            if (round == 1 || floor.total() < bestFloor.total()) bestFloor = floor;
            if (round == 1 || t.total() < best.total()) best = t;
        }
        fs::remove_all(dir);
        std::sort(ratios.begin(), ratios.end());
        std::sort(flushShares.begin(), flushShares.end());
        std::printf("\nUpdater / floor per round (%d rounds, %d files, %llu MiB, %d replacing installed files, "
                    "staging %s):\n  min %.3f  median %.3f  max %.3f\n",
                    rounds, kFiles, static_cast<unsigned long long>(kTotalBytes >> 20), kFiles / 4,
                    synced ? "synced" : "unsynced", ratios.front(), ratios[ratios.size() / 2], ratios.back());
        if (synced) {
            std::printf("flush / Updater per round: min %.3f  median %.3f  max %.3f\n", flushShares.front(),
                        flushShares[flushShares.size() / 2], flushShares.back());
        }
        std::printf("\nbest round of each:\n");
        std::printf("  floor (MD5 + syncfs + rename)  %8.1f ms\n", bestFloor.total());
        std::printf("    read and hash                %8.1f ms\n", bestFloor.hash);
        std::printf("    syncfs                       %8.1f ms\n", bestFloor.flush);
        std::printf("    rename                       %8.1f ms\n", bestFloor.rename);
        std::printf("  Updater steps, no pauses       %8.1f ms\n", best.total());
        std::printf("    terminateProduct             %8.1f ms\n", best.terminate);
        std::printf("    recoverInstallation          %8.1f ms\n", best.recover);
        std::printf("    loadManifest                 %8.1f ms\n", best.manifest);
        std::printf("    verifyPackage                %8.1f ms\n", best.verify);
        std::printf("    checkOccupancy               %8.1f ms\n", best.occupancy);
        std::printf("    installFiles and clean-up    %8.1f ms\n", best.install);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "update_bench: %s\n", e.what());
        fs::remove_all(dir);
        return 1;
    }
}
