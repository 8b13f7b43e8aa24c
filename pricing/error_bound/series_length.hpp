// The series length at which neither Upsilon series of a price has anything
// left to truncate: the smallest n whose Poisson tails are below the price's
// rounding floor.
//
// Method. Each Upsilon is sum_n pi_n P(Z(T) >= a | n jumps), a Poisson
// mixture of probabilities in [0, 1]; cutting it after n terms misses at most
// P(M > n), M Poisson with the series' mean: (1 + zeta) lam T for the stock
// measure, lam T for the risk-neutral one (price_bound.hpp). The call
// S U1 - K e^(-rT) U2, and the put by exact parity, then miss at most
// (S + K e^(-rT)) max(P(M1 > n), P(M2 > n)). With both tails at most
// 2^-54 = u/2 that is at most half an ulp of S + K e^(-rT): below the
// rounding of the subtraction that forms the price, so a longer series
// cannot move the price by more than its own rounding. The floor is a
// probability, so the length depends on the maturity and the model alone,
// never on strike, spot or rate.
//
// The tail grows with the mean, so for every n there is a largest mean
// m_n with P(M > n) <= 2^-54; the table of m_n (n = 0..170, non-decreasing)
// was found once by bisection on poissonTailAbove, the same upper bound that
// the error bounds use, and a test checks it against that function. The
// length for a maturity is the smallest n with max(mean1, mean2) <= m_n: a
// search in the table, exact and monotone in T because the mean, a product
// by a non-negative rate, is monotone in T.
//
// Numerical caveats. The cap is kMaxSeriesTerms (170): from 171 on the
// closed form is NaN. Means above m_170 (about 84 jumps) get 170 and keep a
// truncation error that the error bounds report. T <= 0 or NaN (a price
// that is NaN for every n) has nothing to settle: 0. An infinite maturity,
// or any maturity under a model whose jump means cannot be told (lam < 0,
// lam or a rate not finite, p outside [0, 1], eta1 <= 1, eta2 <= 0, sigma
// not finite and positive), gets the cap, 170.
#pragma once

namespace jdpricer {

// The rounding floor of both Poisson tails: half of the unit roundoff.
inline constexpr double kSettledTail = 0x1p-54;

// m_n: the largest mean whose tail P(M > n) is at most kSettledTail, n = 0..170.
double settledPoissonMean(int n);

class SeriesLengthRule {
 public:
  SeriesLengthRule(double sigma, double lam, double p, double eta1, double eta2);

  // The series length for maturity T: in [0, 170], non-decreasing in T.
  int operator()(double T) const;

 private:
  bool inDomain_;
  double rate_;  // the larger of the two jump intensities, (1 + zeta) lam and lam
};

}  // namespace jdpricer
