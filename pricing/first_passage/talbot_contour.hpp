// Weideman and Trefethen's optimised Talbot contour for inverting a Laplace
// transform at one time t (Math. Comp. 76, 2007):
//   s(theta) = shift + (N/t) (-0.6122 + 0.5017 theta cot(0.6407 theta) + 0.2645 i theta),
// theta in (-pi, pi), sampled by the midpoint rule at N points. For a real
// f with transform F, f(t) = (2/N) sum over the N/2 nodes of the upper half
// of Im(e^(s t) F(s) s'(theta)). The error falls like e^(-1.36 N) for
// transforms analytic left of the contour's crossing of the real axis,
// shift + 0.171 N/t, outside a cut along the negative real axis; rounding
// is amplified by about e^(0.171 N + shift t) of the largest term.
#pragma once

#include <cmath>
#include <complex>

namespace jdpricer {

inline constexpr int kMaxTalbotNodes = 64;  // N; the upper half has N/2

// The inverted sum's terms may reach far more than its value where the
// transform grows along the contour (a level far away with little
// diffusion: e^(-beta b) with Re beta < 0 at nodes left of the axis). Their
// rounding is then the result's: where the terms' magnitudes add up to
// more than this many units of the price's scale (1 for a probability,
// S + K for an option), rounding alone could pass 1e-11 of the scale, and
// the result is NaN. Ordinary inputs stay below 100.
inline constexpr double kLargestInversionTerms = 1e4;

// The upper half's nodes s[k] and weights (2/N) e^(s t) s'(theta) for
// k < N/2; N even, 2 <= N <= kMaxTalbotNodes, t > 0.
inline void talbotNodes(double t, int N, double shift, std::complex<double>* s,
                        std::complex<double>* weight) {
  const double pi = 3.141592653589793;
  const double scale = N / t;
  for (int k = 0; k < N / 2; ++k) {
    const double theta = (k + 0.5) * (2.0 * pi / N);
    const double angle = 0.6407 * theta;
    const double cot = std::cos(angle) / std::sin(angle);
    const double sine = std::sin(angle);
    s[k] = {shift + scale * (-0.6122 + 0.5017 * theta * cot), scale * 0.2645 * theta};
    const std::complex<double> slope(
        scale * (0.5017 * cot - 0.5017 * angle / (sine * sine)), scale * 0.2645);
    weight[k] = (2.0 / N) * std::exp(s[k] * t) * slope;
  }
}

}  // namespace jdpricer
