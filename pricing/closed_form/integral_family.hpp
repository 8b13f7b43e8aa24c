// The integrals I_0 .. I_{count-1}(c; alpha, beta, delta) that one Upsilon
// series needs, in two stages: the family's constants, which depend on
// alpha, beta and delta alone (the model and the maturity), and the values
// at a level c (each option's own), for several options side by side.
//
// Method. I_m = G rho^(m+1) F Phi(.) - S_m E/alpha (case A) or
// -(E/alpha) S_m - G rho^(m+1) F Phi(.) (case B), with
// S_m = sum_{i=0..m} Hh_i(e) rho^(m-i), e = beta c - delta. rho, F, G and the
// powers of rho depend only on the family; e, E = exp(alpha c), Phi and the
// Hh values on c. Each S_m is one accumulation chain in increasing i; the
// chains of different options (lanes) run side by side, each in its own
// order, so every value has the bits of a separate integralI call.
//
// Numerical caveats. As for integralI: the Hh recursion is unstable for
// e > 0, and the sum cancels when rho^(m-i) and Hh_i(e) are large and of
// alternating sign. Nothing is validated.
#pragma once

#include "pricing/closed_form/hh_integral.hpp"
#include "pricing/common/lanes.hpp"

namespace jdpricer {

struct IntegralFamily {
  IntegralCase which;
  int count;  // I_0 .. I_{count-1}, 0 <= count <= kSeriesTableSize (the Greeks take one
              // beyond a series' kMaxSeriesTerms)
  double alpha, beta, delta;
  IntegralConstants constants;
  double rhoPow[kSeriesTableSize + 1];    // pow(rho, j), j = 0..count
  double gaussianScale[kSeriesTableSize];  // (G * rho^(m+1)) * F, m = 0..count-1
};

// The family's constants for I_0 .. I_{count-1}.
void buildIntegralFamily(int count, double alpha, double beta, double delta,
                         IntegralFamily& family);

// Lane l of out[m] is I_m(lane l of c; alpha, beta, delta), m < family.count.
template <int Lanes>
void evaluateIntegralFamily(const IntegralFamily& family, typename LaneVector<Lanes>::type c,
                            typename LaneVector<Lanes>::type* out);

// The values at each lane's level that evaluateIntegralFamily forms with
// library calls (integralLevel, hhMinusOne, hhZero), for a caller that has
// already formed them by the same operations on the same operands.
template <class Vec>
struct IntegralLevelValues {
  Vec e, eOverAlpha, phi, hMinusOne, hZero;
};

// Forms the level values of each lane at c by the library calls of
// evaluateIntegralFamily (integralLevel, hhMinusOne, hhZero); not for a
// family of case kZero, which has none.
template <int Lanes>
void formIntegralLevelValues(const IntegralFamily& family, const typename LaneVector<Lanes>::type& c,
                             IntegralLevelValues<typename LaneVector<Lanes>::type>& level);

// Hh_0(e) .. Hh_{count-1}(e) of each lane by the upward recursion from
// those values (count >= 1).
template <class Vec>
void hhRecursion(const IntegralLevelValues<Vec>& level, int count, Vec* hh) {
  Vec older = level.hMinusOne;
  hh[0] = level.hZero;
  for (int m = 1; m < count; ++m) {
    hh[m] = (older - level.e * hh[m - 1]) / static_cast<double>(m);
    older = hh[m - 1];
  }
}

// As evaluateIntegralFamily, from those values: the same bits. The Hh
// values are left in `hh` (family.count of them), for callers that bound
// their errors.
template <int Lanes>
void evaluateIntegralFamilyAt(
    const IntegralFamily& family,
    const IntegralLevelValues<typename LaneVector<Lanes>::type>& level,
    typename LaneVector<Lanes>::type* out, typename LaneVector<Lanes>::type* hh);

// Fills out[m] = integralI(m, c, alpha, beta, delta) for m = 0 .. count-1
// (1 <= count <= kMaxSeriesTerms), bit-identical to count separate calls.
void fillIntegralI(int count, double c, double alpha, double beta, double delta, double* out);

}  // namespace jdpricer
