#include "pricing/closed_form/options.hpp"

#include <climits>
#include <cmath>

#include <gtest/gtest.h>

#include "support/black_scholes.hpp"

#include "support/bits.hpp"
#include "support/literal_kou.hpp"

namespace {

using jdpricer::EuropeanCall;
using jdpricer::EuropeanOption;
using jdpricer::EuropeanPut;
using testing_bits::AwkwardDoubles;
using testing_bits::kInf;
using testing_bits::kNaN;
using testing_bits::sameBits;

// T = 0.5, K = 98, S = 100, r = 0.05, sigma = 0.16, lam = 1, p = 0.4, eta1 = 10, eta2 = 5.
double referencePrice(const EuropeanOption& option, int n) {
  return option.priceByKouJumpDiffusion(100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, n);
}

TEST(EuropeanPrices, ReferenceCallsAndPuts) {
  const EuropeanCall call(0.5, 98.0);
  const EuropeanPut put(0.5, 98.0);
  struct Row { int n; double call, put; };
  for (const Row& row : {Row{0, 5.45374864, 1.03412002}, Row{1, 8.31115305, 3.89152443},
                         Row{5, 9.14720979, 4.72758116}, Row{10, 9.14731730, 4.72768868}}) {
    EXPECT_NEAR(referencePrice(call, row.n), row.call, 5e-9) << "n = " << row.n;
    EXPECT_NEAR(referencePrice(put, row.n), row.put, 5e-9) << "n = " << row.n;
  }
  // Converged: no change in the first eight digits from n of about 10 on.
  EXPECT_NEAR(referencePrice(call, 30), 9.14731730, 5e-9);
  EXPECT_NEAR(referencePrice(put, 170), 4.72768868, 5e-9);
}

using testing_bits::blackScholesCall;

TEST(EuropeanPrices, BlackScholesLimitWithoutJumps) {
  EXPECT_NEAR(EuropeanCall(0.5, 98.0).priceByKouJumpDiffusion(100.0, 0.05, 0.16, 0.0, 0.4, 10.0,
                                                              5.0, 10),
              6.96828469, 5e-9);
  struct Case { double T, K, S, r, sigma; };
  for (const Case& c : {Case{0.5, 98.0, 100.0, 0.05, 0.16}, Case{2.0, 130.0, 100.0, 0.01, 0.4},
                        Case{0.1, 70.0, 100.0, 0.03, 0.25}, Case{5.0, 100.0, 100.0, 0.0, 0.08}}) {
    const double bsCall = blackScholesCall(c.T, c.K, c.S, c.r, c.sigma);
    const double bsPut = bsCall + c.K * std::exp(-c.r * c.T) - c.S;
    for (int n : {0, 1, 5, 20, 170}) {
      const double call = EuropeanCall(c.T, c.K).priceByKouJumpDiffusion(c.S, c.r, c.sigma, 0.0,
                                                                         0.3, 8.0, 6.0, n);
      const double put = EuropeanPut(c.T, c.K).priceByKouJumpDiffusion(c.S, c.r, c.sigma, 0.0,
                                                                       0.3, 8.0, 6.0, n);
      EXPECT_NEAR(call, bsCall, 1e-12 * c.S) << "n = " << n << ", K = " << c.K;
      EXPECT_NEAR(put, bsPut, 1e-12 * c.S) << "n = " << n << ", K = " << c.K;
    }
  }
}

TEST(EuropeanPrices, NoTermsIsNotBlackScholes) {
  const double jumpFree = referencePrice(EuropeanCall(0.5, 98.0), 0);
  EXPECT_GT(std::fabs(jumpFree - 6.96828469), 1.0);
  EXPECT_TRUE(sameBits(jumpFree, referencePrice(EuropeanCall(0.5, 98.0), -7)));
  EXPECT_TRUE(sameBits(jumpFree, referencePrice(EuropeanCall(0.5, 98.0), INT_MIN)));
}

TEST(EuropeanPrices, PutIsTheCallByParityToTheBit) {
  AwkwardDoubles gen(3);
  for (int trial = 0; trial < 200; ++trial) {
    const double T = gen.draw(0.05, 4.0), K = gen.draw(50.0, 150.0), S = gen.draw(50.0, 150.0);
    const double r = gen.draw(-0.02, 0.1), sigma = gen.draw(0.05, 0.6), lam = gen.draw(0.0, 4.0);
    const double p = gen.draw(0.0, 1.0), eta1 = gen.draw(1.5, 40.0), eta2 = gen.draw(0.5, 40.0);
    const int n = gen.integer(-2, 40);
    const double C = EuropeanCall(T, K).priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1, eta2, n);
    const double P = EuropeanPut(T, K).priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1, eta2, n);
    ASSERT_TRUE(sameBits((std::exp(-r * T) * K + C) - S, P));
    // Pricing again gives the same bits: nothing is cached or mutated.
    ASSERT_TRUE(sameBits(C, EuropeanCall(T, K).priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1,
                                                                      eta2, n)));
  }
}

