// Makes a VCDIFF patch (RFC 3284) that turns a base into a target: the
// default code table, no secondary compression, so that any decoder of the
// format applies it (xdelta3 -d among them). Optionally each window carries
// xdelta3's Adler-32 of its bytes.
//
// Windows of the target are 8 MiB; each copies from the whole base and from
// its own earlier bytes. The base is held in memory with an index of hash
// chains: every position while the base is at most 16 Mi bytes, otherwise
// every stride-th, so that the index stays at 16 Mi entries (matches shorter
// than the stride plus 7 bytes are then found only next to earlier ones).
//
// Memory: at most encoderMemoryBound(base size) bytes allocated: the base,
// its index (4 bytes an entry and as many heads, rounded up to a power of
// two: 128 MiB at most), and 89 MiB for the target window, its index and its
// sections. A base of 20 MiB needs at most 213 MiB, one of 300 MiB 516 MiB,
// one of 1 GiB 1241 MiB (still within a 32-bit process's 2 GiB).
#pragma once

#include <cstdint>

#include "patch/io.h"

namespace patch {

struct EncodeOptions {
    bool checksum = false;  // xdelta3's Adler-32 in every window
};

enum class EncodeStatus {
    kOk,
    kBaseReadFailed,
    kTargetReadFailed,
    kWriteFailed,
    kOutOfMemory,  // the base and its index do not fit this process
};

std::uint64_t encoderMemoryBound(std::uint64_t baseSize);

// base may be null: the patch then makes the target from nothing.
EncodeStatus encode(BaseReader* base, Reader& target, Writer& patch, const EncodeOptions& options = {});

}  // namespace patch
