// The Upsilon probability P(Z(T) >= a) of the Kou double-exponential
// jump-diffusion Z(t) = mu t + sigma W(t) + sum of M(t) jumps, in closed form:
// the jump-free term e^(-lam T) Phi(-(a - mu T)/(sigma sqrt T)) plus a
// Poisson-weighted series over n = 1..N jumps, each term a sum over k of
// P_{n,k} (Q_{n,k}) times I_{k-1} integrals of the upward (downward) jumps.
//
// Method. The closed form fixes the order of every double operation; this
// evaluation keeps those bits but computes each value that the formula would
// recompute from the same operands once per call: exp(-lam T), the factorials
// tgamma(m + 1), the integer powers of p, q, eta1/w, eta2/w, lam T, eta1 s and
// eta2 s, and the integrals I_0..I_{N-1} of both families (their c, alpha,
// beta, delta do not depend on n or k). What is left is the O(N^3) double sum
// of the P and Q coefficients, with one division per summand for the inner
// binomial coefficient.
//
// Numerical caveats. Factorials and binomials come from tgamma in double, so
// the series is only finite up to N = 170: from N = 171 on the closed form is
// NaN for every input, and that NaN is returned at once. N <= 0 keeps the
// jump-free term only. sigma = 0 or T = 0 make the prefactor 1/(sigma
// sqrt(2 pi T)) infinite and the result NaN; T < 0 gives NaN. For large
// eta*sigma*sqrt(T) the terms of the series cancel heavily in double
// precision. Nothing is validated and nothing is reported.
#pragma once

#include "pricing/hh_integral.hpp"

namespace jdpricer {

// tgamma(m + 1) for m = 0..terms: the factorials behind every binomial
// coefficient and Poisson weight of a series with `terms` terms. Both Upsilon
// evaluations of one price share it.
class FactorialTable {
 public:
  // Only terms in [1, kMaxSeriesTerms] fill more than entry 0.
  explicit FactorialTable(int terms);
  double operator[](int m) const { return values_[m]; }

 private:
  double values_[kSeriesTableSize];
};

// Upsilon(N, mu, sigma, lam, p, eta1, eta2, a, T) = P(Z(T) >= a), cut after N
// Poisson terms.
double upsilonProbability(int N, double mu, double sigma, double lam, double p,
                          double eta1, double eta2, double a, double T);

// The same with the factorials of a FactorialTable(N) computed by the caller.
double upsilonProbability(const FactorialTable& factorials, int N, double mu,
                          double sigma, double lam, double p, double eta1,
                          double eta2, double a, double T);

}  // namespace jdpricer
