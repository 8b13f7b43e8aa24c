// Bounded arithmetic (bounded_arithmetic.hpp) on the eight lanes of the
// batch: each lane's value and error bound are what the scalar operation
// gives for that lane's operands, to the bit.
//
// Method. The same formulas, one IEEE operation per step in the same order:
// the exact rounding errors by TwoSum and Dekker's product, computed in every
// lane and replaced by half an ulp (plus an underflow) where the operands
// leave the range in which the transformations are exact, as the scalar code
// falls back. Callers keep the scalar expression's order of operands (the
// propagated sums are ordered by it). Library functions (exp, erfc) stay per
// lane, through the scalar operations.
//
// Numerical caveats. As for the scalar operations; selection copies bits, so
// what an out-of-range lane computes never reaches its result.
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

inline LaneBlock sumRounding(const LaneBlock& a, const LaneBlock& b, const LaneBlock& s) {
  const LaneBlock bb = s - a;
  const LaneBlock err = absLanes((a - (s - bb)) + (b - bb));
  return selectLanes(lessEqualLanes(err, broadcastLanes(std::numeric_limits<double>::max())),
                     err, halfUlp(s));
}

inline LaneBlock productRounding(const LaneBlock& a, const LaneBlock& b, const LaneBlock& p) {
  const LaneBlock big = broadcastLanes(0x1p+995), small = broadcastLanes(0x1p-969);
  const LaneBlock fp = absLanes(p);
  const LaneMask inRange = lessLanes(absLanes(a), big) & lessLanes(absLanes(b), big) &
                           lessLanes(fp, big) & greaterLanes(fp, small);
  constexpr double kSplitter = 134217729.0;  // 2^27 + 1
  const LaneBlock ca = kSplitter * a, cb = kSplitter * b;
  const LaneBlock aHi = ca - (ca - a), aLo = a - aHi;
  const LaneBlock bHi = cb - (cb - b), bLo = b - bHi;
  const LaneBlock exact = absLanes(((aHi * bHi - p) + aHi * bLo + aLo * bHi) + aLo * bLo);
  return selectLanes(inRange, exact, halfUlp(p) + bounded_detail::kTiniest);
}

}  // namespace bounded_lanes_detail

inline BoundedLanes broadcastBounded(Bounded x) {
  return {broadcastLanes(x.v), broadcastLanes(x.e)};
}

inline BoundedLanes operator+(const BoundedLanes& x, const BoundedLanes& y) {
  const LaneBlock v = x.v + y.v;
  return bounded_lanes_detail::make(v, x.e + y.e, bounded_lanes_detail::sumRounding(x.v, y.v, v));
}

inline BoundedLanes operator-(const BoundedLanes& x, const BoundedLanes& y) {
  const LaneBlock v = x.v - y.v;
  return bounded_lanes_detail::make(v, x.e + y.e,
                                    bounded_lanes_detail::sumRounding(x.v, -y.v, v));
}

inline BoundedLanes operator*(const BoundedLanes& x, const BoundedLanes& y) {
  const LaneBlock v = x.v * y.v;
  return bounded_lanes_detail::make(v, absLanes(x.v) * y.e + absLanes(y.v) * x.e + x.e * y.e,
                                    bounded_lanes_detail::productRounding(x.v, y.v, v));
}

// Halving (exactFactor = +-0.5), as the scalar operator* by an exact factor.
inline BoundedLanes operator*(double half, const BoundedLanes& x) {
  const LaneBlock v = half * x.v;
  const LaneBlock propagated = std::fabs(half) * x.e;
  const LaneMask exact = greaterEqualLanes(absLanes(v), broadcastLanes(0x1p-1021));
  const BoundedLanes fast = bounded_lanes_detail::make(v, propagated, zeroLanes());
  const BoundedLanes slow = bounded_lanes_detail::make(
      v, propagated, bounded_lanes_detail::productRounding(broadcastLanes(half), x.v, v));
  return {v, selectLanes(exact, fast.e, slow.e)};
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
