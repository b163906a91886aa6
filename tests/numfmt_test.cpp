#include "app/numfmt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tests/numfmt_reference.h"

namespace {

std::string glibcFormat(double value, int decimals) {
  std::vector<char> buffer(400 + static_cast<std::size_t>(decimals));
  std::snprintf(buffer.data(), buffer.size(), "%.*f", decimals, value);
  return buffer.data();
}

// The snprintf comparisons need a C runtime that prints exact digits (glibc does; old msvcrt
// does not). Probe it rather than assume.
bool runtimePrintsExactDigits() {
  return glibcFormat(0.1, 55) == "0.1000000000000000055511151231257827021181583404541015625" &&
         glibcFormat(1e23, 0) == "99999999999999991611392";
}

// ---------------------------------------------------------------------------------------------

struct Case {
  double value;
  int decimals;
  std::string expected;
};

void expectCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(formatFixed(c.value, c.decimals), c.expected)
        << "value " << std::hexfloat << c.value << " decimals " << c.decimals;
  }
}

// Halves round away from zero, where printf would round to even.
TEST(FormatFixed, ExactHalvesRoundAwayFromZero) {
  expectCases({
      {0.125, 2, "0.13"},
      {0.375, 2, "0.38"},
      {2.5, 0, "3"},
      {0.5, 0, "1"},
      {1.5, 0, "2"},
      {123456.125, 2, "123456.13"},
      {-2.5, 0, "-3"},
      {-0.125, 2, "-0.13"},
      {1.25, 1, "1.3"},
  });
}

TEST(FormatFixed, SignAndZero) {
  expectCases({
      {0.0, 2, "0.00"},
      {0.0, 0, "0"},
      {-0.0, 2, "-0.00"},
      {-0.0, 0, "-0"},
      {-2.0 / 1024, 2, "-0.00"},  // -0.001953125
      {-2.0 / 1048576, 0, "-0"},  // -0.0000019073486328125
      {-0.005, 2, "-0.01"},       // exact -0.005000000000000000104...
      {-1234.5678, 2, "-1234.57"},
  });
}

TEST(FormatFixed, OrdinaryValues) {
  expectCases({
      {1234.5678, 2, "1234.57"},
      {3.0, 2, "3.00"},
      {0.1, 2, "0.10"},
      {1.0 / 3, 2, "0.33"},
      {2.0 / 3, 2, "0.67"},
      {999.0, 0, "999"},
      {7.0, 1, "7.0"},
      {465.75 / 1024, 2, "0.45"},  // 0.454833984375
      {1536.0 / 1024, 2, "1.50"},
  });
}

// Each expectation follows from the exact expansion noted beside it.
TEST(FormatFixed, FirstStageDecidesTheHalf) {
  expectCases({
      // 1005000966.00499999523...: 17 digits give 1005000966.0050000, a half.
      {1005000966.005, 2, "1005000966.01"},
      // 0.99499999999999999555...: 17 digits give 0.99500000000000000, a half, then a carry.
      {0.995, 2, "1.00"},
      // 9.99499999999999921840...: 17 digits give 9.9949999999999992, still below the half.
      {9.995, 2, "9.99"},
      // 9999999.99499999918...: 17 digits give 9999999.9949999999.
      {9999999.995, 2, "9999999.99"},
      // 0.10000000000000000555...: the 18th digit is 5, so the 17th goes up.
      {0.1, 20, "0.10000000000000001000"},
      // (2^52 + 1) / 4 = 1125899906842624.25 has 18 digits: the 17-digit stage is a half itself.
      {1125899906842624.25, 1, "1125899906842624.3"},
      {1125899906842624.25, 2, "1125899906842624.30"},
      {1125899906842624.25, 0, "1125899906842624"},
  });
}

TEST(FormatFixed, CarryIntoNewDigit) {
  expectCases({
      {99.995, 2, "100.00"},  // 99.99500000000000454...
      {9.996, 2, "10.00"},
      {999.5, 0, "1000"},
      {-999.5, 0, "-1000"},
      {9.9999, 2, "10.00"},
      {0.96, 0, "1"},
  });
}

TEST(FormatFixed, LargeValuesPrintEveryIntegerDigit) {
  const std::string dblMax =
      "17976931348623157" + std::string(292, '0');  // 1.7976931348623157|08e308
  expectCases({
      {1e20 + 12345, 2, "100000000000000020000.00"},      // 100000000000000016384
      {1e23, 0, "99999999999999992000000"},               // 99999999999999991611392
      {9223372036854775808.0, 0, "9223372036854775800"},  // 2^63 = 92233720368547758|08
      {1e308, 0, "1" + std::string(308, '0')},            // 1.0000000000000000|1098e308
      {DBL_MAX, 2, dblMax + ".00"},
      {-DBL_MAX, 0, "-" + dblMax},
  });
}

