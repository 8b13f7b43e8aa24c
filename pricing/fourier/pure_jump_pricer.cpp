#include "pricing/fourier/pure_jump_pricer.hpp"

#include <cmath>
#include <limits>

#include "pricing/closed_form/jump_coefficients.hpp"

namespace jdpricer {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The Poisson tail left out, relative to 1.
constexpr double kTailBudget = 0x1p-60;
// Poisson probabilities summed for the incomplete gamma functions.
constexpr int kMaxPoissonTerms = 4096;

bool finite(double v) { return std::isfinite(v); }

// below[k] = Q(k, x) = P(Poisson(x) < k) and above[k] = P(k, x) =
// P(Poisson(x) >= k), k = 1..N, each accurate relative to itself: sums of
// the probabilities on their own side (the smaller side when it is the one
// asked for), never a difference with 1 where the result is small.
void poissonSides(double x, int N, double* below, double* above) {
  double t[kMaxPoissonTerms];
  // Enough terms that the rest beyond the last is negligible against any
  // suffix asked for (k <= N); for x beyond the table every k <= N lies
  // far below x, where 1 - below is accurate.
  const int last = static_cast<int>(
      std::fmin(kMaxPoissonTerms - 1, std::fmax(N + 1.0, x + 14.0 * std::sqrt(x) + 60.0)));
  t[0] = std::exp(-x);
  for (int j = 1; j <= last; ++j) t[j] = t[j - 1] * x / j;
  double cumulative = 0.0;
  for (int k = 1; k <= N; ++k) {
    cumulative += t[k - 1];
    below[k] = cumulative;
  }
  double suffix = 0.0;
  for (int j = last; j >= 1; --j) {
    suffix += t[j];
    if (j <= N) above[j] = j > x ? suffix : 1.0 - below[j];
  }
}

}  // namespace

PureJumpSlice::PureJumpSlice(double T, double lam, double p, double eta1, double eta2) {
  if (!(T > 0.0 && finite(T) && lam >= 0.0 && finite(lam) && p >= 0.0 && p <= 1.0 &&
        eta1 > 1.0 && finite(eta1) && eta2 > 0.0 && finite(eta2))) {
    return;
  }
  const double q = 1.0 - p;
  const double lamT = lam * T;
  // Jumps kept: until the Poisson tail beyond them is below the budget
  // (bounded by a geometric series once the terms fall).
  double pi = std::exp(-lamT);
  int N = 0;
  while (true) {
    const double next = pi * lamT / (N + 1.0);
    const double ratio = lamT / (N + 2.0);
    if (N + 1.0 > lamT && ratio < 1.0 && next / (1.0 - ratio) <= kTailBudget) break;
    if (N == kMaxSeriesTerms) return;  // more than the coefficient tables hold
    pi = next;
    ++N;
  }
  T_ = T;
  lam_ = lam;
  eta1_ = eta1;
  eta2_ = eta2;
  zeta_ = (p * eta1 / (eta1 - 1.0) + q * eta2 / (eta2 + 1.0)) - 1.0;
  pi0_ = std::exp(-lamT);
  terms_ = N;
  if (N == 0) return;
  const FactorialTable factorials(N);
  JumpCoefficientRows rows(factorials, N, p, eta1, eta2);
  double P[kSeriesTableSize], Q[kSeriesTableSize];
  double pin = pi0_;
  for (int n = 1; n <= N; ++n) {
    pin = pin * lamT / n;
    rows.next(P, Q);
    for (int k = 1; k <= n; ++k) {
      omegaP_[k] += pin * P[k - 1];
      omegaQ_[k] += pin * Q[k - 1];
    }
  }
}

double PureJumpSlice::discountedPut(double S, double K, double r) const {
  const double m = (r - lam_ * zeta_) * T_;
  const double b = std::log(K / S) - m;
  const double forward = S * std::exp(m);
  double total = pi0_ * (K > forward ? K - forward : 0.0);
  const int N = terms_;
  if (N == 0) return total;
  double below[kSeriesTableSize], above[kSeriesTableSize];
  double belowShifted[kSeriesTableSize], aboveShifted[kSeriesTableSize];
  if (b > 0.0) {
    // Upward jumps: the put pays where Gamma(k, eta1) < b.
    poissonSides(eta1_ * b, N, below, above);
    poissonSides((eta1_ - 1.0) * b, N, belowShifted, aboveShifted);
    const double growth = eta1_ / (eta1_ - 1.0);
    double growthPow = 1.0;
    for (int k = 1; k <= N; ++k) {
      growthPow *= growth;
      total += omegaP_[k] * (K * above[k] - forward * (growthPow * aboveShifted[k]));
    }
  }
  // Downward jumps: the put pays where Gamma(k, eta2) > c = -b.
  const double c = -b;
  const double shrink = eta2_ / (eta2_ + 1.0);
  double shrinkPow = 1.0;
  if (c > 0.0) {
    poissonSides(eta2_ * c, N, below, above);
    poissonSides((eta2_ + 1.0) * c, N, belowShifted, aboveShifted);
    for (int k = 1; k <= N; ++k) {
      shrinkPow *= shrink;
      total += omegaQ_[k] * (K * below[k] - forward * (shrinkPow * belowShifted[k]));
    }
  } else {
    for (int k = 1; k <= N; ++k) {
      shrinkPow *= shrink;
      total += omegaQ_[k] * (K - forward * shrinkPow);
    }
  }
  return total;
}

double PureJumpSlice::put(double S, double K, double r) const {
  if (!valid() || !(S > 0.0 && finite(S) && K > 0.0 && finite(K) && finite(r))) return kNaN;
  const double discount = std::exp(-r * T_);
  double price = discount * discountedPut(S, K, r);
  const double intrinsic = discount * K - S;
  if (price < intrinsic) price = intrinsic;
  return price < 0.0 ? 0.0 : price;
}

double PureJumpSlice::call(double S, double K, double r) const {
  if (!valid() || !(S > 0.0 && finite(S) && K > 0.0 && finite(K) && finite(r))) return kNaN;
  const double discount = std::exp(-r * T_);
  double put = discount * discountedPut(S, K, r);
  const double intrinsic = discount * K - S;
  if (put < intrinsic) put = intrinsic;
  if (put < 0.0) put = 0.0;
  const double price = (S - discount * K) + put;
  return price < 0.0 ? 0.0 : price;
}

}  // namespace jdpricer
