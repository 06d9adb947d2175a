// Arithmetic modulo the order of Ed25519's base point,
// L = 2^252 + 27742317777372353535851937790883648493, on 32-byte
// little-endian numbers. Nothing here branches on or indexes by the values,
// since signing feeds it secrets.
#pragma once

#include <array>
#include <cstdint>

namespace crypto::scalar {

using Bytes32 = std::array<std::uint8_t, 32>;
using Bytes64 = std::array<std::uint8_t, 64>;

// wide mod L.
Bytes32 reduce(const Bytes64& wide);

// (a b + c) mod L, for any a and for b, c below L.
Bytes32 mulAdd(const Bytes32& a, const Bytes32& b, const Bytes32& c);

// s < L: the canonical form a signature's S must have. (Not constant time.)
bool isReduced(const Bytes32& s);

}  // namespace crypto::scalar
