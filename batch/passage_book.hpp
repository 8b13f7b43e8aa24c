// What the touch, barrier and lookback books share: the slice last built
// and what it was built for, the upward law at an option's r and q, and
// the writing of a value with its delta and gamma.
#pragma once

#include <cstddef>
#include <cstring>

#include "pricing/first_passage/log_spot_jet.hpp"
#include "pricing/first_passage/passage_roots.hpp"

namespace jdpricer {

// A slice and the (T, r, q) it was built for, compared by their bits:
// options in maturity order that share them reuse it.
template <class Slice>
class SliceCache {
 public:
  bool holds(double T, double r, double q) const {
    const double key[3] = {T, r, q};
    return built_ && std::memcmp(key, key_, sizeof key) == 0;
  }
  // The slice to build into for (T, r, q); it is held from then on.
  Slice& rebuild(double T, double r, double q) {
    key_[0] = T;
    key_[1] = r;
    key_[2] = q;
    built_ = true;
    return slice_;
  }
  const Slice& slice() const { return slice_; }

 private:
  bool built_ = false;
  double key_[3] = {0.0, 0.0, 0.0};
  Slice slice_;
};

// The model's log-price law, upward, at rate r and dividend yield q.
inline PassageModel upwardLaw(double r, double q, double sigma, double lam, double p, double eta1,
                              double eta2) {
  return {riskNeutralDrift(r, q, sigma, lam, p, eta1, eta2), sigma, lam, p, eta1, eta2};
}

// Option i's value and, where delta is not null, its delta and gamma.
inline void writeValue(const Jet<double>& v, double S, std::size_t i, double* values,
                       double* delta, double* gamma) {
  values[i] = v.v;
  if (delta != nullptr) {
    delta[i] = deltaFromLogSpot(v, S);
    gamma[i] = gammaFromLogSpot(v, S);
  }
}

}  // namespace jdpricer
