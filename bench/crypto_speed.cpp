// Our SHA-256 (each block function this processor runs) and Ed25519
// verification, with no peer: the program the 32-bit build runs under Wine.
//   crypto_speed [ROUNDS]     default 7
#include <cstdlib>

#include "bench/crypto_timing.h"
#include "crypto/sha256_blocks.h"

using namespace cryptobench;

int main(int argc, char* argv[]) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
    if (rounds < 1) return 2;
    const auto bytes = randomBytes(kHashBytes, 2463534242u);
    const SignedMessages signatures = signedMessages();
    const bool shaExtensions = crypto::sha256ShaExtensionsUsable();
    std::printf(
        "%zu-bit build, SHA extensions %s, %d rounds, SHA-256 of %zu MiB, Ed25519 verification of %d signatures\n",
        8 * sizeof(void*), shaExtensions ? "present" : "absent", rounds, kHashBytes >> 20, kSignatures);

    std::vector<double> extensionsSpeed, portableSpeed, verifyMicroseconds;
    crypto::Sha256Digest first{};
    for (int round = 0; round < rounds; ++round) {
        crypto::Sha256Digest portable, extensions;
        portableSpeed.push_back(kHashBytes / 1e6 /
                                seconds([&] { portable = sha256With(crypto::sha256BlocksPortable, bytes); }));
        if (shaExtensions) {
            extensionsSpeed.push_back(
                kHashBytes / 1e6 / seconds([&] { extensions = sha256With(crypto::sha256BlocksShaExtensions, bytes); }));
            if (extensions != portable) return std::fprintf(stderr, "the block functions disagree\n"), 1;
        }
        if (round > 0 && portable != first) return std::fprintf(stderr, "digests differ between rounds\n"), 1;
        first = portable;
        bool valid = false;
        verifyMicroseconds.push_back(seconds([&] { valid = verifyAll(signatures); }) * 1e6 / kSignatures);
        if (!valid) return std::fprintf(stderr, "a signature did not verify\n"), 1;
    }
    if (shaExtensions) printSpread("SHA-256, SHA extensions", extensionsSpeed, "MB/s");
    printSpread("SHA-256, portable", portableSpeed, "MB/s");
    printSpread("Ed25519 verification", verifyMicroseconds, "us per signature");
    return 0;
}
