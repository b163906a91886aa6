#include "tests/numfmt_reference.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

void doubleDigitsBy(std::string& digits, int bits) {  // digits *= 2^bits, integer digits only
  std::uint64_t carry = 0;
  for (std::size_t i = digits.size(); i-- > 0;) {
    const std::uint64_t cur = (static_cast<std::uint64_t>(digits[i] - '0') << bits) + carry;
    digits[i] = static_cast<char>('0' + cur % 10);
    carry = cur / 10;
  }
  for (; carry != 0; carry /= 10) digits.insert(0, 1, static_cast<char>('0' + carry % 10));
}

void halveDigitsBy(std::string& digits, int bits) {  // digits /= 2^bits, appending fraction digits
  const std::uint64_t mask = (std::uint64_t{1} << bits) - 1;
  std::uint64_t remainder = 0;
  // A raw pointer keeps this hot loop quick in unoptimised test builds too.
  char* digit = &digits[0];
  for (char* end = digit + digits.size(); digit != end; ++digit) {
    const std::uint64_t cur = remainder * 10 + static_cast<std::uint64_t>(*digit - '0');
    *digit = static_cast<char>('0' + (cur >> bits));
    remainder = cur & mask;
  }
  while (remainder != 0) {
    remainder *= 10;
    digits += static_cast<char>('0' + (remainder >> bits));
    remainder &= mask;
  }
}

// Zeroes every digit from `keep` on, adding one unit at `keep - 1` if the first zeroed digit was
// 5 or more. The caller leaves a leading '0' so a carry never runs off the front.
void roundKeeping(std::string& digits, std::size_t keep) {
  if (keep >= digits.size()) return;
  bool carry = digits[keep] >= '5';
  std::fill(digits.begin() + static_cast<std::ptrdiff_t>(keep), digits.end(), '0');
  for (std::size_t i = keep; carry && i-- > 0;) {
    carry = digits[i] == '9';
    digits[i] = carry ? '0' : static_cast<char>(digits[i] + 1);
  }
}

}  // namespace

Expansion exactExpansion(double value) {
  int exponent = 0;
  const double fraction = std::frexp(std::fabs(value), &exponent);
  auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
  exponent -= 53;
  for (; mantissa != 0 && mantissa % 2 == 0 && exponent < 0; ++exponent) mantissa /= 2;
  Expansion e{std::to_string(mantissa), 0};
  // 48 bits per step keeps digit * 2^48 + carry and remainder * 10 well inside 64 bits.
  for (int step = 0; exponent > 0; exponent -= step) {
    step = std::min(exponent, 48);
    doubleDigitsBy(e.digits, step);
  }
  e.intLength = e.digits.size();
  for (int step = 0; exponent < 0; exponent += step) {
    step = std::min(-exponent, 48);
    halveDigitsBy(e.digits, step);
  }
  return e;
}

std::string roundExpansion(const Expansion& e, int decimals, bool withSignificantStage) {
  std::string digits = "0" + e.digits;
  const std::size_t point = e.intLength + 1;
  const std::size_t last = point + static_cast<std::size_t>(decimals);
  if (digits.size() < last) digits.resize(last, '0');
  const std::size_t firstNonZero = digits.find_first_not_of('0');
  if (withSignificantStage && firstNonZero != std::string::npos) {
    roundKeeping(digits, firstNonZero + 17);
  }
  roundKeeping(digits, last);
  std::string integer = digits.substr(0, point);
  integer.erase(0, std::min(integer.find_first_not_of('0'), integer.size() - 1));
  const std::string fraction = digits.substr(point, static_cast<std::size_t>(decimals));
  return integer + (decimals > 0 ? "." + fraction : "");
}

std::string referenceFormat(double value, int decimals) {
  if (std::isnan(value)) return "nan";
  const std::string sign = std::signbit(value) ? "-" : "";
  if (std::isinf(value)) return sign + "inf";
  return sign + roundExpansion(exactExpansion(value), decimals, true);
}

bool isExactTie(const Expansion& e, int decimals) {
  const std::size_t next = e.intLength + static_cast<std::size_t>(decimals);
  return next < e.digits.size() && e.digits[next] == '5' &&
         e.digits.find_first_not_of('0', next + 1) == std::string::npos;
}
