#include "crypto/edwards25519.h"

#include <array>

namespace crypto::edwards {
namespace {

using namespace field;

// first, first + stride, ..., first + (N-1) stride, ready for additions.
template <int N>
constexpr std::array<Cached, N> multiples(const Point& first, const Point& stride) {
    const Cached step = toCached(stride);
    std::array<Cached, N> table{};
    Point p = first;
    for (int i = 0; i < N; ++i) {
        table[i] = toCached(p);
        if (i < N - 1) p = toPoint(add(p, step));
    }
    return table;
}

// The odd multiples a non-adjacent form of the given width adds.
template <int Width>
using OddMultiples = std::array<Cached, 1 << (Width - 2)>;

// Verification's variable point gets a width-5 form (its table is built per
// call); the base point's table is built once, by the compiler, so it is
// wider, for fewer additions.
constexpr int kPointWidth = 5;
constexpr int kBaseWidth = 7;

constexpr std::array<Cached, 8> kBaseMultiples = multiples<8>(basePoint(), basePoint());  // B .. 8B
constexpr OddMultiples<kBaseWidth> kBaseOddMultiples =
    multiples<(1 << (kBaseWidth - 2))>(basePoint(), toPoint(twice(basePoint())));  // B, 3B .. 63B

constexpr std::uint32_t equal(std::uint32_t a, std::uint32_t b) { return ((a ^ b) - 1) >> 31; }

// digit B for a digit in [-8, 8], looking at every entry of the table.
Cached baseDigitMultiple(int digit) {
    const std::uint32_t negative = static_cast<std::uint32_t>(digit) >> 31;
    const auto magnitude = static_cast<std::uint32_t>(digit - 2 * (-static_cast<int>(negative) & digit));
    Cached m = cachedIdentity();
    for (std::uint32_t j = 0; j < 8; ++j) select(m, kBaseMultiples[j], equal(magnitude, j + 1));
    select(m, negate(m), negative);
    return m;
}

// A non-adjacent form of s of the given width w: digits odd in
// (-2^(w-1), 2^(w-1)) or 0, each non-zero digit followed by at least w-1
// zeros. s below 2^253 needs 254 digits.
template <int Width>
void nonAdjacentForm(const Bytes32& s, std::int8_t digits[256]) {
    auto bit = [&s](int i) { return i < 256 ? (s[i / 8] >> (i % 8)) & 1 : 0; };
    int carry = 0;
    for (int i = 0; i < 256;) {
        if (((bit(i) + carry) & 1) == 0) {
            carry = (bit(i) + carry) >> 1;
            digits[i++] = 0;
            continue;
        }
        int window = carry;
        for (int b = 0; b < Width; ++b) window += bit(i + b) << b;
        carry = window >= (1 << (Width - 1));
        digits[i] = static_cast<std::int8_t>(window - (carry << Width));
        for (int b = 1; b < Width && i + b < 256; ++b) digits[i + b] = 0;
        i += Width;
    }
}

template <std::size_t N>
void addDigit(Completed& c, int digit, const std::array<Cached, N>& oddMultiples) {
    if (digit > 0) c = add(toPoint(c), oddMultiples[digit / 2]);
    if (digit < 0) c = add(toPoint(c), negate(oddMultiples[-digit / 2]));
}

}  // namespace

Bytes32 encode(const Projective& p) {
    const Fe zInverse = feInvert(p.z);
    Bytes32 s = feToBytes(feMul(p.y, zInverse));
    s[31] |= static_cast<std::uint8_t>(feIsNegative(feMul(p.x, zInverse)) << 7);
    return s;
}

bool decode(const Bytes32& s, Point& p) {
    const Fe y = feCarry(feFromBytes(s));
    Bytes32 canonical = s;
    canonical[31] &= 0x7F;
    if (feToBytes(y) != canonical) return false;

    // x^2 = u/v with u = y^2 - 1, v = d y^2 + 1. The candidate
    // x = u v^3 (u v^7)^((p-5)/8) satisfies v x^2 = u or -u when u/v is a
    // square; in the second case x sqrt(-1) is the root.
    const Fe yy = feSq(y);
    const Fe u = feSub(yy, feOne());
    const Fe v = feAdd(feMul(kD, yy), feOne());
    const Fe v3 = feMul(feSq(v), v);
    const Fe uv3 = feMul(u, v3);
    Fe x = feMul(uv3, fePow22523(feMul(feMul(uv3, v3), v)));
    const Fe vxx = feMul(v, feSq(x));
    if (!feIsZero(feSub(vxx, u))) {
        if (!feIsZero(feAdd(vxx, u))) return false;
        x = feMul(x, kSqrtMinus1);
    }
    const int sign = s[31] >> 7;
    if (feIsZero(x) && sign == 1) return false;
    if (feIsNegative(x) != sign) x = feNeg(x);
    p = {x, y, feOne(), feMul(x, y)};
    return true;
}

Point baseMultiple(const Bytes32& s) {
    // Signed base-16 digits: s = sum of digit[i] 16^i with digit[i] in
    // [-8, 8), the top one in [0, 8].
    int digits[64];
    for (int i = 0; i < 32; ++i) {
        digits[2 * i] = s[i] & 15;
        digits[2 * i + 1] = s[i] >> 4;
    }
    int carry = 0;
    for (int i = 0; i < 63; ++i) {
        digits[i] += carry;
        carry = (digits[i] + 8) >> 4;
        digits[i] -= carry * 16;
    }
    digits[63] += carry;

    Point h = identity();
    for (int i = 63; i >= 0; --i) {
        Completed c = twice(h);
        for (int k = 0; k < 3; ++k) c = twice(toProjective(c));
        h = toPoint(add(toPoint(c), baseDigitMultiple(digits[i])));
    }
    return h;
}

Projective doubleMultiple(const Bytes32& a, const Point& p, const Bytes32& b) {
    std::int8_t aDigits[256], bDigits[256];
    nonAdjacentForm<kPointWidth>(a, aDigits);
    nonAdjacentForm<kBaseWidth>(b, bDigits);
    const OddMultiples<kPointWidth> pOddMultiples = multiples<(1 << (kPointWidth - 2))>(p, toPoint(twice(p)));

    int top = 255;
    while (top >= 0 && aDigits[top] == 0 && bDigits[top] == 0) --top;
    Projective r = {feZero(), feOne(), feOne()};
    for (int i = top; i >= 0; --i) {
        Completed c = twice(r);
        addDigit(c, aDigits[i], pOddMultiples);
        addDigit(c, bDigits[i], kBaseOddMultiples);
        r = toProjective(c);
    }
    return r;
}

}  // namespace crypto::edwards
