#include "pricing/closed_form/upsilon.hpp"

#include <limits>

#include "pricing/closed_form/maturity_slice.hpp"
#include "pricing/closed_form/option_series.hpp"

namespace jdpricer {

double upsilonProbability(int N, double mu, double sigma, double lam, double p,
                          double eta1, double eta2, double a, double T) {
  if (N > kMaxSeriesTerms) return std::numeric_limits<double>::quiet_NaN();
  return upsilonProbability(FactorialTable(N), N, mu, sigma, lam, p, eta1, eta2, a, T);
}

double upsilonProbability(const FactorialTable& factorials, int N, double mu,
                          double sigma, double lam, double p, double eta1,
                          double eta2, double a, double T) {
  // From N = 171 on tgamma(n + 1) is infinite: every Poisson weight is 0 or
  // NaN while every P and Q sum with k < n is infinite or NaN, so the closed
  // form is NaN whatever the inputs. Answer that without summing.
  if (N > kMaxSeriesTerms) return std::numeric_limits<double>::quiet_NaN();

  SeriesSlice slice;
  buildSeriesSlice(factorials, N, T, sigma, lam, eta1, eta2, slice);
  SeriesLanes<1> lanes;
  lanes.c = a - mu * T;
  beginSeries(slice, lanes);
  if (slice.N > 0) {
    JumpCoefficientRows rows(factorials, N, p, eta1, eta2);
    double P[kSeriesTableSize], Q[kSeriesTableSize], W[kSeriesTableSize], V[kSeriesTableSize];
    for (int n = 1; n <= N; ++n) {
      rows.next(P, Q);
      weightRow(slice, n, P, Q, W, V);
      addSeriesRow(slice, n, W, V, lanes);
    }
  }
  double upsilon;
  finishSeries(slice, lanes, &upsilon);
  return upsilon;
}

}  // namespace jdpricer
