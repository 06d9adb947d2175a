// Ed25519 signatures (RFC 8032, the pure variant: no context, no prehash).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace crypto {

// The private key: 32 random bytes.
using Ed25519Seed = std::array<std::uint8_t, 32>;
using Ed25519PublicKey = std::array<std::uint8_t, 32>;
using Ed25519Signature = std::array<std::uint8_t, 64>;

Ed25519PublicKey ed25519PublicKey(const Ed25519Seed& seed);

// The signature of size bytes at message. Computing it takes the same time
// and memory accesses whatever the seed is.
Ed25519Signature ed25519Sign(const Ed25519Seed& seed, const void* message, std::size_t size);

// True when signature is publicKey's signature of the message. False as
// well when the signature's S is not below the group order or when the key
// or R is not the canonical encoding of a point.
bool ed25519Verify(const Ed25519PublicKey& publicKey, const void* message, std::size_t size,
                   const Ed25519Signature& signature);

}  // namespace crypto
