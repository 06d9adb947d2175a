// The group of Ed25519: the twisted Edwards curve -x^2 + y^2 = 1 + d x^2 y^2
// over the field modulo 2^255 - 19, with the formulas of Hisil, Wong, Carter
// and Dawson for a = -1. Like the field, the point operations are constexpr,
// for the tables of multiples of the base point.
#pragma once

#include "crypto/field25519.h"

namespace crypto::edwards {

using field::Bytes32;
using field::Fe;

// d = -121665/121666, 2d and a square root of -1, as numbers.
inline constexpr Fe kD = field::feFromHex("52036cee2b6ffe738cc740797779e89800700a4d4141d8ab75eb4dca135978a3");
inline constexpr Fe k2D = field::feFromHex("2406d9dc56dffce7198e80f2eef3d13000e0149a8283b156ebd69b9426b2f159");
inline constexpr Fe kSqrtMinus1 = field::feFromHex("2b8324804fc1df0b2b4d00993dfbd7a72f431806ad2fe478c4ee1b274a0ea0b0");

// Extended coordinates: x = X/Z, y = Y/Z, x y = T/Z.
struct Point {
    Fe x, y, z, t;
};

// Projective coordinates, enough for doubling: x = X/Z, y = Y/Z.
struct Projective {
    Fe x, y, z;
};

// The result of a doubling or an addition before its last multiplications:
// x = e/g, y = h/f.
struct Completed {
    Fe e, f, g, h;
};

// A point prepared as the second operand of additions: Y+X, Y-X, Z, 2dT.
struct Cached {
    Fe yPlusX, yMinusX, z, t2d;
};

constexpr Point identity() { return {field::feZero(), field::feOne(), field::feOne(), field::feZero()}; }

constexpr Cached cachedIdentity() { return {field::feOne(), field::feOne(), field::feOne(), field::feZero()}; }

// The base point B of RFC 8032: y = 4/5, x positive.
constexpr Point basePoint() {
    const Fe x = field::feCarry(field::feFromHex("216936d3cd6e53fec0a4e231fdd6dc5c692cc7609525a7b2c9562d608f25d51a"));
    const Fe y = field::feCarry(field::feFromHex("6666666666666666666666666666666666666666666666666666666666666658"));
    return {x, y, field::feOne(), field::feMul(x, y)};
}

constexpr Projective toProjective(const Completed& c) {
    return {field::feMul(c.e, c.f), field::feMul(c.g, c.h), field::feMul(c.f, c.g)};
}

constexpr Point toPoint(const Completed& c) {
    return {field::feMul(c.e, c.f), field::feMul(c.g, c.h), field::feMul(c.f, c.g), field::feMul(c.e, c.h)};
}

constexpr Cached toCached(const Point& p) {
    return {field::feAdd(p.y, p.x), field::feSub(p.y, p.x), p.z, field::feMul(p.t, k2D)};
}

// 2P: 4 squarings.
constexpr Completed twice(const Projective& p) {
    const Fe a = field::feSq(p.x);
    const Fe b = field::feSq(p.y);
    const Fe c = field::feAdd(field::feSq(p.z), field::feSq(p.z));
    const Fe g = field::feSub(b, a);
    const Fe e = field::feSub(field::feSq(field::feAdd(p.x, p.y)), field::feAdd(a, b));
    // g - c would be four carried elements.
    return {e, field::feCarry(field::feSub(g, c)), g, field::feNeg(field::feAdd(a, b))};
}

constexpr Completed twice(const Point& p) { return twice(Projective{p.x, p.y, p.z}); }

// P + Q: 5 multiplications.
constexpr Completed add(const Point& p, const Cached& q) {
    const Fe a = field::feMul(field::feSub(p.y, p.x), q.yMinusX);
    const Fe b = field::feMul(field::feAdd(p.y, p.x), q.yPlusX);
    const Fe c = field::feMul(p.t, q.t2d);
    const Fe zz = field::feMul(p.z, q.z);
    const Fe d = field::feAdd(zz, zz);
    return {field::feSub(b, a), field::feSub(d, c), field::feAdd(d, c), field::feAdd(b, a)};
}

// -Q of a cached point: x and t change sign.
constexpr Cached negate(const Cached& q) { return {q.yMinusX, q.yPlusX, q.z, field::feNeg(q.t2d)}; }

// q = r when pick is 1, unchanged when 0, without branching on pick.
constexpr void select(Cached& q, const Cached& r, std::uint32_t pick) {
    field::feSelect(q.yPlusX, r.yPlusX, pick);
    field::feSelect(q.yMinusX, r.yMinusX, pick);
    field::feSelect(q.z, r.z, pick);
    field::feSelect(q.t2d, r.t2d, pick);
}

constexpr Point negate(const Point& p) { return {field::feNeg(p.x), p.y, p.z, field::feNeg(p.t)}; }

// The 32-byte encoding: y, with the low bit of x in bit 255.
Bytes32 encode(const Projective& p);

// The point of an encoding, or false when y is p or more, when no x fits y,
// or when x is 0 but the sign bit asks for the other root.
bool decode(const Bytes32& s, Point& p);

// [s]B for a secret little-endian s below 2^255, in constant time: the
// same operations and memory accesses whatever s is.
Point baseMultiple(const Bytes32& s);

// [a]P + [b]B for public a and b below 2^253, in variable time.
Projective doubleMultiple(const Bytes32& a, const Point& p, const Bytes32& b);

}  // namespace crypto::edwards
