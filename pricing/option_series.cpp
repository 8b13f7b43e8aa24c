#include "pricing/option_series.hpp"

namespace jdpricer {

template <int Lanes>
void beginSeries(const SeriesSlice& slice, SeriesLanes<Lanes>& lanes) {
  for (int l = 0; l < Lanes; ++l) {
    lanes.SP[l] = 0.0;
    lanes.SQ[l] = 0.0;
  }
  if (slice.N == 0) return;
  evaluateIntegralFamily<Lanes>(slice.upward, lanes.c, lanes.upward);
  evaluateIntegralFamily<Lanes>(slice.downward, lanes.c, lanes.downward);
}

template <int Lanes>
void addSeriesRow(const SeriesSlice& slice, int n, const double* W, const double* V,
                  SeriesLanes<Lanes>& lanes) {
  alignas(kLaneAlignment) double A[Lanes];
  alignas(kLaneAlignment) double B[Lanes];
  for (int l = 0; l < Lanes; ++l) {
    A[l] = 0.0;
    B[l] = 0.0;
  }
  for (int k = 1; k <= n; ++k) {
    const double up = W[k - 1];
    const double down = V[k - 1];
    for (int l = 0; l < Lanes; ++l) {
      A[l] = A[l] + lanes.upward[k - 1][l] * up;
      B[l] = B[l] + lanes.downward[k - 1][l] * down;
    }
  }
  const double pin = slice.poisson[n];
  for (int l = 0; l < Lanes; ++l) {
    lanes.SP[l] = lanes.SP[l] + A[l] * pin;
    lanes.SQ[l] = lanes.SQ[l] + pin * B[l];
  }
}

template <int Lanes>
void finishSeries(const SeriesSlice& slice, const SeriesLanes<Lanes>& lanes, double* upsilon) {
  const double sqrtTSigma = slice.sqrtT * slice.sigma;
  for (int l = 0; l < Lanes; ++l) {
    const double UP = slice.upScale * lanes.SP[l];
    const double UQ = slice.downScale * lanes.SQ[l];
    upsilon[l] = normalCdf(-lanes.c[l] / sqrtTSigma) * slice.pi0 + (UQ + UP);
  }
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
