// The Black-Scholes call, the limit of both pricers without jumps.
#pragma once

#include <cmath>

namespace testing_bits {

inline double blackScholesCall(double T, double K, double S, double r, double sigma) {
  const double sd = sigma * std::sqrt(T);
  const double d1 = (std::log(S / K) + (r + 0.5 * sigma * sigma) * T) / sd;
  const double d2 = d1 - sd;
  return S * 0.5 * std::erfc(-d1 / std::sqrt(2.0)) -
         K * std::exp(-r * T) * 0.5 * std::erfc(-d2 / std::sqrt(2.0));
}

}  // namespace testing_bits
