// SHA-256 of 64 MiB in memory, ours (SHA extensions and portable) against
// OpenSSL, taking turns every MiB, and Ed25519 verification against
// OpenSSL's, taking turns every ten signatures. Ratios are OpenSSL's time over ours in the same round: above 1,
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

// Seconds each contender spent on SHA-256 of the same bytes.
struct HashTimes {
    double extensions = 0, portable = 0, peer = 0;
};

// Hashes bytes with each contender, taking turns every MiB so that a change
// of load hits them alike, and starting each MiB with the next contender, so
// that none always reads it first from memory; false when the digests differ.
bool hashTakingTurns(const std::vector<std::uint8_t>& bytes, bool shaExtensions, HashTimes& times) {
    constexpr std::size_t kTurn = 1u << 20;
    crypto::Sha256 extensions(crypto::sha256BlocksShaExtensions), portable(crypto::sha256BlocksPortable);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
    times = {};
    for (std::size_t at = 0, turn = 0; at < bytes.size(); at += kTurn, ++turn) {
        const std::size_t size = std::min(kTurn, bytes.size() - at);
        for (std::size_t k = 0; k < 3; ++k) {
            switch ((turn + k) % 3) {
                case 0: times.peer += seconds([&] { EVP_DigestUpdate(context, bytes.data() + at, size); }); break;
                case 1: times.portable += seconds([&] { portable.update(bytes.data() + at, size); }); break;
                default:
                    if (shaExtensions) times.extensions += seconds([&] { extensions.update(bytes.data() + at, size); });
            }
        }
    }
    crypto::Sha256Digest peer{};
    EVP_DigestFinal_ex(context, peer.data(), nullptr);
    EVP_MD_CTX_free(context);
    return portable.finish() == peer && (!shaExtensions || extensions.finish() == peer);
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
    const bool shaExtensions = crypto::sha256ShaExtensionsUsable();
    const char* mask = std::getenv("OPENSSL_ia32cap");
    std::printf("SHA extensions %s; OPENSSL_ia32cap %s; %d rounds\n", shaExtensions ? "present" : "absent",
                mask != nullptr ? mask : "unset", rounds);

    std::vector<double> extensionsRatio, portableRatio, verifyRatio;
    std::vector<double> extensionsSpeed, portableSpeed, opensslSpeed, ourVerify, peerVerify;
    for (int round = 0; round < rounds; ++round) {
        HashTimes t;
        if (!hashTakingTurns(bytes, shaExtensions, t)) return std::fprintf(stderr, "digests differ\n"), 1;
        const double tPeer = t.peer, tOurs = t.extensions, tPortable = t.portable;

        double vOurs = 0, vPeer = 0;
        if (!verifyTakingTurns(signatures, keys, context, vOurs, vPeer)) {
            return std::fprintf(stderr, "a signature did not verify\n"), 1;
        }

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
        peerVerify.push_back(vPeer * 1e6 / kSignatures);
    }
    EVP_MD_CTX_free(context);

    if (shaExtensions) printSpread("SHA-256 ours (SHA extensions)", extensionsSpeed, "MB/s");
    printSpread("SHA-256 ours (portable)", portableSpeed, "MB/s");
    printSpread("SHA-256 OpenSSL", opensslSpeed, "MB/s");
    if (shaExtensions) printSpread("ratio OpenSSL/ours, SHA extensions", extensionsRatio, "");
    printSpread("ratio OpenSSL/ours, portable", portableRatio, "");
    printSpread("Ed25519 verify ours", ourVerify, "us");
    printSpread("Ed25519 verify OpenSSL", peerVerify, "us");
    printSpread("ratio OpenSSL/ours, Ed25519 verify", verifyRatio, "");
    return 0;
}
