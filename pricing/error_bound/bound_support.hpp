// Small pieces shared by the full bound (bounded_slice.hpp) and the screen
// (screen_slice.hpp): a-priori rounding counts, powers with their bounds,
// and the rule that a bound which overflows or meets a NaN is +infinity.
//
// Numerical caveats. These helpers compute in double: their own rounding is
// covered by the final widening of each price bound (price_bound.hpp), and
// where a value with a sign is formed from them its error bound counts it.
#pragma once

#include <cmath>
#include <limits>

#include "pricing/closed_form/hh_integral.hpp"
#include "pricing/common/lanes.hpp"
#include "pricing/error_bound/bounded_arithmetic.hpp"

namespace jdpricer {
namespace bound_support {

inline constexpr double kU = bounded_detail::kUnitRoundoff;
inline constexpr double kTiny = bounded_detail::kTiniest;
inline constexpr double kInfinity = std::numeric_limits<double>::infinity();

// gamma_k = k u / (1 - k u), rounded up generously: a dot product of k terms
// errs by at most gamma_k times the sum of the terms' magnitudes.
inline double gamma(int k) {
  const double ku = static_cast<double>(k) * kU;
  return ku < 0.25 ? ku / (1.0 - ku) * (1.0 + 8.0 * kU) : kInfinity;
}

// 1/m, m = 0..kSeriesTableSize + 1, each within u of its value: the bounds
// multiply by these instead of dividing.
struct Reciprocals {
  double of[kSeriesTableSize + 2];
  constexpr Reciprocals() : of() {
    of[0] = 0.0;
    for (int m = 1; m < kSeriesTableSize + 2; ++m) of[m] = 1.0 / m;
  }
};
inline constexpr Reciprocals kReciprocals;

inline double upper(Bounded x) { return std::fabs(x.v) + x.e; }

// NaN and overflow give +inf: still a bound.
inline double finiteOrInfinite(double bound) {
  return bound <= std::numeric_limits<double>::max() ? bound : kInfinity;
}
inline LaneBlock finiteOrInfinite(const LaneBlock& bound) {
  return selectLanes(lessEqualLanes(bound, broadcastLanes(std::numeric_limits<double>::max())),
                     bound, broadcastLanes(kInfinity));
}

// x^j for j = 1, 2, ... in turn, as powInteger bounds it, with the value
// pow(x, j) given (the engine's own, or one library call) and
// (|x| + e)^(j-1) carried from one power to the next, rounded up, instead of
// a second library call.
class PowerBounds {
 public:
  explicit PowerBounds(Bounded x) : x_(x), grown_(std::fabs(x.v) + x.e) {}
  Bounded next(double value) {
    ++j_;
    const double propagated =
        x_.e == 0.0 ? 0.0 : static_cast<double>(j_) * carried_ * x_.e * (1.0 + 4.0 * kU);
    carried_ = carried_ * grown_ * (1.0 + 2.0 * kU);
    Bounded out{value, propagated + (j_ == 1 ? 0.0 : 2.0 * kU * std::fabs(value)) + kTiny};
    if (!(out.e <= std::numeric_limits<double>::max()) || std::isnan(value)) out.e = kInfinity;
    return out;
  }

 private:
  Bounded x_;
  double grown_;
  double carried_ = 1.0;  // (|x| + e)^(j-1), from above
  int j_ = 0;
};

// |x - x*| / |x| for a bounded x: +inf where x is 0 with an error, NaN or
// not finite.
inline double relativeError(Bounded x) {
  if (x.e == 0.0) return std::isfinite(x.v) ? 0.0 : kInfinity;
  const double r = x.e / std::fabs(x.v);
  return r <= std::numeric_limits<double>::max() ? r * (1.0 + 2.0 * kU) : kInfinity;
}

}  // namespace bound_support
}  // namespace jdpricer
