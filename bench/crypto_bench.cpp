// SHA-256 of 64 MiB in memory, ours (SHA extensions and portable) against
// OpenSSL, and Ed25519 verification against OpenSSL's, taking turns round
// by round. Ratios are OpenSSL's time over ours in the same round: above 1,
// ours is faster.
//   crypto_bench [ROUNDS]     default 11
// OpenSSL picks its SHA-256 code by the processor's features; the
// environment variable OPENSSL_ia32cap masks them, for example
//   OPENSSL_ia32cap=":~0x20000000" crypto_bench   (no SHA extensions)
#include <openssl/evp.h>

#include <cstdlib>

#include "bench/crypto_timing.h"
#include "crypto/sha256_blocks.h"

using namespace cryptobench;

namespace {

crypto::Sha256Digest opensslSha256(const std::vector<std::uint8_t>& bytes) {
    crypto::Sha256Digest digest{};
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), nullptr, EVP_sha256(), nullptr);
    return digest;
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

bool opensslVerifyAll(const SignedMessages& s, const OpensslKeys& keys, EVP_MD_CTX* context) {
    bool all = true;
    for (int i = 0; i < kSignatures; ++i) {
        EVP_MD_CTX_reset(context);
        all &= EVP_DigestVerifyInit(context, nullptr, nullptr, nullptr, keys.keys[i]) == 1 &&
               EVP_DigestVerify(context, s.signatures[i].data(), s.signatures[i].size(), s.messages[i].data(),
                                s.messages[i].size()) == 1;
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
    const bool shaExtensions = crypto::sha256ShaExtensionsUsable();
    const char* mask = std::getenv("OPENSSL_ia32cap");
    std::printf("SHA extensions %s; OPENSSL_ia32cap %s; %d rounds\n", shaExtensions ? "present" : "absent",
                mask != nullptr ? mask : "unset", rounds);

    std::vector<double> extensionsRatio, portableRatio, verifyRatio;
    std::vector<double> extensionsSpeed, portableSpeed, opensslSpeed, ourVerify, opensslVerify;
    for (int round = 0; round < rounds; ++round) {
        crypto::Sha256Digest ours{}, portable{}, peer{};
        // Who goes first alternates, so that neither always meets a warm or cold cache.
        double tPeer = 0, tOurs = 0, tPortable = 0;
        auto runPeer = [&] { tPeer = seconds([&] { peer = opensslSha256(bytes); }); };
        if (round % 2 == 0) runPeer();
        if (shaExtensions) tOurs = seconds([&] { ours = sha256With(crypto::sha256BlocksShaExtensions, bytes); });
        tPortable = seconds([&] { portable = sha256With(crypto::sha256BlocksPortable, bytes); });
        if (round % 2 == 1) runPeer();
        if (portable != peer || (shaExtensions && ours != peer)) return std::fprintf(stderr, "digests differ\n"), 1;

        bool oursValid = false, peerValid = false;
        double vOurs = 0, vPeer = 0;
        auto runPeerVerify = [&] { vPeer = seconds([&] { peerValid = opensslVerifyAll(signatures, keys, context); }); };
        if (round % 2 == 0) runPeerVerify();
        vOurs = seconds([&] { oursValid = verifyAll(signatures); });
        if (round % 2 == 1) runPeerVerify();
        if (!oursValid || !peerValid) return std::fprintf(stderr, "a signature did not verify\n"), 1;

        const double mb = kHashBytes / 1e6;
        std::printf(
            "round %2d  SHA-256 MB/s: ours-SHA %7.1f  ours-portable %7.1f  OpenSSL %7.1f   "
            "verify us: ours %6.1f  OpenSSL %6.1f\n",
            round, shaExtensions ? mb / tOurs : 0.0, mb / tPortable, mb / tPeer, vOurs * 1e6 / kSignatures,
            vPeer * 1e6 / kSignatures);
        if (shaExtensions) {
            extensionsRatio.push_back(tPeer / tOurs);
            extensionsSpeed.push_back(mb / tOurs);
        }
        portableRatio.push_back(tPeer / tPortable);
        portableSpeed.push_back(mb / tPortable);
        opensslSpeed.push_back(mb / tPeer);
        verifyRatio.push_back(vPeer / vOurs);
        ourVerify.push_back(vOurs * 1e6 / kSignatures);
        opensslVerify.push_back(vPeer * 1e6 / kSignatures);
    }
    EVP_MD_CTX_free(context);

    if (shaExtensions) printSpread("SHA-256 ours (SHA extensions)", extensionsSpeed, "MB/s");
    printSpread("SHA-256 ours (portable)", portableSpeed, "MB/s");
    printSpread("SHA-256 OpenSSL", opensslSpeed, "MB/s");
    if (shaExtensions) printSpread("ratio OpenSSL/ours, SHA extensions", extensionsRatio, "");
    printSpread("ratio OpenSSL/ours, portable", portableRatio, "");
    printSpread("Ed25519 verify ours", ourVerify, "us");
    printSpread("Ed25519 verify OpenSSL", opensslVerify, "us");
    printSpread("ratio OpenSSL/ours, Ed25519 verify", verifyRatio, "");
    return 0;
}
