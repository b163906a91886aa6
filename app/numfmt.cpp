#include "app/numfmt.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// printf is not used for digits: glibc, Wine and mingw round exact halves to even (0.125 ->
// "0.12"), and old msvcrt stops printing exact digits after 17 or so. The exact decimal value of
// the double is built here with integer arithmetic and rounded as plain digit strings instead.

namespace {

// Unsigned big integer in base 1e9, least significant limb first. Base 1e9 turns into decimal
// digits limb by limb, and a limb times any 32-bit factor still fits in 64 bits.
using BigInt = std::vector<std::uint32_t>;
constexpr std::uint32_t kLimbBase = 1000000000;
constexpr std::size_t kLimbDigits = 9;

void multiplySmall(BigInt& n, std::uint32_t factor) {
  std::uint64_t carry = 0;
  for (std::uint32_t& limb : n) {
    const std::uint64_t product = std::uint64_t{limb} * factor + carry;
    limb = static_cast<std::uint32_t>(product % kLimbBase);
    carry = product / kLimbBase;
  }
  for (; carry != 0; carry /= kLimbBase) n.push_back(static_cast<std::uint32_t>(carry % kLimbBase));
}

// Multiplies n by base^exponent, in steps of the largest power of base that fits in 32 bits, so a
// denormal's 5^1074 takes 83 passes over the number rather than 1074.
void multiplyPower(BigInt& n, std::uint32_t base, int exponent) {
  std::uint32_t step = 1;
  int stepExponent = 0;
  for (; step <= UINT32_MAX / base; ++stepExponent) step *= base;
  for (; exponent >= stepExponent; exponent -= stepExponent) multiplySmall(n, step);
  for (; exponent > 0; --exponent) multiplySmall(n, base);
}

std::string toDigits(const BigInt& n) {
  std::string digits = std::to_string(n.back());
  for (auto limb = n.rbegin() + 1; limb != n.rend(); ++limb) {
    const std::string part = std::to_string(*limb);
    digits.append(kLimbDigits - part.size(), '0');
    digits += part;
  }
  return digits;
}

// Returns the digits D (no leading zeros) of |value| = D / 10^scale, exactly. A double is
// m * 2^e with integer m; for e < 0 that equals m * 5^-e / 10^-e, so only multiplications of
// integers are needed in either direction.
std::string exactDigits(double value, int& scale) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  const int biasedExponent = static_cast<int>((bits >> 52) & 0x7ff);
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  int exponent = -1074;  // denormals have no implicit leading bit
  if (biasedExponent != 0) {
    mantissa |= std::uint64_t{1} << 52;
    exponent = biasedExponent - 1075;
  }
  scale = 0;
  if (mantissa == 0) return "0";
  // Dropping trailing zero bits keeps everyday values like 1.5 down to a few small steps.
  for (; (mantissa & 1) == 0 && exponent < 0; ++exponent) mantissa >>= 1;

  BigInt n;
  for (; mantissa != 0; mantissa /= kLimbBase) {
    n.push_back(static_cast<std::uint32_t>(mantissa % kLimbBase));
  }
  if (exponent >= 0) {
    multiplyPower(n, 2, exponent);
  } else {
    multiplyPower(n, 5, -exponent);
    scale = -exponent;
  }
  return toDigits(n);
}

// Keeps the first `keep` digits (keep < digits.size()), rounding half away from zero on the first
// dropped one. A carry out of the top digit lengthens the string ("999" -> "1000"), which is still
// the right integer, so callers need no position fix-up.
void roundToLength(std::string& digits, std::size_t keep) {
  const bool roundUp = digits[keep] >= '5';
  digits.resize(keep);
  if (!roundUp) return;
  std::size_t i = keep;
  while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
  if (i == 0) {
    digits.insert(0, 1, '1');
  } else {
    ++digits[i - 1];
  }
}

}  // namespace

std::string formatFixed(double value, int decimals) {
  if (std::isnan(value)) return "nan";
  const std::string sign = std::signbit(value) ? "-" : "";
  if (std::isinf(value)) return sign + "inf";
  if (decimals < 0) decimals = 0;
  if (decimals > kMaxFixedDecimals) decimals = kMaxFixedDecimals;
  const auto places = static_cast<std::size_t>(decimals);

  // Invariant from here on: |value| ~= digits / 10^scale.
  int scale = 0;
  std::string digits = exactDigits(value, scale);

  // Stage 1: 17 significant digits, so every platform starts from the same decimal string.
  constexpr std::size_t kSignificant = 17;
  if (digits.size() > kSignificant) {
    scale -= static_cast<int>(digits.size() - kSignificant);
    roundToLength(digits, kSignificant);
  }

  // Stage 2: round at the last printed place, or pad with zeros when there is nothing to round.
  if (scale > decimals) {
    const auto dropped = static_cast<std::size_t>(scale - decimals);
    // A leading zero in front of the first dropped digit lets values below 10^-decimals round
    // to "0" or "1" in units of the last place.
    if (digits.size() <= dropped) digits.insert(0, dropped + 1 - digits.size(), '0');
    roundToLength(digits, digits.size() - dropped);
  } else {
    digits.append(static_cast<std::size_t>(decimals - scale), '0');
  }

  // digits now counts units of 10^-decimals; place the point.
  if (places > 0) {
    if (digits.size() <= places) digits.insert(0, places + 1 - digits.size(), '0');
    digits.insert(digits.size() - places, 1, '.');
  }
  return sign + digits;
}
