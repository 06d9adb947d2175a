#include "crypto/ed25519.h"

#include <algorithm>

#include "crypto/edwards25519.h"
#include "crypto/scalar25519.h"
#include "crypto/sha512.h"

namespace crypto {
namespace {

using Bytes32 = std::array<std::uint8_t, 32>;

// The secret scalar (the digest's first half, clamped) and the prefix that
// makes the signing nonce.
struct ExpandedKey {
    Bytes32 scalar;
    Bytes32 prefix;
};

ExpandedKey expand(const Ed25519Seed& seed) {
    const Sha512Digest h = sha512(seed.data(), seed.size());
    ExpandedKey key;
    std::copy(h.begin(), h.begin() + 32, key.scalar.begin());
    std::copy(h.begin() + 32, h.end(), key.prefix.begin());
    key.scalar[0] &= 248;
    key.scalar[31] &= 127;
    key.scalar[31] |= 64;
    return key;
}

Bytes32 firstHalf(const Ed25519Signature& signature) {
    Bytes32 half;
    std::copy(signature.begin(), signature.begin() + 32, half.begin());
    return half;
}

Bytes32 secondHalf(const Ed25519Signature& signature) {
    Bytes32 half;
    std::copy(signature.begin() + 32, signature.end(), half.begin());
    return half;
}

// SHA-512(R || A || message) mod L.
Bytes32 challenge(const Bytes32& r, const Ed25519PublicKey& publicKey, const void* message, std::size_t size) {
    Sha512 h;
    h.update(r.data(), r.size());
    h.update(publicKey.data(), publicKey.size());
    h.update(message, size);
    return scalar::reduce(h.finish());
}

Bytes32 encodePoint(const edwards::Point& p) { return edwards::encode({p.x, p.y, p.z}); }

}  // namespace

Ed25519PublicKey ed25519PublicKey(const Ed25519Seed& seed) {
    return encodePoint(edwards::baseMultiple(expand(seed).scalar));
}

Ed25519Signature ed25519Sign(const Ed25519Seed& seed, const void* message, std::size_t size) {
    const ExpandedKey key = expand(seed);
    const Ed25519PublicKey publicKey = encodePoint(edwards::baseMultiple(key.scalar));

    Sha512 nonceHash;
    nonceHash.update(key.prefix.data(), key.prefix.size());
    nonceHash.update(message, size);
    const Bytes32 nonce = scalar::reduce(nonceHash.finish());
    const Bytes32 r = encodePoint(edwards::baseMultiple(nonce));

    const Bytes32 s = scalar::mulAdd(key.scalar, challenge(r, publicKey, message, size), nonce);
    Ed25519Signature signature;
    std::copy(r.begin(), r.end(), signature.begin());
    std::copy(s.begin(), s.end(), signature.begin() + 32);
    return signature;
}

bool ed25519Verify(const Ed25519PublicKey& publicKey, const void* message, std::size_t size,
                   const Ed25519Signature& signature) {
    const Bytes32 r = firstHalf(signature);
    const Bytes32 s = secondHalf(signature);
    edwards::Point a;
    if (!scalar::isReduced(s) || !edwards::decode(publicKey, a)) return false;
    // [S]B - [k]A is compared with R by its encoding. Every computed encoding
    // is canonical and names a point, so an R that is neither never matches.
    const Bytes32 k = challenge(r, publicKey, message, size);
    return edwards::encode(edwards::doubleMultiple(k, edwards::negate(a), s)) == r;
}

}  // namespace crypto
