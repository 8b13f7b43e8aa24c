#include "pricing/closed_form/hh_integral.hpp"
#include "pricing/closed_form/integral_family.hpp"

#include <climits>
#include <cmath>

#include <gtest/gtest.h>

#include "support/bits.hpp"
#include "support/literal_kou.hpp"

namespace {

using jdpricer::Hh;
using jdpricer::integralI;
using jdpricer::normalCdf;
using testing_bits::AwkwardDoubles;
using testing_bits::kInf;
using testing_bits::kNaN;
using testing_bits::sameBits;

TEST(NormalCdf, FormedFromErfcWithTheSqrtTwoDivision) {
  EXPECT_EQ(normalCdf(0.0), 0.5);
  EXPECT_EQ(normalCdf(40.0), 1.0);
  // 1 - 0.5*erfc(.) cancels in the left tail: only absolute accuracy there,
  // and exactly 0 once erfc rounds to 2 (Phi(-10) is about 7.6e-24).
  EXPECT_NEAR(normalCdf(-5.0), 2.8665157187919391e-07, 2e-16);
  EXPECT_EQ(normalCdf(-10.0), 0.0);
  EXPECT_TRUE(std::isnan(normalCdf(kNaN)));
  EXPECT_EQ(normalCdf(-kInf), 0.0);
}

TEST(Hh, ValuesAtZero) {
  EXPECT_EQ(Hh(-1, 0.0), 1.0);
  EXPECT_EQ(Hh(0, 0.0), jdpricer::kSqrtTwoPi / 2.0);
  EXPECT_EQ(Hh(1, 0.0), 1.0);
  EXPECT_EQ(Hh(2, 0.0), Hh(0, 0.0) / 2.0);
  EXPECT_EQ(Hh(3, 0.0), 1.0 / 3.0);
}

TEST(Hh, ZeroOrderVanishesExactlyBeyondAboutEightPointThree) {
  EXPECT_GT(Hh(0, 8.0), 0.0);
  for (double x : {8.3, 8.5, 10.0, 37.0, 1e10, kInf}) {
    EXPECT_TRUE(sameBits(0.0, Hh(0, x))) << "x = " << x;
  }
}

TEST(Hh, BelowMinusOneIsNaN) {
  EXPECT_TRUE(std::isnan(Hh(-2, 0.5)));
  EXPECT_TRUE(std::isnan(Hh(INT_MIN, 0.5)));
}

TEST(Hh, UpwardPassMatchesDoublyRecursiveDefinitionBitForBit) {
  AwkwardDoubles gen(11);
  for (int trial = 0; trial < 400; ++trial) {
    const double x = gen.draw(-12.0, 12.0, 0.15);
    for (int n = -1; n <= 20; ++n) {
      ASSERT_TRUE(sameBits(literal_kou::Hh(n, x), Hh(n, x))) << "n = " << n << ", x = " << x;
    }
  }
}

TEST(Hh, FillHhMatchesSeparateCalls) {
  double table[jdpricer::kSeriesTableSize];
  for (double x : {-7.5, -1.0, 0.0, 0.3, 4.0, 9.0, kNaN, kInf, -kInf}) {
    jdpricer::fillHh(x, jdpricer::kSeriesTableSize, table);
    for (int i = 0; i < jdpricer::kSeriesTableSize; ++i) {
      ASSERT_TRUE(sameBits(Hh(i, x), table[i])) << "i = " << i << ", x = " << x;
    }
  }
}

TEST(Hh, LargeOrderShortcutKeepsTheBitsOfStepping) {
  // These x send the recursion to zeros, infinities of both signs or NaN,
  // where it turns periodic and the shortcut takes over.
  for (double x : {-1e300, -800.0, -30.0, -1.5, 0.0, 2.0, 25.0, 900.0, 1e300, kInf, -kInf, kNaN}) {
    for (int n : {200, 3001, 3002, 20000, 20001}) {
      ASSERT_TRUE(sameBits(literal_kou::steppedHh(n, x), Hh(n, x))) << "n = " << n << ", x = " << x;
    }
  }
}

TEST(Hh, HugeOrderTakesTheShortcut) {
  // Stepping 2^31 times would take many seconds per value.
  for (double x : {-1e300, -30.0, 0.0, 5.0, 1e300, kInf, kNaN}) {
    const double v = Hh(INT_MAX, x);
    EXPECT_TRUE(v == 0.0 || !std::isfinite(v)) << "x = " << x << " gave " << v;
    EXPECT_TRUE(sameBits(v, Hh(INT_MAX - 2 * 3 * 5 * 7, x))) << "x = " << x;
  }
}

TEST(IntegralI, ReferenceExamples) {
  // Case B: int_0^inf e^-x sqrt(2 pi) Phi(x) dx = sqrt(2 pi) (0.5 + e^(1/2) Phi(-1)).
  const double caseB = integralI(0, 0.0, -1.0, -1.0, 0.0);
  EXPECT_NEAR(caseB, 1.90899368, 5e-9);
  EXPECT_NEAR(caseB, jdpricer::kSqrtTwoPi * (0.5 + std::exp(0.5) * normalCdf(-1.0)), 1e-15);
  EXPECT_NEAR(integralI(1, -0.2, 3.0, 2.0, -0.5), 0.44342101, 5e-9);
}

TEST(IntegralI, ZeroOutsideTheTwoCases) {
  for (double beta : {1.0, -1.0, 0.0, -0.0, kNaN}) {
    EXPECT_TRUE(sameBits(0.0, integralI(3, 0.1, 0.0, beta, 0.2)));
    EXPECT_TRUE(sameBits(0.0, integralI(3, 0.1, -0.0, beta, 0.2)));
  }
  EXPECT_TRUE(sameBits(0.0, integralI(2, 0.1, 1.5, 0.0, 0.2)));
  EXPECT_TRUE(sameBits(0.0, integralI(2, 0.1, -1.5, -0.0, 0.2)));
  EXPECT_TRUE(sameBits(0.0, integralI(2, 0.1, -1.5, kNaN, 0.2)));
  EXPECT_TRUE(sameBits(0.0, integralI(2, 0.1, 1.5, -2.0, 0.2)));
  EXPECT_TRUE(sameBits(0.0, integralI(2, 0.1, kNaN, -2.0, 0.2)));
  EXPECT_TRUE(std::isnan(integralI(2, 0.1, kNaN, 2.0, 0.2)));
}

TEST(IntegralI, MatchesLiteralEvaluationBitForBit) {
  AwkwardDoubles gen(23);
  for (int trial = 0; trial < 600; ++trial) {
    const int n = gen.integer(-3, 18);
    const double c = gen.draw(-3.0, 3.0);
    const double alpha = gen.draw(-20.0, 20.0);
    const double beta = gen.draw(-15.0, 15.0);
    const double delta = gen.draw(-4.0, 4.0);
    ASSERT_TRUE(sameBits(literal_kou::integralI(n, c, alpha, beta, delta),
                         integralI(n, c, alpha, beta, delta)))
        << "n=" << n << " c=" << c << " alpha=" << alpha << " beta=" << beta
        << " delta=" << delta;
  }
}

TEST(IntegralI, TablesMatchSeparateCalls) {
  double table[jdpricer::kSeriesTableSize];
  AwkwardDoubles gen(5);
  for (int trial = 0; trial < 60; ++trial) {
    const double c = gen.draw(-2.0, 2.0), alpha = gen.draw(-30.0, 30.0);
    const double beta = gen.draw(-10.0, 10.0), delta = gen.draw(-3.0, 3.0);
    const int count = gen.integer(1, jdpricer::kMaxSeriesTerms);
    jdpricer::fillIntegralI(count, c, alpha, beta, delta, table);
    for (int m = 0; m < count; ++m) {
      ASSERT_TRUE(sameBits(integralI(m, c, alpha, beta, delta), table[m])) << "m = " << m;
    }
  }
}

TEST(IntegralI, NegativeOrdersTakeTheFirstTermOnly) {
  for (int n : {-1, -5, INT_MIN}) {
    for (double rho_scale : {0.5, 2.0}) {
      const double alpha = -2.0, beta = -2.0 * rho_scale;
      EXPECT_TRUE(sameBits(literal_kou::integralI(n, 0.3, alpha, beta, 0.1),
                           integralI(n, 0.3, alpha, beta, 0.1)))
          << "n = " << n;
    }
  }
}

}  // namespace
