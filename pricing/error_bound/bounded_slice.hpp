// The rounding bound of one Upsilon series, shared by maturity like the
// prices: the maturity's bounded constants once (O(N^2) for the weights),
// then O(N) per option, beside the engine's own evaluation of that option.
//
// Method. Of the closed form's parts, only the Hh values enter the sums
// through an unstable recursion; everything after them is linear in them
// with weights of one sign:
//   I_m = G rho^(m+1) F Phi - (E/alpha) S_m,   S_m = sum_{i<=m} Hh_i rho^(m-i),
//   SP  = sum_n pi_n sum_k W_{n,k} I_{k-1} = sum_m omega_m I_m,
//   omega_m = sum_{n>m} pi_n W_{n,m+1} >= 0,
// so that d SP / d Hh_i = -(E/alpha) kappa_i with kappa_i = sum_{m>=i} omega_m
// rho^(m-i), a maturity constant. Let h_i be the computed Hh values and e
// the computed argument. They satisfy h_m = (h_{m-2} - e h_{m-1})/m + delta_m
// with local roundings |delta_m| <= u (|h_m| + (|h_{m-2} - e h_{m-1}|
// + |e h_{m-1}|)/m), so D = h - Hh(e) (exact functions at the double e) obeys
// the same recursion, exactly, forced by delta and started by the errors of
// h_{-1} = exp(-e^2/2) and h_0 = sqrt(2 pi) Phi(-e). Hence, exactly,
//   sum_i kappa_i D_i = sum_j Lambda_j delta_j,
// with the adjoint Lambda_i = kappa_i - (e/(i+1)) Lambda_{i+1}
// + Lambda_{i+2}/(i+2) run downwards. The adjoint carries the signs with
// which later steps cancel the recursion's errors, which adding them by
// magnitude cannot see; it is evaluated in doubles beside a running bound on
// its own rounding, so |Lambda_j| is bounded rigorously, and nothing of
// higher order is left out: the propagation is linear. Where the recursion
// is stable (e <= 0) its errors do not grow and kappa >= 0, so
// sum_i kappa_i |D_i|, with |D_i| bounded by the same recursion in
// magnitudes, is as good and the adjoint is skipped. For e > 0 the local
// errors enter by their bounds against |Lambda_j| (their exact signs, from
// error-free transformations, moved the worst bounds of the test regimes and
// of a long-maturity grid by under 1%, at a third of the bound's cost), but
// the error of
// h_0 = sqrt(2 pi) Phi(-e) enters with its sign: its form 1 - erfc(-e/sqrt 2)/2
// keeps only an absolute accuracy there (erfc(e/sqrt 2)/2 is the reference).
//
// The double e is the exact e of a level c~ = (e + delta)/beta close to the
// computed c; the bound is against the exact series at c~ (E/alpha and Phi
// bounded at c~), and the shift from c~ to the true c costs at most
// |c~ - c| times the largest slope in between. Each jump part of Upsilon is
// a mixture, with weights summing to at most 1, of probabilities
// P(sigma W_T + G >= c) whose densities are at most that of sigma W_T, so
// the slope is at most 1/(sigma sqrt(2 pi T)), and it moves by at most
// 1/(sigma^2 T sqrt(2 pi e)) per unit of c; at c~ it is
// e^(alpha c) sum_m omega_m Hh_m(e) (d I_m/dc = -e^(alpha c) Hh_m(beta c -
// delta)), bounded through the computed h and a magnitude bound on their
// errors.
//
// The rest is bounded by magnitudes with a-priori sum bounds (a dot product
// of k terms errs by at most gamma_k times the sum of magnitudes,
// gamma_k = k u/(1 - k u)): the products and the subtraction that form
// I_m, the sums S_m (through T_m = sum |h_i| rho^(m-i), one Horner pass), the
// sums over k (through weights of the maturity), and the errors of the
// maturity constants (bounded arithmetic, bounded_arithmetic.hpp). Counts
// of roundings follow each term's own path (the Poisson weights leave few
// rows that matter), and the accumulation over the rows n is bounded as the
// engine runs it, each addition by the smaller of u |partial sum| and the
// term it adds.
//
// Numerical caveats. Rigorous for the accuracies of the maths library stated
// in bounded_arithmetic.hpp; any overflow or NaN in the bound gives +inf.
// Where the closed form cancels (large eta sigma sqrt(T)) the bound is as
// large as the terms it cancels, as it must be.
#pragma once

#include "pricing/closed_form/maturity_slice.hpp"
#include "pricing/common/lanes.hpp"
#include "pricing/error_bound/bounded_arithmetic.hpp"

