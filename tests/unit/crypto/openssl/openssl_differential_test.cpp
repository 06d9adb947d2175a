// SHA-256 (each block function), SHA-512 and Ed25519 against OpenSSL on
// random messages, keys and tampered signatures.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>
#include <vector>

#include "crypto/ed25519.h"
#include "crypto/hex.h"
#include "crypto/sha256.h"
#include "crypto/sha256_blocks.h"
#include "crypto/sha512.h"

using namespace crypto;

namespace {

constexpr int kRounds = 2000;

template <std::size_t N>
std::array<std::uint8_t, N> opensslDigest(const EVP_MD* md, const std::vector<std::uint8_t>& message) {
    std::array<std::uint8_t, N> digest{};
    EXPECT_EQ(EVP_Digest(message.data(), message.size(), digest.data(), nullptr, md, nullptr), 1);
    return digest;
}

struct OpensslKey {
    EVP_PKEY* key;
    explicit OpensslKey(EVP_PKEY* k) : key(k) {}
    ~OpensslKey() { EVP_PKEY_free(key); }
    OpensslKey(const OpensslKey&) = delete;
    OpensslKey& operator=(const OpensslKey&) = delete;
};

struct OpensslSigner {
    Ed25519PublicKey publicKey{};
    Ed25519Signature signature{};
};

OpensslSigner opensslSign(const Ed25519Seed& seed, const std::vector<std::uint8_t>& message) {
    OpensslSigner out;
    OpensslKey key(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, seed.data(), seed.size()));
    std::size_t size = out.publicKey.size();
    EXPECT_EQ(EVP_PKEY_get_raw_public_key(key.key, out.publicKey.data(), &size), 1);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    size = out.signature.size();
    EXPECT_EQ(EVP_DigestSignInit(context, nullptr, nullptr, nullptr, key.key), 1);
    EXPECT_EQ(EVP_DigestSign(context, out.signature.data(), &size, message.data(), message.size()), 1);
    EVP_MD_CTX_free(context);
    return out;
}

bool opensslVerify(const Ed25519PublicKey& publicKey, const std::vector<std::uint8_t>& message,
                   const Ed25519Signature& signature) {
    OpensslKey key(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, publicKey.data(), publicKey.size()));
    if (key.key == nullptr) return false;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    const bool valid =
        EVP_DigestVerifyInit(context, nullptr, nullptr, nullptr, key.key) == 1 &&
        EVP_DigestVerify(context, signature.data(), signature.size(), message.data(), message.size()) == 1;
    EVP_MD_CTX_free(context);
    return valid;
}

}  // namespace

TEST(AgainstOpenssl, RandomMessagesKeysAndTamperedSignatures) {
    std::mt19937_64 random(20260415);
    auto byte = [&random] { return static_cast<std::uint8_t>(random()); };
    int verified = 0, refused = 0;
    for (int round = 0; round < kRounds; ++round) {
        // Lengths mostly short, some around and past several blocks.
        const std::size_t length = round % 4 == 0 ? random() % 4096 : random() % 300;
        std::vector<std::uint8_t> message(length);
        for (auto& b : message) b = byte();

        const auto sha256Expected = opensslDigest<32>(EVP_sha256(), message);
        for (const auto& [name, blocks] : sha256BlockPaths()) {
            Sha256 context(blocks);
            context.update(message.data(), message.size());
            ASSERT_EQ(context.finish(), sha256Expected) << length << " bytes, " << name;
        }
        ASSERT_EQ(sha512(message.data(), message.size()), opensslDigest<64>(EVP_sha512(), message))
            << length << " bytes";

        Ed25519Seed seed;
        for (auto& b : seed) b = byte();
        const OpensslSigner expected = opensslSign(seed, message);
        const Ed25519PublicKey publicKey = ed25519PublicKey(seed);
        ASSERT_EQ(publicKey, expected.publicKey) << toHex(seed);
        const Ed25519Signature signature = ed25519Sign(seed, message.data(), message.size());
        ASSERT_EQ(signature, expected.signature) << toHex(seed);
        ASSERT_TRUE(ed25519Verify(publicKey, message.data(), message.size(), signature));

        // One flipped bit in the signature, the key or the message: both must
        // come to the same verdict (false, but for a key that is no longer a
        // point, or R, the reason differs).
        auto key = publicKey;
        auto tamperedSignature = signature;
        auto tamperedMessage = message;
        switch (round % 3) {
            case 0:
                tamperedSignature[random() % 64] ^= static_cast<std::uint8_t>(1 << (random() % 8));
                break;
            case 1:
                key[random() % 32] ^= static_cast<std::uint8_t>(1 << (random() % 8));
                break;
            default:
                if (!tamperedMessage.empty())
                    tamperedMessage[random() % length] ^= static_cast<std::uint8_t>(1 << (random() % 8));
                else
                    tamperedMessage.push_back(0);
        }
        const bool ours = ed25519Verify(key, tamperedMessage.data(), tamperedMessage.size(), tamperedSignature);
        ASSERT_EQ(ours, opensslVerify(key, tamperedMessage, tamperedSignature)) << "round " << round;
        ++(ours ? verified : refused);
    }
    // The tampering never yields a valid signature.
    EXPECT_EQ(verified, 0);
    EXPECT_EQ(refused, kRounds);
}
