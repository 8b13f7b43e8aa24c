// Special functions of the Kou closed form: the normal distribution function
// Phi, the Hh functions and the integral I_n(c; alpha, beta, delta).
//
// Method. Phi(y) = 1 - 0.5*erfc(y/sqrt(2)), always in that form: accurate to
// an ulp of 1 in absolute terms, but the subtraction cancels in the left tail,
// which has no relative accuracy and is exactly 0 from y of about -8.3 down. Hh_{-1}(x) = exp(-x^2/2), Hh_0(x) = sqrt(2*pi)*Phi(-x) and, for
// n >= 1, Hh_n(x) = (Hh_{n-2}(x) - x*Hh_{n-1}(x))/n, evaluated in one upward
// pass. I_n is the closed form of int_c^inf e^(alpha x) Hh_n(beta x - delta) dx
// as a finite sum over Hh_0..Hh_n times powers of rho = beta/alpha.
//
// Numerical caveats. Every value is the result of one fixed sequence of IEEE
// double operations (no fused multiply-add, no reassociation): callers and
// tests rely on the exact bits. The upward recursion is unstable for x > 0,
// where Hh_n(x) is tiny and each step amplifies the rounding of the previous
// two; Hh_0(x) is exactly 0 from x of about 8.3 on, so all Hh_n there are
// 0 or noise. I_n is 0.0 outside its two convergent cases (see integralI).
// Nothing is validated: NaN and infinities propagate, errno is never read.
#pragma once

#include <cmath>

#if defined(__FAST_MATH__)
#error "jdpricer's prices are bit-exact IEEE arithmetic: do not build it with -ffast-math"
#endif

namespace jdpricer {

// sqrt(2*pi) and sqrt(2) as literals: never computed at run time.
inline constexpr double kSqrtTwoPi = 2.5066282746310002;
inline constexpr double kSqrtTwo = 1.4142135623730951;

// The series of the pricing formula stays finite for at most this many
// terms: tgamma(n + 1) overflows from n = 171 on.
inline constexpr int kMaxSeriesTerms = 170;
// Entries of a per-call table indexed 0..kMaxSeriesTerms.
inline constexpr int kSeriesTableSize = kMaxSeriesTerms + 1;

// Phi(y) = 1 - 0.5*erfc(y/sqrt(2)).
double normalCdf(double y);

// Hh_n(x) for n >= -1 by the three-term recursion; O(n) time, no storage.
// n below -1 has no defined value and gives a quiet NaN.
double Hh(int n, double x);

// I_n(c; alpha, beta, delta). Case A: alpha != 0 and beta > 0; case B:
// beta < 0 and alpha < 0; every other combination (alpha = +-0, beta = +-0,
// NaN beta, beta < 0 with alpha > 0 or NaN) gives +0.0. The term i = 0 of the
// sum is always taken, so a negative n gives Hh_0(e)*rho^n.
double integralI(int n, double c, double alpha, double beta, double delta);

// Fills out[i] = Hh_i(x) for i = 0 .. count-1 (1 <= count <= kSeriesTableSize)
// in one upward pass; bit-identical to count separate calls of Hh.
void fillHh(double x, int count, double* out);

// The steps every evaluation of Hh takes, shared by the table-filling code.
inline double hhMinusOne(double x) { return std::exp((-0.5 * x) * x); }
inline double hhZero(double x) { return normalCdf(-x) * kSqrtTwoPi; }
// Hh_index from Hh_{index-2} = older and Hh_{index-1} = newer.
inline double hhStep(double older, double newer, double x, int index) {
  return (older - x * newer) / static_cast<double>(index);
}

// Which closed form I_n takes. Case A: alpha != 0 and beta > 0 (a NaN alpha
// passes); case B: beta < 0 and alpha < 0; otherwise I_n is +0.0.
enum class IntegralCase { kA, kB, kZero };
inline IntegralCase selectIntegralCase(double alpha, double beta) {
  if (alpha != 0.0 && beta > 0.0) return IntegralCase::kA;
  if (beta < 0.0 && alpha < 0.0) return IntegralCase::kB;
  return IntegralCase::kZero;
}

// The parts of I_n that do not depend on n: rho = beta/alpha, F, G and
// alpha/beta from the family alone; e = beta c - delta, E/alpha and the
// normal factor of the Gaussian term from the level c too. Every table of
// I_n values forms them here.
struct IntegralConstants {
  double rho, F, G, alphaOverBeta;
};
IntegralConstants integralConstants(double alpha, double beta, double delta);

struct IntegralLevel {
  double e, eOverAlpha, phi;
};
IntegralLevel integralLevel(IntegralCase which, const IntegralConstants& constants, double c,
                            double alpha, double beta, double delta);

}  // namespace jdpricer
