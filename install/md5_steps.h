// The 64 steps of MD5's block function, written once for any word type: a
// 32-bit integer for the scalar code, or a vector register whose lanes hold
// the same word of several independent computations.
#pragma once

#include <cstdint>

// P supplies the word type and its operations:
//   Word add(Word, Word), bitXor, bitAnd, bitOr; andNot(x, y) = ~x & y;
//   Word constant(std::uint32_t) (in every lane); Word rotl<S>(Word).
template <class P>
struct Md5Steps {
    using Word = typename P::Word;

    // The round functions are arranged so that the word computed last (b)
    // enters as late as possible: the rest of each step runs while it is
    // still being computed. G's OR becomes an ADD (its two terms share no
    // bit), which splits it into two independent additions.
    template <int S>
    static void f(Word& a, Word b, Word c, Word d, Word m, std::uint32_t k) {
        a = P::add(a, P::add(m, P::constant(k)));
        a = P::add(a, P::bitXor(P::bitAnd(P::bitXor(c, d), b), d));
        a = P::add(P::template rotl<S>(a), b);
    }

    template <int S>
    static void g(Word& a, Word b, Word c, Word d, Word m, std::uint32_t k) {
        a = P::add(a, P::add(m, P::constant(k)));
        a = P::add(a, P::andNot(d, c));
        a = P::add(a, P::bitAnd(b, d));
        a = P::add(P::template rotl<S>(a), b);
    }

    template <int S>
    static void h(Word& a, Word b, Word c, Word d, Word m, std::uint32_t k) {
        a = P::add(a, P::add(m, P::constant(k)));
        a = P::add(a, P::bitXor(P::bitXor(c, d), b));
        a = P::add(P::template rotl<S>(a), b);
    }

    template <int S>
    static void i(Word& a, Word b, Word c, Word d, Word m, std::uint32_t k) {
        a = P::add(a, P::add(m, P::constant(k)));
        a = P::add(a, P::bitXor(P::bitOr(P::bitXor(d, P::constant(0xffffffff)), b), c));
        a = P::add(P::template rotl<S>(a), b);
    }

    // One 64-byte block, its 16 message words in x, into the chaining words.
    static void block(Word& a0, Word& b0, Word& c0, Word& d0, const Word* x) {
        Word a = a0, b = b0, c = c0, d = d0;

        f<7>(a, b, c, d, x[0], 0xd76aa478);
        f<12>(d, a, b, c, x[1], 0xe8c7b756);
        f<17>(c, d, a, b, x[2], 0x242070db);
        f<22>(b, c, d, a, x[3], 0xc1bdceee);
        f<7>(a, b, c, d, x[4], 0xf57c0faf);
        f<12>(d, a, b, c, x[5], 0x4787c62a);
        f<17>(c, d, a, b, x[6], 0xa8304613);
        f<22>(b, c, d, a, x[7], 0xfd469501);
        f<7>(a, b, c, d, x[8], 0x698098d8);
        f<12>(d, a, b, c, x[9], 0x8b44f7af);
        f<17>(c, d, a, b, x[10], 0xffff5bb1);
        f<22>(b, c, d, a, x[11], 0x895cd7be);
        f<7>(a, b, c, d, x[12], 0x6b901122);
        f<12>(d, a, b, c, x[13], 0xfd987193);
        f<17>(c, d, a, b, x[14], 0xa679438e);
        f<22>(b, c, d, a, x[15], 0x49b40821);

        g<5>(a, b, c, d, x[1], 0xf61e2562);
        g<9>(d, a, b, c, x[6], 0xc040b340);
        g<14>(c, d, a, b, x[11], 0x265e5a51);
        g<20>(b, c, d, a, x[0], 0xe9b6c7aa);
        g<5>(a, b, c, d, x[5], 0xd62f105d);
        g<9>(d, a, b, c, x[10], 0x02441453);
        g<14>(c, d, a, b, x[15], 0xd8a1e681);
        g<20>(b, c, d, a, x[4], 0xe7d3fbc8);
        g<5>(a, b, c, d, x[9], 0x21e1cde6);
        g<9>(d, a, b, c, x[14], 0xc33707d6);
        g<14>(c, d, a, b, x[3], 0xf4d50d87);
        g<20>(b, c, d, a, x[8], 0x455a14ed);
        g<5>(a, b, c, d, x[13], 0xa9e3e905);
        g<9>(d, a, b, c, x[2], 0xfcefa3f8);
        g<14>(c, d, a, b, x[7], 0x676f02d9);
        g<20>(b, c, d, a, x[12], 0x8d2a4c8a);

        h<4>(a, b, c, d, x[5], 0xfffa3942);
        h<11>(d, a, b, c, x[8], 0x8771f681);
        h<16>(c, d, a, b, x[11], 0x6d9d6122);
        h<23>(b, c, d, a, x[14], 0xfde5380c);
        h<4>(a, b, c, d, x[1], 0xa4beea44);
        h<11>(d, a, b, c, x[4], 0x4bdecfa9);
        h<16>(c, d, a, b, x[7], 0xf6bb4b60);
        h<23>(b, c, d, a, x[10], 0xbebfbc70);
        h<4>(a, b, c, d, x[13], 0x289b7ec6);
        h<11>(d, a, b, c, x[0], 0xeaa127fa);
        h<16>(c, d, a, b, x[3], 0xd4ef3085);
        h<23>(b, c, d, a, x[6], 0x04881d05);
        h<4>(a, b, c, d, x[9], 0xd9d4d039);
        h<11>(d, a, b, c, x[12], 0xe6db99e5);
        h<16>(c, d, a, b, x[15], 0x1fa27cf8);
        h<23>(b, c, d, a, x[2], 0xc4ac5665);

        i<6>(a, b, c, d, x[0], 0xf4292244);
        i<10>(d, a, b, c, x[7], 0x432aff97);
        i<15>(c, d, a, b, x[14], 0xab9423a7);
        i<21>(b, c, d, a, x[5], 0xfc93a039);
        i<6>(a, b, c, d, x[12], 0x655b59c3);
        i<10>(d, a, b, c, x[3], 0x8f0ccc92);
        i<15>(c, d, a, b, x[10], 0xffeff47d);
        i<21>(b, c, d, a, x[1], 0x85845dd1);
        i<6>(a, b, c, d, x[8], 0x6fa87e4f);
        i<10>(d, a, b, c, x[15], 0xfe2ce6e0);
        i<15>(c, d, a, b, x[6], 0xa3014314);
        i<21>(b, c, d, a, x[13], 0x4e0811a1);
        i<6>(a, b, c, d, x[4], 0xf7537e82);
        i<10>(d, a, b, c, x[11], 0xbd3af235);
        i<15>(c, d, a, b, x[2], 0x2ad7d2bb);
        i<21>(b, c, d, a, x[9], 0xeb86d391);

        a0 = P::add(a0, a);
        b0 = P::add(b0, b);
        c0 = P::add(c0, c);
        d0 = P::add(d0, d);
    }
};
