// The roots of G(x) = alpha that govern first passage upward under Kou's
// model, for complex alpha along an inversion contour.
//
// Method. G(x) = mu x + sigma^2 x^2 / 2 + lam (p eta1/(eta1 - x)
// + (1 - p) eta2/(eta2 + x) - 1) is the exponent of the log-price,
// E e^(x X_t) = e^(t G(x)). Multiplied by N(x) = (eta1 - x)(eta2 + x),
// alpha - G(x) = 0 becomes the quartic
//   Q(x) = sigma^2/2 x^4 + c3 x^3 + c2 x^2 + c1 x + alpha eta1 eta2.
// For real alpha > 0 it has four real roots, 0 < beta1 < eta1 < beta2 and
// two negative ones; an upward crossing of a level depends on beta1 and
// beta2 alone, symmetrically. For complex alpha the pair is the analytic
// continuation of that one: all four roots are found at a real alpha (where
// the two with positive real part are the pair), then followed along the
// path of the contour's nodes in steps small enough that no root comes
// nearer a root of the other pair than three times its own move (a step
// that fails is halved). Sorting the roots by the sign of their real part
// at each node instead would pick the wrong pair where Re(alpha) < 0 and the
// drift is steep.
//
// Numerical caveats. sigma = 0 lowers the quartic's degree: it is refused
// (the roots are NaN). So are non-finite or out-of-domain parameters
// (eta1 <= 1 is allowed here; eta1 <= 0, eta2 <= 0, lam < 0, p outside
// [0, 1] are not). p = 0 leaves x = eta1 a root of Q (G has no pole there);
// it is then one of the pair and its term vanishes from the transform, as
// it should. The roots are accurate to a few ulps of their size where they
// are well separated; near a collision of beta1 and beta2 the transform,
// symmetric in the pair, stays accurate as its divided differences do.
// The roots are followed by Aberth's simultaneous correction, which
// converges where two roots are close (near eta1 or -eta2 when the jumps
// on that side are rare) as Newton's method alone does not.
#pragma once

#include <cmath>
#include <complex>

namespace jdpricer {

using Complex = std::complex<double>;

// The log-price's law, upward: a down barrier takes mirrored().
struct PassageModel {
  double mu, sigma, lam, p, eta1, eta2;
  // The law of -X: mu -> -mu, p <-> 1 - p, eta1 <-> eta2.
  PassageModel mirrored() const { return {-mu, sigma, lam, 1.0 - p, eta2, eta1}; }
  bool valid() const;
};

// The model's own domain, before any mirroring (a mirrored p = 1 - p may
// round into [0, 1] from just outside it): sigma > 0, lam >= 0, p in
// [0, 1], eta1 > 1 (the stock's mean is finite), eta2 > 0, all finite.
inline bool kouModelInDomain(double sigma, double lam, double p, double eta1, double eta2) {
  return std::isfinite(sigma) && sigma > 0.0 && std::isfinite(lam) && lam >= 0.0 && p >= 0.0 &&
         p <= 1.0 && std::isfinite(eta1) && eta1 > 1.0 && std::isfinite(eta2) && eta2 > 0.0;
}

// The risk-neutral drift of the log-price with rate r and dividend yield q:
// r - q - sigma^2/2 - lam zeta, zeta the mean relative jump.
double riskNeutralDrift(double r, double q, double sigma, double lam, double p, double eta1,
                        double eta2);

// The model in its domain and its risk-neutral drift finite at r and q (a
// sigma near the largest double passes the first and not the second).
inline bool kouLawInDomain(double r, double q, double sigma, double lam, double p, double eta1,
                           double eta2) {
  return kouModelInDomain(sigma, lam, p, eta1, eta2) &&
         std::isfinite(riskNeutralDrift(r, q, sigma, lam, p, eta1, eta2));
}

// All four roots of Q at each of `count` points alpha[0..count), followed
// continuously from a real alpha: roots4[4k], roots4[4k + 1] the upward
// pair (beta1, beta2), roots4[4k + 2], roots4[4k + 3] the two that are
// negative at real alpha (-beta3, -beta4). A root that does not move
// (x = eta1 without upward jumps, x = -eta2 without downward ones) is in
// its place. alpha[0] must have a positive real part. Returns false (roots
// NaN) where the model is not valid or the roots cannot be followed.
bool followAllRoots(const PassageModel& model, const Complex* alpha, int count, Complex* roots4);

// The upward pair (beta1, beta2) at each of `count` <= 64 points alpha[0..count),
// followed continuously from a real alpha: writes pairs[2k], pairs[2k + 1].
// alpha[0] must have a positive real part. Returns false (pairs NaN) where
// the model is not valid or the roots cannot be followed.
bool followUpwardRoots(const PassageModel& model, const Complex* alpha, int count,
                       Complex* pairs);

}  // namespace jdpricer
