#include "pricing/closed_form/options.hpp"

#include "pricing/common/fp_environment.hpp"
#include "pricing/closed_form/kou_call.hpp"
#include "pricing/closed_form/upsilon.hpp"

namespace jdpricer {

// The entry points: each pins the floating-point environment around an
// evaluation that lives in another translation unit.

double Option::Upsilon(int N, double mu, double sigma, double lam, double p, double eta1,
                       double eta2, double a, double T) {
  const PinnedFloatingPoint pinned;
  return upsilonProbability(N, mu, sigma, lam, p, eta1, eta2, a, T);
}

double EuropeanCall::priceByKouJumpDiffusion(double S, double r, double sigma, double lam,
                                             double p, double eta1, double eta2,
                                             int n) const {
  const PinnedFloatingPoint pinned;
  return kouCallPrice(T, K, S, r, sigma, lam, p, eta1, eta2, n);
}

double EuropeanPut::priceByKouJumpDiffusion(double S, double r, double sigma, double lam,
                                            double p, double eta1, double eta2,
                                            int n) const {
  const PinnedFloatingPoint pinned;
  return kouPutPrice(T, K, S, r, sigma, lam, p, eta1, eta2, n);
}

}  // namespace jdpricer
