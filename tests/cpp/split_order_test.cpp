// splitOrder cuts a book's maturity order into the segments that the book
// pricers run on separate threads. Each segment's pricer writes the outputs
// of its own options, so the segments must be a partition of the order:
// an option in two segments is priced by two threads into the same output
// (a race that writes the same bits twice, invisible in the prices), an
// option in none keeps whatever the output held. The checks below read the
// segments as positions in the order's own storage, for books of every
// shape, every worker count from 1 to 64, and the cuts the pricers use.
#include "batch/parallel_book.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "batch/book_pricer.hpp"
#include "batch/maturity_order.hpp"
#include "support/bits.hpp"

namespace {

using jdpricer::BookSegment;
using jdpricer::KouModel;
using jdpricer::SeriesLengths;
using testing_bits::AwkwardDoubles;

constexpr std::size_t kMostWorkers = 64;

double nanWithBits(std::uint64_t bits) {
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

// How a pricer estimates work, as a function of a maturity's series length:
// the shapes of the estimates in book_pricer.cpp, greeks_book.cpp,
// bound_book.cpp (the bounded and the cosine-series books), touch_book.cpp
// and barrier_book.cpp, with the minimum options and work per segment that
// each passes.
struct Cutting {
  const char* name;
  std::size_t minOptions;
  double minWork;
  double (*option)(int n);
  double (*slice)(int n);
};

double terms(int n) { return n > 0 ? n + 1.0 : 1.0; }

const Cutting kPricerCuttings[] = {
    {"prices", 8, 262144.0, [](int n) { return 4.0 * terms(n) * terms(n); },
     [](int n) { return 500.0 * terms(n) + 2.0 * terms(n) * terms(n); }},
    {"greeks", 8, 262144.0, [](int n) { return 4.0 * terms(n) * terms(n) + 150.0 * terms(n); },
     [](int n) { return 1400.0 * terms(n) + 8.0 * terms(n) * terms(n); }},
    {"bounds", 1, 0.0,
     [](int n) { return (std::max(n, 0) + 1.0) * (std::max(n, 0) + 1.0); },
     [](int n) { return 8.0 * (std::max(n, 0) + 1.0) * (std::max(n, 0) + 1.0); }},
    {"cosine series", 1, 0.0, [](int) { return 1.0; }, [](int) { return 10.0; }},
    {"touches", 16, 4096.0, [](int) { return 1.0; }, [](int) { return 40.0; }},
    {"barriers", 16, 2048.0, [](int) { return 1.0; }, [](int) { return 30.0; }},
};

// A maturity's series length under a model, remembered for the last
// maturity asked: splitOrder walks the order maturity by maturity.
class LengthOf {
 public:
  explicit LengthOf(const KouModel& model) : lengths_(model) {}
  int operator()(double T) {
    const std::uint64_t key = jdpricer::maturityKey(T);
    if (!known_ || key != key_) {
      n_ = lengths_(T);
      key_ = key;
      known_ = true;
    }
    return n_;
  }

 private:
  SeriesLengths lengths_;
  bool known_ = false;
  std::uint64_t key_ = 0;
  int n_ = 0;
};

struct NamedOrder {
  std::string name;
  std::vector<double> T;
  std::vector<std::size_t> order;  // indices into T, grouped by maturity
};

NamedOrder byMaturity(std::string name, std::vector<double> T) {
  NamedOrder book{std::move(name), std::move(T), {}};
  book.order = jdpricer::maturityOrder(book.T.data(), book.T.size());
  return book;
}

// Books of the shapes the pricers meet: many maturities of few strikes, one
// maturity of many strikes beside lone ones (cut inside its run), a single
// maturity, one or two options, the awkward maturities (signed zeros, NaNs
// of several payloads, infinities, negative, tiny and huge) that the
// maturity order keeps apart by their bits, a dominant last maturity, and
// sub-orders such as the robust book hands on (part of the book, still in
// maturity order).
std::vector<NamedOrder> books() {
  std::vector<NamedOrder> all;
  AwkwardDoubles gen(31415);
  {
    std::vector<double> T;
    for (int m = 0; m < 12; ++m) {
      const double maturity = 0.05 + 0.3 * m;
      for (int k = 0; k < 1 + (m * 7) % 20; ++k) T.push_back(maturity);
    }
    // The book's own order interleaves the maturities.
    std::vector<double> shuffled;
    for (std::size_t stride = 0; stride < 5; ++stride) {
      for (std::size_t i = stride; i < T.size(); i += 5) shuffled.push_back(T[i]);
    }
    all.push_back(byMaturity("twelve maturities of 1 to 20 strikes", shuffled));
  }
  {
    std::vector<double> T;
    for (int i = 0; i < 1000; ++i) {
      T.push_back(i % 97 == 0 ? 0.01 * (i / 97 + 1) : 1.25);
    }
    T.push_back(4.0);
    all.push_back(byMaturity("one maturity of ~990 strikes beside lone ones", T));
    NamedOrder half{"every other option of it", T, {}};
    for (std::size_t i = 0; i < all.back().order.size(); i += 2) {
      half.order.push_back(all.back().order[i]);
    }
    all.push_back(half);
  }
  all.push_back(byMaturity("a single maturity of 500 strikes", std::vector<double>(500, 0.75)));
  all.push_back(byMaturity("one option", {0.5}));
  all.push_back(byMaturity("two options of two maturities", {2.0, 0.5}));
  all.push_back(byMaturity("17 lone maturities", [] {
    std::vector<double> T;
    for (int i = 17; i > 0; --i) T.push_back(0.1 * i);
    return T;
  }()));
  {
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> awkward = {
        std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
        nanWithBits(0x7ff8000000000001ull), nanWithBits(0x7ff0000000000001ull),
        nanWithBits(0xfff8000000000123ull), 0.0, -0.0, inf, -inf, -1.0, 1e-300, 1e300,
        std::numeric_limits<double>::denorm_min(), 0.5};
    std::vector<double> T;
    for (int i = 0; i < 600; ++i) {
      const int pick = gen.integer(0, static_cast<int>(awkward.size()) - 1);
      T.push_back(awkward[static_cast<std::size_t>(pick)]);
    }
    all.push_back(byMaturity("NaNs, signed zeros, infinities and other awkward maturities", T));
    all.push_back(byMaturity("only NaNs of one payload", std::vector<double>(40, awkward[0])));
  }
  {
    // Short maturities, then an infinite one whose series has 170 terms:
    // the last option outweighs the rest of the book.
    std::vector<double> T(300, 0.02);
    T.push_back(std::numeric_limits<double>::infinity());
    all.push_back(byMaturity("cheap maturities and one costly last option", T));
  }
  for (int trial = 0; trial < 8; ++trial) {
    const int maturities = gen.integer(1, 40);
    std::vector<double> pool;
    for (int m = 0; m < maturities; ++m) pool.push_back(gen.draw(0.01, 5.0, 0.15));
    std::vector<double> T;
    const int options = gen.integer(1, trial < 4 ? 60 : 1500);
    for (int i = 0; i < options; ++i) {
      T.push_back(pool[static_cast<std::size_t>(gen.integer(0, maturities - 1))]);
    }
    NamedOrder book = byMaturity("random book " + std::to_string(trial), T);
    if (trial % 3 == 2) {
      // A screened sub-order: some options of each maturity left out.
      std::vector<std::size_t> kept;
      for (std::size_t i : book.order) {
        if (gen.uniform() < 0.6) kept.push_back(i);
      }
      book.name += ", a sub-order";
      book.order = kept;
    }
    all.push_back(book);
  }
  return all;
}

// The position in `order` of a segment's first option; positions outside
// the order come out as they are (before it: a huge value) and are reported.
std::size_t positionOf(const std::vector<std::size_t>& order, const std::size_t* p) {
  return static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(p) -
                                  reinterpret_cast<std::uintptr_t>(order.data())) /
         sizeof(std::size_t);
}

// The segments are consecutive, non-empty, in order, and cover every
// position of the order exactly once; there are at most `parts` (and no
// more than the minimum options per segment allow), and each segment but
// the last has at least that minimum.
::testing::AssertionResult partitions(const std::vector<std::size_t>& order,
                                      const std::vector<BookSegment>& segments,
                                      std::size_t parts, std::size_t minOptions) {
  const std::size_t count = order.size();
  if (count == 0) {
    // An empty book: nothing to price, at most one (empty) segment.
    if (segments.size() > 1) {
      return ::testing::AssertionFailure() << segments.size() << " segments for an empty order";
    }
    for (const BookSegment& s : segments) {
      if (s.count != 0) {
        return ::testing::AssertionFailure()
               << "a segment of " << s.count << " options for an empty order";
      }
    }
    return ::testing::AssertionSuccess();
  }
  if (segments.empty()) {
    return ::testing::AssertionFailure() << "no segment for " << count << " options";
  }
  if (segments.size() > parts) {
    return ::testing::AssertionFailure()
           << segments.size() << " segments for " << parts << " workers";
  }
  const std::size_t allowed =
      std::max<std::size_t>(1, count / std::max<std::size_t>(1, minOptions));
  if (segments.size() > allowed) {
    return ::testing::AssertionFailure() << segments.size() << " segments of " << count
                                         << " options, at least " << minOptions << " each";
  }
  std::vector<int> covered(count, 0);
  std::size_t next = 0;  // where the next segment must start
  std::size_t total = 0;
  for (std::size_t k = 0; k < segments.size(); ++k) {
    const BookSegment& s = segments[k];
    const std::size_t start = positionOf(order, s.order);
    if (s.count == 0) return ::testing::AssertionFailure() << "segment " << k << " is empty";
    if (start != next) {
      return ::testing::AssertionFailure()
             << "segment " << k << " starts at position " << static_cast<std::ptrdiff_t>(start)
             << " of the order, but the segments before it end at " << next
             << (start < next ? " (an overlap: options priced twice)"
                              : " (a gap: options never priced)");
    }
    if (start >= count || s.count > count - start) {
      return ::testing::AssertionFailure() << "segment " << k << " [" << start << ", "
                                           << start + s.count << ") runs past the order's "
                                           << count << " options";
    }
    if (k + 1 < segments.size() && s.count < minOptions) {
      return ::testing::AssertionFailure() << "segment " << k << " has " << s.count
                                           << " options, fewer than " << minOptions;
    }
    for (std::size_t j = 0; j < s.count; ++j) ++covered[start + j];
    next = start + s.count;
    total += s.count;
  }
  if (total != count || next != count) {
    return ::testing::AssertionFailure() << "the segments hold " << total << " options and end at "
                                         << next << ", the order has " << count;
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (covered[i] != 1) {
      return ::testing::AssertionFailure() << "position " << i << " is in " << covered[i]
                                           << " segments";
    }
  }
  return ::testing::AssertionSuccess();
}

// The book's work under a cutting, summed along the order as splitOrder
// estimates it: each option's own, each maturity's slice once per run.
template <class OptionWork, class SliceWork>
double workOf(const NamedOrder& book, OptionWork optionWork, SliceWork sliceWork) {
  double work = 0.0;
  for (std::size_t i = 0; i < book.order.size(); ++i) {
    const double t = book.T[book.order[i]];
    const bool opens =
        i == 0 || jdpricer::maturityKey(t) != jdpricer::maturityKey(book.T[book.order[i - 1]]);
    work = work + optionWork(t) + (opens ? sliceWork(t) : 0.0);
  }
  return work;
}

// Each cutting over each book, under a model with one series length and one
// with each maturity's own (0 for T <= 0 or NaN, 170 for an infinite T), on
// 1 to 64 workers.
TEST(SplitOrder, SegmentsPartitionTheOrderOnEveryWorkerCount) {
  const std::vector<NamedOrder> all = books();
  const KouModel models[] = {{0.2, 3.0, 0.4, 10.0, 5.0, 20, false},
                             {0.2, 3.0, 0.4, 10.0, 5.0, 20, true}};
  std::size_t cutInsideAMaturity = 0, severalSegments = 0;
  for (const NamedOrder& book : all) {
    for (const KouModel& model : models) {
      for (const Cutting& cutting : kPricerCuttings) {
        LengthOf length(model);
        const auto optionWork = [&](double T) { return cutting.option(length(T)); };
        const auto sliceWork = [&](double T) { return cutting.slice(length(T)); };
        const double work = workOf(book, optionWork, sliceWork);
        for (std::size_t parts = 1; parts <= kMostWorkers; ++parts) {
          const std::vector<BookSegment> segments =
              jdpricer::splitOrder(book.order, book.T.data(), parts, cutting.minOptions,
                                   cutting.minWork, optionWork, sliceWork);
          ASSERT_TRUE(partitions(book.order, segments, parts, cutting.minOptions))
              << book.name << " (" << book.order.size() << " options), " << cutting.name
              << " with " << (model.perMaturity ? "each maturity's" : "one") << " series length, "
              << parts << " workers";
          // Less work than a segment's minimum for two segments stays whole.
          if (cutting.minWork > 0.0 && work < 2.0 * cutting.minWork * (1.0 - 1e-12)) {
            ASSERT_EQ(segments.size(), 1u) << book.name << ", " << cutting.name << ", work "
                                           << work << ", " << parts << " workers";
          }
          if (segments.size() > 1) ++severalSegments;
          for (std::size_t k = 1; k < segments.size(); ++k) {
            const double before = book.T[segments[k].order[-1]];
            const double first = book.T[segments[k].order[0]];
            if (jdpricer::maturityKey(before) == jdpricer::maturityKey(first)) ++cutInsideAMaturity;
          }
        }
      }
    }
  }
  // The books do exercise what the pricers rely on: several segments, and
  // maturities cut between two of them.
  EXPECT_GT(severalSegments, 1000u);
  EXPECT_GT(cutInsideAMaturity, 100u);
}

// Minimum options and work per segment other than the pricers' own, with a
// slice worth nothing, worth one option, or worth a thousand.
TEST(SplitOrder, EveryMinimumStillPartitions) {
  const std::vector<NamedOrder> all = books();
  for (const NamedOrder& book : all) {
    for (const double slice : {0.0, 1.0, 1000.0}) {
      const auto optionWork = [](double) { return 1.0; };
      const auto sliceWork = [slice](double) { return slice; };
      for (const std::size_t minOptions : {std::size_t{1}, std::size_t{2}, std::size_t{5},
                                           std::size_t{33}, std::size_t{400}}) {
        for (const double minWork : {0.0, 1.0, 37.5, 5000.0}) {
          for (std::size_t parts = 1; parts <= kMostWorkers; ++parts) {
            const std::vector<BookSegment> segments = jdpricer::splitOrder(
                book.order, book.T.data(), parts, minOptions, minWork, optionWork, sliceWork);
            ASSERT_TRUE(partitions(book.order, segments, parts, minOptions))
                << book.name << " (" << book.order.size() << " options), slice work " << slice
                << ", at least " << minOptions << " options and " << minWork << " work, "
                << parts << " workers";
          }
        }
      }
    }
  }
}

// Options of equal work and slices of none: the cut is by count alone, so
// every worker gets a segment and no two segments differ by more than one
// option, wherever the maturities change.
TEST(SplitOrder, EqualWorkGivesSegmentsOfEqualSize) {
  std::vector<double> T;
  for (int i = 0; i < 1000; ++i) T.push_back(i % 3 == 0 ? 0.5 : 0.25 * (i % 11));
  const NamedOrder book = byMaturity("equal work", T);
  for (std::size_t parts = 1; parts <= kMostWorkers; ++parts) {
    const std::vector<BookSegment> segments = jdpricer::splitOrder(
        book.order, book.T.data(), parts, 1, 0.0, [](double) { return 1.0; },
        [](double) { return 0.0; });
    ASSERT_TRUE(partitions(book.order, segments, parts, 1)) << parts << " workers";
    ASSERT_EQ(segments.size(), parts);
    const std::size_t small = book.order.size() / parts;
    for (std::size_t k = 0; k < segments.size(); ++k) {
      EXPECT_TRUE(segments[k].count == small || segments[k].count == small + 1)
          << "segment " << k << " of " << parts << " has " << segments[k].count << " options";
    }
  }
}

// The smallest books: none, and one option, whatever the worker count.
TEST(SplitOrder, EmptyAndOneOptionBooks) {
  const std::vector<std::size_t> none;
  const double oneT[] = {std::numeric_limits<double>::quiet_NaN()};
  const std::vector<std::size_t> one = {0};
  for (std::size_t parts = 1; parts <= kMostWorkers; ++parts) {
    for (const Cutting& cutting : kPricerCuttings) {
      const auto optionWork = [&](double) { return cutting.option(20); };
      const auto sliceWork = [&](double) { return cutting.slice(20); };
      const std::vector<BookSegment> empty = jdpricer::splitOrder(
          none, oneT, parts, cutting.minOptions, cutting.minWork, optionWork, sliceWork);
      EXPECT_TRUE(partitions(none, empty, parts, cutting.minOptions)) << cutting.name;
      const std::vector<BookSegment> single = jdpricer::splitOrder(
          one, oneT, parts, cutting.minOptions, cutting.minWork, optionWork, sliceWork);
      ASSERT_TRUE(partitions(one, single, parts, cutting.minOptions)) << cutting.name;
      ASSERT_EQ(single.size(), 1u);
      EXPECT_EQ(single[0].order, one.data());
      EXPECT_EQ(single[0].count, 1u);
    }
  }
}

}  // namespace
