// The n-term Kou closed form in long double (x86-64: a 64-bit significand,
// 2^11 times finer than a double's), the same formulas as literal_kou.hpp
// with each constant at that precision. Where the series is well
// conditioned its value is within a few 1e-19 (S + K) of the exact n-term
// series: a reference against which the error bounds of the double
// evaluation can be held, option by option. O(n^3) per option, n <= 64.
#pragma once

#include <cmath>

namespace wide_kou {

using Wide = long double;

inline constexpr Wide kSqrtTwo = 1.41421356237309504880168872420969808L;
inline constexpr Wide kSqrtTwoPi = 2.50662827463100050241576528481104525L;
inline constexpr Wide kTwoPi = 6.28318530717958647692528676655900577L;
inline constexpr int kMaxTerms = 64;  // n of at most this

inline Wide normalCdf(Wide y) { return 1.0L - 0.5L * std::erfc(y / kSqrtTwo); }

inline Wide integralI(int n, Wide c, Wide alpha, Wide beta, Wide delta) {
  const bool caseA = alpha != 0.0L && beta > 0.0L;
  const Wide rho = beta / alpha;
  const Wide e = beta * c - delta;
  // Hh_0 .. Hh_n by the upward recursion from Hh_-1 and Hh_0.
  Wide older = std::exp(-0.5L * e * e);
  Wide newer = normalCdf(-e) * kSqrtTwoPi;
  Wide S = newer * std::pow(rho, static_cast<Wide>(n));
  for (int i = 1; i <= n; ++i) {
    const Wide next = (older - e * newer) / i;
    older = newer;
    newer = next;
    S += newer * std::pow(rho, static_cast<Wide>(n - i));
  }
  const Wide E = std::exp(alpha * c);
  const Wide gaussian = kSqrtTwoPi / beta * std::pow(rho, static_cast<Wide>(n + 1)) *
                        std::exp(alpha * alpha / (2.0L * beta * beta) + delta * alpha / beta);
  if (caseA) return gaussian * normalCdf(delta - c * beta + alpha / beta) - S * (E / alpha);
  return -(E / alpha) * S - gaussian * normalCdf(beta * c - delta - alpha / beta);
}

// Binomial coefficients C(x, y), x <= kMaxTerms, by Pascal's rule: exact in
// a 64-bit significand.
struct Binomials {
  Wide of[kMaxTerms + 1][kMaxTerms + 1] = {};
  Binomials() {
    for (int x = 0; x <= kMaxTerms; ++x) {
      of[x][0] = 1.0L;
      for (int y = 1; y <= x; ++y) of[x][y] = of[x - 1][y - 1] + (y < x ? of[x - 1][y] : 0.0L);
    }
  }
};

inline Wide binomial(int x, int y) {
  static const Binomials table;
  return table.of[x][y];
}

inline Wide Upsilon(int N, Wide mu, Wide sigma, Wide lam, Wide p, Wide eta1, Wide eta2, Wide a,
                    Wide T) {
  const Wide c = a - mu * T, sqrtT = std::sqrt(T), s = sigma * sqrtT;
  const Wide q = 1.0L - p, w = eta1 + eta2, lamT = lam * T;
  // Everything that depends on one index only, once: the integrals
  // I_{k-1} of both families and the powers in the coefficients.
  Wide up[kMaxTerms], down[kMaxTerms], pPow[kMaxTerms + 1], qPow[kMaxTerms + 1],
      w1Pow[kMaxTerms + 1], w2Pow[kMaxTerms + 1];
  for (int k = 1; k <= N; ++k) {
    up[k - 1] = integralI(k - 1, c, -eta1, -1.0L / s, -sqrtT * sigma * eta1);
    down[k - 1] = integralI(k - 1, c, eta2, 1.0L / s, -sqrtT * sigma * eta2);
  }
  for (int j = 0; j <= N; ++j) {
    pPow[j] = std::pow(p, static_cast<Wide>(j));
    qPow[j] = std::pow(q, static_cast<Wide>(j));
    w1Pow[j] = std::pow(eta1 / w, static_cast<Wide>(j));
    w2Pow[j] = std::pow(eta2 / w, static_cast<Wide>(j));
  }
  Wide SP = 0.0L, SQ = 0.0L;
  for (int n = 1; n <= N; ++n) {
    const Wide pin = std::exp(-lamT) * std::pow(lamT, static_cast<Wide>(n)) /
                     std::tgamma(n + 1.0L);
    for (int k = 1; k <= n; ++k) {
      Wide P = k == n ? pPow[n] : 0.0L;
      Wide Q = k == n ? qPow[n] : 0.0L;
      for (int i = k; i <= n - 1; ++i) {
        const Wide b = binomial(n, i) * binomial(n - k - 1, i - k);
        P += b * w1Pow[i - k] * w2Pow[n - i] * qPow[n - i] * pPow[i];
        Q += b * w1Pow[n - i] * w2Pow[i - k] * pPow[n - i] * qPow[i];
      }
      SP += pin * P * std::pow(eta1 * s, static_cast<Wide>(k)) * up[k - 1];
      SQ += pin * Q * std::pow(eta2 * s, static_cast<Wide>(k)) * down[k - 1];
    }
  }
  const Wide D = std::sqrt(kTwoPi * T) * sigma;
  return normalCdf(-c / s) * std::exp(-lamT) +
         std::exp(eta2 * sigma * eta2 * sigma * T / 2.0L) / D * SQ +
         std::exp(eta1 * sigma * eta1 * sigma * T / 2.0L) / D * SP;
}

// The n-term call; the put by parity.
inline Wide call(Wide T, Wide K, Wide S, Wide r, Wide sigma, Wide lam, Wide p, Wide eta1,
                 Wide eta2, int n) {
  const Wide zeta = p * eta1 / (eta1 - 1.0L) + (1.0L - p) * eta2 / (eta2 + 1.0L) - 1.0L;
  const Wide a = std::log(K / S);
  const Wide U1 = Upsilon(n, r + sigma * sigma / 2.0L - lam * zeta, sigma, (1.0L + zeta) * lam,
                          p / (1.0L + zeta) * eta1 / (eta1 - 1.0L), eta1 - 1.0L, eta2 + 1.0L, a, T);
  const Wide U2 =
      Upsilon(n, r - sigma * sigma / 2.0L - lam * zeta, sigma, lam, p, eta1, eta2, a, T);
  return S * U1 - K * std::exp(-r * T) * U2;
}

}  // namespace wide_kou
