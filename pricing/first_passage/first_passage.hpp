// First passage of the log-price through a level under Kou's model, in
// closed form in the Laplace domain, inverted in maturity on a Talbot
// contour: the engine of touch options.
//
// Method. Let tau be the first time X_t >= b > 0. A crossing is continuous
// or by a jump, whose overshoot is again Exp(eta1) and independent of tau
// (the jumps are memoryless). Optional stopping of e^(-alpha t + beta X_t)
// at the roots beta1, beta2 of G(beta) = alpha gives
//   E e^(-alpha tau) = [beta2 (eta1 - beta1) e^(-beta1 b)
//                       - beta1 (eta1 - beta2) e^(-beta2 b)] / (eta1 (beta2 - beta1)),
// (Kou and Wang 2003). So P(tau <= T) inverts F(s) = E e^(-s tau)/s, and
// E[e^(-r tau); tau <= T] inverts E e^(-(s + r) tau)/s. Everything that
// depends on T, the model and the discount shift (the nodes, the roots at
// each node, the weights) is one PassageSlice, shared by every level b of
// that maturity; a level costs two complex exponentials per node. A down
// level is an up level of the mirrored law (PassageModel::mirrored).
//
// Numerical caveats. The contour is shifted right by max(0, -c) so that it
// encloses the pole at s = 0 and Re(s + c) > 0 where the roots are first
// found. Accuracy is that of the contour at N nodes (about 1e-12 at N = 32
// for ordinary models, maturities 0.05 to 3 and levels 5% to 25% away);
// it degrades for levels very near 0 (b below about 1e-3 sigma sqrt(T)),
// where the transform decays slowly, and for tiny T (see shortMaturity;
// from 1e-30 to 1e-10 years it stays within 1e-16 absolute). An invalid model
// (sigma = 0 among others) or roots that cannot be followed give NaN.
#pragma once

#include "pricing/first_passage/log_spot_jet.hpp"
#include "pricing/first_passage/passage_roots.hpp"
#include "pricing/first_passage/talbot_contour.hpp"

namespace jdpricer {

// Maturities below kShortestTransformMaturity (1e-30 years) put the
// contour's nodes, of size N/T, where the roots cannot be followed. There a
// price is its T = 0 limit, which it equals to within about lam T of the
// payout (a jump) and erfc(40/sqrt(2)) (the diffusion) where the level is
// more than 40 sigma sqrt(T) away; nearer, nothing is resolved and the
// price is NaN.
inline constexpr double kShortestTransformMaturity = 1e-30;
enum class ShortMaturity { kTransform, kInstantLimit, kUnresolved };
inline ShortMaturity shortMaturity(double T, double level, double sigma) {
  if (!(T < kShortestTransformMaturity)) return ShortMaturity::kTransform;
  return level > 40.0 * sigma * std::sqrt(T) ? ShortMaturity::kInstantLimit
                                               : ShortMaturity::kUnresolved;
}

// One maturity's share of the inversion for one law and discount shift.
struct PassageSlice {
  int half = 0;  // nodes in use, N/2
  bool ok = false;
  // kLargestInversionTerms times e^(shift T): the contour's shift scales
  // every term, and the values with it (a discount at a negative rate).
  double largestTerms = 0.0;
  // Per node: e^(-beta1 b) and e^(-beta2 b) enter with these coefficients
  // (the weights, 1/s and the transform's own factors folded in).
  Complex beta1[kMaxTalbotNodes / 2], beta2[kMaxTalbotNodes / 2];
  Complex first[kMaxTalbotNodes / 2], second[kMaxTalbotNodes / 2];
};

inline constexpr int kPassageNodes = 32;

// Builds the slice for maturity T > 0 and discount shift c (0 for the
// probability, r for the discounted hit) under the upward law `model`.
// rightOf moves the contour right of a singularity of the transform that
// uses the slice (a lookback's pole at s = r - q).
void buildPassageSlice(const PassageModel& model, double T, double c, int nodes,
                       PassageSlice& slice, double rightOf = 0.0);

// The inverted transform at level b > 0: P(tau_b <= T) for c = 0,
// E[e^(-c tau_b); tau_b <= T] otherwise. NaN where the slice is not ok.
double passageValue(const PassageSlice& slice, double b);

// The same with its first and second derivatives in ln S, where the level
// moves by dLevel (-1 for an up level, +1 for a down one) per unit of ln S:
// the sum differentiated term by term, e^(-beta b) giving -beta and beta^2.
// The value has passageValue's bits.
Jet<double> passageJet(const PassageSlice& slice, double b, double dLevel);

}  // namespace jdpricer
