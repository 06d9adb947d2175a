// What signing costs the Updater: the manifest and verification steps of a
// signed update against those of the same update unsigned, on update_bench's
// 10,000 files of 256 MiB in all (a manifest that lists md5 and sha256 and
// carries its signature, read by both; the unsigned Updater ignores the
// sha256 and the signature). Signed, the manifest step also checks the
// Ed25519 signature, and the verification computes SHA-256 beside MD5 from
// the same reads and holds every staged file open; letting go of them is
// counted too, as the installation does it file by file. No peer, so the
// 32-bit Windows build runs it under Wine as well.
//   signed_bench [SCRATCH_DIR [ROUNDS]]      defaults: the working directory, 7
// The files are in the page cache (written, then read once before timing);
// unsigned and signed take turns, first one then the other.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "crypto/ed25519.h"
#include "crypto/hex.h"
#include "crypto/sha256.h"
#include "crypto/sha256_blocks.h"
#include "platform/tree.h"
#include "install/private_directory.h"
#include "install/manifest.h"
#include "install/update_steps.h"
#include "install/verification.h"
#include "platform/utf.h"

namespace {

constexpr int kFiles = 10000;
constexpr std::uint64_t kTotalBytes = 256ull << 20;

std::u16string widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// File i's directories and path below autoTemp: d<i%20>, d<i%20>\s<i%7>, d<i%20>\s<i%7>\f<i>.bin.
struct Names {
    std::string d, s, path;
};

Names names(int i) {
    char d[16], s[32], path[48];
    std::snprintf(d, sizeof d, "d%d", i % 20);
    std::snprintf(s, sizeof s, "%s\\s%d", d, i % 7);
    std::snprintf(path, sizeof path, "%s\\f%d.bin", s, i);
    return {d, s, path};
}

// dir\autoTemp\d<i%20>\s<i%7>\f<i>.bin, move.xml with both digests, move.xml.sig.
bool layOut(const std::u16string& dir, const crypto::Ed25519Seed& seed) {
    platform::createDirectory(dir);
    platform::createDirectory(dir + u"\\autoTemp");
    std::string manifest = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<update>\n";
    const std::vector<std::uint64_t> sizes = bench::updateFileSizes(kFiles, kTotalBytes);
    std::vector<unsigned char> content;
    for (int i = 0; i < kFiles; ++i) {
        const auto [d, s, path] = names(i);
        platform::createDirectory(dir + u"\\autoTemp\\" + widen(d));
        platform::createDirectory(dir + u"\\autoTemp\\" + widen(s));
        content.resize(static_cast<std::size_t>(sizes[static_cast<std::size_t>(i)]));
        bench::fill(content, static_cast<std::uint64_t>(i));
        if (!bench::writeWhole(dir + u"\\autoTemp\\" + widen(path), content)) return false;
        Md5Context md5;
        md5.addBytes(content.data(), content.size());
        manifest += "  <file path=\"" + path + "\" md5=\"" + md5.hexDigest() + "\" sha256=\"" +
                    crypto::sha256Hex(content.data(), content.size()) + "\"/>\n";
    }
    manifest += "</update>\n";
    const std::string signature = crypto::toHex(crypto::ed25519Sign(seed, manifest.data(), manifest.size())) + "\n";
    return bench::writeWhole(dir + u"\\move.xml", std::vector<unsigned char>(manifest.begin(), manifest.end())) &&
           bench::writeWhole(dir + u"\\move.xml.sig", std::vector<unsigned char>(signature.begin(), signature.end()));
}

void removeLayout(const std::u16string& dir) {
    for (int i = 0; i < kFiles; ++i) platform::deleteFile(dir + u"\\autoTemp\\" + widen(names(i).path));
    // The first 140 files name every directory, the deepest first.
    for (int i = 0; i < 140; ++i) platform::removeDirectory(dir + u"\\autoTemp\\" + widen(names(i).s));
    for (int i = 0; i < 20; ++i) platform::removeDirectory(dir + u"\\autoTemp\\" + widen(names(i).d));
    platform::removeDirectory(dir + u"\\autoTemp");
    platform::deleteFile(dir + u"\\move.xml");
    platform::deleteFile(dir + u"\\move.xml.sig");
    platform::removeDirectory(dir);
}

struct StepSeconds {
    double manifest = 0, verification = 0;
    double release = 0;  // of the verification, letting go of the held files
    bool ok = false;
};

// The two steps as the Updater takes them, in the working directory.
StepSeconds steps(install::TrustedKeys keys) {
    StepSeconds t;
    std::vector<install::ManifestEntry> entries;
    std::u16string errorText;
    bool ok = false;
    platform::Tree tree;
    tree.open();
    t.manifest = bench::secondsOf([&] { ok = install::loadManifest(tree, entries, errorText, install::noReports(), keys); });
    install::StagedCopies copies;
    if (!keys.empty()) tree.createPrivateDirectory(u"~updater");
    t.verification = bench::secondsOf([&] {
        ok = ok && install::verifyPackage(tree, entries, std::u16string(install::kStagingDir), u"updater.exe", errorText,
                                          install::noReports(), install::Examine::kUntilFailure, !keys.empty(),
                                          keys.empty() ? nullptr : &copies);
    });
    t.release = bench::secondsOf([&] { install::removeCopies(tree); });
    t.ok = ok && entries.size() == kFiles;
    if (!t.ok) std::fprintf(stderr, "the steps failed: %s\n", platform::utf16ToUtf8(errorText).c_str());
    return t;
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::u16string base = argc > 1 ? platform::utf8ToUtf16(argv[1]) : u".";
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    const std::u16string dir = base + u"\\signed-bench-data";
    crypto::Ed25519Seed seed{};
    for (std::size_t i = 0; i < seed.size(); ++i) seed[i] = static_cast<std::uint8_t>(i * 7 + 1);
    const crypto::Ed25519PublicKey keys[] = {crypto::ed25519PublicKey(seed)};
    std::printf("%d files, %llu MiB, %d rounds taking turns; SHA-256 %s\n", kFiles,
                static_cast<unsigned long long>(kTotalBytes >> 20), rounds,
                crypto::sha256ShaExtensionsUsable() ? "with the SHA extensions" : "without the SHA extensions");
    if (!layOut(dir, seed) || platform::setCurrentDirectory(dir) != platform::kErrorSuccess) {
        std::fprintf(stderr, "cannot lay out the package\n");
        return 1;
    }
    bool ok = steps({}).ok && steps(keys).ok;  // the page cache, and a check of both
    bench::PairedRatios both("manifest + verification: signed time / unsigned time");
    bench::PairedRatios verification("verification alone: signed time / unsigned time");
    bench::PairedRatios unreleased("the same, the held files not let go: signed / unsigned");
    for (int round = 0; round < rounds && ok; ++round) {
        StepSeconds plain, signedSteps;
        if (round % 2 == 0) {
            plain = steps({});
            signedSteps = steps(keys);
        } else {
            signedSteps = steps(keys);
            plain = steps({});
        }
        ok = plain.ok && signedSteps.ok;
        both.add(signedSteps.manifest + signedSteps.verification, plain.manifest + plain.verification);
        verification.add(signedSteps.verification, plain.verification);
        unreleased.add(signedSteps.verification - signedSteps.release, plain.verification);
        std::printf("round %d: unsigned %.1f + %.1f ms, signed %.1f + %.1f ms (manifest + verification, of which "
                    "%.1f ms letting go of the held files)\n",
                    round + 1, 1e3 * plain.manifest, 1e3 * plain.verification, 1e3 * signedSteps.manifest,
                    1e3 * signedSteps.verification, 1e3 * signedSteps.release);
    }
    platform::setCurrentDirectory(base);
    removeLayout(dir);
    if (!ok) return 1;
    std::printf("per-round paired ratios (goal: at most 1.5 with the SHA extensions):\n");
    both.print();
    verification.print();
    unreleased.print();
    return 0;
}
