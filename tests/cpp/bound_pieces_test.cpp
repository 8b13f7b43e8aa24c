// The pieces the error bounds are built from: lane masks and selection,
// prepared divisors, erfc on both sides of zero, and the bounded pass taking
// the engine's own level values; the robust prices' screen and the full bound
// against a long double evaluation.
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "batch/bound_book.hpp"
#include "pricing/common/lanes.hpp"
#include "pricing/error_bound/bounded_arithmetic.hpp"
#include "pricing/error_bound/bounded_lanes.hpp"
#include "pricing/error_bound/price_bound.hpp"
#include "support/bits.hpp"
#include "support/wide_kou.hpp"

namespace {

using jdpricer::Bounded;
using jdpricer::LaneBlock;
using testing_bits::sameBits;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

TEST(BoundPieces, LaneMinimumIsFminAndSelectionCopiesBits) {
  const double left[8] = {1.0, kNaN, 2.0, kNaN, -kInf, 3.0, -1.0, 5.0};
  const double right[8] = {2.0, 1.0, kNaN, kNaN, 0.0, kInf, -1.0, -7.0};
  LaneBlock a, b;
  for (int l = 0; l < 8; ++l) a[l] = left[l], b[l] = right[l];
  const LaneBlock minimum = jdpricer::minLanes(a, b);
  // Where the left lane is NaN the selection must not let it through.
  const LaneBlock picked = jdpricer::selectLanes(jdpricer::lessEqualLanes(a, a), a, b);
  const LaneBlock magnitude = jdpricer::absLanes(b);
  for (int l = 0; l < 8; ++l) {
    EXPECT_TRUE(sameBits(std::fmin(left[l], right[l]), minimum[l])) << l;
    EXPECT_TRUE(sameBits(std::isnan(left[l]) ? right[l] : left[l], picked[l])) << l;
    EXPECT_TRUE(sameBits(std::fabs(right[l]), magnitude[l])) << l;
  }
  EXPECT_FALSE(jdpricer::anyLane(jdpricer::lessLanes(a, jdpricer::broadcastLanes(-kInf))));
}

// Each lane's value is the scalar operation's, to the bit, and its bound at
// least the scalar one (which recovers the rounding exactly) and at most
// half an ulp of the value above it, also where the scalar transformations
// fall back (huge, tiny, non-finite).
TEST(BoundPieces, LaneArithmeticKeepsTheScalarValuesAndBoundsThem) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> mantissa(-2.0, 2.0);
  std::uniform_int_distribution<int> exponent(-1060, 1020);
  const double special[] = {kNaN, kInf, -kInf, 0.0, -0.0, 0x1p-1074, 0x1p+1000, 1.0};
  const auto draw = [&](int i) {
    return i % 5 == 0 ? special[(i / 5) % 8] : std::ldexp(mantissa(rng), exponent(rng) / (i % 3 + 1));
  };
  const jdpricer::BoundedDivisor divisor = jdpricer::divisor({1.4142135623730951, 1e-16});
  const double u = 0x1p-53;
  for (int round = 0; round < 500; ++round) {
    jdpricer::BoundedLanes x, y;
    for (int l = 0; l < 8; ++l) {
      x.v[l] = draw(round * 16 + l);
      y.v[l] = draw(round * 16 + 8 + l);
      x.e[l] = l % 2 ? 0.0 : std::fabs(x.v[l]) * 1e-15;
      y.e[l] = l % 3 ? 0.0 : 1e-300;
    }
    const jdpricer::BoundedLanes results[] = {x + y, x - y, x * y, 0.5 * x, -0.5 * y, x / divisor};
    for (int l = 0; l < 8; ++l) {
      const Bounded a{x.v[l], x.e[l]}, b{y.v[l], y.e[l]};
      const Bounded expected[] = {a + b, a - b, a * b, 0.5 * a, -0.5 * b, a / divisor};
      for (int k = 0; k < 6; ++k) {
        const double v = results[k].v[l], e = results[k].e[l];
        ASSERT_TRUE(sameBits(expected[k].v, v)) << round << " " << l << " " << k;
        if (std::isinf(expected[k].e)) {
          ASSERT_TRUE(std::isinf(e)) << round << " " << l << " " << k;
          continue;
        }
        ASSERT_GE(e, expected[k].e) << round << " " << l << " " << k;
        ASSERT_LE(e, (expected[k].e + u * std::fabs(v)) * (1.0 + 8.0 * u) + 0x1p-1072)
            << round << " " << l << " " << k;
      }
    }
  }
}

