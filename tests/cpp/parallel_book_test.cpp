#include "batch/parallel_book.hpp"

#include <memory>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "batch/book_pricer.hpp"
#include "batch/bound_book.hpp"
#include "batch/greeks_book.hpp"
#include "support/bits.hpp"

namespace {

using jdpricer::KouModel;
using jdpricer::OptionColumns;
using jdpricer::Payoff;
using testing_bits::AwkwardDoubles;
using testing_bits::sameBits;

struct Book {
  std::vector<double> T, K, S, r;
  OptionColumns columns() const { return {T.data(), K.data(), S.data(), r.data(), T.size()}; }
};

// Long runs of one maturity (cut between workers) beside lone maturities.
Book mixedBook(AwkwardDoubles& gen, int options) {
  Book book;
  const double shared = gen.draw(0.05, 3.0, 0.1);
  for (int i = 0; i < options; ++i) {
    book.T.push_back(gen.uniform() < 0.5 ? shared : gen.draw(0.02, 4.0, 0.05));
    book.K.push_back(gen.draw(50.0, 150.0, 0.03));
    book.S.push_back(gen.draw(80.0, 120.0, 0.03));
    book.r.push_back(gen.draw(-0.02, 0.1, 0.03));
  }
  return book;
}

TEST(ParallelBook, EveryWorkerCountHasTheOneWorkerBits) {
  AwkwardDoubles gen(1789);
  for (int trial = 0; trial < 9; ++trial) {
    KouModel model{gen.draw(0.05, 0.5, 0.02), gen.draw(0.0, 4.0, 0.02), gen.draw(0.0, 1.0, 0.02),
                   gen.draw(2.0, 30.0, 0.02), gen.draw(1.0, 30.0, 0.02), gen.integer(12, 30)};
    model.perMaturity = trial % 3 == 0;
    const Book book = mixedBook(gen, gen.integer(100, 250));
    const std::size_t count = book.T.size();
    std::vector<double> serial(count), bounds(count), other(count), otherBounds(count);
    jdpricer::priceBook(Payoff::kPut, model, book.columns(), serial.data(), 1, [] {});
    // (The bounded prices of an "auto" book with an infinite maturity take
    // 170 terms: slow, and no other path through the runner.)
    const bool bounded = !model.perMaturity;
    // Robust prices at a tolerance where the screen takes its adjoint for
    // some lanes of a block and not others, and some options go on to the
    // full bound or the cosine series: an option's bound must not depend on
    // which options share its lanes.
    const auto robust = [&](std::size_t workers, std::vector<double>& prices,
                            std::vector<double>& robustBounds, std::vector<char>& fourier) {
      prices.assign(count, -7.0);
      robustBounds.assign(count, -7.0);
      std::unique_ptr<bool[]> flags(new bool[count]);
      jdpricer::priceRobustBook(Payoff::kPut, model, book.columns(), 1e-8, prices.data(),
                                robustBounds.data(), flags.get(), workers, [] {});
      fourier.assign(flags.get(), flags.get() + count);
    };
    std::vector<double> robustPrices, robustBounds;
    std::vector<char> robustFourier;
    if (bounded) {
      jdpricer::priceBoundedBook(Payoff::kCall, model, book.columns(), other.data(),
                                 bounds.data(), 1, [] {});
      robust(1, robustPrices, robustBounds, robustFourier);
    }
    for (std::size_t workers : {2, 3, 7, 40}) {
      std::vector<double> prices(count, -7.0);
      jdpricer::priceBook(Payoff::kPut, model, book.columns(), prices.data(), workers, [] {});
      std::vector<double> boundPrices(count, -7.0), parallelBounds(count, -7.0);
      std::vector<double> parallelRobust, parallelRobustBounds;
      std::vector<char> parallelFourier;
      if (bounded) {
        jdpricer::priceBoundedBook(Payoff::kCall, model, book.columns(), boundPrices.data(),
                                   parallelBounds.data(), workers, [] {});
        robust(workers, parallelRobust, parallelRobustBounds, parallelFourier);
        ASSERT_EQ(robustFourier, parallelFourier) << trial << " " << workers;
      }
      for (std::size_t i = 0; i < count; ++i) {
        // NaNs are compared as NaN: their sign is not fixed across lanes.
        ASSERT_TRUE(sameBits(serial[i], prices[i])) << trial << " " << workers << " " << i;
        if (bounded) {
          ASSERT_TRUE(sameBits(bounds[i], parallelBounds[i])) << trial << " " << workers << " " << i;
          ASSERT_TRUE(sameBits(robustPrices[i], parallelRobust[i])) << trial << " " << i;
          ASSERT_TRUE(sameBits(robustBounds[i], parallelRobustBounds[i])) << trial << " " << i;
        }
      }
    }
  }
}

// The Greeks' segments against the whole-book pricer, every field, fixed n
// and each maturity's own.
TEST(ParallelBook, GreeksHaveTheWholeBookBitsOnEveryWorkerCount) {
  AwkwardDoubles gen(1492);
  for (int trial = 0; trial < 6; ++trial) {
    KouModel model{gen.draw(0.05, 0.5, 0.02), gen.draw(0.0, 4.0, 0.02), gen.draw(0.0, 1.0, 0.02),
                   gen.draw(2.0, 30.0, 0.02), gen.draw(1.0, 30.0, 0.02), gen.integer(12, 30)};
    model.perMaturity = trial % 2 == 0;
    const Book book = mixedBook(gen, gen.integer(300, 600));
    const std::size_t count = book.T.size();
    const auto greeks = [&](std::size_t workers) {
      std::vector<double> fields(jdpricer::kGreekFields * count, -7.0);
      jdpricer::GreeksColumns out;
      for (int f = 0; f < jdpricer::kGreekFields; ++f) out.field[f] = &fields[f * count];
      if (workers == 0) {
        jdpricer::GreeksBookPricer whole(Payoff::kCall, model, book.columns(), out);
        while (whole.priceNext(5)) {
        }
      } else {
        jdpricer::priceGreeksBook(Payoff::kCall, model, book.columns(), out, workers, [] {});
      }
      return fields;
    };
    const std::vector<double> whole = greeks(0);
    for (std::size_t workers : {1, 2, 3, 40}) {
      const std::vector<double> fields = greeks(workers);
      for (std::size_t i = 0; i < fields.size(); ++i) {
        ASSERT_TRUE(sameBits(whole[i], fields[i])) << trial << " " << workers << " " << i;
      }
    }
  }
}

// An exception from the calling thread's poll (an interrupt) ends the call:
// every segment stops within a chunk and the exception comes out, the
// storage of every pricer freed (the sanitizer builds check the leaks).
TEST(ParallelBook, AnExceptionFromPollEndsEverySegment) {
  AwkwardDoubles gen(5);
  const Book book = mixedBook(gen, 4000);
  std::vector<double> prices(book.T.size());
  int polls = 0;
  const auto poll = [&polls] {
    if (++polls == 2) throw std::runtime_error("interrupted");
  };
  EXPECT_THROW(jdpricer::priceBook(Payoff::kCall, KouModel{0.2, 1.0, 0.4, 10.0, 5.0, 120},
                                   book.columns(), prices.data(), 4, poll),
               std::runtime_error);
  EXPECT_EQ(polls, 2);
  // The pool is still usable, and can be joined and started again.
  jdpricer::shutdownWorkerPool();
  EXPECT_EQ(jdpricer::workerPoolThreads(), 0u);
  std::vector<double> again(8), once(8);
  const Book small = mixedBook(gen, 8);
  jdpricer::priceBook(Payoff::kCall, KouModel{0.2, 1.0, 0.4, 10.0, 5.0, 12}, small.columns(),
                      again.data(), 1, [] {});
  jdpricer::priceBook(Payoff::kCall, KouModel{0.2, 1.0, 0.4, 10.0, 5.0, 12}, small.columns(),
                      once.data(), 2, [] {});
  for (int i = 0; i < 8; ++i) EXPECT_TRUE(sameBits(again[i], once[i]));
}

}  // namespace
