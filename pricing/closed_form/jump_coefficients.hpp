// The jump coefficients of one Upsilon series: P_{n,k} and Q_{n,k}, the
// probabilities that n double-exponential jumps add up to k upward (P) or k
// downward (Q) exponential stages, for 1 <= k <= n <= N. They depend on the
// series' jump law (p, eta1, eta2) and on N alone, never on the maturity or
// the option, so a book prices with one set.
//
// Method. P_{n,n} = p^n, Q_{n,n} = q^n and, for k < n,
//   P_{n,k} = sum_{i=k..n-1} C(n,i) C(n-k-1,i-k) (eta1/w)^(i-k) (eta2/w)^(n-i) q^(n-i) p^i,
//   Q_{n,k} = sum_{i=k..n-1} C(n,i) C(n-k-1,i-k) (eta1/w)^(n-i) (eta2/w)^(i-k) p^(n-i) q^i,
// w = eta1 + eta2, q = 1 - p, each summand multiplied from left to right and
// added in increasing i. The factorials, the binomial rows and the integer
// powers (each a pow call) are computed once and reused; the rows of
// C(n-k-1, .) are kept for n - k - 1 < 96. This is the O(N^3) part of a
// price.
//
// Numerical caveats. Factorials and binomials come from tgamma in double,
// finite only up to 170!: rows are defined for N <= kMaxSeriesTerms. Nothing
// is validated: p outside [0, 1] or non-positive rates give whatever the
// arithmetic gives.
#pragma once

#include "pricing/closed_form/hh_integral.hpp"

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

// Index of P_{n,k} (1 <= k <= n) in a packed triangle of rows n = 1..N.
inline constexpr int triangleIndex(int n, int k) { return n * (n - 1) / 2 + (k - 1); }
inline constexpr int triangleSize(int N) { return N * (N + 1) / 2; }

// Produces the rows n = 1, 2, ..., N of P and Q in turn. About 50 KB, meant
// for the stack.
class JumpCoefficientRows {
 public:
  // 1 <= N <= kMaxSeriesTerms; `factorials` is a FactorialTable(N) that
  // outlives the rows.
  JumpCoefficientRows(const FactorialTable& factorials, int N, double p, double eta1,
                      double eta2);

  // Writes P[k-1] = P_{n,k} and Q[k-1] = Q_{n,k}, k = 1..n, for the next row n.
  void next(double* P, double* Q);

 private:
  // The inner binomial rows C(m, .) for m < kCachedRows, packed (row m at
  // m(m+1)/2); longer rows are recomputed into spareRow_ when needed.
  static constexpr int kCachedRows = 96;
  // Coefficients of one row computed side by side.
  static constexpr int kChains = 4;

  const FactorialTable& fact_;
  int n_ = 0;
  double pPow_[kSeriesTableSize];
  double qPow_[kSeriesTableSize];
  double w1Pow_[kSeriesTableSize];  // (eta1/w)^j
  double w2Pow_[kSeriesTableSize];  // (eta2/w)^j
  double binomialN_[kSeriesTableSize];
  double upPQ_[kSeriesTableSize];    // q^(n-i) p^i
  double downPQ_[kSeriesTableSize];  // p^(n-i) q^i
  double triangle_[kCachedRows * (kCachedRows + 1) / 2];
  double spareRows_[kChains][kSeriesTableSize];
};

}  // namespace jdpricer
