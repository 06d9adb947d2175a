// Applies a VCDIFF patch (RFC 3284) to a base, writing the target.
//
// What it takes: the default code table; windows with a segment of the base
// (VCD_SOURCE), of the target written before (VCD_TARGET) or none; xdelta3's
// application header, skipped, and its Adler-32 window checksum, checked.
// What it refuses as damaged: secondary compression, application-defined
// code tables, and any patch that breaks the format's rules: a truncated
// patch, bytes after the last window, lengths that disagree, sizes, offsets
// or addresses out of range, a checksum that does not match.
//
// The patch may be hostile: every length and address is checked before it
// is used, and time is linear in the sizes of the patch and the target.
//
// Memory: at most kDecoderMemoryBound bytes allocated, whatever the sizes of
// the base, the patch, the target and its windows. A window of up to 8 MiB
// is built whole in memory and written at once; a larger one is written in
// pieces as it is built, and what it copies from its own bytes written
// before is read back through the writer. The base is only read at offsets
// (never held), the patch through three buffers of 64 KiB, and copies from
// the base or from the target written before pass through block caches of
// 2 MiB each.
#pragma once

#include <cstddef>

#include "patch/io.h"

namespace patch {

enum class DecodeStatus {
    kOk,
    kDamaged,          // not a patch this decoder applies; the target is incomplete
    kBaseReadFailed,   // the base could not be read
    kPatchReadFailed,  // the patch could not be read
    kWriteFailed,      // the target could not be written or read back
    kOutOfMemory,      // the process could not give the decoder its buffers
};

// 8 MiB for the window, 4 MiB for the caches, 192 KiB for the patch buffers,
// and a margin for the decoder's own state.
inline constexpr std::size_t kDecoderMemoryBound = (std::size_t(12) << 20) + (std::size_t(256) << 10);

// base may be null: a patch that reads no base needs none. On any status
// but kOk the target holds an incomplete result, which the caller discards.
DecodeStatus decode(PatchReader& patch, BaseReader* base, TargetWriter& target);

}  // namespace patch
