// The Greeks book pricer against forward-mode differentiation of the literal
// closed form (support/dual_kou.hpp), its price field against BookPricer bit
// for bit, and its edge cases.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "batch/book_pricer.hpp"
#include "batch/greeks_book.hpp"
#include "support/bits.hpp"
#include "support/dual_kou.hpp"

namespace {

using jdpricer::GreeksBookPricer;
using jdpricer::KouModel;
using jdpricer::Payoff;

struct Book {
  std::vector<double> T, K, S, r;
};

// Every field of every option, field-major.
std::vector<std::vector<double>> greeksOf(Payoff payoff, const KouModel& model, const Book& b) {
  const std::size_t count = b.T.size();
  std::vector<std::vector<double>> fields(jdpricer::kGreekFields, std::vector<double>(count));
  jdpricer::GreeksColumns out;
  for (int f = 0; f < jdpricer::kGreekFields; ++f) out.field[f] = fields[f].data();
  GreeksBookPricer pricer(payoff, model, {b.T.data(), b.K.data(), b.S.data(), b.r.data(), count},
                          out);
  while (pricer.priceNext(3)) {
  }
  return fields;
}

std::vector<double> pricesOf(Payoff payoff, const KouModel& model, const Book& b) {
  std::vector<double> prices(b.T.size());
  jdpricer::BookPricer pricer(payoff, model,
                              {b.T.data(), b.K.data(), b.S.data(), b.r.data(), b.T.size()},
                              prices.data());
  while (pricer.priceNext(1000)) {
  }
  return prices;
}

// Two maturities, shared and not, more options than one block of lanes.
Book sampleBook() {
  Book b;
  for (double T : {0.1, 1.5}) {
    for (double K : {60.0, 80.0, 95.0, 100.0, 105.0, 120.0, 150.0, 200.0, 90.0}) {
      b.T.push_back(T);
      b.K.push_back(K);
      b.S.push_back(100.0);
      b.r.push_back(T < 1 ? 0.03 : -0.01);
    }
  }
  return b;
}

TEST(GreeksBook, MatchesForwardModeDerivativesOfTheLiteralSeries) {
  const Book b = sampleBook();
  const KouModel models[] = {{0.16, 1.0, 0.4, 10.0, 5.0, 1},
                             {0.25, 3.0, 0.7, 6.0, 9.0, 8},
                             {0.2, 0.0, 0.3, 12.0, 4.0, 12},
                             {0.3, 5.0, 0.5, 20.0, 15.0, 0}};
  double worst = 0.0;
  for (const KouModel& model : models) {
    for (Payoff payoff : {Payoff::kCall, Payoff::kPut}) {
      const auto fields = greeksOf(payoff, model, b);
      for (std::size_t i = 0; i < b.T.size(); ++i) {
        double ref[jdpricer::kGreekFields];
        dual_kou::greeks(payoff == Payoff::kPut, b.T[i], b.K[i], b.S[i], b.r[i], model.sigma,
                         model.lam, model.p, model.eta1, model.eta2, model.n, ref);
        // Each field against its own magnitude, with a floor of 1e-6 of the
        // option's scale S + K for fields near zero (a put's rho or delta
        // far out of the money is a difference of numbers near 1).
        const double floor = 1e-6 * (b.S[i] + b.K[i]);
        for (int f = 0; f < jdpricer::kGreekFields; ++f) {
          const double error = std::fabs(fields[f][i] - ref[f]) / (std::fabs(ref[f]) + floor);
          worst = std::max(worst, error);
          EXPECT_LE(error, 1e-10) << "field " << f << " option " << i << " n " << model.n
                                 << " got " << fields[f][i] << " want " << ref[f];
        }
      }
    }
  }
  std::printf("worst relative difference from the dual-number path: %.2e\n", worst);
}

TEST(GreeksBook, PriceFieldHasTheBookPricersBits) {
  const Book b = sampleBook();
  for (int n : {-3, 0, 1, 7, 30}) {
    const KouModel model{0.2, 2.0, 0.45, 8.0, 6.0, n};
    for (Payoff payoff : {Payoff::kCall, Payoff::kPut}) {
      const auto fields = greeksOf(payoff, model, b);
      const auto prices = pricesOf(payoff, model, b);
      for (std::size_t i = 0; i < prices.size(); ++i) {
        EXPECT_TRUE(testing_bits::sameBits(prices[i], fields[jdpricer::kPrice][i])) << i << " n " << n;
      }
    }
  }
}

// An option alone in its maturity goes one lane; with three of its kind, a
// block of eight lanes. Every field must come out the same either way, or
// a segment boundary (which can leave a maturity's last options alone)
// would change the Greeks with the worker count.
TEST(GreeksBook, OneLaneAndABlockOfLanesGiveTheSameBits) {
  const Book b = sampleBook();
  Book lone, tripled;
  for (std::size_t i = 0; i < b.T.size(); ++i) {
    const double T = b.T[i] + 0.01 * static_cast<double>(i);  // a maturity of its own
    lone.T.push_back(T);
    lone.K.push_back(b.K[i]);
    lone.S.push_back(b.S[i]);
    lone.r.push_back(b.r[i]);
    for (int copy = 0; copy < 3; ++copy) {
      tripled.T.push_back(T);
      tripled.K.push_back(b.K[i]);
      tripled.S.push_back(b.S[i]);
      tripled.r.push_back(b.r[i]);
    }
  }
  for (const KouModel& model :
       {KouModel{0.2, 2.0, 0.45, 8.0, 6.0, 25}, KouModel{0.3, 0.5, 0.7, 4.0, 9.0, 0}}) {
    const auto one = greeksOf(Payoff::kPut, model, lone);
    const auto block = greeksOf(Payoff::kPut, model, tripled);
    for (std::size_t i = 0; i < lone.T.size(); ++i) {
      for (int f = 0; f < jdpricer::kGreekFields; ++f) {
        EXPECT_TRUE(testing_bits::sameBits(one[f][i], block[f][3 * i])) << f << " " << i;
      }
    }
  }
}

TEST(GreeksBook, LongSeriesNaNAndTheJumpFreeSeries) {
  Book b;
  b.T = {0.5, 0.5};
  b.K = {98.0, std::numeric_limits<double>::quiet_NaN()};
  b.S = {100.0, 100.0};
  b.r = {0.05, 0.05};
  const auto nan = greeksOf(Payoff::kCall, {0.16, 1.0, 0.4, 10.0, 5.0, 171}, b);
  for (int f = 0; f < jdpricer::kGreekFields; ++f) EXPECT_TRUE(std::isnan(nan[f][0])) << f;
  // A NaN input spoils its own option only, in every field.
  const auto free = greeksOf(Payoff::kCall, {0.16, 1.0, 0.4, 10.0, 5.0, -1}, b);
  EXPECT_TRUE(std::isfinite(free[jdpricer::kGamma][0]));
  for (int f = 0; f < jdpricer::kGreekFields; ++f) EXPECT_TRUE(std::isnan(free[f][1])) << f;
}

}  // namespace