TEST(FormatFixed, Denormals) {
  // 2^-1074 = 4.9406564584124654|4177e-324: its 17 digits end exactly at the 340th decimal.
  const std::string trueMin340 = "0." + std::string(323, '0') + "49406564584124654";
  expectCases({
      {DBL_TRUE_MIN, 2, "0.00"},
      {-DBL_TRUE_MIN, 2, "-0.00"},
      {DBL_MIN, 0, "0"},
      {DBL_TRUE_MIN, 340, trueMin340},
  });
}

TEST(FormatFixed, NonFiniteValues) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  expectCases({
      {nan, 2, "nan"},
      {-nan, 0, "nan"},  // glibc would print "-nan"; the sign of a NaN means nothing to a user
      {inf, 2, "inf"},
      {-inf, 0, "-inf"},
  });
}

TEST(FormatFixed, OutOfRangeDecimalsAreClamped) {
  const std::string trueMinClamped = "0." + std::string(323, '0') + "49406564584124654";
  expectCases({
      {1.5, -1, "2"},
      {1.5, INT_MIN, "2"},
      {-0.0, -7, "-0"},
      {DBL_TRUE_MIN, kMaxFixedDecimals + 1, trueMinClamped},
      {DBL_TRUE_MIN, INT_MAX, trueMinClamped},
  });
}

// The independent reference is only worth something if it is right; pin it to known expansions.
TEST(ReferenceFormatter, MatchesKnownExpansions) {
  const Expansion tenth = exactExpansion(0.1);
  EXPECT_EQ(tenth.digits.substr(0, tenth.intLength), std::string(tenth.intLength, '0'));
  EXPECT_EQ(tenth.digits.substr(tenth.intLength),
            "1000000000000000055511151231257827021181583404541015625");
  EXPECT_EQ(exactExpansion(1e23).digits, "99999999999999991611392");
  const Expansion trueMin = exactExpansion(DBL_TRUE_MIN);
  EXPECT_EQ(trueMin.digits.size() - trueMin.intLength, 1074u);  // 2^-1074 has 1074 decimals
  EXPECT_EQ(trueMin.digits.substr(trueMin.intLength + 323, 17), "49406564584124654");
  const Expansion nearHalf = exactExpansion(1005000966.005);
  EXPECT_EQ(roundExpansion(nearHalf, 2, true), "1005000966.01");
  EXPECT_EQ(roundExpansion(nearHalf, 2, false), "1005000966.00");
  EXPECT_FALSE(isExactTie(nearHalf, 2));
  EXPECT_TRUE(isExactTie(exactExpansion(123456.125), 2));
  EXPECT_EQ(referenceFormat(-0.0, 2), "-0.00");
}

// ---------------------------------------------------------------------------------------------
// Property test: many doubles from several generators, each checked against the reference and,
// where the two rounding stages provably agree with one correctly rounded step, against glibc.

