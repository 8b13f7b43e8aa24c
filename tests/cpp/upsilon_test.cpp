#include "pricing/closed_form/upsilon.hpp"

#include <climits>
#include <cmath>

#include <gtest/gtest.h>

#include "pricing/closed_form/options.hpp"
#include "support/bits.hpp"
#include "support/literal_kou.hpp"

namespace {

using jdpricer::Option;
using testing_bits::AwkwardDoubles;
using testing_bits::kInf;
using testing_bits::kNaN;
using testing_bits::sameBits;

// mu = 0.03, sigma = 0.16, lam = 1, p = 0.4, eta1 = 10, eta2 = 5, a = 0, T = 0.5
double referenceUpsilon(int N) { return Option::Upsilon(N, 0.03, 0.16, 1.0, 0.4, 10.0, 5.0, 0.0, 0.5); }

TEST(Upsilon, ReferenceValues) {
  EXPECT_NEAR(referenceUpsilon(0), 0.33525268, 5e-9);
  EXPECT_NEAR(referenceUpsilon(1), 0.46457940, 5e-9);
  EXPECT_NEAR(referenceUpsilon(2), 0.49113797, 5e-9);
  EXPECT_NEAR(referenceUpsilon(5), 0.49533703, 5e-9);
  EXPECT_NEAR(referenceUpsilon(10), 0.49533982, 5e-9);
  EXPECT_NEAR(referenceUpsilon(40), 0.4953398214, 5e-11);
}

TEST(Upsilon, NoTermsLeavesTheJumpFreeProbability) {
  const double c = 0.0 - 0.03 * 0.5;
  const double jumpFree = literal_kou::normalCdf(-c / (std::sqrt(0.5) * 0.16)) * std::exp(-0.5);
  for (int N : {0, -1, -3, INT_MIN}) {
    EXPECT_TRUE(sameBits(jumpFree + (0.0 + 0.0), referenceUpsilon(N))) << "N = " << N;
  }
}

TEST(Upsilon, NoJumpsGiveTheDiffusionProbabilityForAnyLength) {
  const double c = 0.1 - 0.02 * 2.0;
  const double diffusion = literal_kou::normalCdf(-c / (std::sqrt(2.0) * 0.3));
  for (int N : {0, 1, 7, 50, 170}) {
    EXPECT_EQ(diffusion, Option::Upsilon(N, 0.02, 0.3, 0.0, 0.35, 4.0, 6.0, 0.1, 2.0));
  }
}

TEST(Upsilon, DegenerateInputsGiveNaN) {
  for (int N : {0, 3}) {
    EXPECT_TRUE(std::isnan(Option::Upsilon(N, 0.03, 0.0, 1.0, 0.4, 10.0, 5.0, 0.0, 0.5)));
    EXPECT_TRUE(std::isnan(Option::Upsilon(N, 0.03, 0.16, 1.0, 0.4, 10.0, 5.0, 0.0, 0.0)));
    EXPECT_TRUE(std::isnan(Option::Upsilon(N, 0.03, 0.16, 1.0, 0.4, 10.0, 5.0, 0.0, -0.5)));
  }
}

TEST(Upsilon, OneSidedJumps) {
  // p = 1: every Q and every P with k < n vanish, so eta2 no longer matters;
  // p = 0: likewise for eta1.
  EXPECT_EQ(Option::Upsilon(8, 0.03, 0.16, 1.0, 1.0, 10.0, 5.0, 0.0, 0.5),
            Option::Upsilon(8, 0.03, 0.16, 1.0, 1.0, 10.0, 17.0, 0.0, 0.5));
  EXPECT_EQ(Option::Upsilon(8, 0.03, 0.16, 1.0, 0.0, 10.0, 5.0, 0.0, 0.5),
            Option::Upsilon(8, 0.03, 0.16, 1.0, 0.0, 30.0, 5.0, 0.0, 0.5));
  EXPECT_NE(Option::Upsilon(8, 0.03, 0.16, 1.0, 0.4, 10.0, 5.0, 0.0, 0.5),
            Option::Upsilon(8, 0.03, 0.16, 1.0, 0.4, 10.0, 17.0, 0.0, 0.5));
  // eta1 <= 0 puts every upward integral in the zero case.
  EXPECT_TRUE(sameBits(literal_kou::Upsilon(6, 0.03, 0.16, 1.0, 0.4, -2.0, 5.0, 0.0, 0.5),
                       Option::Upsilon(6, 0.03, 0.16, 1.0, 0.4, -2.0, 5.0, 0.0, 0.5)));
}

TEST(Upsilon, LengthOf171OrMoreIsNaNAtOnce) {
  for (int N : {171, 172, 1000, 1 << 20, INT_MAX}) {
    EXPECT_TRUE(std::isnan(referenceUpsilon(N))) << "N = " << N;
    EXPECT_TRUE(std::isnan(Option::Upsilon(N, 0.0, 0.2, 0.0, 0.5, 3.0, 3.0, 0.0, 1.0)));
  }
  // The last finite length still sums.
  EXPECT_NEAR(referenceUpsilon(170), 0.4953398214, 5e-11);
}

TEST(Upsilon, MatchesLiteralEvaluationBitForBit) {
  AwkwardDoubles gen(7);
  for (int trial = 0; trial < 300; ++trial) {
    const int N = gen.integer(-3, 16);
    const double mu = gen.draw(-0.5, 0.5), sigma = gen.draw(0.01, 0.8);
    const double lam = gen.draw(0.0, 5.0), p = gen.draw(-0.2, 1.2);
    const double eta1 = gen.draw(0.5, 40.0), eta2 = gen.draw(0.5, 40.0);
    const double a = gen.draw(-1.0, 1.0), T = gen.draw(0.01, 5.0);
    ASSERT_TRUE(sameBits(literal_kou::Upsilon(N, mu, sigma, lam, p, eta1, eta2, a, T),
                         Option::Upsilon(N, mu, sigma, lam, p, eta1, eta2, a, T)))
        << "N=" << N << " mu=" << mu << " sigma=" << sigma << " lam=" << lam << " p=" << p
        << " eta1=" << eta1 << " eta2=" << eta2 << " a=" << a << " T=" << T;
  }
}

TEST(Upsilon, LongSeriesMatchLiteralSummationBitForBit) {
  // Beyond a few dozen terms the recursive Hh is out of reach; with the
  // engine's integralI (itself checked against the recursion) the literal
  // summation still runs, and it covers the binomial rows that long series
  // recompute instead of caching.
  struct Case { int N; double mu, sigma, lam, p, eta1, eta2, a, T; };
  for (const Case& c : {Case{100, 0.03, 0.16, 1.0, 0.4, 10.0, 5.0, 0.0, 0.5},
                        Case{100, -0.1, 0.35, 4.0, 0.7, 3.0, 12.0, 0.2, 2.0},
                        Case{170, 0.05, 0.2, 2.0, 0.3, 20.0, 8.0, -0.1, 1.0}}) {
    ASSERT_TRUE(sameBits(
        literal_kou::Upsilon(c.N, c.mu, c.sigma, c.lam, c.p, c.eta1, c.eta2, c.a, c.T,
                             jdpricer::integralI),
        Option::Upsilon(c.N, c.mu, c.sigma, c.lam, c.p, c.eta1, c.eta2, c.a, c.T)))
        << "N = " << c.N;
  }
}

}  // namespace
