#include "pricing/error_bound/series_length.hpp"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "pricing/error_bound/price_bound.hpp"

namespace {

using jdpricer::kSettledTail;
using jdpricer::settledPoissonMean;

// Each m_n is where the tail bound crosses the floor: at m_n it is below,
// a relative 1e-12 above it is not (n >= 1; m_0 is a few ulps of 2^-54).
TEST(SeriesLength, SettledMeansAreWhereTheTailCrossesTheFloor) {
  for (int n = 0; n <= 170; ++n) {
    const double m = settledPoissonMean(n);
    EXPECT_LE(jdpricer::poissonTailAbove(m, n), kSettledTail) << n;
    EXPECT_GT(jdpricer::poissonTailAbove(m * (1.0 + 1e-12) + 1e-30, n), kSettledTail) << n;
    if (n > 0) EXPECT_GT(m, settledPoissonMean(n - 1)) << n;
  }
}

TEST(SeriesLength, SmallestLengthWithBothTailsSettledCappedAt170) {
  const jdpricer::SeriesLengthRule rule(0.16, 1.0, 0.4, 10.0, 5.0);
  const double zeta = (0.4 * 10.0) / 9.0 + (0.6 * 5.0) / 6.0 - 1.0;
  for (double T : {1e-9, 0.025, 0.5, 1.0, 5.8, 20.0, 60.0}) {
    const int n = rule(T);
    const double mean = std::fmax((1.0 + zeta) * 1.0, 1.0) * T;
    EXPECT_LE(jdpricer::poissonTailAbove(mean, n), kSettledTail) << T;
    EXPECT_GT(jdpricer::poissonTailAbove(mean, n - 1), kSettledTail) << T;
  }
  EXPECT_EQ(rule(200.0), 170);
  EXPECT_EQ(rule(HUGE_VAL), 170);
  EXPECT_EQ(rule(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(rule(0.0), 0);
  EXPECT_EQ(rule(-1.0), 0);
  EXPECT_EQ(jdpricer::SeriesLengthRule(0.16, 0.0, 0.4, 10.0, 5.0)(5.0), 0);
  EXPECT_EQ(jdpricer::SeriesLengthRule(0.16, 1.0, 0.4, 0.5, 5.0)(0.5), 170);
  EXPECT_EQ(jdpricer::SeriesLengthRule(0.16, -1.0, 0.4, 10.0, 5.0)(0.5), 170);
}

}  // namespace
