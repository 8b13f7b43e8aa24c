#include "pricing/closed_form/option_series.hpp"

namespace jdpricer {

template <int Lanes>
void beginSeries(const SeriesSlice& slice, SeriesLanes<Lanes>& lanes) {
  using Vec = typename LaneVector<Lanes>::type;
  lanes.SP = zeroVector<Vec>();
  lanes.SQ = zeroVector<Vec>();
  if (slice.N == 0) return;
  evaluateIntegralFamily<Lanes>(slice.upward, lanes.c, lanes.upward);
  evaluateIntegralFamily<Lanes>(slice.downward, lanes.c, lanes.downward);
}

void beginSeriesAt(const SeriesSlice& slice, const IntegralLevelValues<LaneBlock>& upward,
                   const IntegralLevelValues<LaneBlock>& downward,
                   SeriesLanes<kBatchLanes>& lanes, LaneBlock* hhUpward,
                   LaneBlock* hhDownward) {
  lanes.SP = zeroLanes();
  lanes.SQ = zeroLanes();
  if (slice.N == 0) return;
  evaluateIntegralFamilyAt<kBatchLanes>(slice.upward, upward, lanes.upward, hhUpward);
  evaluateIntegralFamilyAt<kBatchLanes>(slice.downward, downward, lanes.downward, hhDownward);
}

template <int Lanes>
void addSeriesRow(const SeriesSlice& slice, int n, const double* W, const double* V,
                  SeriesLanes<Lanes>& lanes) {
  using Vec = typename LaneVector<Lanes>::type;
  Vec A = zeroVector<Vec>(), B = zeroVector<Vec>();
  for (int k = 1; k <= n; ++k) {
    A = A + lanes.upward[k - 1] * W[k - 1];
    B = B + lanes.downward[k - 1] * V[k - 1];
  }
  const double pin = slice.poisson[n];
  lanes.SP = lanes.SP + A * pin;
  lanes.SQ = lanes.SQ + pin * B;
}

template <int Lanes>
void finishSeries(const SeriesSlice& slice, const SeriesLanes<Lanes>& lanes, double* upsilon) {
  using Vec = typename LaneVector<Lanes>::type;
  const double sqrtTSigma = slice.sqrtT * slice.sigma;
  const Vec UP = slice.upScale * lanes.SP;
  const Vec UQ = slice.downScale * lanes.SQ;
  const Vec jumps = UQ + UP;
  for (int l = 0; l < Lanes; ++l) {
    upsilon[l] = normalCdf(-lane(lanes.c, l) / sqrtTSigma) * slice.pi0 + lane(jumps, l);
  }
}

void finishSeriesAt(const SeriesSlice& slice, const SeriesLanes<kBatchLanes>& lanes,
                    const double* noJumpFactor, double* upsilon) {
  const LaneBlock UP = slice.upScale * lanes.SP;
  const LaneBlock UQ = slice.downScale * lanes.SQ;
  const LaneBlock jumps = UQ + UP;
  for (int l = 0; l < kBatchLanes; ++l) upsilon[l] = noJumpFactor[l] * slice.pi0 + jumps[l];
}

#define JDPRICER_INSTANTIATE_SERIES(L)                                                         \
  template void beginSeries<L>(const SeriesSlice&, SeriesLanes<L>&);                           \
  template void addSeriesRow<L>(const SeriesSlice&, int, const double*, const double*,         \
                                SeriesLanes<L>&);                                              \
  template void finishSeries<L>(const SeriesSlice&, const SeriesLanes<L>&, double*);
JDPRICER_INSTANTIATE_SERIES(1)
JDPRICER_INSTANTIATE_SERIES(kBatchLanes)
#undef JDPRICER_INSTANTIATE_SERIES

}  // namespace jdpricer