TEST(BoundPieces, PreparedDivisorKeepsTheQuotientAndBoundsItsRounding) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> mantissa(1.0, 2.0);
  std::uniform_int_distribution<int> exponent(-300, 300);
  for (int i = 0; i < 20000; ++i) {
    const double a = std::ldexp(mantissa(rng), exponent(rng)) * (i % 2 ? -1.0 : 1.0);
    const double b = std::ldexp(mantissa(rng), exponent(rng) / 4);
    const Bounded q = Bounded::exact(a) / jdpricer::divisor(Bounded::exact(b));
    ASSERT_TRUE(sameBits(a / b, q.v));
    // a - q b is exact (a fused multiply-add rounds it once, and it is
    // representable), so |a/b - q| = |a - q b| / |b|.
    const double residual = std::fma(-q.v, b, a);
    ASSERT_LE(std::fabs(residual) / std::fabs(b), q.e) << a << " / " << b;
  }
  // An error in the divisor propagates; a divisor whose error reaches zero
  // bounds nothing.
  const Bounded wide = Bounded::exact(1.0) / jdpricer::divisor({2.0, 1e-3});
  EXPECT_GE(wide.e, 1e-3 / 4.0);
  EXPECT_TRUE(std::isinf((Bounded{1.0, 1e-9} / jdpricer::divisor({1e-3, 2e-3})).e));
}

TEST(BoundPieces, ErfcOnBothSidesIsErfcAtEach) {
  for (const double x : {-27.0, -6.5, -1.0, -1e-9, 0.0, 0.3, 4.0, 26.5}) {
    const Bounded at{x, 1e-14 * (1.0 + std::fabs(x))};
    const jdpricer::BoundedPair sides =
        jdpricer::erfcBothSides(at, jdpricer::bounded_detail::erfcSlope(at));
    const Bounded expected = jdpricer::erfc(at);
    const Bounded mirrored = jdpricer::erfc(Bounded{-at.v, at.e});
    EXPECT_TRUE(sameBits(expected.v, sides.at.v)) << x;
    EXPECT_TRUE(sameBits(expected.e, sides.at.e)) << x;
    EXPECT_TRUE(sameBits(mirrored.v, sides.mirrored.v)) << x;
    EXPECT_TRUE(sameBits(mirrored.e, sides.mirrored.e)) << x;
  }
}

// The bounded pass prices with the level values and Hh rows it forms for
// the bound; that needs its family constants to be the engine's to the bit.
// If they ever drift apart the prices keep their bits (the engine then forms
// its own) but the bounds pay for the library calls twice.
TEST(BoundPieces, BoundedMaturitiesShareTheEnginesLevelValues) {
  const double models[][5] = {{0.16, 1.0, 0.4, 10.0, 5.0},
                              {0.5, 3.0, 0.9, 1.5, 30.0},
                              {0.02, 0.1, 0.0, 60.0, 0.3}};
  const int n = 30;
  std::vector<double> storage(jdpricer::BoundedKouModel::storageDoubles(n));
  std::vector<double> maturityStorage(jdpricer::BoundedKouModel::maturityDoubles(n));
  for (const auto& m : models) {
    const jdpricer::BoundedKouModel model(m[0], m[1], m[2], m[3], m[4], n, storage.data());
    for (const double T : {1e-4, 0.3, 2.0, 9.0}) {
      auto maturity = std::make_unique<jdpricer::BoundedKouModel::Maturity>();
      model.buildMaturity(T, n, maturityStorage.data(), *maturity);
      for (const auto& bounded : maturity->bounded) {
        EXPECT_TRUE(bounded.upward.sharesLevels) << m[0] << " " << T;
        EXPECT_TRUE(bounded.downward.sharesLevels) << m[0] << " " << T;
        EXPECT_TRUE(bounded.sharesNoJumpFactor) << m[0] << " " << T;
      }
    }
  }
}

}  // namespace

