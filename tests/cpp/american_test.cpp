// American options: the book on several workers, and the solver's own
// convergence.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "batch/american_book.hpp"
#include "pricing/american/american_put.hpp"
#include "support/bits.hpp"

namespace {

using testing_bits::sameBits;

// Solves cut between maturities only, whatever the worker count; a
// maturity's grid depends on its own options only.
TEST(AmericanBook, EveryWorkerCountHasTheOneWorkerBits) {
  std::vector<double> T, K, S, r, q;
  for (const double t : {0.1, 0.5, 1.0, 0.25, 0.75}) {
    for (const double k : {85.0, 100.0, 115.0}) {
      T.push_back(t);
      K.push_back(k);
      S.push_back(100.0);
      r.push_back(0.04);
      q.push_back(t > 0.6 ? 0.03 : 0.0);
    }
  }
  const jdpricer::AmericanColumns book{{T.data(), K.data(), S.data(), r.data(), T.size()},
                                       q.data()};
  const jdpricer::AmericanModel model{0.2, 1.0, 0.4, 10.0, 5.0};
  // Prices and the eleven Greeks' columns (the model's by bumped solves).
  struct Priced {
    std::vector<double> price;
    std::vector<std::vector<double>> greeks;
  };
  const auto priced = [&](jdpricer::AmericanKind kind, std::size_t workers) {
    Priced out{std::vector<double>(T.size()), std::vector<std::vector<double>>(11, out.price)};
    double* c[11];
    for (int f = 0; f < 11; ++f) c[f] = out.greeks[f].data();
    const jdpricer::AmericanGreeksColumns columns{c[0], c[1], c[2], c[3], c[4], c[5],
                                                  c[6], c[7], c[8], c[9], c[10]};
    jdpricer::priceAmericanBook(kind, model, book, 1e-4, out.price.data(), workers, [] {},
                                &columns);
    return out;
  };
  for (const auto kind : {jdpricer::AmericanKind::kPut, jdpricer::AmericanKind::kCall}) {
    const Priced one = priced(kind, 1);
    for (const std::size_t workers : {2u, 4u}) {
      const Priced other = priced(kind, workers);
      for (std::size_t i = 0; i < T.size(); ++i) {
        ASSERT_TRUE(sameBits(one.price[i], other.price[i])) << i;
        for (int f = 0; f < 11; ++f) {
          ASSERT_TRUE(sameBits(one.greeks[f][i], other.greeks[f][i])) << i << " field " << f;
        }
      }
    }
    for (std::size_t i = 0; i < T.size(); ++i) {
      EXPECT_GT(one.price[i], 0.0) << i;
      for (int f = 0; f < 11; ++f) EXPECT_TRUE(std::isfinite(one.greeks[f][i])) << i << " " << f;
    }
  }
}

class Storage : public jdpricer::AmericanStorage {
 public:
  double* lend(std::size_t doubles) override {
    if (held.size() < doubles) held.resize(doubles);
    return held.data();
  }
  std::vector<double> held;
};

// Tighter accuracies stay within the looser ones' promises of each other.
TEST(AmericanPut, AccuraciesKeepTheirPromises) {
  const double x[] = {std::log(0.9), 0.0, std::log(1.1)};
  jdpricer::AmericanPutPoint tight[3], loose[3];
  Storage storage;
  jdpricer::AmericanPutQuery query{0.25, 0.05, 0.0, 0.15, 0.1, 0.3445, 3.0465, 3.0775, 1e-8};
  ASSERT_TRUE(jdpricer::priceAmericanPuts(query, x, 3, storage, tight));
  // Toivanen's American puts, per unit of strike.
  const double reference[] = {0.10005071, 0.02807879, 0.005618766};
  for (const double accuracy : {1e-3, 1e-4, 1e-5, 1e-6}) {
    query.accuracy = accuracy;
    ASSERT_TRUE(jdpricer::priceAmericanPuts(query, x, 3, storage, loose));
    for (int j = 0; j < 3; ++j) {
      EXPECT_NEAR(loose[j].value, tight[j].value, accuracy) << accuracy;
      EXPECT_NEAR(loose[j].value, reference[j], accuracy + 1e-8) << accuracy;
    }
  }
  // No diffusion is not solved.
  query.sigma = 0.0;
  EXPECT_FALSE(jdpricer::priceAmericanPuts(query, x, 3, storage, loose));
  EXPECT_TRUE(std::isnan(loose[0].value));
}

// A bumped solve's difference is taken against the unbumped values, so the
// pair on the grid a solve reached must give those values' bits.
TEST(AmericanPut, TheGridReachedGivesTheSolvesOwnBits) {
  const double x[] = {-0.3, -0.05, 0.0, 0.2};
  jdpricer::AmericanPutPoint solved[4], again[4];
  Storage storage;
  const jdpricer::AmericanPutQuery query{0.7, 0.05, 0.02, 0.25, 2.0, 0.3, 8.0, 6.0, 1e-5};
  jdpricer::AmericanGrid grid{};
  ASSERT_TRUE(jdpricer::priceAmericanPuts(query, x, 4, storage, solved, nullptr, 0, nullptr,
                                          &grid));
  ASSERT_TRUE(jdpricer::priceAmericanPutsOnGrid(query, grid, x, 4, storage, again));
  for (int j = 0; j < 4; ++j) {
    EXPECT_TRUE(sameBits(solved[j].value, again[j].value) &&
                sameBits(solved[j].slope, again[j].slope) &&
                sameBits(solved[j].curvature, again[j].curvature) &&
                sameBits(solved[j].rate, again[j].rate))
        << j;
  }
  // A grid that has no coarser half is refused, not read past its end.
  jdpricer::AmericanGrid even = grid;
  even.points += 1;
  EXPECT_FALSE(jdpricer::priceAmericanPutsOnGrid(query, even, x, 4, storage, again));
  EXPECT_TRUE(std::isnan(again[0].value));
}

// Spots a little above the exercise boundary: their time value is tiny
// and sits on the boundary's place within its cell. With the boundary on
// a node their extrapolated values wandered by 1e-6 of the strike between
// resolutions, and the refinement ran to 2561 nodes and 1024 steps
// (K = 127: time value 2.3e-5 of the strike); placed between nodes, they
// converge like the rest.
TEST(AmericanPut, SpotsJustAboveTheBoundaryConvergeLikeTheOthers) {
  const double strikes[] = {118.0, 121.0, 124.0, 125.0, 127.0};
  double x[5];
  for (int j = 0; j < 5; ++j) x[j] = std::log(100.0 / strikes[j]);
  Storage storage;
  jdpricer::AmericanPutQuery query{1.0, 0.05, 0.0, 0.16, 1.0, 0.4, 10.0, 5.0, 1e-8};
  jdpricer::AmericanPutPoint exact[5], priced[5];
  ASSERT_TRUE(jdpricer::priceAmericanPuts(query, x, 5, storage, exact));
  query.accuracy = 1e-6;
  jdpricer::AmericanGrid grid{};
  ASSERT_TRUE(jdpricer::priceAmericanPuts(query, x, 5, storage, priced, nullptr, 0, nullptr,
                                          &grid));
  for (int j = 0; j < 5; ++j) {
    EXPECT_GT(exact[j].value, 1.0 - 100.0 / strikes[j]) << strikes[j];  // not exercised
    EXPECT_LT(std::fabs(priced[j].value - exact[j].value), 1e-6) << strikes[j];
  }
  EXPECT_LE(grid.points, 1201);
  EXPECT_LE(grid.steps, 256);
}

}  // namespace
