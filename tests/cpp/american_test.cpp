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
  for (const auto kind : {jdpricer::AmericanKind::kPut, jdpricer::AmericanKind::kCall}) {
    std::vector<double> one(T.size()), d1(T.size()), g1(T.size()), t1(T.size());
    jdpricer::priceAmericanBook(kind, model, book, 1e-4, one.data(), 1, [] {}, d1.data(),
                                g1.data(), t1.data());
    for (const std::size_t workers : {2u, 4u}) {
      std::vector<double> other(T.size()), d(T.size()), g(T.size()), t(T.size());
      jdpricer::priceAmericanBook(kind, model, book, 1e-4, other.data(), workers, [] {},
                                  d.data(), g.data(), t.data());
      for (std::size_t i = 0; i < T.size(); ++i) {
        ASSERT_TRUE(sameBits(one[i], other[i])) << i;
        ASSERT_TRUE(sameBits(d1[i], d[i]) && sameBits(g1[i], g[i]) && sameBits(t1[i], t[i])) << i;
      }
    }
    for (std::size_t i = 0; i < T.size(); ++i) {
      EXPECT_GT(one[i], 0.0) << i;
      EXPECT_TRUE(std::isfinite(d1[i]) && std::isfinite(g1[i]) && std::isfinite(t1[i])) << i;
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

}  // namespace
