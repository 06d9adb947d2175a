// Ed25519 against RFC 8032's test vectors, and verification of keys and
// signatures that are malformed or tampered with. The edge cases were made
// with a big-integer model of the curve (affine formulas): each malformed
// one would verify if its encoding were read leniently, and each has a
// well-formed twin that does verify.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypto/ed25519.h"
#include "crypto/hex.h"
#include "crypto/sha512.h"

using namespace crypto;

namespace {

template <std::size_t N>
std::array<std::uint8_t, N> fromHex(std::string_view text) {
    std::array<std::uint8_t, N> bytes{};
    EXPECT_TRUE(parseHex(text, bytes)) << text;
    return bytes;
}

// Empty for malformed text, which no vector's signature matches.
std::vector<std::uint8_t> bytesOf(std::string_view hex) {
    std::vector<std::uint8_t> bytes(hex.size() / 2);
    if (!parseHex(hex, bytes)) bytes.clear();
    return bytes;
}

// TEST 1024's message, 1023 bytes.
constexpr std::string_view kTest1024Message =
    "08b8b2b733424243760fe426a4b54908632110a66c2f6591eabd3345e3e4eb98fa6e264bf09efe12ee50f8f54e9f77b1e355f6c50544e2"
    "3fb1433ddf73be84d879de7c0046dc4996d9e773f4bc9efe5738829adb26c81b37c93a1b270b20329d658675fc6ea534e0810a4432826b"
    "f58c941efb65d57a338bbd2e26640f89ffbc1a858efcb8550ee3a5e1998bd177e93a7363c344fe6b199ee5d02e82d522c4feba15452f80"
    "288a821a579116ec6dad2b3b310da903401aa62100ab5d1a36553e06203b33890cc9b832f79ef80560ccb9a39ce767967ed628c6ad573c"
    "b116dbefefd75499da96bd68a8a97b928a8bbc103b6621fcde2beca1231d206be6cd9ec7aff6f6c94fcd7204ed3455c68c83f4a41da4af"
    "2b74ef5c53f1d8ac70bdcb7ed185ce81bd84359d44254d95629e9855a94a7c1958d1f8ada5d0532ed8a5aa3fb2d17ba70eb6248e594e1a"
    "2297acbbb39d502f1a8c6eb6f1ce22b3de1a1f40cc24554119a831a9aad6079cad88425de6bde1a9187ebb6092cf67bf2b13fd65f27088"
    "d78b7e883c8759d2c4f5c65adb7553878ad575f9fad878e80a0c9ba63bcbcc2732e69485bbc9c90bfbd62481d9089beccf80cfe2df16a2"
    "cf65bd92dd597b0707e0917af48bbb75fed413d238f5555a7a569d80c3414a8d0859dc65a46128bab27af87a71314f318c782b23ebfe80"
    "8b82b0ce26401d2e22f04d83d1255dc51addd3b75a2b1ae0784504df543af8969be3ea7082ff7fc9888c144da2af58429ec96031dbcad3"
    "dad9af0dcbaaaf268cb8fcffead94f3c7ca495e056a9b47acdb751fb73e666c6c655ade8297297d07ad1ba5e43f1bca32301651339e229"
    "04cc8c42f58c30c04aafdb038dda0847dd988dcda6f3bfd15c4b4c4525004aa06eeff8ca61783aacec57fb3d1f92b0fe2fd1a85f672451"
    "7b65e614ad6808d6f6ee34dff7310fdc82aebfd904b01e1dc54b2927094b2db68d6f903b68401adebf5a7e08d78ff4ef5d63653a65040c"
    "f9bfd4aca7984a74d37145986780fc0b16ac451649de6188a7dbdf191f64b5fc5e2ab47b57f7f7276cd419c17a3ca8e1b939ae49e488ac"
    "ba6b965610b5480109c8b17b80e1b7b750dfc7598d5d5011fd2dcc5600a32ef5b52a1ecc820e308aa342721aac0943bf6686b64b257937"
    "6504ccc493d97e6aed3fb0f9cd71a43dd497f01f17c0e2cb3797aa2a2f256656168e6c496afc5fb93246f6b1116398a346f1a641f3b041"
    "e989f7914f90cc2c7fff357876e506b50d334ba77c225bc307ba537152f3f1610e4eafe595f6d9d90d11faa933a15ef1369546868a7f3a"
    "45a96768d40fd9d03412c091c6315cf4fde7cb68606937380db2eaaa707b4c4185c32eddcdd306705e4dc1ffc872eeee475a64dfac86ab"
    "a41c0618983f8741c5ef68d3a101e8a3b8cac60c905c15fc910840b94c00a0b9d0";

// RFC 8032, section 7.1.
struct Vector {
    const char* name;
    const char* seed;
    const char* publicKey;
    std::vector<std::uint8_t> message;
    const char* signature;
};

const Sha512Digest kShaOfAbc = sha512("abc", 3);

const Vector kRfc8032[] = {
    {"TEST 1",
     "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60",
     "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a",
     {},
     "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe246"
     "55141438e7a100b"},
    {"TEST 2",
     "4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb",
     "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c",
     {0x72},
     "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb"
     "00d291612bb0c00"},
    {"TEST 3",
     "c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7",
     "fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025",
     {0xaf, 0x82},
     "6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac18ff9b538d16f290ae67f760984dc6594a7c15e9716ed28dc"
     "027beceea1ec40a"},
    {"TEST SHA(abc)", "833fe62409237b9d62ec77587520911e9a759cec1d19755b7da901b96dca3d42",
     "ec172b93ad5e563bf4932c70e1245034c35467ef2efd4d64ebf819683467e2bf",
     std::vector<std::uint8_t>(kShaOfAbc.begin(), kShaOfAbc.end()),
     "dc2a4459e7369633a52b1bf277839a00201009a3efbf3ecb69bea2186c26b58909351fc9ac90b3ecfdfbc7c66431e0303dca179c138ac17ad"
     "9bef1177331a704"},
    {"TEST 1024", "f5e5767cf153319517630f226876b86c8160cc583bc013744c6bf255f5cc0ee5",
     "278117fc144c72340f67d0f2316e8386ceffbf2b2428c9c51fef7c597f1d426e", bytesOf(kTest1024Message),
     "0aab4c900501b3e24d7cdf4663326a3a87df5e4843b2cbdb67cbf6e460fec350aa5371b1508f9f4528ecea23c436d94b5e8fcd4f681e30a6ac00a9704a188a03"},
};

struct VerifyCase {
    const char* what;
    const char* publicKey;
    const char* message;
    const char* signature;
    bool valid;
};

constexpr const char* kTest1Key = "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a";
constexpr const char* kTest2Key = "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c";

const VerifyCase kVerifyCases[] = {
    // TEST 2's signature, altered.
    {"S + L", kTest2Key, "\x72",
     "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69daf52db7415978abc61b2c2eb6aeebfca0387b2eaeb4302aeeb"
     "00d291612bb0c10",
     false},
    {"S = L", kTest2Key, "\x72",
     "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69daedd3f55c1a631258d69cf7a2def9de1400000000000000000"
     "000000000000010",
     false},
    {"S all ones", kTest2Key, "\x72",
     "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69dafffffffffffffffffffffffffffffffffffffffffffffffff"
     "fffffffffffffff",
     false},
    {"R not a point (y = 2)", kTest2Key, "\x72",
     "0200000000000000000000000000000000000000000000000000000000000000085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb"
     "00d291612bb0c00",
     false},
    {"key not a point (y = 2)", "0200000000000000000000000000000000000000000000000000000000000000", "\x72",
     "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb"
     "00d291612bb0c00",
     false},
    // A key of order 4, (sqrt(-1), 0), with y written as 0 and as p.
    {"key of order 4", "0000000000000000000000000000000000000000000000000000000000000000", "move.xml",
     "245c079551b9a0f1a9aec79baef0c668a9e05d3617a15de23dd6dcf60c329fdd0200000000000000000000000000000000000000000000000"
     "000000000000000",
     true},
    {"key of order 4 with y = p", "edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f", "move.xml",
     "58666666666666666666666666666666666666666666666666666666666666660100000000000000000000000000000000000000000000000"
     "000000000000000",
     false},
    // The neutral element as the key, with x = 0 and x = -0.
    {"neutral key", "0100000000000000000000000000000000000000000000000000000000000000", "move.xml",
     "ef4f62f8479733ad879cfaced3c89a9c39dd4fc795ef2efa1c3eafe4d729a0813930000000000000000000000000000000000000000000000"
     "000000000000000",
     true},
    {"neutral key with x = -0", "0100000000000000000000000000000000000000000000000000000000000080", "move.xml",
     "ef4f62f8479733ad879cfaced3c89a9c39dd4fc795ef2efa1c3eafe4d729a0813930000000000000000000000000000000000000000000000"
     "000000000000000",
     false},
    // TEST 1's key, R the neutral element with y written as 1 and as p + 1.
    {"neutral R", kTest1Key, "move.xml",
     "0100000000000000000000000000000000000000000000000000000000000000b72b55c6eb6ce2614b131dc3a3712bc6adc8b9ce350a1d110"
     "4631410d25fdf0b",
     true},
    {"neutral R with y = p + 1", kTest1Key, "move.xml",
     "eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7fce214d3eb8995771e38e947fe120f2012664fe1aeebc2e5e5"
     "02d93b13d5eec0c",
     false},
};

}  // namespace

