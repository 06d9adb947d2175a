// MD5 of several independent byte streams at once, one stream in each lane of
// a vector register. MD5 is one chain of dependent operations, so a single
// stream cannot go much faster; streams side by side fill the processor's
// idle units. The kernel is chosen at run time from what the processor has.
#pragma once

#include <cstddef>
#include <cstdint>

// Advances lanes MD5 computations by blocks consecutive 64-byte blocks each;
// lane i reads its blocks from data[i]. state holds the chaining words word
// by word: A of every lane, then every B, every C, every D (4 * lanes words).
using Md5LanesTransform = void (*)(std::uint32_t* state, const unsigned char* const* data, std::size_t blocks);

struct Md5Lanes {
    unsigned lanes = 1;
    Md5LanesTransform transform = nullptr;
};

constexpr unsigned kMd5MaxLanes = 8;

// The widest kernel of at most maxLanes lanes that this processor runs: 8
// lanes with AVX2, 4 with SSE2, otherwise 1, the scalar code.
Md5Lanes md5Lanes(unsigned maxLanes);

// The kernels, each compiled for its own instruction set.
void md5Lanes1(std::uint32_t* state, const unsigned char* const* data, std::size_t blocks);
void md5Lanes4Sse2(std::uint32_t* state, const unsigned char* const* data, std::size_t blocks);
void md5Lanes8Avx2(std::uint32_t* state, const unsigned char* const* data, std::size_t blocks);
