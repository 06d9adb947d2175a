// SHA-256 through each of its block functions, and SHA-512: the examples
// of the standard and patterned inputs around the block sizes, digests taken
// with coreutils' sha256sum and sha512sum, fed whole and in pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "crypto/hex.h"
#include "crypto/sha256.h"
#include "crypto/sha256_blocks.h"
#include "crypto/sha512.h"

using namespace crypto;

namespace {

struct Example {
    std::string input;
    const char* sha256;
    const char* sha512;
};

const Example kExamples[] = {
    {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
     "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2"
     "a9ac94fa54ca49f"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
     "204a8fc6dda82f0a0ced7beb8e08a41657c16ef468b228a8279be331a703c33596fd15c13b1b07f9aa1d3bea57789ca031ad85c7a71dd7035"
     "4ec631238ca3445"},
    {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
     "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1",
     "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd26545"
     "e96e55b874be909"},
    {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
     "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973ebde0ff244877ea60a4cb0432ce577c31beb009c5c2c49aa2e4"
     "eadb217ad8cc09b"},
};

// Digests of pattern(length): lengths around the 64- and 128-byte blocks,
// where the length field no longer fits the last block, and past several
// batches of blocks that are compressed side by side with some left over.
constexpr struct {
    std::size_t length;
    const char* sha256;
    const char* sha512;
} kPatterned[] = {
    {0, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
     "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a"
     "538327af927da3e"},
    {55, "e7313d333c272e639f790978283f9eb392e843d0f29b7016828bb1daa4aac70b",
     "14fd424b1fcadee624da946ab03f7e1def7c0d6e00f689594319881a26ff30b875ba4c622ac13100c8cc784c9c2eb23159aecbb4a02e39990"
     "62f551193e2b256"},
    {56, "4324d65f3c103567f5589c710bc08f8523f929a9272e3af36fc968e52abc6c27",
     "480fa85be41ef55a41208ca28ffc8743c91cf7d24758defe6f95bfb16de614fc86b701034896b047dd571de4318853d80e0809df162f1752c"
     "b26da6ddb94a0dd"},
    {63, "81c80242132f230c3bd41b3e63bbcff16107339549214a99614ff26664625055",
     "ecd42a703a4e93e163d60d55e3785b1a763838b0351bc2e6f7c94b4bfb24f9aa15da5d744ebcebe11f0fc4315d45ba3a047b6e60e07448357"
     "f2795bf34b73502"},
    {64, "39e3d7b6b5d075d37d053ad89b24b41bef4f3c29760c84447cab3f3be1882241",
     "8f3cc30b3fb5bf963688a46488249248ac2c67f0f85a145233c6c1e3c16dcd1df634c07d1d31da02576f65b9cf64e1c3fdb318b689b8a14e2"
     "e9552bcf30fb133"},
    {65, "aacca6ff74fdbb296d165a45cecfa04e5127bc008770fbbdd48006f2d2fae95e",
     "22050d1b2c5bd016c4b04c3e84f513ffbbbc057f83dc9ab196fee6684e5ee19d98b84c6538b3c5e1fc67dbc484e9d0a198254e41d0fa0cf51"
     "06991e106632419"},
    {111, "67d9492e628fd376e0b2efec8ca2b99b123e202cf620deb270728df979b2f73e",
     "68cffa6d0d76f309c9ce0d35280939f8e25990c43b7b086ccdf709be35b07d4ddba599541ff2b1c19d34ea49aeafb9659adb7ac3c0b078bb3"
     "0a22d57fc6687ef"},
    {112, "96b928cff8528dbb99602c709a65b846cb6467acb8b722f0d758e4dc27bfc508",
     "d0865c524d1dddf7c23b799c413f5adcd7caefd3f66a9b49750ec81066012c25a8bcf94ddea6dc525691673097ca40e0101e897fc97218cfd"
     "b0704084e2bef4b"},
    {119, "9ce7368e4daf32341631b492e80359dc9f594b48453cd0dd5bf0b19279cc177e",
     "236bdd7f38a611b5014b239245c381ae5d20a96f1e5b3178227c00056b7fa8c44ef54880085d82b7e20cd65f2bfda1326696c3f94a6a5bad0"
     "cb5ce289aa46167"},
    {120, "7836b787757e95e58b3ca5aec90b1b004e8deba1e50e9675af9cabf1a13a04b5",
     "4bd16fefaa35cc2df9fbb8ff379ec04a4070ffd5d4992574af239fa175534df87cbedceeb96be08e15090a78b83a328a2900c5411683ab47b"
     "ab914591048548f"},
    {127, "a8d23e75d936f303d248888d9b165ee543f4cbafcad3c9dd2a79bd84faa11d07",
     "e0b6a20f1c0c88970a9340152cd5a1c1ecf3d3b8de55102741879438079473540133b812706e5dbec322c8c9523b6fc8c6d16ee626e87ad5f"
     "e3d2916afedc369"},
    {128, "d2742f1f4ac6bb7ca2b239ee18402ba8b3f9f8e652d2a72973c2b9ba11c08cf6",
     "99b16f17aa0b969a5b8f08f367719d516e330ccd2660b6f0688ec031dbc783de50a1cd185a2568dba75070a2403d17d4741d163578515dfd2"
     "ff756ddfe4d47b1"},
    {129, "307f8fc2c1622b92762e818d39a185d4d667ad49a4b07ceae1f4afa008a93ec4",
     "a1556e29185778aa5991e34b8884c840d589f0fbb4b8ed590e51e9ac4eb03a008125000db2671f8fe7f485b59a77b518670078ecb41a54b4c"
     "d02a7f1d2ca4c6d"},
    {709, "639b12b3ec14f5c4e1b5e7c18cbf857221c7df90ad376a2b5e0509a8896bdf20",
     "0f15895b310f9eb1d9fd3126ee415582c5bf0b0cb1cd2a483d5ffb364f88bb2e137b33191a9fd066c759796044ea2470f55ef5ce6f8d73ab1"
     "b5f2cdb072e1ce3"},
    {4099, "2cb2041db61963cce4024c657727f0fe5dc5f0942fa6ab14d1b320145e8bf182",
     "4609face853f35003c9b80a02ab1a220f8f9ed7a1df347155222dded664c3e5506893ce2646d8fa69ce4742a13eeb2a5295a72196a8b27761"
     "df148a0560d2930"},
};

std::string pattern(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(((i * 7 + 3) ^ (i >> 8)) & 0xFF);
    return bytes;
}

// The digests of bytes fed whole and, unless they are many (unoptimised
// builds would take long), in pieces of several sizes.
template <typename Context>
std::vector<std::string> digestsInPieces(Context context, const std::string& bytes) {
    std::vector<std::size_t> pieces = {bytes.size() + 1};
    if (bytes.size() < 100000) pieces.insert(pieces.end(), {1, 63, 64, 65, 127, 129});
    std::vector<std::string> digests;
    for (std::size_t piece : pieces) {
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            context.update(bytes.data() + at, std::min(piece, bytes.size() - at));
            context.update(bytes.data(), 0);
        }
        digests.push_back(toHex(context.finish()));
    }
    return digests;
}

