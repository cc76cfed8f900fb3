// SPDX-License-Identifier: GPL-3.0-or-later
#include "Extended.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace {

constexpr uint64_t kTopBit = uint64_t{1} << 63;

// Rounds significand + the bits below it (rest, left-aligned) to nearest, ties to even.
Extended roundedUp(uint64_t significand, uint64_t rest, int exponent) {
    const bool half = (rest & kTopBit) != 0;
    const bool beyondHalf = (rest << 1) != 0;
    if (half && (beyondHalf || (significand & 1) != 0)) {
        if (++significand == 0) {
            significand = kTopBit;
            ++exponent;
        }
    }
    return {significand, exponent};
}

// (high * 2^64 + low) * 2^exponent, rounded to 64 bits.
Extended rounded(uint64_t high, uint64_t low, int exponent) {
    if (high == 0) {
        if (low == 0)
            return {};
        const int shift = std::countl_zero(low);
        return {low << shift, exponent - shift};
    }
    const int shift = std::countl_zero(high);
    const uint64_t top = shift == 0 ? high : (high << shift) | (low >> (64 - shift));
    return roundedUp(top, low << shift, exponent + 64 - shift);
}

} // namespace

Extended extendedQuotient(uint32_t numerator, uint32_t denominator) {
    if (numerator == 0)
        return {};
    // Long division, one bit at a time, until the quotient fills 64 bits; the remainder then
    // gives the rounding.
    uint64_t quotient = numerator / denominator;
    uint64_t remainder = numerator % denominator;
    int exponent = 0;
    while ((quotient & kTopBit) == 0) {
        remainder <<= 1;
        quotient <<= 1;
        if (remainder >= denominator) {
            quotient |= 1;
            remainder -= denominator;
        }
        --exponent;
    }
    // The rest of the quotient: its first bit, and whether anything follows it.
    remainder <<= 1;
    uint64_t rest = 0;
    if (remainder >= denominator) {
        rest = kTopBit;
        remainder -= denominator;
    }
    if (remainder != 0)
        rest |= 1;
    return roundedUp(quotient, rest, exponent);
}

Extended extendedProduct(Extended a, Extended b) {
    if (a.significand == 0 || b.significand == 0)
        return {};
    // The 128-bit product from four 32-bit partial products.
    const uint64_t a0 = a.significand & 0xffffffffu, a1 = a.significand >> 32;
    const uint64_t b0 = b.significand & 0xffffffffu, b1 = b.significand >> 32;
    const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    const uint64_t middle = (p00 >> 32) + (p01 & 0xffffffffu) + (p10 & 0xffffffffu);
    const uint64_t low = (p00 & 0xffffffffu) | (middle << 32);
    const uint64_t high = p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32);
    return rounded(high, low, a.exponent + b.exponent);
}

Extended extendedOf(uint64_t integer) {
    if (integer == 0)
        return {};
    const int shift = std::countl_zero(integer);
    return {integer << shift, -shift};
}

Extended extendedOf(double value) {
    if (value == 0)
        return {};
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const uint64_t fraction = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
    const int exponent = static_cast<int>((bits >> 52) & 0x7ff) - 1075;
    return {fraction << 11, exponent - 11};
}

uint64_t nearestInteger(Extended x) {
    if (x.significand == 0 || x.exponent < -64)
        return 0;
    if (x.exponent >= 0)
        return x.significand << x.exponent;
    const int shift = -x.exponent;
    const uint64_t whole = shift == 64 ? 0 : x.significand >> shift;
    const uint64_t rest = x.significand << (64 - shift);
    return roundedUp(whole, rest, 0).significand;
}

double nearestDouble(Extended x) {
    if (x.significand == 0)
        return 0;
    // Keep 53 of the 64 bits; rounding up to 2^53 is still exact in a double.
    const Extended r = roundedUp(x.significand >> 11, x.significand << 53, x.exponent + 11);
    return std::ldexp(static_cast<double>(r.significand), r.exponent);
}

void splitExtended(Extended x, double& high, double& low) {
    high = std::ldexp(static_cast<double>(x.significand >> 11), x.exponent + 11);
    low = std::ldexp(static_cast<double>(x.significand & 0x7ff), x.exponent);
}
