// The maturity slice of one Upsilon series: everything that depends on the
// maturity T (with sigma and the series' lam, eta1, eta2) but not on the
// level a, i.e. not on strike, spot or rate. All options of one maturity
// share it.
//
// Method. The slice holds the jump-free weight pi_0 = exp(-lam T), the
// Poisson weights pi_n = (pi_0 (lam T)^n) / n!, the powers (eta1 s)^k and
// (eta2 s)^k with s = sigma sqrt(T), the constants of the two integral
// families, I_{k-1}(c; -eta1, -1/s, -sigma eta1 sqrt(T)) for the upward jumps
// and I_{k-1}(c; eta2, 1/s, -sigma eta2 sqrt(T)) for the downward ones, and
// the prefactors exp((eta sigma)^2 T / 2) / (sigma sqrt(2 pi T)). The weights
// (eta1 s)^k P_{n,k} and Q_{n,k} (eta2 s)^k of a row join the jump
// coefficients to the slice.
//
// Numerical caveats. sigma = 0 or T = 0 make the prefactors infinite (the
// Upsilon is then NaN); T < 0 makes sqrt(T) NaN. The prefactors overflow
// from (eta sigma)^2 T / 2 of about 709 on. Nothing is validated.
#pragma once

#include "pricing/closed_form/integral_family.hpp"
#include "pricing/closed_form/jump_coefficients.hpp"

namespace jdpricer {

struct SeriesSlice {
  int N;  // terms summed: the series length, or 0 when it is <= 0
  double T, sigma, sqrtT;
  double pi0;
  double upScale, downScale;              // the prefactors of both jump sums
  double lamT;                            // lam T
  double lamTPow[kSeriesTableSize];       // pow(lam T, n), n = 1..N
  double poisson[kSeriesTableSize];       // pi_n = (pi0 lamTPow[n]) / n!, n = 1..N
  double eta1SPow[kSeriesTableSize];      // (eta1 s)^k, k = 1..N
  double eta2SPow[kSeriesTableSize];      // (eta2 s)^k, k = 1..N
  IntegralFamily upward, downward;        // I_0 .. I_{N-1} of both jump directions
};

// The slice of a series of N <= kMaxSeriesTerms terms at maturity T;
// `factorials` is a FactorialTable(N).
void buildSeriesSlice(const FactorialTable& factorials, int N, double T, double sigma,
                      double lam, double eta1, double eta2, SeriesSlice& slice);

// W[k-1] = (eta1 s)^k P_{n,k} and V[k-1] = Q_{n,k} (eta2 s)^k for k = 1..n,
// from the coefficient row n.
void weightRow(const SeriesSlice& slice, int n, const double* P, const double* Q, double* W,
               double* V);

}  // namespace jdpricer
