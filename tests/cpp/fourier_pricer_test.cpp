#include "pricing/fourier/fourier_pricer.hpp"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "support/black_scholes.hpp"

#include "support/bits.hpp"

namespace {

using jdpricer::FourierSlice;
using testing_bits::kInf;
using testing_bits::kNaN;
using testing_bits::sameBits;

// The accuracy the header states, as an absolute error over S + K.
constexpr double kAccuracy = 1e-14;

struct Model {
  double sigma, lam, p, eta1, eta2;
};

// A slice with its own workspace.
class OwnedSlice {
 public:
  OwnedSlice(double T, const Model& m)
      : workspace_(jdpricer::fourierWorkspaceDoubles(T, m.sigma, m.lam, m.p, m.eta1, m.eta2)),
        slice_(T, m.sigma, m.lam, m.p, m.eta1, m.eta2, workspace_.data(), workspace_.size()) {}
  OwnedSlice(const OwnedSlice&) = delete;  // the slice points into workspace_
  OwnedSlice& operator=(const OwnedSlice&) = delete;
  const FourierSlice& operator*() const { return slice_; }
  const FourierSlice* operator->() const { return &slice_; }

 private:
  std::vector<double> workspace_;
  FourierSlice slice_;
};

// From tests/cpp/make_fourier_references.py: the mpmath Lewis-formula pricer
// of tests/python/kou_fourier.py at 30 digits, rounded to double.
struct Reference {
  double T, K, S, r, sigma, lam, p, eta1, eta2, call, put;
};
const Reference kReferences[] = {
    {0.5, 98.0, 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 9.147317303936926, 4.727688682713528},
    {2.0, 98.0, 100.0, 0.05, 0.5, 1.0, 0.4, 20.0, 20.0, 32.3317801316207, 21.005847099144734},
    {50.0, 98.0, 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 93.78246712066222, 1.8267969858043003},
    {5.0, 100.0, 100.0, 0.05, 0.5, 1.0, 0.4, 50.0, 50.0, 49.64872113534481, 27.528799442485294},
    {1.0, 200.0, 100.0, 0.03, 0.3, 2.0, 0.3, 25.0, 25.0, 0.24765986478634447, 94.33676657448798},
    {1.0, 50.0, 100.0, 0.03, 0.3, 2.0, 0.7, 25.0, 25.0, 51.54882637631813, 0.07110305374354438},
    {0.25, 100.0, 100.0, 0.0, 0.05, 4.0, 0.5, 3.0, 4.0, 16.450179796474945, 16.450179796474945},
    {3.0, 120.0, 100.0, 0.02, 0.25, 3.0, 1.0, 1.5, 30.0, 99.79838866021656, 112.81013269032641},
    {3.0, 80.0, 100.0, 0.02, 0.25, 3.0, 0.0, 8.0, 2.0, 64.3138365458114, 39.6549992325513},
    {10.0, 150.0, 100.0, 0.08, 0.4, 5.0, 0.5, 12.0, 12.0, 63.731625957067926, 31.130970574651165},
};

TEST(FourierPrices, MatchTheMpmathReference) {
  for (const Reference& c : kReferences) {
    const OwnedSlice slice(c.T, Model{c.sigma, c.lam, c.p, c.eta1, c.eta2});
    const double tolerance = kAccuracy * (c.S + c.K);
    EXPECT_NEAR(slice->call(c.S, c.K, c.r), c.call, tolerance) << "T = " << c.T << ", K = " << c.K;
    EXPECT_NEAR(slice->put(c.S, c.K, c.r), c.put, tolerance) << "T = " << c.T << ", K = " << c.K;
  }
}

using testing_bits::blackScholesCall;

TEST(FourierPrices, BlackScholesWithoutJumps) {
  struct Case { double T, K, S, r, sigma; };
  for (const Case& c : {Case{0.5, 98.0, 100.0, 0.05, 0.16}, Case{2.0, 180.0, 100.0, 0.01, 0.4},
                        Case{0.1, 55.0, 100.0, 0.03, 0.25}, Case{30.0, 100.0, 100.0, 0.0, 0.9},
                        Case{1.0, 100.0, 100.0, 0.05, 0.01}}) {
    const OwnedSlice slice(c.T, Model{c.sigma, 0.0, 0.3, 8.0, 6.0});
    const double call = blackScholesCall(c.T, c.K, c.S, c.r, c.sigma);
    const double put = call + c.K * std::exp(-c.r * c.T) - c.S;
    const double tolerance = kAccuracy * (c.S + c.K);
    EXPECT_NEAR(slice->call(c.S, c.K, c.r), call, tolerance) << "T = " << c.T << ", K = " << c.K;
    EXPECT_NEAR(slice->put(c.S, c.K, c.r), put, tolerance) << "T = " << c.T << ", K = " << c.K;
  }
}

// Under the stock as numeraire, -(X - rT) is again a Kou process, with rate 0
// and the jumps mirrored: sigma stays, lam* = lam (1 + zeta), up-jumps of rate
// eta2 + 1 with probability q eta2/(eta2 + 1) lam/lam*, down-jumps of rate
// eta1 - 1. Hence C(S, K, r) = P*(K e^(-rT), S, 0) and P(S, K, r) =
// C*(K e^(-rT), S, 0): two slices with different ranges, term counts and
// characteristic functions must agree.
TEST(FourierPrices, PutCallParityAndStockNumeraireDuality) {
  const Model model{0.3, 2.0, 0.35, 6.0, 4.0};
  const double q = 1.0 - model.p;
  const double upMass = model.p * model.eta1 / (model.eta1 - 1.0);
  const double downMass = q * model.eta2 / (model.eta2 + 1.0);
  const double dualLam = model.lam * (upMass + downMass);
  const Model dual{model.sigma, dualLam, model.lam * downMass / dualLam, model.eta2 + 1.0,
                   model.eta1 - 1.0};
  const double S = 100.0, r = 0.04;
  for (double T : {0.2, 1.5, 8.0}) {
    const OwnedSlice slice(T, model);
    const OwnedSlice dualSlice(T, dual);
    ASSERT_TRUE(slice->valid() && dualSlice->valid());
    for (double K : {50.0, 90.0, 100.0, 130.0, 200.0}) {
      const double call = slice->call(S, K, r);
      const double put = slice->put(S, K, r);
      const double discountedStrike = K * std::exp(-r * T);
      const double scale = S + K;
      EXPECT_NEAR(call - put, S - discountedStrike, 4e-16 * scale) << "T = " << T << ", K = " << K;
      EXPECT_NEAR(call, dualSlice->put(discountedStrike, S, 0.0), kAccuracy * scale)
          << "T = " << T << ", K = " << K;
      EXPECT_NEAR(put, dualSlice->call(discountedStrike, S, 0.0), kAccuracy * scale)
          << "T = " << T << ", K = " << K;
    }
  }
}

TEST(FourierPrices, BatchFunctionsReuseOneSlicePerMaturity) {
  const Model m{0.2, 1.0, 0.4, 10.0, 5.0};
  const double T = 0.75;
  const std::vector<double> S{100.0, 90.0, 110.0, 100.0};
  const std::vector<double> K{60.0, 100.0, 100.0, 250.0};
  const std::vector<double> r{0.05, 0.0, 0.1, 0.05};
  std::vector<double> workspace(jdpricer::fourierWorkspaceDoubles(T, m.sigma, m.lam, m.p, m.eta1,
                                                                  m.eta2));
  std::vector<double> calls(S.size()), puts(S.size());
  jdpricer::fourierCallPrices(T, m.sigma, m.lam, m.p, m.eta1, m.eta2, S.data(), K.data(),
                              r.data(), S.size(), calls.data(), workspace.data(),
                              workspace.size());
  jdpricer::fourierPutPrices(T, m.sigma, m.lam, m.p, m.eta1, m.eta2, S.data(), K.data(), r.data(),
                             S.size(), puts.data(), workspace.data(), workspace.size());
  for (std::size_t i = 0; i < S.size(); ++i) {
    const OwnedSlice own(T, m);
    EXPECT_TRUE(sameBits(own->call(S[i], K[i], r[i]), calls[i])) << "option " << i;
    EXPECT_TRUE(sameBits(own->put(S[i], K[i], r[i]), puts[i])) << "option " << i;
  }
}

TEST(FourierPrices, OutsideTheDomainGivesNaN) {
  const double T = 1.0, sigma = 0.2, lam = 1.0, p = 0.4, eta1 = 10.0, eta2 = 5.0;
  struct Bad { double T, sigma, lam, p, eta1, eta2; };
  for (const Bad& b : {Bad{0.0, sigma, lam, p, eta1, eta2}, Bad{-1.0, sigma, lam, p, eta1, eta2},
                       Bad{kInf, sigma, lam, p, eta1, eta2}, Bad{kNaN, sigma, lam, p, eta1, eta2},
                       Bad{T, 0.0, lam, p, eta1, eta2}, Bad{T, -0.2, lam, p, eta1, eta2},
                       Bad{T, kNaN, lam, p, eta1, eta2}, Bad{T, sigma, -1.0, p, eta1, eta2},
                       Bad{T, sigma, kInf, p, eta1, eta2}, Bad{T, sigma, lam, -0.1, eta1, eta2},
                       Bad{T, sigma, lam, 1.1, eta1, eta2}, Bad{T, sigma, lam, kNaN, eta1, eta2},
                       Bad{T, sigma, lam, p, 1.0, eta2}, Bad{T, sigma, lam, p, 0.5, eta2},
                       Bad{T, sigma, lam, p, kInf, eta2}, Bad{T, sigma, lam, p, eta1, 0.0},
                       Bad{T, sigma, lam, p, eta1, kNaN},
                       // Would need far more than kMaxFourierTerms terms.
                       Bad{1e-9, sigma, lam, p, eta1, eta2}, Bad{T, 1e-160, lam, p, eta1, eta2}}) {
    EXPECT_EQ(jdpricer::fourierWorkspaceDoubles(b.T, b.sigma, b.lam, b.p, b.eta1, b.eta2), 0u);
    double workspace[8];
    const FourierSlice slice(b.T, b.sigma, b.lam, b.p, b.eta1, b.eta2, workspace, 8);
    EXPECT_FALSE(slice.valid());
    EXPECT_TRUE(std::isnan(slice.call(100.0, 100.0, 0.05)));
    EXPECT_TRUE(std::isnan(slice.put(100.0, 100.0, 0.05)));
  }
  const OwnedSlice slice(T, Model{sigma, lam, p, eta1, eta2});
  for (double v : {0.0, -1.0, kInf, kNaN}) {
    EXPECT_TRUE(std::isnan(slice->call(v, 100.0, 0.05))) << "S = " << v;
    EXPECT_TRUE(std::isnan(slice->put(100.0, v, 0.05))) << "K = " << v;
  }
  EXPECT_TRUE(std::isnan(slice->call(100.0, 100.0, kNaN)));
  EXPECT_TRUE(std::isnan(slice->put(100.0, 100.0, -kInf)));
  // One double short of the workspace it needs: no write past it, only NaN.
  const std::size_t needed = jdpricer::fourierWorkspaceDoubles(T, sigma, lam, p, eta1, eta2);
  std::vector<double> shortWorkspace(needed - 1);
  const FourierSlice starved(T, sigma, lam, p, eta1, eta2, shortWorkspace.data(),
                             shortWorkspace.size());
  EXPECT_TRUE(std::isnan(starved.put(100.0, 100.0, 0.05)));
}

}  // namespace
