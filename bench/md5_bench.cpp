// fileMd5 against OpenSSL's MD5 on one 64 MiB file in the page cache, both
// reading it the same way (the platform's input stream, 1024-byte reads),
// and both hashing the same bytes from memory, to show what the reads cost.
//   md5_bench [FILE]    FILE: hash this file instead of a generated one
#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "install/md5.h"
#include "platform/platform.h"
#include "platform/utf.h"

namespace {

constexpr std::size_t kFileBytes = 64u << 20;
constexpr int kRounds = 7;

using Clock = std::chrono::steady_clock;

std::string opensslHex(const unsigned char* digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (int i = 0; i < 16; ++i) {
        text.push_back(kDigits[digest[i] >> 4]);
        text.push_back(kDigits[digest[i] & 15]);
    }
    return text;
}

// OpenSSL fed exactly as fileMd5 feeds its context.
std::string opensslFileMd5(const std::u16string& path) {
    platform::InputFile file;
    if (!file.open(path)) return {};
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, EVP_md5(), nullptr);
    unsigned char block[1024];
    for (;;) {
        const std::size_t got = file.read(block, sizeof block);
        if (got > 0) EVP_DigestUpdate(context, block, got);
        if (got < sizeof block) break;
    }
    unsigned char digest[16];
    EVP_DigestFinal_ex(context, digest, nullptr);
    EVP_MD_CTX_free(context);
    return opensslHex(digest);
}

std::string ownMemoryMd5(const std::vector<unsigned char>& bytes) {
    Md5Context context;
    context.addBytes(bytes.data(), bytes.size());
    return context.hexDigest();
}

std::string opensslMemoryMd5(const std::vector<unsigned char>& bytes) {
    unsigned char digest[16];
    EVP_Digest(bytes.data(), bytes.size(), digest, nullptr, EVP_md5(), nullptr);
    return opensslHex(digest);
}

// The best of kRounds runs, in seconds; every run must give the same digest.
template <typename Run>
double best(Run run, std::string& digest) {
    double fastest = 1e30;
    for (int i = 0; i < kRounds; ++i) {
        const auto start = Clock::now();
        const std::string d = run();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (!digest.empty() && d != digest) {
            std::fprintf(stderr, "digests differ: %s / %s\n", d.c_str(), digest.c_str());
            std::exit(1);
        }
        digest = d;
        fastest = std::min(fastest, seconds);
    }
    return fastest;
}

void report(const char* what, double bytes, double own, double openssl) {
    std::printf("%-34s fileMd5/Md5Context %8.1f MB/s   OpenSSL %8.1f MB/s   ratio %.3f\n", what, bytes / own / 1e6,
                bytes / openssl / 1e6, openssl / own);
}

}  // namespace

int main(int argc, char* argv[]) {
    std::u16string path;
    std::string nativePath;
    bool generated = false;
    if (argc > 1) {
        nativePath = argv[1];
    } else {
        nativePath = "md5_bench.data";
        generated = true;
        std::vector<unsigned char> bytes(kFileBytes);
        std::uint32_t x = 2463534242u;
        for (auto& b : bytes) {
            x ^= x << 13, x ^= x >> 17, x ^= x << 5;
            b = static_cast<unsigned char>(x);
        }
        std::FILE* out = std::fopen(nativePath.c_str(), "wb");
        if (out == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fclose(out) != 0) {
            std::fprintf(stderr, "cannot write %s\n", nativePath.c_str());
            return 1;
        }
    }
    path = platform::utf8ToUtf16(nativePath);

    // The whole file in memory, which also brings it into the page cache.
    std::vector<unsigned char> bytes;
    {
        platform::InputFile file;
        if (!file.open(path)) {
            std::fprintf(stderr, "cannot read %s\n", nativePath.c_str());
            return 1;
        }
        bytes.resize(static_cast<std::size_t>(file.length()));
        bytes.resize(file.read(bytes.data(), bytes.size()));
    }
    const double size = static_cast<double>(bytes.size());
    std::printf("%.1f MiB, best of %d runs each\n", size / (1 << 20), kRounds);

    std::string fileDigest;
    const double ownFile = best([&] { return fileMd5(path); }, fileDigest);
    const double opensslFile = best([&] { return opensslFileMd5(path); }, fileDigest);
    std::string memoryDigest = fileDigest;
    const double ownMemory = best([&] { return ownMemoryMd5(bytes); }, memoryDigest);
    const double opensslMemory = best([&] { return opensslMemoryMd5(bytes); }, memoryDigest);

    std::printf("digest %s\n", fileDigest.c_str());
    report("file, 1024-byte reads:", size, ownFile, opensslFile);
    report("memory, one call:", size, ownMemory, opensslMemory);
    std::printf("the 1024-byte reads cost fileMd5 %.1f%% of its time\n", 100.0 * (ownFile - ownMemory) / ownFile);
    if (generated) std::remove(nativePath.c_str());
    return 0;
}
