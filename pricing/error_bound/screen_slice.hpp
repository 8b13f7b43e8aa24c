// A cheap rigorous bound on the rounding error of one Upsilon series: the
// screen that settles most options of a robust book before the full bound
// (bounded_slice.hpp) is formed for the rest.
//
// Method. The same decomposition as the full bound, every term by
// magnitude against weights of the maturity, so that an option's own work
// is three dot products of length N beside the engine's evaluation. With
// the computed weights pi_n W_{n,k}, the integrals I_m, the Gaussian
// factors g_m = G rho^(m+1) F, the Hh values h_i and the sums
// S_m = sum_{i<=m} h_i rho^(m-i) of one family, and the maturity's
//   w_m >= sum_{n>m} pi_n |W_{n,m+1}|,   k_i >= sum_{m>=i} w_m rho^(m-i),
//   Gw >= sum_m w_m |g_m|,
// the computed SP differs from the exact truncated series at the level c~
// where the computed e is exact by at most
//   (gamma_{N+3} + eps_W + (1 + eps_W) u) P1
//   + (1 + eps_W) [ Gw (u |Phi| + (1 + eps_g) dPhi + eps_g |Phi|)
//                 + (|E/alpha| (u (1 + gamma_N) + gamma_N + eps_rho)
//                    + dE (1 + 2 gamma_N + eps_rho)) P3
//                 + (|E/alpha| + dE)(1 + eps_rho) R ]
// with P1 = sum_m w_m |I_m|, P3 = sum_i k_i |h_i| and R = sum_i k_i d_i:
// the accumulation over k and n and the weights' relative error eps_W
// (Poisson weights, powers (eta s)^k, coefficients); the three roundings
// that form each I_m; the Gaussian factors' relative error eps_g and Phi's
// error dPhi; the sums S_m (gamma_N), the powers of rho (eps_rho) and the
// error dE of E/alpha; and the Hh recursion's errors d_i. Those come from
// the recursion in magnitudes: the computed h obey
// h_m = (h_{m-2} - e h_{m-1})/m + delta_m exactly, with
// |delta_m| <= u (|h_m| + (|h_{m-2}| + 2.01 |e| |h_{m-1}|)/m) + 3 tiny, so
// d_m = (d_{m-2} + |e| d_{m-1})/m + |delta_m| bounds |h_m - Hh_m(e)|, from
// the errors of h_-1 and h_0. Where that is not enough, the adjoint of the
// recursion (recursion_adjoint.hpp) against kappa_i, the exact weights'
// counterpart of k_i, bounds the same term with the recursion's signs. The
// level's errors are a-priori: the engine's
// e, z (Phi's argument, -e + alpha/beta or e - alpha/beta to the bit) and
// exp(alpha c) are each one or two roundings from exact values at c~, and
// erfc is within 12 u absolutely with slope at most 2/sqrt(pi). The shift
// from c~ and from the computed c to the true level costs their distance
// times the density bound of bounded_slice.hpp.
//
// Numerical caveats. Rigorous for the library accuracies of
// bounded_arithmetic.hpp, like the full bound, and never tighter than the
// magnitudes allow: where the recursion is unstable (e > 0, long
// maturities) d_i grows with the recursion's dominant solution and the
// screen can exceed the full bound by many orders; robust prices then form
// the full bound. Any NaN, overflow or unusable constant gives +inf.
#pragma once

#include "pricing/closed_form/integral_family.hpp"
#include "pricing/closed_form/maturity_slice.hpp"
#include "pricing/closed_form/option_series.hpp"
#include "pricing/common/lanes.hpp"
#include "pricing/error_bound/bounded_slice.hpp"

namespace jdpricer {

struct ScreenFamily {
  double hhWeight[kSeriesTableSize];  // k_i
  // For the adjoint (recursion_adjoint.hpp): kappa_i = sum_{m>=i} omega_m
  // rho^(m-i) of the exact weights, within kappaError of these.
  double kappa[kSeriesTableSize], kappaError[kSeriesTableSize];
  double gaussianWeight;              // Gw
  double tinyTerm;                    // underflows of the products and sums
  // The bound's coefficients of |Phi|, dPhi, |E/alpha| P3, dE P3, and
  // 1 + eps_W (of the recursion's term).
  double phiTerm, phiErrorTerm, sumTerm, sumErrorTerm, outer;
  double weightRelative, gaussianRelative, rhoRelative;  // eps_W, eps_g, eps_rho
  double alpha, alphaError;  // the engine's alpha; its error (eta1 - 1 of the stock's series)
  double betaError, deltaError, betaInverseRoom, alphaOverBetaError;
  double expTiny;        // an underflow of E/alpha
  double phiSlopeScale;  // >= |alpha| / F, F the family's constant exp(...)
  bool usable;     // the constants are the engine's to the bit
};

struct ScreenSlice : BoundedSliceScales {
  double noJumpReach;  // >= 1/(sqrt(T) sigma)^* per unit error of c, or +inf
  double sqrtTSigmaRelative;
  ScreenFamily upward, downward;
};

// The screen's constants of `slice` (built by buildSeriesSlice with the same
// arguments): fact the engine's factorials with their bounds, each within
// factorialRelative of its value (n <= N); rowRelativeP[n] and
// rowRelativeQ[n] bounds on the relative errors of the coefficient rows
// n = 1..N; W, V the slice's weight triangles (weightRow).
void buildScreenSlice(const SeriesSlice& slice, const BoundedJumpLaw& law, const Bounded* fact,
                      double factorialRelative, const double* rowRelativeP,
                      const double* rowRelativeQ, const double* W, const double* V,
                      ScreenSlice& out);

// Bounds on the errors of the first `count` lanes' Upsilon values against
// the exact truncated series at the exact level: upsilon the engine's
// values (finishSeries), lanes its integrals and sums, the level values of
// both families and their Hh values (beginSeriesAt), cError bounds on the
// errors of the levels c. Where budget is given (per lane, a bound the
// Upsilon error should meet), the families whose magnitudes' bound for an
// unstable recursion comes near it take the recursion's adjoint as well.
void screenUpsilon(const SeriesSlice& slice, const ScreenSlice& screen,
                   const SeriesLanes<kBatchLanes>& lanes, const double* cError,
                   const IntegralLevelValues<LaneBlock>& upLevel, const LaneBlock* upHh,
                   const IntegralLevelValues<LaneBlock>& downLevel, const LaneBlock* downHh,
                   const double* upsilon, const LaneBlock* budget, int count,
                   double* upsilonError);

}  // namespace jdpricer
