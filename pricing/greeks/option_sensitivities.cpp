#include "pricing/greeks/option_sensitivities.hpp"

#include <cmath>

namespace jdpricer {

template <int Lanes>
void beginSensitivities(const SliceSensitivities& slice, SeriesLanes<Lanes>& series,
                        SensitivityLanes<Lanes>& work) {
  using Vec = typename LaneVector<Lanes>::type;
  series.SP = zeroVector<Vec>();
  series.SQ = zeroVector<Vec>();
  const int N = slice.N;
  if (N == 0) return;
  evaluateIntegralFamily<Lanes>(slice.upward, series.c, work.upward);
  evaluateIntegralFamily<Lanes>(slice.downward, series.c, work.downward);
  for (int m = 0; m < N; ++m) {
    series.upward[m] = work.upward[m];
    series.downward[m] = work.downward[m];
  }
}

namespace {

// sum_j weight[j] Hh_j(e), j = 0..count-1, times e^(alpha c), per lane.
template <int Lanes>
typename LaneVector<Lanes>::type slopeSum(const IntegralFamily& f, int count,
                                          const double* weight,
                                          typename LaneVector<Lanes>::type c) {
  using Vec = typename LaneVector<Lanes>::type;
  if (f.which == IntegralCase::kZero || count == 0) return zeroVector<Vec>();
  Vec e, scale, older, newer;
  for (int l = 0; l < Lanes; ++l) {
    const double x = lane(c, l);
    const double el = f.beta * x - f.delta;
    lane(e, l) = el;
    lane(scale, l) = std::exp(f.alpha * x);
    lane(older, l) = hhMinusOne(el);
    lane(newer, l) = hhZero(el);
  }
  Vec sum = newer * weight[0];
  for (int m = 1; m < count; ++m) {
    const Vec next = (older - e * newer) / static_cast<double>(m);
    older = newer;
    newer = next;
    sum = sum + newer * weight[m];
  }
  return scale * sum;
}

}  // namespace

template <int Lanes>
void finishSensitivities(const SeriesSlice& price, const SliceSensitivities& slice,
                         const SeriesLanes<Lanes>& series, bool slope, bool law,
                         SensitivityLanes<Lanes>& work) {
  using Vec = typename LaneVector<Lanes>::type;
  const int N = slice.N;
  const int quantities = law ? kSliceQuantities : 1;
  Vec acc[kSliceQuantities];
  for (int q = 0; q < kSliceQuantities; ++q) acc[q] = zeroVector<Vec>();
  for (int j = 0; N > 0 && j <= N; ++j) {
    const Vec up = work.upward[j], down = work.downward[j];
    for (int q = 0; q < quantities; ++q) {
      acc[q] = acc[q] + (up * slice.up[q][j] + down * slice.down[q][j]);
    }
  }
  // The jump-free term: pi_0 Phi(-c/s) in J (with a minus), pi_0 phi(c/s)/s
  // in the slope.
  const double sqrtTSigma = price.sqrtT * price.sigma;
  Vec cdf, density;
  for (int l = 0; l < Lanes; ++l) {
    const double x = lane(series.c, l) / sqrtTSigma;
    lane(cdf, l) = normalCdf(-x) * price.pi0;
    lane(density, l) = slope ? price.pi0 * (std::exp((-0.5 * x) * x) / kSqrtTwoPi) / sqrtTSigma : 0.0;
  }
  work.quantity[kJumpShift] = acc[kJumpShift] - cdf;
  for (int q = 1; q < kSliceQuantities; ++q) work.quantity[q] = acc[q];
  if (!slope) return;
  Vec jumps = zeroVector<Vec>();
  if (N > 0) {
    jumps = slopeSum<Lanes>(slice.upward, N, slice.slopeUp, series.c) +
            slopeSum<Lanes>(slice.downward, N, slice.slopeDown, series.c);
  }
  work.slope = -density - jumps;
}

#define JDPRICER_INSTANTIATE_SENSITIVITIES(L)                                               \
  template void beginSensitivities<L>(const SliceSensitivities&, SeriesLanes<L>&,           \
                                      SensitivityLanes<L>&);                                \
  template void finishSensitivities<L>(const SeriesSlice&, const SliceSensitivities&,       \
                                       const SeriesLanes<L>&, bool, bool,                   \
                                       SensitivityLanes<L>&);
JDPRICER_INSTANTIATE_SENSITIVITIES(1)
JDPRICER_INSTANTIATE_SENSITIVITIES(kBatchLanes)
#undef JDPRICER_INSTANTIATE_SENSITIVITIES

}  // namespace jdpricer