// The screen of robust prices (alone, and with the recursion's adjoint in
// every unstable lane: a tolerance of 0) and the full bound, held against the
// n-term series in long double over random well-conditioned books with
// negligible truncation: every bound at least the error, up to the long
// double's own (a few 1e-19 (S + K)).
TEST(BoundPieces, ScreenAndFullBoundHoldAgainstTheWideSeries) {
  // valgrind's CPU carries long doubles in doubles: no reference there.
  volatile long double one = 1.0L, step = std::numeric_limits<long double>::epsilon();
  if (!((one + step) - one == step && std::numeric_limits<long double>::digits >= 64)) {
    GTEST_SKIP() << "long double arithmetic without a 64-bit significand";
  }
  std::mt19937_64 rng(2718);
  const auto uniform = [&rng](double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
  };
  int checked = 0;
  for (int trial = 0; trial < 160; ++trial) {
    const double sigma = uniform(0.05, 0.5), lam = uniform(0.0, 3.0), p = uniform(0.0, 1.0);
    const double eta1 = uniform(2.0, 30.0), eta2 = uniform(1.0, 30.0);
    const double T = uniform(0.02, 6.0);
    // Where the recursion's errors matter, short of where the series cancels
    // by design.
    const double etaS = std::fmax(eta1, eta2) * sigma * std::sqrt(T);
    if (etaS < 1.0 || etaS > 3.0) continue;
    // Long enough for the truncation part of the bound to be negligible:
    // what is held is the rounding part.
    if (lam * T > 1.5) continue;
    const int n = 26 + trial % 6;
    std::vector<double> Ts(8, T), K(8), S(8, 100.0), r(8);
    for (int l = 0; l < 8; ++l) {
      K[l] = uniform(60.0, 150.0);
      r[l] = uniform(-0.02, 0.08);
    }
    const jdpricer::OptionColumns book{Ts.data(), K.data(), S.data(), r.data(), 8};
    const jdpricer::KouModel model{sigma, lam, p, eta1, eta2, n};
    const jdpricer::BoundedBookModel shared(model, book);
    const std::size_t order[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    for (const jdpricer::Payoff payoff : {jdpricer::Payoff::kCall, jdpricer::Payoff::kPut}) {
      double prices[3][8], bounds[3][8];
      const struct {
        jdpricer::BoundKind kind;
        double tolerance;
      } passes[3] = {{jdpricer::BoundKind::kScreen, kInf},
                     {jdpricer::BoundKind::kScreen, 0.0},
                     {jdpricer::BoundKind::kFull, kInf}};
      for (int pass = 0; pass < 3; ++pass) {
        jdpricer::BoundedBookPricer pricer(payoff, shared, book, order, 8, prices[pass],
                                           bounds[pass], passes[pass].kind,
                                           passes[pass].tolerance);
        while (pricer.priceNext(8)) {
        }
      }
      for (int l = 0; l < 8; ++l) {
        const long double call =
            wide_kou::call(T, K[l], 100.0, r[l], sigma, lam, p, eta1, eta2, n);
        const long double exact =
            payoff == jdpricer::Payoff::kCall
                ? call
                : (std::exp(-static_cast<long double>(r[l]) * T) * K[l] + call) - 100.0L;
        const double slack = 1e-18 * (100.0 + K[l]);
        for (int pass = 0; pass < 3; ++pass) {
          ASSERT_TRUE(sameBits(prices[0][l], prices[pass][l])) << trial << " " << pass;
          const double error = static_cast<double>(std::fabs(prices[pass][l] - exact));
          ASSERT_GE(bounds[pass][l] + slack, error) << trial << " " << l << " " << pass;
        }
        // The adjoint only ever tightens the screen.
        EXPECT_LE(bounds[1][l], bounds[0][l]) << trial << " " << l;
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 200);
}

// Robust prices send an option to the Fourier method unpriced once its
// truncation floor exceeds the tolerance: that floor must be below every
// bound, screen or full, that the closed form could give it (rates of both
// signs: e^(-rT) above 1 too), and handing the pricers the tails must not
// change a bit.
TEST(BoundPieces, TruncationFloorIsBelowEveryBound) {
  std::mt19937_64 rng(1729);
  const auto uniform = [&rng](double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
  };
  int cutShort = 0;
  for (int trial = 0; trial < 60; ++trial) {
    const double T = uniform(0.05, 8.0);
    const jdpricer::KouModel model{uniform(0.05, 0.5), uniform(0.2, 4.0), uniform(0.0, 1.0),
                                   uniform(2.0, 30.0), uniform(1.0, 30.0), 2 + trial % 12};
    std::vector<double> Ts(8, T), K(8), S(8), r(8), tails(16);
    for (int l = 0; l < 8; ++l) {
      K[l] = uniform(20.0, 200.0);
      S[l] = uniform(50.0, 150.0);
      r[l] = uniform(-0.1, 0.1);
    }
    const jdpricer::OptionColumns book{Ts.data(), K.data(), S.data(), r.data(), 8};
    const jdpricer::BoundedBookModel shared(model, book);
    shared.bounded().poissonTails(T, shared.lengths()(T), tails.data());
    for (int l = 1; l < 8; ++l) std::copy(tails.begin(), tails.begin() + 2, tails.begin() + 2 * l);
    const std::size_t order[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    for (const auto kind : {jdpricer::BoundKind::kScreen, jdpricer::BoundKind::kFull}) {
      double prices[2][8], bounds[2][8];
      for (int given = 0; given < 2; ++given) {
        jdpricer::BoundedBookPricer pricer(jdpricer::Payoff::kPut, shared, book, order, 8,
                                           prices[given], bounds[given], kind, kInf,
                                           given ? tails.data() : nullptr);
        while (pricer.priceNext(8)) {
        }
      }
      for (int l = 0; l < 8; ++l) {
        const double floor =
            jdpricer::BoundedKouModel::truncationFloor(tails.data(), T, K[l], S[l], r[l]);
        ASSERT_LE(floor, bounds[0][l]) << trial << " " << l;
        ASSERT_TRUE(sameBits(bounds[0][l], bounds[1][l]) && sameBits(prices[0][l], prices[1][l]));
        cutShort += floor > 1e-8;
      }
    }
  }
  EXPECT_GT(cutShort, 100);
}
