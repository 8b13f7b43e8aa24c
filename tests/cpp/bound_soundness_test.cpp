// The terms of the price bound's building blocks, each held against wider
// arithmetic where it is the term that matters: the local rounding of a step
// of the Hh recursion, a step of its adjoint, and the bounded operations.
// End to end the bounds sit several times above the errors, so a term left
// out goes unseen there; here every case checks that the bound covers the
// error and that the bound less the term would not.
//
// References in __float128 (113-bit significand): exact for the sums and
// products of the doubles used here, within 2^-113 relative otherwise
// (glibc's expf128, logf128, sqrtf128 within an ulp of theirs), far below
// every margin. The bounds are formed in double and carry a few u of their
// own relative rounding (the callers widen for it): covering is checked up to
// 8u of the bound, and each term must exceed that.
#include <math.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "pricing/closed_form/integral_family.hpp"
#include "pricing/error_bound/bounded_arithmetic.hpp"
#include "pricing/error_bound/detail/recursion_steps.hpp"
#include "pricing/error_bound/recursion_adjoint.hpp"

namespace {

using jdpricer::Bounded;
using jdpricer::LaneBlock;
using Wide = __float128;
namespace steps = jdpricer::recursion_steps;

constexpr double kU = 0x1p-53;
constexpr double kSlack = 1.0 + 8.0 * kU;

Wide wide(double x) { return x; }
Wide wideAbs(Wide x) { return x < 0 ? -x : x; }

struct Term {
  const char* name;
  Wide size;  // what the term adds to the bound
};

// The bound covers the error, and with any one of the terms taken out it
// would not.
void expectTight(const std::string& where, Wide error, double bound,
                 std::initializer_list<Term> terms) {
  EXPECT_TRUE(error <= bound * wide(kSlack))
      << where << ": bound " << bound << " below the error " << static_cast<double>(error);
  for (const Term& term : terms) {
    EXPECT_TRUE(error > (bound - term.size) * wide(kSlack))
        << where << ": the error " << static_cast<double>(error) << " is covered without "
        << term.name << " (" << static_cast<double>(term.size) << ")";
  }
}

// ---- The local rounding of a step h = (older - e newer)/m of the Hh recursion.

struct HhStep {
  double e, older, newer, h;  // h the engine's value of the step
  int m;
};

// The step as hhRecursion takes it.
HhStep engineStep(double e, double older, double newer, int m) {
  return {e, older, newer, (older - e * newer) / static_cast<double>(m), m};
}

Wide localError(const HhStep& s) {
  return wideAbs(s.h - (wide(s.older) - wide(s.e) * s.newer) / s.m);
}

// Each rounding errs by at most u times its result: the division, and the
// subtraction and the product over m.
struct StepTerms {
  Wide division, subtraction, product;
};
StepTerms stepTerms(const HhStep& s) {
  const double product = s.e * s.newer, difference = s.older - product;
  return {kU * std::fabs(s.h), wide(kU * std::fabs(difference)) / s.m,
          wide(kU * std::fabs(product)) / s.m};
}

// A step at m = 2^k + 1 where all three roundings are nearly half an ulp and
// in the same direction, found deterministically: the quotient just above 1,
// the difference just above 2^k (m of them), the product just above 2^(k-2)
// with bits half of the difference's ulp (so the subtraction can tie). Such
// a step needs every term: their sum less the smallest (the product's, about
// a quarter of the others) is below the error.
HhStep criticalStep(int k, std::uint64_t seed) {
  std::mt19937_64 bits(seed);
  const auto unit = [&bits] { return static_cast<double>(bits() >> 11) * 0x1p-53; };
  const int m = (1 << k) + 1;
  for (int trial = 0; trial < 200000; ++trial) {
    const double e = (bits() & 1 ? -1.0 : 1.0) * (1.0 + unit());
    const double newer = std::ldexp(1.0 + 0x1p-8 * unit(), k - 2) / e;
    const double older = e * newer + m * (1.0 + 0x1p-8 * unit());
    const HhStep s = engineStep(e, older, newer, m);
    const StepTerms t = stepTerms(s);
    if (localError(s) > t.division + t.subtraction + t.product * (1.0 / 16.0)) return s;
  }
  return {0.0, 0.0, 0.0, 0.0, m};  // none: the checks below fail on it
}

LaneBlock lanesOf(const double* values) {
  LaneBlock x;
  for (int l = 0; l < jdpricer::kBatchLanes; ++l) x[l] = values[l];
  return x;
}

TEST(BoundSoundness, HhStepNeedsTheRoundingOfItsProductSubtractionAndDivision) {
  const auto all = jdpricer::broadcastLanes;
  for (int c = 0; c < 8; ++c) {
    const HhStep s = criticalStep(5 + c % 3, 1000 + c);
    const StepTerms t = stepTerms(s);
    expectTight("step at m = " + std::to_string(s.m) + ", case " + std::to_string(c),
                localError(s),
                steps::hhStepLocalError(all(s.e), all(s.older), all(s.newer), all(s.h), s.m)[0],
                {{"the division's rounding", t.division},
                 {"the subtraction's rounding", t.subtraction},
                 {"the product's rounding", t.product}});
  }
}

// Along the engine's own recursions, stable and unstable, every step's bound
// covers its local error.
TEST(BoundSoundness, HhStepBoundsCoverEveryStepOfTheEnginesRecursion) {
  const double levels[8] = {-7.5, -2.25, -0.3, 0.0, 0.41, 1.7, 5.0, 11.0};
  jdpricer::IntegralLevelValues<LaneBlock> level;
  level.e = lanesOf(levels);
  for (int l = 0; l < 8; ++l) {
    level.hMinusOne[l] = std::exp(-0.5 * levels[l] * levels[l]);
    level.hZero[l] = 2.5066282746310002 * 0.5 * std::erfc(levels[l] / 1.4142135623730951);
  }
  const int count = jdpricer::kSeriesTableSize;
  LaneBlock hh[jdpricer::kSeriesTableSize];
  jdpricer::hhRecursion(level, count, hh);
  for (int m = 1; m < count; ++m) {
    const LaneBlock& older = m == 1 ? level.hMinusOne : hh[m - 2];
    const LaneBlock bound = steps::hhStepLocalError(level.e, older, hh[m - 1], hh[m], m);
    for (int l = 0; l < 8; ++l) {
      const HhStep s{levels[l], older[l], hh[m - 1][l], hh[m][l], m};
      ASSERT_TRUE(localError(s) <= bound[l] * wide(kSlack))
          << "m = " << m << ", e = " << levels[l] << ": bound " << bound[l] << " below "
          << static_cast<double>(localError(s));
    }
  }
}

// ---- A step of the adjoint, Lambda_i = kappa_i - (e/(i+1)) Lambda_{i+1}
// + Lambda_{i+2}/(i+2), against the exact step anywhere in its operands'
// error boxes (linear in each: the worst is at a corner).

struct AdjointCase {
  int i;
  double kappa, kappaError, e, next, nextError, afterNext, afterNextError;
};

steps::AdjointStep runStep(const AdjointCase& c) {
  const auto all = jdpricer::broadcastLanes;
  return steps::adjointStep(all(c.e), c.i, c.kappa, c.kappaError, all(c.next),
                            all(c.nextError), all(c.afterNext), all(c.afterNextError));
}

Wide worstAdjointError(const AdjointCase& c, double value) {
  Wide worst = 0;
  for (int corner = 0; corner < 8; ++corner) {
    const Wide kappa = c.kappa + (corner & 1 ? 1 : -1) * wide(c.kappaError);
    const Wide next = c.next + (corner & 2 ? 1 : -1) * wide(c.nextError);
    const Wide afterNext = c.afterNext + (corner & 4 ? 1 : -1) * wide(c.afterNextError);
    const Wide exact = kappa - c.e * next / (c.i + 1) + afterNext / (c.i + 2);
    worst = std::max(worst, wideAbs(value - exact));
  }
  return worst;
}

TEST(BoundSoundness, AdjointStepNeedsEachErrorItPropagates) {
  const AdjointCase c{3, 0.75, 1e-9, -1.5, 0.5, 2e-9, 0.25, 3e-9};
  const steps::AdjointStep step = runStep(c);
  expectTight("propagated errors", worstAdjointError(c, step.value[0]), step.error[0],
              {{"kappa's error", c.kappaError},
               {"Lambda_{i+1}'s error", std::fabs(c.e) * c.nextError / (c.i + 1)},
               {"Lambda_{i+2}'s error", wide(c.afterNextError) / (c.i + 2)}});
}

TEST(BoundSoundness, AdjointStepNeedsEachOfItsRoundings) {
  // (e next)/(i+1) rounded twice, with 1/(i+1) rounded: kappa cancels it
  // (kappa = the step's own value of it), so only its rounding is left.
  AdjointCase one{2, 0.0, 0.0, 0.7, 1.3, 0.0, 0.0, 0.0};
  one.kappa = -runStep(one).value[0];
  steps::AdjointStep step = runStep(one);
  expectTight("(e next)/(i+1)", worstAdjointError(one, step.value[0]), step.error[0],
              {{"its rounding, 3u |(e next)/(i+1)|", 3.0 * kU * one.kappa}});
  // Lambda_{i+2}/(i+2), cancelled by kappa likewise, where the product and
  // 1/(i+2) round far enough together that the terms of the other roundings
  // (u |kappa|, as large as the step) do not cover it: searched for.
  std::mt19937_64 bits(7);
  bool found = false;
  for (int trial = 0; trial < 100000 && !found; ++trial) {
    AdjointCase two{static_cast<int>(bits() % 168), 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    two.afterNext = (two.i + 2) * (1.0 + 0x1p-8 * static_cast<double>(bits() >> 11) * 0x1p-53);
    two.kappa = -runStep(two).value[0];
    step = runStep(two);
    const Wide error = worstAdjointError(two, step.value[0]);
    if (error < 1.1 * kU * -two.kappa) continue;
    found = true;
    expectTight("Lambda_{i+2}/(i+2), i = " + std::to_string(two.i), error, step.error[0],
                {{"its rounding, 2u |Lambda_{i+2}/(i+2)|", 2.0 * kU * -two.kappa}});
  }
  EXPECT_TRUE(found);
  // The two additions, kappa - (e next)/(i+1) and then + Lambda_{i+2}/(i+2)
  // with both steps exact (i = 0), each rounding by half an ulp the same way
  // (ties to even).
  const AdjointCase sums{0, 1.0 + 0x1p-51, 0.0, 0x1p-53, 1.0, 0.0, -0x1p-52, 0.0};
  step = runStep(sums);
  expectTight("the two additions", worstAdjointError(sums, step.value[0]), step.error[0],
              {{"the first addition's rounding", kU * sums.kappa},
               {"the second addition's rounding", kU * step.value[0]}});
}

// The steps chained as the engine runs them, N = 60 and kappa exact, on
// both sides of the recursion's stability: each Lambda_j within its running
// bound of the exact adjoint, and adjointRecursion's bound for a unit local
// error at j exactly |Lambda_j| + its bound.
TEST(BoundSoundness, ChainedAdjointStaysWithinItsRunningBound) {
  const int N = 60;
  const double levels[8] = {-4.0, -0.5, 0.3, 1.0, 2.5, 4.75, 8.0, 13.0};
  const LaneBlock e = lanesOf(levels), zero = jdpricer::zeroLanes();
  double kappa[N], kappaError[N] = {};
  for (int i = 0; i < N; ++i) kappa[i] = std::ldexp(1.0 + (i % 7) * 0.125, -i / 4);
  LaneBlock value[N + 2], error[N + 2];
  Wide exact[8][N + 2];
  value[N] = value[N + 1] = error[N] = error[N + 1] = zero;
  for (int l = 0; l < 8; ++l) exact[l][N] = exact[l][N + 1] = 0;
  for (int i = N - 1; i >= 0; --i) {
    const steps::AdjointStep step = steps::adjointStep(
        e, i, kappa[i], kappaError[i], value[i + 1], error[i + 1], value[i + 2], error[i + 2]);
    value[i] = step.value, error[i] = step.error;
    for (int l = 0; l < 8; ++l) {
      exact[l][i] = kappa[i] - levels[l] * exact[l][i + 1] / (i + 1) + exact[l][i + 2] / (i + 2);
      ASSERT_TRUE(wideAbs(value[i][l] - exact[l][i]) <= error[i][l] * wide(kSlack))
          << "Lambda_" << i << ", e = " << levels[l];
    }
  }
  for (int j = -1; j < N; ++j) {
    LaneBlock local[N + 1];
    for (int k = 0; k <= N; ++k) local[k] = k == j + 1 ? jdpricer::broadcastLanes(1.0) : zero;
    const LaneBlock bound = jdpricer::adjointRecursion(e, N, kappa, kappaError, local, zero,
                                                       jdpricer::broadcastLanes(-1.0));
    const int at = j < 0 ? 1 : j;  // Hh_-1 enters with Lambda_1
    for (int l = 0; l < 8; ++l) {
      ASSERT_EQ(bound[l], std::fabs(value[at][l]) + error[at][l]) << j << " " << levels[l];
    }
  }
}

// ---- The bounded operations, each where its rounding dominates (exact
// operands) and where its propagated errors do (an exact result): the worst
// error over the corners of the operands' error boxes.

template <class Exact>
void checkOperation(const std::string& what, Bounded x, Bounded y, Bounded result, Exact exact,
                    std::initializer_list<Term> terms) {
  Wide worst = 0;
  for (int sx : {-1, 1}) {
    for (int sy : {-1, 1}) {
      const Wide at = exact(x.v + sx * wide(x.e), y.v + sy * wide(y.e));
      worst = std::max(worst, wideAbs(result.v - at));
    }
  }
  expectTight(what, worst, result.e, terms);
}

Wide rounding(Wide exact, double computed) { return wideAbs(exact - computed); }

TEST(BoundSoundness, BoundedOperationsNeedEachTerm) {
  const auto add = [](Wide a, Wide b) { return a + b; };
  const auto subtract = [](Wide a, Wide b) { return a - b; };
  const auto multiply = [](Wide a, Wide b) { return a * b; };
  const auto divide = [](Wide a, Wide b) { return a / b; };
  const Bounded one = Bounded::exact(1.0), three = Bounded::exact(3.0);
  const Bounded tenth = Bounded::exact(0.1), tiny = Bounded::exact(0x1.8p-60);
  const Bounded x{3.0, 0.5}, y{-5.0, 0.25}, z{4.0, 1.0}, small{-0.25, 0x1p-12};
  const Term xError{"x's error", x.e}, smallError{"small's error", small.e};

  checkOperation("1 + tiny", one, tiny, one + tiny, add,
                 {{"rounding", rounding(1 + wide(tiny.v), 1.0)}});
  checkOperation("x + small", x, small, x + small, add, {xError, smallError});
  checkOperation("1 - tiny", one, tiny, one - tiny, subtract,
                 {{"rounding", rounding(1 - wide(tiny.v), 1.0 - tiny.v)}});
  checkOperation("x - small", x, small, x - small, subtract, {xError, smallError});

  const Bounded product = tenth * three;
  const Term productRounding{"rounding", rounding(wide(0.1) * 3, product.v)};
  checkOperation("0.1 * 3", tenth, three, product, multiply, {productRounding});
  checkOperation("exact 3 * 0.1", three, tenth, 3.0 * tenth, multiply, {productRounding});
  checkOperation("x * y", x, y, x * y, multiply,
                 {{"|x| y.e", 3.0 * y.e}, {"|y| x.e", 5.0 * x.e}, {"x.e y.e", x.e * y.e}});
  checkOperation("x * exact 3", x, three, x * 3.0, multiply, {{"x's error", 3.0 * x.e}});
  checkOperation("exact 0.5 * x", Bounded::exact(0.5), x, 0.5 * x, multiply,
                 {{"x's error", 0.5 * x.e}});

  // q = 1/3 to the nearest: q 3 rounds to 1 (a tie), so the residual 1 - q 3
  // is all in that product's rounding, which Dekker's product recovers.
  const Bounded quotient = one / three;
  const Term quotientRounding{"rounding", rounding(wide(1) / 3, quotient.v)};
  checkOperation("1 / 3", one, three, quotient, divide, {quotientRounding});
  checkOperation("1 / exact 3", one, three, one / 3.0, divide, {quotientRounding});
  checkOperation("1 / prepared 3", one, three, one / jdpricer::divisor(three), divide,
                 {{"half an ulp", kU * quotient.v}});
  // x / z = 0.75 exactly, the room |z| - z.e = 3.
  const Term xOverRoom{"x's error", x.e / 3.0}, zOverRoom{"z's error", 0.75 * z.e / 3.0};
  checkOperation("x / z", x, z, x / z, divide, {xOverRoom, zOverRoom});
  checkOperation("x / prepared z", x, z, x / jdpricer::divisor(z), divide, {xOverRoom, zOverRoom});
  checkOperation("x / exact 4", x, Bounded::exact(4.0), x / 4.0, divide,
                 {{"x's error", x.e / 4.0}});

  // The library functions: their accuracy allowance where the argument is
  // exact (the value is not), the slope over the argument's error otherwise.
  const auto expWide = [](Wide a, Wide) { return expf128(a); };
  const auto logWide = [](Wide a, Wide) { return logf128(a); };
  const auto sqrtWide = [](Wide a, Wide) { return sqrtf128(a); };
  const Bounded half = Bounded::exact(0.5), roughHalf{0.5, 1e-3}, roughThree{3.0, 0.03};
  const Bounded two = Bounded::exact(2.0), roughFour{4.0, 0.5};
  const Bounded exps[] = {exp(half), exp(roughHalf)}, logs[] = {log(three), log(roughThree)};
  checkOperation("exp(0.5)", half, one, exps[0], expWide,
                 {{"the library's error", 2.0 * kU * exps[0].v}});
  checkOperation("exp(0.5 +- 1e-3)", roughHalf, one, exps[1], expWide,
                 {{"x's error", exps[1].v * roughHalf.e}});
  checkOperation("log(3)", three, one, logs[0], logWide,
                 {{"the library's error", 2.0 * kU * logs[0].v}});
  checkOperation("log(3 +- 0.03)", roughThree, one, logs[1], logWide, {{"x's error", 0.03 / 2.97}});
  checkOperation("sqrt(2)", two, one, sqrt(two), sqrtWide, {{"rounding", kU * std::sqrt(2.0)}});
  checkOperation("sqrt(4 +- 0.5)", roughFour, one, sqrt(roughFour), sqrtWide,
                 {{"x's error", 0.5 / 2.0}});
}

}  // namespace
