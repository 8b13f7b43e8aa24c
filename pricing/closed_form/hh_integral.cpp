#include "pricing/closed_form/hh_integral.hpp"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace jdpricer {

namespace {

// Once both carried values are zeros, infinities or NaNs, the division by the
// index no longer changes any bit, so the recursion becomes a map of the pair
// (older, newer) alone over a handful of bit patterns and turns periodic.
bool isAbsorbing(double v) { return v == 0.0 || !std::isfinite(v); }

std::uint64_t bitsOf(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits;
}

// Continues the recursion from Hh_{m-1} = older, Hh_m = newer (both
// absorbing) to Hh_n by finding the cycle of the pair instead of stepping
// n - m times. The pair takes at most a few dozen distinct bit patterns
// (signed zeros and infinities, NaNs propagated from x or the pair, the
// default NaN), so a cycle shows within kMaxStates steps.
double hhFastForward(double older, double newer, double x, int m, int n) {
  constexpr int kMaxStates = 128;
  std::uint64_t seenOlder[kMaxStates];
  std::uint64_t seenNewer[kMaxStates];
  double value[kMaxStates];
  int count = 0;
  while (m < n && count < kMaxStates) {
    const std::uint64_t bo = bitsOf(older);
    const std::uint64_t bn = bitsOf(newer);
    for (int j = 0; j < count; ++j) {
      if (seenOlder[j] == bo && seenNewer[j] == bn) {
        // State at step m repeats the one at step m - (count - j).
        const int period = count - j;
        const int remaining = n - m;
        return value[j + remaining % period];
      }
    }
    seenOlder[count] = bo;
    seenNewer[count] = bn;
    value[count] = newer;
    ++count;
    ++m;
    const double next = hhStep(older, newer, x, m);
    older = newer;
    newer = next;
  }
  // Reached n directly (or, impossibly, more states than kMaxStates): keep
  // stepping literally, which is always correct.
  for (; m < n; ++m) {
    const double next = hhStep(older, newer, x, m + 1);
    older = newer;
    newer = next;
  }
  return newer;
}

// Case A: G*R*F*Phi - S*(E/alpha); case B: -(E/alpha)*S - G*R*F*Phi.
double integralFromSum(IntegralCase which, const IntegralConstants& k, const IntegralLevel& t,
                       double sum, double rhoPowNPlusOne) {
  const double gaussian = ((k.G * rhoPowNPlusOne) * k.F) * t.phi;
  if (which == IntegralCase::kA) return gaussian - sum * t.eOverAlpha;
  return (-t.eOverAlpha) * sum - gaussian;
}

}  // namespace

double normalCdf(double y) { return 1.0 - 0.5 * std::erfc(y / kSqrtTwo); }

IntegralConstants integralConstants(double alpha, double beta, double delta) {
  IntegralConstants k;
  k.rho = beta / alpha;
  k.F = std::exp((alpha * alpha) / ((beta + beta) * beta) + (delta * alpha) / beta);
  k.G = kSqrtTwoPi / beta;
  k.alphaOverBeta = alpha / beta;
  return k;
}

IntegralLevel integralLevel(IntegralCase which, const IntegralConstants& k, double c,
                            double alpha, double beta, double delta) {
  IntegralLevel t;
  t.e = beta * c - delta;
  t.eOverAlpha = std::exp(alpha * c) / alpha;
  t.phi = which == IntegralCase::kA ? normalCdf((delta - c * beta) + k.alphaOverBeta)
                                    : normalCdf((beta * c - delta) - k.alphaOverBeta);
  return t;
}

double Hh(int n, double x) {
  if (n < -1) return std::numeric_limits<double>::quiet_NaN();
  if (n == 0) return hhZero(x);
  double older = hhMinusOne(x);
  if (n == -1) return older;
  double newer = hhZero(x);
  for (int m = 1; m <= n; ++m) {
    if (isAbsorbing(older) && isAbsorbing(newer)) {
      return hhFastForward(older, newer, x, m - 1, n);
    }
    const double next = hhStep(older, newer, x, m);
    older = newer;
    newer = next;
  }
  return newer;
}

void fillHh(double x, int count, double* out) {
  out[0] = hhZero(x);
  if (count < 2) return;
  double older = hhMinusOne(x);
  for (int m = 1; m < count; ++m) {
    out[m] = hhStep(older, out[m - 1], x, m);
    older = out[m - 1];
  }
}

double integralI(int n, double c, double alpha, double beta, double delta) {
  const IntegralCase which = selectIntegralCase(alpha, beta);
  if (which == IntegralCase::kZero) return 0.0;
  const IntegralConstants k = integralConstants(alpha, beta, delta);
  const IntegralLevel t = integralLevel(which, k, c, alpha, beta, delta);

  // S = sum_{i=0..n} Hh_i(e) * rho^(n-i), the i = 0 term always taken. The Hh
  // values stream from the recursion; n - i never overflows for i in [0, n].
  double sum = 0.0;
  double older = hhMinusOne(t.e);
  double newer = hhZero(t.e);
  sum = sum + newer * std::pow(k.rho, static_cast<double>(n));
  for (int i = 1; i <= n; ++i) {
    const double next = hhStep(older, newer, t.e, i);
    older = newer;
    newer = next;
    sum = sum + newer * std::pow(k.rho, static_cast<double>(n - i));
  }
  // n + 1 in double: exact, and no overflow at INT_MAX.
  const double rhoPowNPlusOne = std::pow(k.rho, static_cast<double>(n) + 1.0);
  return integralFromSum(which, k, t, sum, rhoPowNPlusOne);
}

}  // namespace jdpricer