namespace jdpricer {

// The maturity constants of one integral family, with their bounds.
struct BoundedIntegralFamily {
  Bounded alpha, beta, delta, alphaOverBeta;
  BoundedDivisor alphaDivisor;
  double phiSlopeScale;    // >= |alpha| / F, F the family's constant exp(...)
  double betaInverseRoom;  // >= 1/(|beta| - its error)
  double rhoPowRelative[kSeriesTableSize];  // >= |rho^j - exact| / rho^j for every j <= m
  double sumRelative[kSeriesTableSize];     // |S_m - its exact value at h| <= this T_m
  double sumScale[kSeriesTableSize];        // computed T_m times this bounds the exact one
  double gaussianScaleError[kSeriesTableSize];
  double weight[kSeriesTableSize];         // >= omega_m, the exact weight
  double weightError[kSeriesTableSize];    // per unit |I_m|: weight errors, rounding of the sums over k
  // The weights of the per-option error terms of the I_m (familyBound).
  double levelWeight[kSeriesTableSize], sumWeight[kSeriesTableSize],
      sumErrorWeight[kSeriesTableSize];
  double phiWeight, phiErrorWeight, tinyWeight;
  double kappa[kSeriesTableSize];          // computed kappa_m
  double kappaError[kSeriesTableSize];     // >= |kappa_m - exact|
  // The constants are the engine family's to the bit, so the level values
  // formed here are the engine's (checked once; never false in practice).
  bool sharesLevels;
};

// The series' law as the bounded evaluation carries it.
struct BoundedJumpLaw {
  Bounded lam, eta1, eta2;
};

// A maturity's scales of one series with their bounds (the full bound's and
// the screen's alike).
struct BoundedSliceScales {
  Bounded pi0, upScale, downScale, sqrtTSigma;
  BoundedDivisor sqrtTSigmaDivisor;
  bool sharesNoJumpFactor;  // its sqrt(T) sigma is the engine's to the bit
  double density;       // >= 1/(sigma sqrt(2 pi T)), the largest slope of Upsilon in c
  double densitySlope;  // >= 1/(sigma^2 T sqrt(2 pi e)), the largest change of that slope
};

struct BoundedSeriesSlice : BoundedSliceScales {
  BoundedIntegralFamily upward, downward;
};

// Builds the bounded constants of `slice` (built by buildSeriesSlice with
// the same arguments); W, V are the slice's weight triangles (weightRow),
// Pe, Qe bounds on the errors of the coefficient triangles, fact the
// factorials 0..N with their bounds.
void buildBoundedSeriesSlice(const SeriesSlice& slice, const BoundedJumpLaw& law,
                             const Bounded* fact, const double* P, const double* Pe,
                             const double* Q, const double* Qe, const double* W,
                             const double* V, BoundedSeriesSlice& out);

// The pieces both bounds build from a slice: its scales; the Poisson weights
// pi_1..pi_N and the powers (eta s)^k of both families from the engine's
// values (fact the factorials with their bounds); a family's constants
// (the upward family's, or the downward one's) in the engine's order; and
// the relative errors of the powers of rho, rhoPowRelative[j] >= the worst
// of j' <= j, and the errors of the Gaussian factors G rho^(m+1) F.
void boundSliceScales(const SeriesSlice& slice, const BoundedJumpLaw& law,
                      BoundedSliceScales& out);
void boundSeriesPowers(const SeriesSlice& slice, const BoundedJumpLaw& law,
                       const Bounded* fact, Bounded pi0, Bounded* pi, Bounded* eta1SPow,
                       Bounded* eta2SPow);
struct BoundedFamilyConstants {
  Bounded alpha, beta, delta, alphaOverBeta, rho, F, G;
};
BoundedFamilyConstants boundFamilyConstants(const SeriesSlice& slice, const BoundedJumpLaw& law,
                                            bool upward);
void boundFamilyPowers(const IntegralFamily& engine, int N, const BoundedFamilyConstants& k,
                       double* rhoPowRelative, double* gaussianScaleError);

// One family's values at each lane's level c (e, E/alpha, Phi, Hh_-1, Hh_0:
// the library calls of the option's work), formed once with their errors:
// the engine's evaluation takes the values (evaluateIntegralFamilyAt, the
// same operations on the same operands, so the same bits) and the bound
// their errors; the Hh values, which the engine's evaluation leaves in hh,
// or hhRecursion. shift bounds |c~ - c| (see above); for e > 0, zeroDelta is
// the signed error of Hh_0 within zeroDeltaError (negative where only its
// magnitude is known).
struct BoundedFamilyLevels {
  IntegralLevelValues<LaneBlock> values;
  LaneBlock hh[kSeriesTableSize];  // the Hh values from them (hhRecursion), Hh_0 .. Hh_{N-1}
  LaneBlock shift, eOverAlphaError, phiError, hMinusOneError, hZeroError, zeroDelta,
      zeroDeltaError;
};

void boundFamilyLevels(const IntegralFamily& family, const BoundedIntegralFamily& bounded,
                       const LaneBlock& c, BoundedFamilyLevels& out);

// The Upsilon of the first `count` lanes' options with bounds on their
// errors against the exact truncated series at the exact level: the values
// are the engine's, from its pieces (the levels c and both families' values
// there, the integrals I^up_m and I^down_m at c, the sums SP and SQ and
// bounds SPRounding, SQRounding on the rounding of their accumulation over n
// from the products A_n pi_n, pi_n B_n, and the bounded factors of pi_0,
// boundedNoJumpFactor); cError bounds the error of each c.
// The recursions of the lanes run side by side, every lane in the order of a
// lane of its own.
void boundedUpsilon(const SeriesSlice& slice, const BoundedSeriesSlice& bounded,
                    const LaneBlock& c, const double* cError,
                    const BoundedFamilyLevels& upLevels, const BoundedFamilyLevels& downLevels,
                    const LaneBlock* up, const LaneBlock* down, const LaneBlock& SP,
                    const double* SPRounding, const LaneBlock& SQ, const double* SQRounding,
                    const Bounded* noJump, int count, Bounded* upsilon);

// Phi(-c / (sqrt(T) sigma)), the factor of pi_0 in Upsilon, with its error
// (cError bounds the error of c): the engine's value where the slice
// sharesNoJumpFactor (finishSeriesAt takes it).
Bounded boundedNoJumpFactor(const BoundedSeriesSlice& bounded, double c, double cError);

}  // namespace jdpricer
