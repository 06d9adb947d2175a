// What crypto_bench (against OpenSSL, native) and crypto_speed (ours alone,
// any build, the 32-bit one under Wine) both measure: SHA-256 of 64 MiB in
// memory and Ed25519 verification of short signed messages.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "crypto/ed25519.h"
#include "crypto/sha256_blocks.h"

namespace cryptobench {

constexpr std::size_t kHashBytes = 64u << 20;
constexpr int kSignatures = 200;
constexpr std::size_t kMessageBytes = 100;

inline std::vector<std::uint8_t> randomBytes(std::size_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes) {
        seed ^= seed << 13, seed ^= seed >> 17, seed ^= seed << 5;
        b = static_cast<std::uint8_t>(seed);
    }
    return bytes;
}

template <typename F>
double seconds(F&& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Feeds bytes to each of the contenders, feed(who, data, size), taking turns
// every MiB so that a change of load hits them alike, and starting each MiB
// with the next one, so that none always reads it first from memory; the
// seconds each one spent.
template <typename Feed>
std::vector<double> takeTurns(const std::vector<std::uint8_t>& bytes, std::size_t contenders, Feed feed) {
    constexpr std::size_t kTurn = 1u << 20;
    std::vector<double> times(contenders, 0);
    for (std::size_t at = 0, turn = 0; at < bytes.size(); at += kTurn, ++turn) {
        const std::size_t size = std::min(kTurn, bytes.size() - at);
        for (std::size_t k = 0; k < contenders; ++k) {
            const std::size_t who = (turn + k) % contenders;
            times[who] += seconds([&] { feed(who, bytes.data() + at, size); });
        }
    }
    return times;
}

// Distinct keys, messages and their signatures.
struct SignedMessages {
    std::vector<crypto::Ed25519PublicKey> keys;
    std::vector<std::vector<std::uint8_t>> messages;
    std::vector<crypto::Ed25519Signature> signatures;
};

inline SignedMessages signedMessages() {
    SignedMessages s;
    for (int i = 0; i < kSignatures; ++i) {
        crypto::Ed25519Seed seed;
        const auto seedBytes = randomBytes(seed.size(), 0x9E3779B9u + i);
        std::copy(seedBytes.begin(), seedBytes.end(), seed.begin());
        s.keys.push_back(crypto::ed25519PublicKey(seed));
        s.messages.push_back(randomBytes(kMessageBytes, 0x85EBCA6Bu + i));
        s.signatures.push_back(crypto::ed25519Sign(seed, s.messages.back().data(), kMessageBytes));
    }
    return s;
}

// Verifies them all; false when one fails.
inline bool verifyAll(const SignedMessages& s) {
    bool all = true;
    for (int i = 0; i < kSignatures; ++i) {
        all &= crypto::ed25519Verify(s.keys[i], s.messages[i].data(), kMessageBytes, s.signatures[i]);
    }
    return all;
}

struct Spread {
    double min, median, max;
};

inline Spread spread(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {values.front(), values[values.size() / 2], values.back()};
}

inline void printSpread(const char* what, const std::vector<double>& values, const char* unit) {
    const Spread s = spread(values);
    std::printf("%-44s min %8.3f  median %8.3f  max %8.3f %s\n", what, s.min, s.median, s.max, unit);
}

}  // namespace cryptobench