TEST(Ed25519, Rfc8032Vectors) {
    for (const Vector& v : kRfc8032) {
        const auto seed = fromHex<32>(v.seed);
        EXPECT_EQ(toHex(ed25519PublicKey(seed)), v.publicKey) << v.name;
        const Ed25519Signature signature = ed25519Sign(seed, v.message.data(), v.message.size());
        EXPECT_EQ(toHex(signature), v.signature) << v.name;
        EXPECT_TRUE(ed25519Verify(fromHex<32>(v.publicKey), v.message.data(), v.message.size(), signature)) << v.name;
    }
}

TEST(Ed25519, RefusesMalformedKeysAndSignatures) {
    for (const VerifyCase& c : kVerifyCases) {
        const std::string_view message = c.message;
        EXPECT_EQ(ed25519Verify(fromHex<32>(c.publicKey), message.data(), message.size(), fromHex<64>(c.signature)),
                  c.valid)
            << c.what;
    }
}

TEST(Ed25519, AnyFlippedBitOfKeyMessageOrSignatureFails) {
    const Vector& v = kRfc8032[2];
    const auto publicKey = fromHex<32>(v.publicKey);
    const auto signature = fromHex<64>(v.signature);
    ASSERT_TRUE(ed25519Verify(publicKey, v.message.data(), v.message.size(), signature));
    for (std::size_t bit = 0; bit < 8 * 64; ++bit) {
        auto flipped = signature;
        flipped[bit / 8] ^= static_cast<std::uint8_t>(1 << (bit % 8));
        EXPECT_FALSE(ed25519Verify(publicKey, v.message.data(), v.message.size(), flipped)) << "signature bit " << bit;
    }
    for (std::size_t bit = 0; bit < 8 * 32; ++bit) {
        auto flipped = publicKey;
        flipped[bit / 8] ^= static_cast<std::uint8_t>(1 << (bit % 8));
        EXPECT_FALSE(ed25519Verify(flipped, v.message.data(), v.message.size(), signature)) << "key bit " << bit;
    }
    for (std::size_t bit = 0; bit < 8 * v.message.size(); ++bit) {
        auto flipped = v.message;
        flipped[bit / 8] ^= static_cast<std::uint8_t>(1 << (bit % 8));
        EXPECT_FALSE(ed25519Verify(publicKey, flipped.data(), flipped.size(), signature)) << "message bit " << bit;
    }
}
