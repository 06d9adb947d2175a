// SHA-256 of 64 MiB in memory, ours (each block function this processor
// runs) against OpenSSL, taking turns every MiB, and Ed25519 verification
// against OpenSSL's, taking turns every ten signatures. Ratios are OpenSSL's
// time over ours in the same round: above 1, ours is faster.
//   crypto_bench [ROUNDS]     default 11
// OpenSSL picks its SHA-256 code by the processor's features; the
// environment variable OPENSSL_ia32cap masks them, for example
//   OPENSSL_ia32cap=":~0x20000000" crypto_bench   (no SHA extensions)
#include <openssl/evp.h>

#include <cstdlib>
#include <string>

#include "bench/crypto_timing.h"
#include "crypto/sha256_blocks.h"

using namespace cryptobench;

namespace {

// Hashes bytes with each of our block functions and OpenSSL (the last of
// times), taking turns; false when the digests differ.
bool hashTakingTurns(const std::vector<std::uint8_t>& bytes, const std::vector<crypto::Sha256BlockPath>& paths,
                     std::vector<double>& times) {
    std::vector<crypto::Sha256> ours;
    for (const auto& path : paths) ours.emplace_back(path.blocks);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
    times = takeTurns(bytes, paths.size() + 1, [&](std::size_t who, const std::uint8_t* data, std::size_t size) {
        if (who == paths.size()) {
            EVP_DigestUpdate(context, data, size);
        } else {
            ours[who].update(data, size);
        }
    });
    crypto::Sha256Digest peer{};
    EVP_DigestFinal_ex(context, peer.data(), nullptr);
    EVP_MD_CTX_free(context);
    bool same = true;
    for (auto& mine : ours) same &= mine.finish() == peer;
    return same;
}

struct OpensslKeys {
    std::vector<EVP_PKEY*> keys;
    explicit OpensslKeys(const SignedMessages& s) {
        for (const auto& k : s.keys) {
            keys.push_back(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, k.data(), k.size()));
        }
    }
    ~OpensslKeys() {
        for (EVP_PKEY* k : keys) EVP_PKEY_free(k);
    }
    OpensslKeys(const OpensslKeys&) = delete;
    OpensslKeys& operator=(const OpensslKeys&) = delete;
};

bool opensslVerify(const SignedMessages& s, const OpensslKeys& keys, EVP_MD_CTX* context, int i) {
    EVP_MD_CTX_reset(context);
    return EVP_DigestVerifyInit(context, nullptr, nullptr, nullptr, keys.keys[i]) == 1 &&
           EVP_DigestVerify(context, s.signatures[i].data(), s.signatures[i].size(), s.messages[i].data(),
                            s.messages[i].size()) == 1;
}

// Verifies every signature with both, taking turns every few signatures so
// that a change of load hits both alike; adds up each one's time.
bool verifyTakingTurns(const SignedMessages& s, const OpensslKeys& keys, EVP_MD_CTX* context, double& ours,
                       double& peer) {
    constexpr int kTurn = 10;
    bool all = true;
    ours = peer = 0;
    for (int first = 0; first < kSignatures; first += kTurn) {
        ours += seconds([&] {
            for (int i = first; i < first + kTurn; ++i) {
                all &= crypto::ed25519Verify(s.keys[i], s.messages[i].data(), kMessageBytes, s.signatures[i]);
            }
        });
        peer += seconds([&] {
            for (int i = first; i < first + kTurn; ++i) all &= opensslVerify(s, keys, context, i);
        });
    }
    return all;
}

}  // namespace

int main(int argc, char* argv[]) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 11;
    if (rounds < 1) return 2;
    const auto bytes = randomBytes(kHashBytes, 2463534242u);
    const SignedMessages signatures = signedMessages();
    const OpensslKeys keys(signatures);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    const auto paths = crypto::sha256BlockPaths();
    const char* mask = std::getenv("OPENSSL_ia32cap");
    std::printf("SHA-256 block functions:");
    for (const auto& path : paths) std::printf(" %s;", path.name);
    std::printf(" OPENSSL_ia32cap %s; %d rounds\n", mask != nullptr ? mask : "unset", rounds);

    // Per block function: MB/s and OpenSSL's time over ours, round by round.
    std::vector<std::vector<double>> speed(paths.size()), ratio(paths.size());
    std::vector<double> opensslSpeed, verifyRatio, ourVerify, peerVerify;
    const double mb = kHashBytes / 1e6;
    for (int round = 0; round < rounds; ++round) {
        std::vector<double> t;
        if (!hashTakingTurns(bytes, paths, t)) return std::fprintf(stderr, "digests differ\n"), 1;
        const double tPeer = t.back();

        double vOurs = 0, vPeer = 0;
        if (!verifyTakingTurns(signatures, keys, context, vOurs, vPeer)) {
            return std::fprintf(stderr, "a signature did not verify\n"), 1;
        }

        std::printf("round %2d  SHA-256 MB/s:", round);
        for (std::size_t i = 0; i < paths.size(); ++i) {
            std::printf(" %s %.1f ", paths[i].name, mb / t[i]);
            speed[i].push_back(mb / t[i]);
            ratio[i].push_back(tPeer / t[i]);
        }
        std::printf(" OpenSSL %.1f   verify us: ours %6.1f  OpenSSL %6.1f\n", mb / tPeer, vOurs * 1e6 / kSignatures,
                    vPeer * 1e6 / kSignatures);
        opensslSpeed.push_back(mb / tPeer);
        verifyRatio.push_back(vPeer / vOurs);
        ourVerify.push_back(vOurs * 1e6 / kSignatures);
        peerVerify.push_back(vPeer * 1e6 / kSignatures);
    }
    EVP_MD_CTX_free(context);

    for (std::size_t i = 0; i < paths.size(); ++i) {
        printSpread((std::string("SHA-256 ours, ") + paths[i].name).c_str(), speed[i], "MB/s");
    }
    printSpread("SHA-256 OpenSSL", opensslSpeed, "MB/s");
    for (std::size_t i = 0; i < paths.size(); ++i) {
        printSpread((std::string("ratio OpenSSL/ours, ") + paths[i].name).c_str(), ratio[i], "");
    }
    printSpread("Ed25519 verify ours", ourVerify, "us");
    printSpread("Ed25519 verify OpenSSL", peerVerify, "us");
    printSpread("ratio OpenSSL/ours, Ed25519 verify", verifyRatio, "");
    return 0;
}
