// Fixed-point formatting with the tool's own rounding.
#pragma once

#include <string>

// Largest number of decimals honoured; larger requests are clamped to it. It is enough to show
// all 17 significant digits of the smallest denormal, so no double loses a digit to the clamp,
// and it keeps the output bounded whatever a caller passes.
constexpr int kMaxFixedDecimals = 340;

// Formats value with `decimals` digits after the point (0 = no point, like "%.f"; 2 = like
// "%.2f"); negative decimals count as 0.
//
// Rounding is the same on every platform and C runtime: the exact value of the double is first
// rounded to 17 significant digits, then that is rounded at the last printed place, both half
// away from zero. A negative value keeps its sign even when it rounds to zero ("-0.00"), and
// every integer digit is printed. NaN prints "nan" whatever its sign bit, infinities "inf"/"-inf".
std::string formatFixed(double value, int decimals);
