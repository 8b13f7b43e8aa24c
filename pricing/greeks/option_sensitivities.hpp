// The option's own work for the derivatives of one Upsilon series, for
// `Lanes` options of one maturity side by side: the integrals I_0 .. I_N at
// each option's level c (the price reads I_0 .. I_{N-1} of them, with the
// bits of its own evaluation), then one dot product per quantity with the
// slice's weights (slice_sensitivities.hpp).
//
// Method. With the integrals X_j = I_j(c) of both directions,
//   J       = -pi_0 Phi(-c/s) + sum_j (up[kJumpShift][j] X^up_j + down[kJumpShift][j] X^down_j),
//   dY/dp   = sum_j (up[kJumpProbability][j] X^up_j + ...), and likewise for
//   dY/deta1 and dY/deta2; and the level derivative
//   dY/dc   = -pi_0 phi(c/s)/s - e^(-eta1 c) sum_j slopeUp[j] Hh_j(e^up)
//             - e^(eta2 c) sum_j slopeDown[j] Hh_j(e^down),
// with the Hh values by the upward recursion of the integrals, e = beta c -
// delta. Each dot product is its own chain in increasing j; O(N) per option
// and quantity.
//
// Numerical caveats. As for the price: the sums cancel for large
// eta sigma sqrt(T), and e^(-eta1 c) Hh_j(e) is 0 * inf (NaN) where the
// price's own S_m E/alpha is.
#pragma once

#include "pricing/closed_form/option_series.hpp"
#include "pricing/greeks/slice_sensitivities.hpp"

namespace jdpricer {

template <int Lanes>
struct SensitivityLanes {
  using Vec = typename LaneVector<Lanes>::type;
  Vec upward[kSeriesTableSize];    // I^up_0 .. I^up_N
  Vec downward[kSeriesTableSize];  // I^down_0 .. I^down_N
  Vec quantity[kSliceQuantities];  // J, dY/dp, dY/deta1, dY/deta2
  Vec slope;                       // dY/dc
};

// Evaluates the integrals of `slice` at series.c into `work` and copies the
// price's share into `series`, whose sums it clears: what beginSeries does,
// with one more integral per direction.
template <int Lanes>
void beginSensitivities(const SliceSensitivities& slice, SeriesLanes<Lanes>& series,
                        SensitivityLanes<Lanes>& work);

// J (always), the jump law's three when `law`, and the level derivative
// when `slope`; the rest of work.quantity is 0. `price` is the slice the
// series is priced with.
template <int Lanes>
void finishSensitivities(const SeriesSlice& price, const SliceSensitivities& slice,
                         const SeriesLanes<Lanes>& series, bool slope, bool law,
                         SensitivityLanes<Lanes>& work);

}  // namespace jdpricer
