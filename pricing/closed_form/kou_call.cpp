#include <cmath>

#include "pricing/closed_form/kou_call.hpp"
#include "pricing/closed_form/upsilon.hpp"

namespace jdpricer {

double kouCallPrice(double T, double K, double S, double r, double sigma, double lam, double p,
                    double eta1, double eta2, int n) {
  const KouMeasures m = kouMeasures(sigma, lam, p, eta1, eta2);
  const double a = std::log(K / S);
  // Both Upsilon series have n terms: one table of factorials serves them.
  const FactorialTable factorials(n);
  const JumpLaw& up = m.stock;
  const double U1 = upsilonProbability(factorials, n, stockDrift(m, r), sigma, up.lam, up.p,
                                       up.eta1, up.eta2, a, T);
  const JumpLaw& rn = m.riskNeutral;
  const double U2 = upsilonProbability(factorials, n, riskNeutralDrift(m, r), sigma, rn.lam,
                                       rn.p, rn.eta1, rn.eta2, a, T);
  return callFromProbabilities(S, K, discountFactor(r, T), U1, U2);
}

double kouPutPrice(double T, double K, double S, double r, double sigma, double lam, double p,
                   double eta1, double eta2, int n) {
  const double C = kouCallPrice(T, K, S, r, sigma, lam, p, eta1, eta2, n);
  return putFromCall(S, K, discountFactor(r, T), C);
}

}  // namespace jdpricer
