// Bounded arithmetic (bounded_arithmetic.hpp) on the eight lanes of the
// batch, for the per-option level values: each lane's value is what the
// scalar operation gives for that lane's operands, to the bit, and its error
// bound the scalar one's with every rounding taken as half an ulp of the
// result instead of recovered exactly.
//
// Method. The same propagation formulas, one IEEE operation per step in the
// same order. In round to nearest |fl(x) - x| <= u |fl(x)| (plus an
// underflow, which make() adds), so half an ulp bounds each rounding; it is
// what the scalar operations fall back to outside the range of their
// error-free transformations, and it costs none of their work. Halving a
// normal number stays exact. Library functions (exp, erfc) stay per lane,
// through the scalar operations.
//
// Numerical caveats. The bounds exceed the scalar ones by at most half an
// ulp of each result, a few percent of an option's bound as measured (most
// where the price is far below 1e-16 of the strike). Selection copies bits,
// so what an out-of-range lane computes never reaches its result.
#pragma once

#include <cmath>
#include <limits>

#include "pricing/common/lanes.hpp"
#include "pricing/error_bound/bounded_arithmetic.hpp"

namespace jdpricer {

struct BoundedLanes {
  LaneBlock v, e;
};

namespace bounded_lanes_detail {

inline LaneMask isNaN(const LaneBlock& x) { return ~lessEqualLanes(x, x); }

inline LaneBlock halfUlp(const LaneBlock& v) {
  return bounded_detail::kUnitRoundoff * absLanes(v);
}

inline BoundedLanes make(const LaneBlock& v, const LaneBlock& propagated,
                         const LaneBlock& rounding) {
  const LaneBlock e = (propagated + rounding) + bounded_detail::kTiniest;
  return {v, selectLanes(isNaN(e) | isNaN(v), broadcastLanes(HUGE_VAL), e)};
}

}  // namespace bounded_lanes_detail

inline BoundedLanes broadcastBounded(Bounded x) {
  return {broadcastLanes(x.v), broadcastLanes(x.e)};
}

inline BoundedLanes operator+(const BoundedLanes& x, const BoundedLanes& y) {
  const LaneBlock v = x.v + y.v;
  return bounded_lanes_detail::make(v, x.e + y.e, bounded_lanes_detail::halfUlp(v));
}

inline BoundedLanes operator-(const BoundedLanes& x, const BoundedLanes& y) {
  const LaneBlock v = x.v - y.v;
  return bounded_lanes_detail::make(v, x.e + y.e, bounded_lanes_detail::halfUlp(v));
}

inline BoundedLanes operator*(const BoundedLanes& x, const BoundedLanes& y) {
  const LaneBlock v = x.v * y.v;
  return bounded_lanes_detail::make(v, absLanes(x.v) * y.e + absLanes(y.v) * x.e + x.e * y.e,
                                    bounded_lanes_detail::halfUlp(v) + bounded_detail::kTiniest);
}

// Halving (exactFactor = +-0.5), as the scalar operator* by an exact factor.
inline BoundedLanes operator*(double half, const BoundedLanes& x) {
  const LaneBlock v = half * x.v;
  const LaneMask exact = greaterEqualLanes(absLanes(v), broadcastLanes(0x1p-1021));
  const LaneBlock rounding =
      selectLanes(exact, zeroLanes(), bounded_lanes_detail::halfUlp(v) + bounded_detail::kTiniest);
  return bounded_lanes_detail::make(v, std::fabs(half) * x.e, rounding);
}

inline BoundedLanes operator/(const BoundedLanes& x, const BoundedDivisor& y) {
  const LaneBlock v = x.v / y.v;
  LaneBlock propagated = (x.e + absLanes(v) * y.e) * y.inverseRoom;
  if (y.e == 0.0) propagated = selectLanes(lessEqualLanes(x.e, zeroLanes()) &
                                               greaterEqualLanes(x.e, zeroLanes()),
                                           zeroLanes(), propagated);
  return bounded_lanes_detail::make(
      v, propagated,
      bounded_lanes_detail::halfUlp(v) * (1.0 + 2.0 * bounded_detail::kUnitRoundoff));
}

// A scalar Bounded function of every lane: f(Bounded) -> Bounded.
template <class Function>
inline BoundedLanes eachLane(const BoundedLanes& x, Function f) {
  BoundedLanes out;
  for (int l = 0; l < kBatchLanes; ++l) {
    const Bounded y = f(Bounded{x.v[l], x.e[l]});
    out.v[l] = y.v;
    out.e[l] = y.e;
  }
  return out;
}

inline LaneBlock upper(const BoundedLanes& x) { return absLanes(x.v) + x.e; }

}  // namespace jdpricer
