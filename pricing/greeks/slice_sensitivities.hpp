// The maturity slice's sensitivities of one Upsilon series: weights, built
// once per maturity, that turn an option's integrals into the derivatives of
// its Upsilon in the level c, the intensity lam and the jump law (p, eta1,
// eta2), each at O(N) per option.
//
// Method. Write the series as
//   Y(c) = pi_0 Phi(-c/s) + sum_{n=1..N} pi_n sum_{k=1..n} (P_{n,k} H^up_k + Q_{n,k} H^down_k),
//   H^up_k = upScale (eta1 s)^k I^up_{k-1}(c),  H^down_k = downScale (eta2 s)^k I^down_{k-1}(c),
// s = sigma sqrt(T): H^up_k is the probability that s Z plus a Gamma(k, eta1)
// jump sum exceeds c, H^down_k the same with minus a Gamma(k, eta2) sum.
// Interchanging the sums, Y = pi_0 Phi + sum_k (Pbar_k H^up_k + Qbar_k H^down_k)
// with Pbar_k = sum_{n>=k} pi_n P_{n,k}: any weight that is fixed per
// maturity collapses over n here, leaving one dot product of length N + 1
// per option. The price keeps its own order of summation; only the
// derivatives use the collapsed form.
//  - Level: dI_m/dc = -e^(alpha c) Hh_m(beta c - delta), so
//    dY/dc = -pi_0 phi(c/s)/s - upScale e^(-eta1 c) sum_k (eta1 s)^k Pbar_k Hh^up_{k-1}
//            - downScale e^(eta2 c) sum_k (eta2 s)^k Qbar_k Hh^down_{k-1}.
//  - Intensity: pi_n = e^(-lam T)(lam T)^n/n! gives dpi_n/dlam = T (pi_{n-1} - pi_n)
//    (pi_{-1} = 0), exact at lam = 0 too. So dY/dlam = T J with J the series
//    under the weights pi_{n-1} - pi_n (jump-free term -pi_0 Phi(-c/s)). The
//    same J gives the Poisson part of dY/dT, lam J.
//  - Jump law at fixed c, s and lam: p moves only P and Q, with the weights
//    sum_n pi_n dP_{n,k}/dp; the rates move P and Q through x (see
//    coefficient_derivatives.hpp) and each H through its Gamma law: the
//    Gamma(k, eta) density f_k has df_k/deta = (k/eta)(f_k - f_{k+1}), so
//    dH_k/deta = (k/eta)(H_k - H_{k+1}). In the integrals' terms that puts
//    s (eta s)^j ((j+1) Pbar_{j+1} - j Pbar_j) on I^up_j, j = 0..N (Pbar_{N+1}
//    = 0): one integral beyond the price's, I_N, is needed.
//
// Numerical caveats. The weights inherit the sums' cancellation (terms of
// alternating sign growing like exp((eta sigma)^2 T / 2)): derivatives are
// as accurate as the price there and no more. pi_{n-1} - pi_n cancels near
// n = lam T, where the weight itself is small. Nothing is validated.
#pragma once

#include "pricing/closed_form/maturity_slice.hpp"
#include "pricing/common/kou_measures.hpp"
#include "pricing/greeks/coefficient_derivatives.hpp"

namespace jdpricer {

// The quantities that one dot product with the integrals gives per option.
enum SliceQuantity { kJumpShift, kJumpProbability, kUpRate, kDownRate, kSliceQuantities };

struct SliceSensitivities {
  int N;  // terms of the series (0: jump-free)
  // I_0 .. I_N of both jump directions: the price's families and one more.
  IntegralFamily upward, downward;
  // Weights on I^up_j and I^down_j, j = 0..N, prefactor included: the
  // derivatives of the jump sums in lam / T (kJumpShift), p, eta1, eta2.
  double up[kSliceQuantities][kSeriesTableSize];
  double down[kSliceQuantities][kSeriesTableSize];
  // Weights on Hh^up_j, Hh^down_j, j = 0..N-1, for the level derivative.
  double slopeUp[kSeriesTableSize], slopeDown[kSeriesTableSize];
};

// From the price's slice and its coefficient triangles P, Q with their
// derivatives (rows 1..slice.N). `law` is the series' jump law.
void buildSliceSensitivities(const SeriesSlice& slice, const JumpLaw& law, const double* P,
                             const double* Q, const ConstCoefficientDerivatives& derivatives,
                             SliceSensitivities& out);

}  // namespace jdpricer
