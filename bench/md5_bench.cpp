// MD5 against OpenSSL's MD5 and coreutils' md5sum, everything in the page
// cache, the contenders taking turns in every round:
//   - one 64 MiB file: fileMd5 against OpenSSL read the same way (the
//     platform's input stream, 1024-byte reads), and both hashing the same
//     bytes from memory, to show what the reads cost;
//   - 2,000 staged files of 128 KiB: `updtool check` against `md5sum` over
//     the same files (each one process), and verifyEntries, which hashes
//     several files at once, against OpenSSL reading them one after another
//     as fileMd5 does.
//   md5_bench [ROUNDS [FILE]]    FILE: hash this file instead of a generated one
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/tree.h"
#include "install/manifest.h"
#include "install/md5.h"
#include "install/md5_lanes.h"
#include "install/verification.h"
#include "platform/platform.h"
#include "platform/utf.h"
#include "xml/xml_doc.h"

namespace {

constexpr std::size_t kLargeBytes = 64u << 20;
constexpr int kFiles = 2000;
constexpr std::size_t kFileBytes = 128u << 10;

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
std::string opensslFileMd5(EVP_MD_CTX* context, const std::u16string& path) {
    platform::InputFile file;
    if (!file.open(path)) return {};
    EVP_DigestInit_ex(context, EVP_md5(), nullptr);
    unsigned char block[1024];
    for (;;) {
        const std::size_t got = file.read(block, sizeof block);
        if (got > 0) EVP_DigestUpdate(context, block, got);
        if (got < sizeof block) break;
    }
    unsigned char digest[16];
    EVP_DigestFinal_ex(context, digest, nullptr);
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

bool singleFile(const std::u16string& path, int rounds, EVP_MD_CTX* context) {
    std::vector<unsigned char> bytes;
    {
        platform::InputFile file;  // also brings the file into the page cache
        if (!file.open(path)) return false;
        bytes.resize(static_cast<std::size_t>(file.length()));
        bytes.resize(file.read(bytes.data(), bytes.size()));
    }
    std::printf("one file of %.1f MiB, %d rounds\n", static_cast<double>(bytes.size()) / (1 << 20), rounds);
    bench::PairedRatios file("file, 1024-byte reads: OpenSSL time / fileMd5 time");
    bench::PairedRatios memory("memory, one call: OpenSSL time / Md5Context time");
    bench::PairedRatios reads("fileMd5 against memory: Md5Context time / fileMd5 time");
    const std::string expected = ownMemoryMd5(bytes);
    bool ok = true;
    for (int round = 0; round < rounds; ++round) {
        std::string d[4];
        const double ownFile = bench::secondsOf([&] { d[0] = fileMd5(path); });
        const double opensslFile = bench::secondsOf([&] { d[1] = opensslFileMd5(context, path); });
        const double ownMemory = bench::secondsOf([&] { d[2] = ownMemoryMd5(bytes); });
        const double opensslMemory = bench::secondsOf([&] { d[3] = opensslMemoryMd5(bytes); });
        for (const std::string& digest : d) ok = ok && digest == expected;
        file.add(opensslFile, ownFile);
        memory.add(opensslMemory, ownMemory);
        reads.add(ownMemory, ownFile);
    }
    std::printf("digest %s; per-round paired ratios of the times named:\n", expected.c_str());
    file.print();
    memory.print();
    reads.print();
    return ok;
}

// Every entry's verification, as updtool check runs it, in the working directory.
bool verifyAll(const std::vector<install::ManifestEntry>& entries, unsigned lanes) {
    install::VerificationOptions options;
    options.examine = install::Examine::kEveryEntry;
    options.lanes = lanes;
    std::size_t passed = 0;
    platform::Tree tree;
    tree.open();
    install::verifyEntries(tree, entries, u"autoTemp\\", u"updater.exe", options,
                           [&](const install::EntryVerification& v) { passed += v.passed(); });
    return passed == entries.size();
}

bool opensslAll(EVP_MD_CTX* context, const std::vector<install::ManifestEntry>& entries) {
    bool ok = true;
    for (const install::ManifestEntry& entry : entries) {
        ok = ok && opensslFileMd5(context, u"autoTemp\\" + entry.path) == platform::utf16ToUtf8(entry.md5);
    }
    return ok;
}

bool manyFiles(int rounds, EVP_MD_CTX* context) {
    const std::u16string dir = u"md5-bench-package";
    if (!bench::layOutPackage(dir, kFiles, kFileBytes)) return false;
    std::string names;
    for (int i = 0; i < kFiles; ++i) names += " " + bench::stagedName(i);
    const std::string native = platform::utf16ToUtf8(dir);
    const std::string updtool = std::string("'") + UPD_UPDTOOL + "' check '" + native + "' >/dev/null";
    const std::string md5sum = "cd '" + native + "/autoTemp' && md5sum" + names + " >/dev/null";

    bool ok = platform::setCurrentDirectory(dir) == platform::kErrorSuccess;
    std::vector<install::ManifestEntry> entries;
    xml::XmlDoc doc;
    std::u16string errorText;
    ok = ok && doc.loadFile(u"move.xml") && install::readManifest(doc, entries, errorText) && verifyAll(entries, 1);
    platform::setCurrentDirectory(u"..");
    std::printf("\n%d staged files of %zu KiB, %d rounds, verifyEntries with %u lanes\n", kFiles, kFileBytes >> 10,
                rounds, md5Lanes(kMd5MaxLanes).lanes);
    bench::PairedRatios processes("updtool check against md5sum: md5sum time / check time");
    bench::PairedRatios inProcess("verifyEntries against OpenSSL: OpenSSL time / ours");
    bench::PairedRatios scalar("verifyEntries with lanes against 1 lane: 1 lane / lanes");
    for (int round = 0; round < rounds && ok; ++round) {
        const double check = bench::secondsOf([&] { ok = ok && std::system(updtool.c_str()) == 0; });
        const double peer = bench::secondsOf([&] { ok = ok && std::system(md5sum.c_str()) == 0; });
        platform::setCurrentDirectory(dir);
        const double lanes = bench::secondsOf([&] { ok = ok && verifyAll(entries, kMd5MaxLanes); });
        const double openssl = bench::secondsOf([&] { ok = ok && opensslAll(context, entries); });
        const double one = bench::secondsOf([&] { ok = ok && verifyAll(entries, 1); });
        platform::setCurrentDirectory(u"..");
        processes.add(peer, check);
        inProcess.add(openssl, lanes);
        scalar.add(one, lanes);
        std::printf("round %d: updtool check %.1f ms, md5sum %.1f ms; verifyEntries %.1f ms, OpenSSL %.1f ms, 1 lane %.1f ms\n",
                    round + 1, 1e3 * check, 1e3 * peer, 1e3 * lanes, 1e3 * openssl, 1e3 * one);
    }
    bench::removePackage(dir, kFiles);
    std::printf("per-round paired ratios of the times named:\n");
    processes.print();
    inProcess.print();
    scalar.print();
    return ok;
}

}  // namespace

int main(int argc, char* argv[]) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    std::u16string path = u"md5_bench.data";
    const bool generated = argc <= 2;
    if (generated) {
        std::vector<unsigned char> bytes(kLargeBytes);
        bench::fill(bytes, 2463534242u);
        if (!bench::writeWhole(path, bytes)) {
            std::fprintf(stderr, "cannot write md5_bench.data\n");
            return 1;
        }
    } else {
        path = platform::utf8ToUtf16(argv[2]);
    }
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    const bool single = singleFile(path, rounds, context);
    if (generated) platform::deleteFile(path);
    const bool many = single && manyFiles(rounds, context);
    EVP_MD_CTX_free(context);
    if (!many) {
        std::fprintf(stderr, "a file could not be read or written, or digests differ\n");
        return 1;
    }
    return 0;
}