double fromBits(std::uint64_t bits) {
  double value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

TEST(FormatFixed, MatchesReferenceOnRandomDoubles) {
  std::mt19937_64 rng(20240611);
  auto uniform = [&rng](std::uint64_t lo, std::uint64_t hi) {  // inclusive
    return std::uniform_int_distribution<std::uint64_t>(lo, hi)(rng);
  };
  auto randomSign = [&](double v) { return uniform(0, 1) ? -v : v; };
  auto toolDecimals = [&] {  // mostly what the tool prints, sometimes anything printf-like
    static const int kChoices[] = {0, 2, 0, 2, 0, 2, 1, 3, 6, 10, 17, 20};
    return kChoices[uniform(0, std::size(kChoices) - 1)];
  };

  struct Sample {
    double value;
    int decimals;
  };
  std::vector<Sample> samples;
  // Any bit pattern: every magnitude, denormals, NaN and infinities.
  for (int i = 0; i < 60000; ++i) {
    samples.push_back({fromBits(uniform(0, UINT64_MAX)), toolDecimals()});
  }
  for (int i = 0; i < 10000; ++i) {
    samples.push_back({fromBits(uniform(0, UINT64_MAX)), static_cast<int>(uniform(0, 340))});
  }
  // Byte counts up to 10 TB shown in KiB, MiB, GiB or TiB.
  for (int i = 0; i < 50000; ++i) {
    double v = static_cast<double>(uniform(0, 10000000000000));
    for (auto k = uniform(0, 4); k > 0; --k) v /= 1024;
    samples.push_back({v, toolDecimals()});
  }
  // Exact ties at the printed place: odd / 2^(decimals + 1) ends in a 5 right after it.
  for (int i = 0; i < 30000; ++i) {
    const int decimals = static_cast<int>(uniform(0, 8));
    const auto odd = static_cast<double>(uniform(0, (std::uint64_t{1} << uniform(1, 52)) - 1) | 1);
    samples.push_back({randomSign(std::ldexp(odd, -(decimals + 1))), decimals});
  }
  // Exact ties at the 17-digit stage: odd * 2^-k has the 18 digits of odd * 5^k, ending in 5,
  // when odd * 5^k is in [1e17, 1e18).
  for (int i = 0; i < 30000; ++i) {
    const int k = static_cast<int>(uniform(2, 25));
    std::uint64_t pow5 = 1;
    for (int j = 0; j < k; ++j) pow5 *= 5;
    const std::uint64_t lo = (100000000000000000 + pow5 - 1) / pow5;
    const std::uint64_t hi =
        std::min<std::uint64_t>(std::uint64_t{1} << 53, 999999999999999999 / pow5);
    const std::uint64_t odd = uniform(lo / 2, (hi - 1) / 2) * 2 + 1;
    samples.push_back({randomSign(std::ldexp(static_cast<double>(odd), -k)), toolDecimals()});
  }
  // Nearest doubles to decimal halves such as 1005000966.005: whether they print as a half
  // depends on the 17-digit stage.
  for (int i = 0; i < 30000; ++i) {
    const int decimals = static_cast<int>(uniform(0, 4));
    // Just above a power of ten a double's spacing is close to the 17-digit unit, so there the
    // 17-digit stage most often lands back on the decimal half.
    const auto power =
        static_cast<std::uint64_t>(std::pow(10.0, static_cast<double>(uniform(0, 12))));
    std::string text = std::to_string(uniform(0, 1) ? uniform(0, power * 10 - 1)
                                                    : power + uniform(0, power / 16)) +
                       ".";
    for (int d = 0; d < decimals; ++d) text += static_cast<char>('0' + uniform(0, 9));
    samples.push_back({randomSign(std::strtod((text + "5").c_str(), nullptr)), decimals});
  }

  const bool checkGlibc = runtimePrintsExactDigits();
  int failures = 0, glibcCompared = 0, placeTies = 0, pastSignificant = 0, halvesCreated = 0;
  auto check = [&failures](const Sample& s, const std::string& actual, const std::string& expected,
                           const char* oracle) {
    if (actual != expected && ++failures <= 10) {
      ADD_FAILURE() << "value " << std::hexfloat << s.value << " decimals " << s.decimals
                    << ": got " << actual << ", " << oracle << " " << expected;
    }
  };
  for (const Sample& s : samples) {
    const std::string actual = formatFixed(s.value, s.decimals);
    if (!std::isfinite(s.value)) {
      check(s, actual, referenceFormat(s.value, s.decimals), "reference");
      continue;
    }
    const Expansion exact = exactExpansion(s.value);
    const std::string sign = std::signbit(s.value) ? "-" : "";
    const std::string expected = sign + roundExpansion(exact, s.decimals, true);
    check(s, actual, expected, "reference");
    // glibc rounds the exact value once, correctly, and ties to even: it must agree wherever
    // the exact value is not a tie and the 17-digit stage does not change the outcome.
    if (isExactTie(exact, s.decimals)) {
      ++placeTies;
    } else if (sign + roundExpansion(exact, s.decimals, false) != expected) {
      // Either the printed place lies past the 17th significant digit, or the 17-digit stage
      // turned a value just below a half into a half.
      const std::size_t place = exact.intLength + static_cast<std::size_t>(s.decimals);
      ++(place > exact.digits.find_first_not_of('0') + 17 ? pastSignificant : halvesCreated);
    } else if (checkGlibc) {
      ++glibcCompared;
      check(s, actual, glibcFormat(s.value, s.decimals), "glibc");
    }
  }
  EXPECT_EQ(failures, 0);
  // Guard against generators that drift away from the cases they exist for.
  EXPECT_GT(placeTies, 20000);
  EXPECT_GT(pastSignificant, 20000);
  EXPECT_GT(halvesCreated, 3000);
  if (checkGlibc) {
    EXPECT_GT(glibcCompared, 100000);
  }
  std::printf(
      "%d samples: %d exact ties, %d printed past 17 digits, %d halves made by the "
      "17-digit stage, %d compared with snprintf\n",
      static_cast<int>(samples.size()), placeTies, pastSignificant, halvesCreated, glibcCompared);
}

}  // namespace
