#include <array>
#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "pricing/closed_form/options.hpp"
#include "support/bits.hpp"

namespace {

using jdpricer::EuropeanCall;
using jdpricer::EuropeanOption;
using jdpricer::EuropeanPut;
using testing_bits::bitsOf;

struct Quote {
  const EuropeanOption* option;
  double S, r, sigma, lam, p, eta1, eta2;
  int n;
  double price(const EuropeanOption& o) const {
    return o.priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1, eta2, n);
  }
};

// The engine keeps no state: eight threads pricing the same and different
// objects at once must see exactly the bits that one thread sees.
TEST(Threads, EightThreadsReproduceSingleThreadBits) {
  const EuropeanCall sharedCall(0.5, 98.0);
  const EuropeanPut sharedPut(0.5, 98.0);
  const EuropeanCall longCall(3.0, 120.0);
  const EuropeanPut shortPut(0.1, 90.0);
  std::vector<Quote> quotes;
  for (int n : {0, 1, 5, 10, 30, 60}) {
    quotes.push_back({&sharedCall, 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, n});
    quotes.push_back({&sharedPut, 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, n});
    quotes.push_back({&longCall, 95.0, 0.02, 0.3, 2.0, 0.6, 4.0, 7.0, n});
    quotes.push_back({&shortPut, 101.0, 0.01, 0.45, 5.0, 0.2, 25.0, 3.0, n});
  }
  std::vector<std::uint64_t> expected;
  for (const Quote& q : quotes) expected.push_back(bitsOf(q.price(*q.option)));

  constexpr int kThreads = 8;
  std::atomic<int> ready{0};
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();
      for (int round = 0; round < 3; ++round) {
        for (std::size_t i = 0; i < quotes.size(); ++i) {
          // Each thread walks the list from its own offset, so different
          // threads price different objects and the same object at once.
          const std::size_t j = (i + static_cast<std::size_t>(t) * 5) % quotes.size();
          const Quote& q = quotes[j];
          if (bitsOf(q.price(*q.option)) != expected[j]) mismatches.fetch_add(1);
          // A private object built on this thread gives the same bits too.
          if (j % 4 == 0) {
            const EuropeanCall own(0.5, 98.0);
            if (bitsOf(q.price(own)) != expected[j]) mismatches.fetch_add(1);
          }
        }
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
