#include "pricing/first_passage/lookback.hpp"

#include <limits>

namespace jdpricer {

double levelIntegral(const PassageSlice& slice, double L, double e) {
  if (!slice.ok) return std::numeric_limits<double>::quiet_NaN();
  double sum = 0.0;
  for (int k = 0; k < slice.half; ++k) {
    const Complex g1 = e - slice.beta1[k], g2 = e - slice.beta2[k];
    const Complex term =
        slice.first[k] * std::exp(g1 * L) / -g1 + slice.second[k] * std::exp(g2 * L) / -g2;
    sum += term.imag();
  }
  return sum;
}

Jet<double> levelIntegralJet(const PassageSlice& slice, double L, double dL, double e) {
  if (!slice.ok) return constantJet(std::numeric_limits<double>::quiet_NaN());
  const Jet<double> level{L, dL, 0.0};
  Jet<double> sum = constantJet(0.0);
  for (int k = 0; k < slice.half; ++k) {
    const Complex g1 = e - slice.beta1[k], g2 = e - slice.beta2[k];
    const Jet<Complex> term =
        slice.first[k] * exp(g1 * level) / -g1 + slice.second[k] * exp(g2 * level) / -g2;
    sum = sum + imag(term);
  }
  return sum;
}

}  // namespace jdpricer
