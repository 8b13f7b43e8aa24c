// European options under Kou's model without diffusion (sigma = 0): the
// second method's answer where the characteristic function does not decay
// (|phi(u)| tends to e^(-lam T), the atom of "no jump"), so that no cosine
// series of any length converges to the stated accuracy.
//
// Method. With sigma = 0, X = log(S_T/S) = m + J, m = (r - lam zeta) T, J a
// compound Poisson sum. Given n jumps, J is the mixture over k = 1..n of
// +Gamma(k, eta1) with weight P_{n,k} and -Gamma(k, eta2) with weight Q_{n,k}
// (the jump coefficients of the closed form, jump_coefficients.hpp). With
// b = log(K/S) - m, the put's expectation against +Gamma(k, eta) is, for
// b > 0,
//   K P(k, eta b) - S e^m (eta/(eta - 1))^k P(k, (eta - 1) b),
// and against -Gamma(k, eta), with c = -b,
//   K Q(k, eta c) - S e^m (eta/(eta + 1))^k Q(k, (eta + 1) c)   (c > 0),
//   K - S e^m (eta/(eta + 1))^k                                 (c <= 0),
// P and Q = 1 - P the regularized incomplete gamma functions of integer
// order, Q(k, x) = e^(-x) sum_{j<k} x^j/j!, summed upwards for every k at
// once. The Poisson weights join the coefficients once per maturity:
// omegaP_k = sum_{n>=k} pi_n P_{n,k} (omegaQ_k alike), so that an option costs
// O(terms). The no-jump atom adds pi_0 (K - S e^m)^+. The put is
// e^(-rT) times the sum; the call follows by parity.
//
// Accuracy. The series stops once the Poisson tail is below 2^-60; every
// piece is a difference of two non-negative terms of at most K and
// S e^m (eta/(eta-1))^k P(...), whose rounding is a few ulps of them, so the
// stated accuracy 1e-14 (S + K) holds as for the cosine series (measured
// against 30-digit references; not proven). Needs more than the 170 terms of
// the coefficient tables (lam T above about 110): NaN, like any input outside
// the domain (T <= 0, lam < 0, p outside [0, 1], eta1 <= 1, eta2 <= 0,
// S <= 0, K <= 0, non-finite).
#pragma once

#include "pricing/closed_form/hh_integral.hpp"

namespace jdpricer {

class PureJumpSlice {
 public:
  PureJumpSlice() = default;
  PureJumpSlice(double T, double lam, double p, double eta1, double eta2);

  bool valid() const { return terms_ >= 0; }
  int terms() const { return terms_; }

  double put(double S, double K, double r) const;
  double call(double S, double K, double r) const;

 private:
  double discountedPut(double S, double K, double r) const;  // e^(rT) times the put

  double T_ = 0.0, lam_ = 0.0, zeta_ = 0.0, eta1_ = 0.0, eta2_ = 0.0, pi0_ = 0.0;
  int terms_ = -1;  // jumps summed; -1: invalid
  double omegaP_[kSeriesTableSize] = {};  // index k
  double omegaQ_[kSeriesTableSize] = {};
};

}  // namespace jdpricer