void expectDigests(const std::string& bytes, const char* sha256Hex, const char* sha512Hex, const std::string& what) {
    for (const auto& [name, blocks] : sha256BlockPaths()) {
        for (const std::string& d : digestsInPieces(Sha256(blocks), bytes)) {
            EXPECT_EQ(d, sha256Hex) << what << ", " << name;
        }
    }
    EXPECT_EQ(crypto::sha256Hex(bytes.data(), bytes.size()), sha256Hex) << what;
    for (const std::string& d : digestsInPieces(Sha512(), bytes)) EXPECT_EQ(d, sha512Hex) << what;
    EXPECT_EQ(toHex(sha512(bytes.data(), bytes.size())), sha512Hex) << what;
}

}  // namespace

TEST(Sha, StandardExamples) {
    for (const Example& e : kExamples) expectDigests(e.input, e.sha256, e.sha512, e.input.substr(0, 20));
}

TEST(Sha, PatternedInputsAroundTheBlockSizes) {
    for (const auto& p : kPatterned) {
        expectDigests(pattern(p.length), p.sha256, p.sha512, std::to_string(p.length) + " bytes");
    }
}

// Two messages fed side by side, in pieces that leave part of a block
// waiting in one, the other or both, and in whole blocks, which the SHA
// extensions compress two at a time: each digest is its message's.
TEST(Sha, TwoMessagesSideBySide) {
    const std::string a = pattern(5000), b = pattern(5003).substr(3);
    const std::string expectedA = sha256Hex(a.data(), a.size()), expectedB = sha256Hex(b.data(), b.size());
    for (const auto& [name, blocks] : sha256BlockPaths()) {
        for (const std::size_t piece : {1u, 63u, 64u, 100u, 1024u}) {
            Sha256 x(blocks), y(blocks);
            x.update(a.data(), 10);  // a's pieces start off a block's edge
            std::size_t at = 10;
            for (; at + piece <= 4000; at += piece) Sha256::updateTwo(x, a.data() + at, y, b.data() + at - 10, piece);
            x.update(a.data() + at, a.size() - at);
            y.update(b.data() + at - 10, b.size() - (at - 10));
            EXPECT_EQ(toHex(x.finish()), expectedA) << name << ", pieces of " << piece;
            EXPECT_EQ(toHex(y.finish()), expectedB) << name << ", pieces of " << piece;
        }
        // Whole blocks and the start of one.
        Sha256 x(blocks), y(blocks);
        Sha256::updateTwo(x, a.data(), y, b.data(), 4100);
        x.update(a.data() + 4100, a.size() - 4100);
        y.update(b.data() + 4100, b.size() - 4100);
        EXPECT_EQ(toHex(x.finish()), expectedA) << name << ", whole blocks first";
        EXPECT_EQ(toHex(y.finish()), expectedB) << name << ", whole blocks first";
    }
}