TEST(EuropeanPrices, VirtualDispatchThroughTheBase) {
  const EuropeanCall call(0.5, 98.0);
  const EuropeanPut put(0.5, 98.0);
  const EuropeanOption& asCall = call;
  const EuropeanOption& asPut = put;
  EXPECT_TRUE(sameBits(referencePrice(call, 5),
                       call.EuropeanCall::priceByKouJumpDiffusion(100.0, 0.05, 0.16, 1.0, 0.4,
                                                                   10.0, 5.0, 5)));
  EXPECT_NE(referencePrice(asCall, 5), referencePrice(asPut, 5));
}

TEST(EuropeanPrices, SeriesOf171OrMoreTermsIsNaN) {
  for (int n : {171, 1000, INT_MAX}) {
    EXPECT_TRUE(std::isnan(referencePrice(EuropeanCall(0.5, 98.0), n))) << n;
    EXPECT_TRUE(std::isnan(referencePrice(EuropeanPut(0.5, 98.0), n))) << n;
  }
}

TEST(EuropeanPrices, DegenerateInputs) {
  const EuropeanCall call(0.5, 98.0);
  // eta1 = 1 divides by zero; sigma = 0, T = 0 and T < 0 give NaN for every n.
  EXPECT_FALSE(std::isfinite(call.priceByKouJumpDiffusion(100.0, 0.05, 0.16, 1.0, 0.4, 1.0, 5.0, 3)));
  for (int n : {0, 4}) {
    EXPECT_TRUE(std::isnan(call.priceByKouJumpDiffusion(100.0, 0.05, 0.0, 1.0, 0.4, 10.0, 5.0, n)));
    EXPECT_TRUE(std::isnan(EuropeanCall(0.0, 98.0).priceByKouJumpDiffusion(100.0, 0.05, 0.16, 1.0,
                                                                           0.4, 10.0, 5.0, n)));
    EXPECT_TRUE(std::isnan(EuropeanPut(-1.0, 98.0).priceByKouJumpDiffusion(100.0, 0.05, 0.16, 1.0,
                                                                           0.4, 10.0, 5.0, n)));
  }
}

// Every input of a price, drawn with awkward values mixed in.
struct PriceInputs {
  double T, K, S, r, sigma, lam, p, eta1, eta2;
  int n;
};

PriceInputs drawInputs(AwkwardDoubles& gen) {
  PriceInputs in;
  in.T = gen.draw(0.02, 5.0);
  in.K = gen.draw(40.0, 160.0);
  in.S = gen.draw(40.0, 160.0);
  in.r = gen.draw(-0.05, 0.15);
  in.sigma = gen.draw(0.02, 0.7);
  in.lam = gen.draw(0.0, 6.0);
  in.p = gen.draw(-0.3, 1.3);
  in.eta1 = gen.uniform() < 0.05 ? 1.0 : gen.draw(0.5, 60.0);
  in.eta2 = gen.draw(0.0, 60.0);
  in.n = gen.integer(-3, 22);
  return in;
}

TEST(EuropeanPrices, MatchLiteralEvaluationBitForBit) {
  AwkwardDoubles gen(20261207);
  for (int trial = 0; trial < 300; ++trial) {
    const PriceInputs in = drawInputs(gen);
    const double expectedCall =
        literal_kou::call(in.T, in.K, in.S, in.r, in.sigma, in.lam, in.p, in.eta1, in.eta2, in.n);
    const double expectedPut = (std::exp(-in.r * in.T) * in.K + expectedCall) - in.S;
    const double call = EuropeanCall(in.T, in.K).priceByKouJumpDiffusion(
        in.S, in.r, in.sigma, in.lam, in.p, in.eta1, in.eta2, in.n);
    const double put = EuropeanPut(in.T, in.K).priceByKouJumpDiffusion(
        in.S, in.r, in.sigma, in.lam, in.p, in.eta1, in.eta2, in.n);
    ASSERT_TRUE(sameBits(expectedCall, call))
        << "trial " << trial << ": T=" << in.T << " K=" << in.K << " S=" << in.S
        << " r=" << in.r << " sigma=" << in.sigma << " lam=" << in.lam << " p=" << in.p
        << " eta1=" << in.eta1 << " eta2=" << in.eta2 << " n=" << in.n;
    ASSERT_TRUE(sameBits(expectedPut, put)) << "trial " << trial;
  }
}

}  // namespace
