// A bound on the error of every closed-form price: |computed - true| <= bound.
//
// Method. The error has two parts.
//  * Truncation. Each Upsilon is sum_n pi_n P(Z(T) >= a | n jumps), a Poisson
//    mixture of probabilities in [0, 1], so cutting it after N terms leaves
//    between 0 and P(M > N), M Poisson with the series' mean. The call
//    S U1 - K e^(-rT) U2 therefore misses at most
//    S P(M1 > N) + K e^(-rT) P(M2 > N), M1 ~ Poisson((1 + zeta) lam T),
//    M2 ~ Poisson(lam T); the put, the call by exact parity, the same.
//  * Rounding. The evaluation is repeated in bounded arithmetic
//    (bounded_arithmetic.hpp): every operation of the closed form, in the
//    engine's order on the engine's operands, so that the value carried is
//    the engine's price to the bit, each with a running bound on its
//    distance from the exact value of the truncated series. The bound grows
//    with the sizes of the terms that the sums cancel, which is exactly what
//    ruins the price when eta sigma sqrt(T) is large, and with the unstable
//    upward Hh recursion.
// The result is widened by a factor 1 + 2^-20 for the rounding of the bound's
// own arithmetic.
//
// Numerical caveats. The bound is rigorous for the exact maths library
// functions up to the accuracies assumed in bounded_arithmetic.hpp. It is
// +infinity where the inputs leave the model's domain (sigma <= 0, T <= 0,
// S <= 0, K <= 0, lam < 0, p outside [0, 1], eta1 <= 1, eta2 <= 0, any
// non-finite input), where the price is not finite (n >= 171 included), and
// where the bound itself overflows. Evaluating it costs a few times a price:
// the coefficients once per model, the rest per option.
#pragma once

#include <cstddef>

#include "pricing/error_bound/bounded_arithmetic.hpp"
#include "pricing/closed_form/hh_integral.hpp"

namespace jdpricer {

struct PriceAndBound {
  double price;  // bit for bit the engine's price
  double bound;  // >= |price - true price|
};

// P(M > N) for M ~ Poisson(mean), from above (N <= 0 keeps no terms but the
// first: P(M > 0)).
double poissonTailAbove(double mean, int N);

// The model's part of the bounded evaluation: the jump coefficients of both
// series with their bounds, in storage that the caller lends.
class BoundedKouModel {
 public:
  // Doubles of storage for a series length n.
  static std::size_t storageDoubles(int n);

  BoundedKouModel(double sigma, double lam, double p, double eta1, double eta2, int n,
                  double* storage);

  PriceAndBound call(double T, double K, double S, double r) const;
  PriceAndBound put(double T, double K, double S, double r) const;
  // The same with a series length of its own, n <= the model's n: a
  // coefficient row does not depend on the series length, so the model's
  // rows serve every shorter series.
  PriceAndBound call(double T, double K, double S, double r, int n) const;
  PriceAndBound put(double T, double K, double S, double r, int n) const;

 private:
  struct Series {
    Bounded lam, p, eta1, eta2;
    const Bounded* P;  // packed triangles, rows 1..N
    const Bounded* Q;
  };

  PriceAndBound price(bool isCall, double T, double K, double S, double r, int n) const;
  Bounded upsilon(const Series& series, int N, Bounded mu, Bounded a, Bounded T) const;

  double sigma_, lam_, p_, eta1_, eta2_;
  int n_;
  int terms_;           // n clamped to [0, kMaxSeriesTerms]
  bool inDomain_;
  Bounded zeta_, halfSigmaSquared_, lamZeta_;
  Bounded factorials_[kSeriesTableSize];
  Series stock_, riskNeutral_;
};

}  // namespace jdpricer
