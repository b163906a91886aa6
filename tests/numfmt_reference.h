// An exact reference for the number formatter, built another way than app/numfmt.cpp: the double
// is split with frexp, its exact expansion comes from schoolbook doubling or halving of a decimal
// digit string, and rounding zeroes digits in place instead of truncating. Shared by the unit tests
// and the fuzz target, so both hold the formatter to the same oracle.
#pragma once

#include <cstddef>
#include <string>

// Exact |value| as decimal digits with the point after the first `intLength` of them. The integer
// part may carry leading zeros.
struct Expansion {
  std::string digits;
  std::size_t intLength = 0;
};

Expansion exactExpansion(double value);

// Rounds |value| by the rule, with both stages, or (withSignificantStage = false) in one plain
// step at the printed place, which is what glibc does everywhere except at exact ties.
std::string roundExpansion(const Expansion& e, int decimals, bool withSignificantStage);

// What formatFixed must print for any double (sign, NaN and infinities included).
std::string referenceFormat(double value, int decimals);

// True when the exact value lies exactly halfway between two printable results.
bool isExactTie(const Expansion& e, int decimals);
