#include "pricing/closed_form/maturity_slice.hpp"

#include <cmath>

namespace jdpricer {

void buildSeriesSlice(const FactorialTable& fact, int N, double T, double sigma, double lam,
                      double eta1, double eta2, SeriesSlice& slice) {
  slice.N = N > 0 ? N : 0;
  slice.T = T;
  slice.sigma = sigma;
  slice.sqrtT = std::sqrt(T);
  slice.pi0 = std::exp((-lam) * T);
  const double D = std::sqrt(6.283185307179586 * T) * sigma;
  slice.upScale = std::exp((eta1 * sigma) * (eta1 * sigma) * T * 0.5) / D;
  slice.downScale = std::exp((eta2 * sigma) * (eta2 * sigma) * T * 0.5) / D;
  if (slice.N == 0) return;

  const double s = sigma * slice.sqrtT;
  const double lamT = lam * T;
  slice.lamT = lamT;
  const double eta1S = eta1 * s;
  const double eta2S = eta2 * s;
  for (int n = 1; n <= N; ++n) {
    const double x = static_cast<double>(n);
    slice.lamTPow[n] = std::pow(lamT, x);
    slice.poisson[n] = (slice.pi0 * slice.lamTPow[n]) / fact[n];
    slice.eta1SPow[n] = std::pow(eta1S, x);
    slice.eta2SPow[n] = std::pow(eta2S, x);
  }
  buildIntegralFamily(N, -eta1, -1.0 / s, slice.sqrtT * (-sigma * eta1), slice.upward);
  buildIntegralFamily(N, eta2, 1.0 / s, slice.sqrtT * (-sigma * eta2), slice.downward);
}

void weightRow(const SeriesSlice& slice, int n, const double* P, const double* Q, double* W,
               double* V) {
  for (int k = 1; k <= n; ++k) {
    W[k - 1] = slice.eta1SPow[k] * P[k - 1];
    V[k - 1] = Q[k - 1] * slice.eta2SPow[k];
  }
}

}  // namespace jdpricer
