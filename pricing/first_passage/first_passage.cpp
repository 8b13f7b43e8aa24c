#include "pricing/first_passage/first_passage.hpp"

#include <algorithm>
#include <limits>

namespace jdpricer {

void buildPassageSlice(const PassageModel& model, double T, double c, int nodes,
                       PassageSlice& slice, double rightOf) {
  slice.half = nodes / 2;
  Complex s[kMaxTalbotNodes / 2], weight[kMaxTalbotNodes / 2], alpha[kMaxTalbotNodes / 2];
  Complex pairs[kMaxTalbotNodes];
  const double shift = std::max({0.0, -c, rightOf});
  talbotNodes(T, nodes, shift, s, weight);
  slice.largestTerms = kLargestInversionTerms * std::exp(shift * T);
  for (int k = 0; k < slice.half; ++k) alpha[k] = s[k] + c;
  slice.ok = std::isfinite(T) && T > 0.0 && std::isfinite(c) &&
             followUpwardRoots(model, alpha, slice.half, pairs);
  const double eta1 = model.eta1;
  for (int k = 0; k < slice.half; ++k) {
    const Complex b1 = pairs[2 * k], b2 = pairs[2 * k + 1];
    const Complex common = weight[k] / (s[k] * (eta1 * (b2 - b1)));
    slice.beta1[k] = b1;
    slice.beta2[k] = b2;
    slice.first[k] = common * (b2 * (eta1 - b1));
    slice.second[k] = -common * (b1 * (eta1 - b2));
  }
}

double passageValue(const PassageSlice& slice, double b) {
  if (!slice.ok) return std::numeric_limits<double>::quiet_NaN();
  double sum = 0.0, size = 0.0;
  for (int k = 0; k < slice.half; ++k) {
    const Complex first = slice.first[k] * std::exp(-slice.beta1[k] * b);
    const Complex second = slice.second[k] * std::exp(-slice.beta2[k] * b);
    sum += (first + second).imag();
    size += std::abs(first) + std::abs(second);
  }
  return size > slice.largestTerms ? std::numeric_limits<double>::quiet_NaN() : sum;
}

Jet<double> passageJet(const PassageSlice& slice, double b, double dLevel) {
  if (!slice.ok) return constantJet(std::numeric_limits<double>::quiet_NaN());
  double sum = 0.0, slope = 0.0, curvature = 0.0, size = 0.0;
  for (int k = 0; k < slice.half; ++k) {
    const Complex first = slice.first[k] * std::exp(-slice.beta1[k] * b);
    const Complex second = slice.second[k] * std::exp(-slice.beta2[k] * b);
    sum += (first + second).imag();
    size += std::abs(first) + std::abs(second);
    const Complex firstSlope = -slice.beta1[k] * first, secondSlope = -slice.beta2[k] * second;
    slope += (firstSlope + secondSlope).imag();
    curvature += (-slice.beta1[k] * firstSlope - slice.beta2[k] * secondSlope).imag();
  }
  if (size > slice.largestTerms) return constantJet(std::numeric_limits<double>::quiet_NaN());
  // d/dx = dLevel d/db, and dLevel^2 = 1.
  return {sum, dLevel * slope, curvature};
}

}  // namespace jdpricer
