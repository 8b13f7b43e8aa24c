#include "pricing/options.hpp"

#include <cmath>

#include "pricing/upsilon.hpp"

namespace jdpricer {

double Option::Upsilon(int N, double mu, double sigma, double lam, double p, double eta1,
                       double eta2, double a, double T) {
  return upsilonProbability(N, mu, sigma, lam, p, eta1, eta2, a, T);
}

double EuropeanCall::priceByKouJumpDiffusion(double S, double r, double sigma, double lam,
                                             double p, double eta1, double eta2,
                                             int n) const {
  const double zeta = ((p * eta1) / (eta1 - 1.0) + ((1.0 - p) * eta2) / (eta2 + 1.0)) - 1.0;
  const double a = std::log(K / S);

  // Both Upsilon series have n terms: one table of factorials serves them.
  const FactorialTable factorials(n);

  // Stock as numeraire.
  const double mu1 = (r + (0.5 * sigma) * sigma) - lam * zeta;
  const double lam1 = (1.0 + zeta) * lam;
  const double p1 = (p / (1.0 + zeta)) * (eta1 / (eta1 - 1.0));
  const double U1 =
      upsilonProbability(factorials, n, mu1, sigma, lam1, p1, eta1 - 1.0, eta2 + 1.0, a, T);

  // Risk-neutral measure.
  const double mu2 = (r - (0.5 * sigma) * sigma) - lam * zeta;
  const double U2 = upsilonProbability(factorials, n, mu2, sigma, lam, p, eta1, eta2, a, T);

  return S * U1 - (K * std::exp(-r * T)) * U2;
}

double EuropeanPut::priceByKouJumpDiffusion(double S, double r, double sigma, double lam,
                                            double p, double eta1, double eta2,
                                            int n) const {
  const EuropeanCall call(T, K);
  const double C = call.EuropeanCall::priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1,
                                                               eta2, n);
  return (std::exp(-r * T) * K + C) - S;
}

}  // namespace jdpricer
