#include "pricing/american/perpetual_put.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "pricing/first_passage/passage_roots.hpp"

namespace jdpricer {

PerpetualPut perpetualPut(double r, double q, double sigma, double lam, double p, double eta1,
                          double eta2) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  PerpetualPut put{nan, nan, nan, eta2};
  if (!(r > 0.0) || !std::isfinite(r) || !std::isfinite(q) ||
      !kouModelInDomain(sigma, lam, p, eta1, eta2)) {
    return put;
  }
  const PassageModel downward =
      PassageModel{riskNeutralDrift(r, q, sigma, lam, p, eta1, eta2), sigma, lam, p, eta1, eta2}
          .mirrored();
  const Complex alpha(r, 0.0);
  Complex roots[4];
  if (!followAllRoots(downward, &alpha, 1, roots)) return put;
  const double b3 = std::min(roots[0].real(), roots[1].real());
  const double b4 = std::max(roots[0].real(), roots[1].real());
  const double spread = b4 - b3;
  const double slopeA = -((eta2 - b3) * b3 + (b4 - eta2) * b4) / spread;
  const double slopeB = (eta2 - b3) * (b4 - eta2) / eta2;
  put.beta3 = b3;
  put.beta4 = b4;
  put.boundary = (slopeA + slopeB) / (slopeA + slopeB * (eta2 / (eta2 + 1.0)) - 1.0);
  return put;
}

double perpetualPutValue(const PerpetualPut& put, double S, double K) {
  if (!(S > 0.0 && K > 0.0) || std::isnan(put.boundary)) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  const double level = put.boundary * K;
  if (S <= level) return K - S;
  const double d = std::log(S / level), eta2 = put.eta2;
  const double e3 = std::exp(-put.beta3 * d), e4 = std::exp(-put.beta4 * d);
  const double spread = put.beta4 - put.beta3;
  const double A = ((eta2 - put.beta3) * e3 + (put.beta4 - eta2) * e4) / spread;
  const double B = (eta2 - put.beta3) * (put.beta4 - eta2) * (e3 - e4) / (eta2 * spread);
  return K * (A + B) - level * (A + B * (eta2 / (eta2 + 1.0)));
}

}  // namespace jdpricer