namespace {

// Long series, past the reach of the dual-number path: every Greek against a
// central difference of BookPricer's price (each bump a fresh pricer), which
// catches overflow in the tables of factorials and powers and any term lost
// past the first few rows.
TEST(GreeksBook, LongSeriesAgreeWithCentralDifferences) {
  const double T = 1.0, K = 105.0, S = 100.0, r = 0.03;
  for (int n : {90, 170}) {
    const KouModel model{0.2, 40.0, 0.45, 25.0, 20.0, n};
    Book b;
    b.T = {T};
    b.K = {K};
    b.S = {S};
    b.r = {r};
    const auto g = greeksOf(Payoff::kCall, model, b);
    // price(input i moved by h), inputs in the order T K S r sigma lam p eta1 eta2.
    auto bumped = [&](int i, double h) {
      double x[9] = {T, K, S, r, model.sigma, model.lam, model.p, model.eta1, model.eta2};
      x[i] += h;
      const Book one{{x[0]}, {x[1]}, {x[2]}, {x[3]}};
      return pricesOf(Payoff::kCall, {x[4], x[5], x[6], x[7], x[8], n}, one)[0];
    };
    const int input[jdpricer::kGreekFields] = {-1, 2, -1, 4, 0, 3, 1, 5, 6, 7, 8};
    for (int f = 1; f < jdpricer::kGreekFields; ++f) {
      if (f == jdpricer::kGamma) continue;
      const int i = input[f];
      const double h = 1e-5 * std::max(1.0, std::fabs(i == 0 ? T : i == 1 ? K : i == 2 ? S : 1.0));
      double want = (bumped(i, h) - bumped(i, -h)) / (2 * h);
      if (f == jdpricer::kTheta) want = -want;
      EXPECT_NEAR(g[f][0], want, 1e-6 * (std::fabs(want) + 1.0)) << "field " << f << " n " << n;
    }
    const double h = 0.01;
    const double gamma = (bumped(2, h) - 2 * g[jdpricer::kPrice][0] + bumped(2, -h)) / (h * h);
    EXPECT_NEAR(g[jdpricer::kGamma][0], gamma, 1e-5) << n;
  }
}

}  // namespace
