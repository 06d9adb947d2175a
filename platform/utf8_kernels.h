// The vector UTF-8 decoders behind utf8ToUtf16, one per instruction set, each
// in its own source file built for that set and called only where the
// processor has it.
#pragma once

namespace platform {

// Decodes from p into out while the text is valid UTF-8 of sequences of up to
// three bytes and both sides have room for a whole vector step, and stops at
// the start of a sequence, leaving the rest (invalid or four-byte sequences,
// the last bytes) to the caller. Never writes past outEnd.
using Utf8Kernel = void (*)(const unsigned char*& p, const unsigned char* end, char16_t*& out, char16_t* outEnd);

void utf8KernelSsse3(const unsigned char*& p, const unsigned char* end, char16_t*& out, char16_t* outEnd);
void utf8KernelAvx2(const unsigned char*& p, const unsigned char* end, char16_t*& out, char16_t* outEnd);

}  // namespace platform
