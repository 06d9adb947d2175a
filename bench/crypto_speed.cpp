// Our SHA-256 (each block function this processor runs) and Ed25519
// verification, with no peer: the program the 32-bit build runs under Wine.
// The block functions take turns every MiB.
//   crypto_speed [ROUNDS]     default 7
#include <cstdlib>
#include <string>

#include "bench/crypto_timing.h"
#include "crypto/sha256_blocks.h"

using namespace cryptobench;

int main(int argc, char* argv[]) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
    if (rounds < 1) return 2;
    const auto bytes = randomBytes(kHashBytes, 2463534242u);
    const SignedMessages signatures = signedMessages();
    const auto paths = crypto::sha256BlockPaths();
    std::printf("%zu-bit build, %d rounds, SHA-256 of %zu MiB, Ed25519 verification of %d signatures\n",
                8 * sizeof(void*), rounds, kHashBytes >> 20, kSignatures);

    std::vector<std::vector<double>> speed(paths.size()), againstPortable(paths.size());
    std::vector<double> verifyMicroseconds;
    for (int round = 0; round < rounds; ++round) {
        std::vector<crypto::Sha256> contexts;
        for (const auto& path : paths) contexts.emplace_back(path.blocks);
        const auto feed = [&](std::size_t who, const std::uint8_t* data, std::size_t size) {
            contexts[who].update(data, size);
        };
        const std::vector<double> times = takeTurns(bytes, paths.size(), feed);
        const crypto::Sha256Digest portable = contexts.front().finish();
        for (std::size_t i = 0; i < paths.size(); ++i) {
            if (i > 0 && contexts[i].finish() != portable) {
                return std::fprintf(stderr, "the block functions disagree\n"), 1;
            }
            speed[i].push_back(kHashBytes / 1e6 / times[i]);
            againstPortable[i].push_back(times[0] / times[i]);
        }
        bool valid = false;
        verifyMicroseconds.push_back(seconds([&] { valid = verifyAll(signatures); }) * 1e6 / kSignatures);
        if (!valid) return std::fprintf(stderr, "a signature did not verify\n"), 1;
    }
    for (std::size_t i = 0; i < paths.size(); ++i) {
        printSpread((std::string("SHA-256, ") + paths[i].name).c_str(), speed[i], "MB/s");
    }
    for (std::size_t i = 1; i < paths.size(); ++i) {
        printSpread((std::string("ratio portable/") + paths[i].name).c_str(), againstPortable[i], "");
    }
    printSpread("Ed25519 verification", verifyMicroseconds, "us per signature");
    return 0;
}
