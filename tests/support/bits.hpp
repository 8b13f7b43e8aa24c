// Bit-level comparison of doubles and a generator of awkward inputs.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

namespace testing_bits {

inline std::uint64_t bitsOf(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// Same bit pattern, or both NaN: which NaN payload an operation propagates
// depends on the operand order the compiler picks for a commutative
// operation, so NaNs are compared as NaNs. Signed zeros and infinities are
// compared by their bits.
inline ::testing::AssertionResult sameBits(double expected, double actual) {
  if (std::isnan(expected) && std::isnan(actual)) return ::testing::AssertionSuccess();
  if (bitsOf(expected) == bitsOf(actual)) return ::testing::AssertionSuccess();
  char buf[160];
  std::snprintf(buf, sizeof buf, "expected %.17g (0x%016llx), got %.17g (0x%016llx)", expected,
                static_cast<unsigned long long>(bitsOf(expected)), actual,
                static_cast<unsigned long long>(bitsOf(actual)));
  return ::testing::AssertionFailure() << buf;
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Mostly values from a plausible range, sometimes one of the awkward ones.
class AwkwardDoubles {
 public:
  explicit AwkwardDoubles(std::uint64_t seed) : rng_(seed) {}

  double draw(double lo, double hi, double specialRate = 0.08) {
    if (uniform() < specialRate) return special();
    return lo + (hi - lo) * uniform();
  }

  double special() {
    static constexpr double kSpecials[] = {kNaN, kInf, -kInf, 0.0, -0.0, -1.0, 1.0,
                                           -0.3, 2.5, 1e-300, 1e300, -1e300};
    return kSpecials[rng_() % (sizeof kSpecials / sizeof kSpecials[0])];
  }

  int integer(int lo, int hi) { return lo + static_cast<int>(rng_() % (hi - lo + 1)); }
  double uniform() { return std::uniform_real_distribution<double>(0.0, 1.0)(rng_); }

 private:
  std::mt19937_64 rng_;
};

}  // namespace testing_bits
