#include "pricing/first_passage/lookback.hpp"

#include <cmath>
#include <limits>

namespace jdpricer {

double levelIntegral(const PassageSlice& slice, double L, double e) {
  if (!slice.ok) return std::numeric_limits<double>::quiet_NaN();
  double sum = 0.0, size = 0.0;
  for (int k = 0; k < slice.half; ++k) {
    const Complex g1 = e - slice.beta1[k], g2 = e - slice.beta2[k];
    const Complex first = slice.first[k] * std::exp(g1 * L) / -g1;
    const Complex second = slice.second[k] * std::exp(g2 * L) / -g2;
    sum += (first + second).imag();
    size += std::abs(first) + std::abs(second);
  }
  return size > slice.largestTerms ? std::numeric_limits<double>::quiet_NaN() : sum;
}

Jet<double> levelIntegralJet(const PassageSlice& slice, double L, double dL, double e) {
  if (!slice.ok) return constantJet(std::numeric_limits<double>::quiet_NaN());
  const Jet<double> level{L, dL, 0.0};
  Jet<double> sum = constantJet(0.0);
  double size = 0.0;
  for (int k = 0; k < slice.half; ++k) {
    const Complex g1 = e - slice.beta1[k], g2 = e - slice.beta2[k];
    const Jet<Complex> first = slice.first[k] * exp(g1 * level) / -g1;
    const Jet<Complex> second = slice.second[k] * exp(g2 * level) / -g2;
    sum = sum + imag(first + second);
    size += std::abs(first.v) + std::abs(second.v);
  }
  if (size > slice.largestTerms) return constantJet(std::numeric_limits<double>::quiet_NaN());
  return sum;
}

}  // namespace jdpricer
