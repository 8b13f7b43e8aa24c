#include "batch/book_pricer.hpp"

#include <vector>

#include <gtest/gtest.h>

#include "pricing/closed_form/options.hpp"
#include "support/bits.hpp"

namespace {

using jdpricer::BookPricer;
using jdpricer::Payoff;
using testing_bits::AwkwardDoubles;
using testing_bits::sameBits;

struct Book {
  std::vector<double> T, K, S, r;
};

// A few maturities shared by many options (partial lane blocks included),
// awkward values mixed into every column.
Book randomBook(AwkwardDoubles& gen, int options) {
  Book book;
  const int maturities = gen.integer(1, 5);
  std::vector<double> pool;
  for (int j = 0; j < maturities; ++j) pool.push_back(gen.draw(0.02, 4.0, 0.15));
  for (int i = 0; i < options; ++i) {
    book.T.push_back(pool[gen.integer(0, maturities - 1)]);
    book.K.push_back(gen.draw(40.0, 160.0));
    book.S.push_back(gen.draw(60.0, 140.0));
    book.r.push_back(gen.draw(-0.05, 0.15));
  }
  return book;
}

TEST(BookPricer, EveryPriceHasThePerOptionBits) {
  AwkwardDoubles gen(8086);
  for (int trial = 0; trial < 60; ++trial) {
    const jdpricer::KouModel model{gen.draw(0.02, 0.7), gen.draw(0.0, 6.0), gen.draw(-0.3, 1.3),
                                   gen.draw(0.5, 60.0), gen.draw(0.0, 60.0),
                                   trial % 10 == 0 ? gen.integer(-3, 175) : gen.integer(0, 30)};
    Book book = randomBook(gen, gen.integer(0, 40));
    const std::size_t count = book.T.size();
    for (Payoff payoff : {Payoff::kCall, Payoff::kPut}) {
      std::vector<double> prices(count);
      BookPricer pricer(payoff, model, {book.T.data(), book.K.data(), book.S.data(),
                                        book.r.data(), count}, prices.data());
      while (pricer.priceNext(static_cast<std::size_t>(gen.integer(1, 20)))) {}
      for (std::size_t i = 0; i < count; ++i) {
        const double expected =
            payoff == Payoff::kCall
                ? jdpricer::EuropeanCall(book.T[i], book.K[i])
                      .priceByKouJumpDiffusion(book.S[i], book.r[i], model.sigma, model.lam,
                                               model.p, model.eta1, model.eta2, model.n)
                : jdpricer::EuropeanPut(book.T[i], book.K[i])
                      .priceByKouJumpDiffusion(book.S[i], book.r[i], model.sigma, model.lam,
                                               model.p, model.eta1, model.eta2, model.n);
        ASSERT_TRUE(sameBits(expected, prices[i])) << "trial " << trial << ", option " << i
                                                   << ", n = " << model.n;
      }
    }
  }
}

TEST(BookPricer, LongSeriesKeepTheBits) {
  // The recomputed long binomial rows (n - k - 1 >= 96) only appear here.
  const jdpricer::KouModel model{0.2, 3.0, 0.35, 12.0, 7.0, 170};
  Book book{{0.5, 2.0, 0.5}, {90.0, 100.0, 120.0}, {100.0, 100.0, 100.0}, {0.03, 0.0, 0.03}};
  std::vector<double> prices(3);
  BookPricer pricer(Payoff::kCall, model, {book.T.data(), book.K.data(), book.S.data(),
                                           book.r.data(), 3}, prices.data());
  while (pricer.priceNext(1)) {}
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(sameBits(jdpricer::EuropeanCall(book.T[i], book.K[i])
                             .priceByKouJumpDiffusion(100.0, book.r[i], 0.2, 3.0, 0.35, 12.0,
                                                      7.0, 170),
                         prices[i]));
  }
}

}  // namespace
