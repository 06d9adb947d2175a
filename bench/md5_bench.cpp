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
constexpr int kRounds = 9;

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

// One way of hashing the data, with its best time over the rounds.
struct Contender {
    std::string (*run)(const std::u16string& path, const std::vector<unsigned char>& bytes);
    double best = 1e30;
};

// The contenders take turns in every round, so that a change in the load of
// the machine hits them alike; each keeps its best time. Every run must give
// the same digest.
bool race(std::vector<Contender*> contenders, const std::u16string& path, const std::vector<unsigned char>& bytes,
          std::string& digest) {
    for (int round = 0; round < kRounds; ++round) {
        for (Contender* c : contenders) {
            const auto start = Clock::now();
            const std::string d = c->run(path, bytes);
            c->best = std::min(c->best, std::chrono::duration<double>(Clock::now() - start).count());
            if (digest.empty()) digest = d;
            if (d != digest) {
                std::fprintf(stderr, "digests differ: %s / %s\n", d.c_str(), digest.c_str());
                return false;
            }
        }
    }
    return true;
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
    std::printf("%.1f MiB, best of %d rounds, taking turns\n", size / (1 << 20), kRounds);

    Contender ownFile{[](const std::u16string& p, const std::vector<unsigned char>&) { return fileMd5(p); }};
    Contender opensslFile{[](const std::u16string& p, const std::vector<unsigned char>&) { return opensslFileMd5(p); }};
    Contender ownMemory{[](const std::u16string&, const std::vector<unsigned char>& b) { return ownMemoryMd5(b); }};
    Contender opensslMemory{[](const std::u16string&, const std::vector<unsigned char>& b) { return opensslMemoryMd5(b); }};
    std::string digest;
    if (!race({&ownFile, &opensslFile, &ownMemory, &opensslMemory}, path, bytes, digest)) return 1;

    std::printf("digest %s\n", digest.c_str());
    report("file, 1024-byte reads:", size, ownFile.best, opensslFile.best);
    report("memory, one call:", size, ownMemory.best, opensslMemory.best);
    std::printf("the 1024-byte reads cost fileMd5 %.1f%% of its time\n", 100.0 * (ownFile.best - ownMemory.best) / ownFile.best);
    if (generated) std::remove(nativePath.c_str());
    return 0;
}
