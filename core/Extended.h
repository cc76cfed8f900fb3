// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Numbers with the 64-bit significand of the x87 extended format, computed with integers
// only: every operation rounds to nearest, ties to even, as that format does. The sample
// counts and phase steps were first defined in it, and long double is that format only on
// x86; these give the same results on every processor.
#include <cstdint>

// significand * 2^exponent; the significand has its top bit set unless the value is 0.
struct Extended {
    uint64_t significand = 0;
    int exponent = 0;
};

// numerator / denominator, rounded.
Extended extendedQuotient(uint32_t numerator, uint32_t denominator);
// a * b, rounded.
Extended extendedProduct(Extended a, Extended b);
// Exact: an integer, or a finite positive double.
Extended extendedOf(uint64_t integer);
Extended extendedOf(double value);
// Rounded to an integer (the value must be below 2^63).
uint64_t nearestInteger(Extended x);
// Rounded to a double (the value must be in the double's normal range, or 0).
double nearestDouble(Extended x);
// Exactly x as high + low, high carrying the top 53 bits.
void splitExtended(Extended x, double& high, double& low);
