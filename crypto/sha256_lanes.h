// SHA-256's compression with the message schedules of several blocks
// computed side by side in vector registers, one block per lane, while the
// integer units run the rounds one block at a time. Each vector block
// function's file builds this with its own instruction set and gives it the
// lanes: a Lanes type with
//   kCount                      blocks side by side
//   Row                         one schedule word of each block
//   load(p), store(p, row)      kCount words at p (aligned to 32 bytes)
//   loadWords(blocks, t, rows)  rows[i] = word t + i of each of the kCount
//                               blocks at blocks, for i below kCount
//   add, bitXor, shr<N>, shl<N> lane by lane
//   constant(k)                 k in every lane
//
// The schedules of the next kCount blocks are computed between the rounds
// of the current ones, so that the vector and the integer units work at
// once rather than in turn.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/sha256_blocks.h"
#include "crypto/sha256_rounds.h"

namespace crypto {

// Internal linkage, as in sha256_rounds.h.
namespace {

// The schedules of kCount blocks: w[t] holds W[t] of each block, wk[t]
// W[t] + K[t].
template <typename Lanes>
struct LaneSchedules {
    using Row = typename Lanes::Row;
    static constexpr int kCount = Lanes::kCount;

    alignas(32) std::uint32_t wk[64][kCount];
    alignas(32) std::uint32_t w[64][kCount];

    template <int N>
    static Row rotr(Row x) {
        return Lanes::bitXor(Lanes::template shr<N>(x), Lanes::template shl<32 - N>(x));
    }
    static Row sigma0(Row x) {
        return Lanes::bitXor(Lanes::bitXor(rotr<7>(x), rotr<18>(x)), Lanes::template shr<3>(x));
    }
    static Row sigma1(Row x) {
        return Lanes::bitXor(Lanes::bitXor(rotr<17>(x), rotr<19>(x)), Lanes::template shr<10>(x));
    }

    // Rows 0 to 15, the words of the kCount blocks at blocks.
    void start(const std::uint8_t* blocks) {
        for (int t = 0; t < 16; t += kCount) {
            Row words[kCount];
            Lanes::loadWords(blocks, t, words);
            for (int i = 0; i < kCount; ++i) {
                Lanes::store(w[t + i], words[i]);
                Lanes::store(wk[t + i], Lanes::add(words[i], Lanes::constant(kSha256RoundConstants[t + i])));
            }
        }
    }

    // Rows from .. to - 1, all past 15:
    // W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16].
    void extend(int from, int to) {
        for (int t = from; t < to; ++t) {
            const Row next = Lanes::add(Lanes::add(sigma1(Lanes::load(w[t - 2])), Lanes::load(w[t - 7])),
                                        Lanes::add(sigma0(Lanes::load(w[t - 15])), Lanes::load(w[t - 16])));
            Lanes::store(w[t], next);
            Lanes::store(wk[t], Lanes::add(next, Lanes::constant(kSha256RoundConstants[t])));
        }
    }
};

template <typename Lanes>
void sha256BlocksInLanes(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    constexpr int kCount = Lanes::kCount;
    // The 48 rows past the first 16 come this many after each block's rounds.
    constexpr int kRowsPerBlock = 48 / kCount;
    std::size_t batches = count / kCount;
    if (batches > 0) {
        LaneSchedules<Lanes> schedules[2];
        schedules[0].start(blocks);
        schedules[0].extend(16, 64);
        for (int current = 0; batches > 0; current ^= 1, --batches, blocks += 64 * kCount) {
            const LaneSchedules<Lanes>& now = schedules[current];
            LaneSchedules<Lanes>& next = schedules[current ^ 1];
            const bool more = batches > 1;
            if (more) next.start(blocks + 64 * kCount);
            for (int j = 0; j < kCount; ++j) {
                rounds<kCount>(state, now.wk, j);
                if (more) next.extend(16 + kRowsPerBlock * j, 16 + kRowsPerBlock * (j + 1));
            }
        }
    }
    // Too few blocks to fill the lanes: vectors would compute schedules
    // nobody reads.
    sha256BlocksPortable(state, blocks, count % kCount);
}

}  // namespace

}  // namespace crypto
