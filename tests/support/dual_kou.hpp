// The Kou closed form evaluated word for word on dual numbers: forward-mode
// differentiation of the literal series, a second path to every Greek that
// shares no derivation with the engine (no collapsed weights, no measure
// identities, no Gamma-law shortcut). Dual<double, 9> carries the first
// derivatives in (T, K, S, r, sigma, lam, p, eta1, eta2); Dual<Dual<double,
// 1>, 1> the second derivative in S. Slow (O(n^3) dual operations): keep n
// below about 30.
#pragma once

#include <cmath>

namespace dual_kou {

template <class V, int N>
struct Dual {
  V v{};
  V d[N]{};
};

inline double value(double x) { return x; }
template <class V, int N>
double value(const Dual<V, N>& x) { return value(x.v); }

inline void assignConstant(double& x, double c) { x = c; }
template <class V, int N>
void assignConstant(Dual<V, N>& x, double c) {
  x = Dual<V, N>{};
  assignConstant(x.v, c);
}

template <class V, int N>
Dual<V, N> constant(double c) {
  Dual<V, N> r;
  assignConstant(r.v, c);
  return r;
}

#define DUAL_KOU_BINARY(op, dr)                                                      \
  template <class V, int N>                                                          \
  Dual<V, N> operator op(const Dual<V, N>& a, const Dual<V, N>& b) {                 \
    Dual<V, N> r;                                                                    \
    r.v = a.v op b.v;                                                                \
    for (int i = 0; i < N; ++i) r.d[i] = dr;                                         \
    return r;                                                                        \
  }                                                                                  \
  template <class V, int N>                                                          \
  Dual<V, N> operator op(const Dual<V, N>& a, double c) {                            \
    return a op constant<V, N>(c);                                                   \
  }                                                                                  \
  template <class V, int N>                                                          \
  Dual<V, N> operator op(double c, const Dual<V, N>& b) {                            \
    return constant<V, N>(c) op b;                                                   \
  }
DUAL_KOU_BINARY(+, a.d[i] + b.d[i])
DUAL_KOU_BINARY(-, a.d[i] - b.d[i])
DUAL_KOU_BINARY(*, a.d[i] * b.v + a.v * b.d[i])
DUAL_KOU_BINARY(/, (a.d[i] * b.v - a.v * b.d[i]) / (b.v * b.v))
#undef DUAL_KOU_BINARY

template <class V, int N>
Dual<V, N> operator-(const Dual<V, N>& a) {
  return constant<V, N>(0.0) - a;
}

// f(a) with f(a.v) = fv and f'(a.v) = slope.
template <class V, int N>
Dual<V, N> chain(const Dual<V, N>& a, const V& fv, const V& slope) {
  Dual<V, N> r;
  r.v = fv;
  for (int i = 0; i < N; ++i) r.d[i] = slope * a.d[i];
  return r;
}

using std::erfc;
using std::exp;
using std::log;
using std::pow;
using std::sqrt;

template <class V, int N>
Dual<V, N> exp(const Dual<V, N>& a) {
  const V e = exp(a.v);
  return chain(a, e, e);
}
template <class V, int N>
Dual<V, N> erfc(const Dual<V, N>& a) {
  return chain(a, erfc(a.v), -1.1283791670955126 * exp(-(a.v * a.v)));
}
template <class V, int N>
Dual<V, N> sqrt(const Dual<V, N>& a) {
  const V s = sqrt(a.v);
  return chain(a, s, 0.5 / s);
}
template <class V, int N>
Dual<V, N> log(const Dual<V, N>& a) {
  return chain(a, log(a.v), 1.0 / a.v);
}
// An integer power; k = 0 gives 1 for every base.
inline double ipow(double a, int k) { return std::pow(a, static_cast<double>(k)); }
template <class V, int N>
Dual<V, N> ipow(const Dual<V, N>& a, int k) {
  if (k == 0) return constant<V, N>(1.0);
  return chain(a, ipow(a.v, k), static_cast<double>(k) * ipow(a.v, k - 1));
}

template <class X>
X normalCdf(const X& y) {
  return 1.0 - 0.5 * erfc(y / 1.4142135623730951);
}

template <class X>
X Hh(int n, const X& x) {
  X older = exp((-0.5 * x) * x);
  if (n == -1) return older;
  X newer = normalCdf(-x) * 2.5066282746310002;
  for (int m = 1; m <= n; ++m) {
    const X next = (older - x * newer) / static_cast<double>(m);
    older = newer;
    newer = next;
  }
  return newer;
}

template <class X>
X integralI(int n, const X& c, const X& alpha, const X& beta, const X& delta) {
  const bool caseA = value(alpha) != 0.0 && value(beta) > 0.0;
  const bool caseB = !caseA && value(beta) < 0.0 && value(alpha) < 0.0;
  if (!caseA && !caseB) return c * 0.0;
  const X rho = beta / alpha;
  const X e = beta * c - delta;
  X S = c * 0.0;
  for (int i = 0; i <= n; ++i) S = S + Hh(i, e) * ipow(rho, n - i);
  const X E = exp(alpha * c);
  const X R = ipow(rho, n + 1);
  const X F = exp(alpha * alpha / ((beta + beta) * beta) + (delta * alpha) / beta);
  const X G = 2.5066282746310002 / beta;
  if (caseA) return G * R * F * normalCdf((delta - c * beta) + alpha / beta) - S * (E / alpha);
  return -(E / alpha) * S - G * R * F * normalCdf((beta * c - delta) - alpha / beta);
}

inline double binomial(int x, int y) {
  return std::tgamma(x + 1.0) / (std::tgamma(y + 1.0) * std::tgamma(1.0 + (x - y)));
}

template <class X>
X Upsilon(int N, const X& mu, const X& sigma, const X& lam, const X& p, const X& eta1,
          const X& eta2, const X& a, const X& T) {
  const X c = a - mu * T;
  const X sqrtT = sqrt(T);
  const X s = sigma * sqrtT;
  const X q = 1.0 - p;
  const X w = eta1 + eta2;
  const X lamT = lam * T;
  X SP = c * 0.0, SQ = c * 0.0;
  for (int n = 1; n <= N; ++n) {
    const X pin = (exp((-lam) * T) * ipow(lamT, n)) / std::tgamma(n + 1.0);
    X An = c * 0.0, Bn = c * 0.0;
    for (int k = 1; k <= n; ++k) {
      X P = ipow(p, n), Q = ipow(q, n);
      if (k < n) {
        P = c * 0.0;
        Q = c * 0.0;
        for (int i = k; i <= n - 1; ++i) {
          const double b = binomial(n, i) * binomial(n - k - 1, i - k);
          P = P + b * ipow(eta1 / w, i - k) * ipow(eta2 / w, n - i) * (ipow(q, n - i) * ipow(p, i));
          Q = Q + b * ipow(eta1 / w, n - i) * ipow(eta2 / w, i - k) * (ipow(p, n - i) * ipow(q, i));
        }
      }
      An = An + integralI(k - 1, c, -eta1, -1.0 / s, sqrtT * (-sigma * eta1)) * (ipow(eta1 * s, k) * P);
      Bn = Bn + integralI(k - 1, c, eta2, 1.0 / s, sqrtT * (-sigma * eta2)) * (Q * ipow(eta2 * s, k));
    }
    SP = SP + An * pin;
    SQ = SQ + pin * Bn;
  }
  const X D = sqrt(6.283185307179586 * T) * sigma;
  const X UP = (exp((eta1 * sigma) * (eta1 * sigma) * T * 0.5) / D) * SP;
  const X UQ = (exp((eta2 * sigma) * (eta2 * sigma) * T * 0.5) / D) * SQ;
  return normalCdf(-c / (sqrtT * sigma)) * exp((-lam) * T) + (UQ + UP);
}

template <class X>
X call(const X& T, const X& K, const X& S, const X& r, const X& sigma, const X& lam, const X& p,
       const X& eta1, const X& eta2, int n) {
  const X zeta = p * eta1 / (eta1 - 1.0) + (1.0 - p) * eta2 / (eta2 + 1.0) - 1.0;
  const X a = log(K / S);
  const X U1 = Upsilon(n, (r + 0.5 * sigma * sigma) - lam * zeta, sigma, (1.0 + zeta) * lam,
                       (p / (1.0 + zeta)) * (eta1 / (eta1 - 1.0)), eta1 - 1.0, eta2 + 1.0, a, T);
  const X U2 = Upsilon(n, (r - 0.5 * sigma * sigma) - lam * zeta, sigma, lam, p, eta1, eta2, a, T);
  return S * U1 - (K * exp(-r * T)) * U2;
}

template <class X>
X put(const X& T, const X& K, const X& S, const X& r, const X& sigma, const X& lam, const X& p,
      const X& eta1, const X& eta2, int n) {
  return (exp(-r * T) * K + call(T, K, S, r, sigma, lam, p, eta1, eta2, n)) - S;
}

// The Greeks in the engine's field order (price, delta, gamma, vega, theta,
// rho, dual_delta, dlam, dp, deta1, deta2).
inline void greeks(bool isPut, double T, double K, double S, double r, double sigma, double lam,
                   double p, double eta1, double eta2, int n, double* out) {
  using D9 = Dual<double, 9>;
  D9 x[9];
  const double inputs[9] = {T, K, S, r, sigma, lam, p, eta1, eta2};
  for (int i = 0; i < 9; ++i) {
    x[i].v = inputs[i];
    x[i].d[i] = 1.0;
  }
  const D9 v = isPut ? put(x[0], x[1], x[2], x[3], x[4], x[5], x[6], x[7], x[8], n)
                     : call(x[0], x[1], x[2], x[3], x[4], x[5], x[6], x[7], x[8], n);
  using D1 = Dual<double, 1>;
  using D11 = Dual<D1, 1>;
  D11 y[9];
  for (int i = 0; i < 9; ++i) y[i] = constant<D1, 1>(inputs[i]);
  y[2].v.d[0] = 1.0;
  y[2].d[0].v = 1.0;
  const D11 w = isPut ? put(y[0], y[1], y[2], y[3], y[4], y[5], y[6], y[7], y[8], n)
                      : call(y[0], y[1], y[2], y[3], y[4], y[5], y[6], y[7], y[8], n);
  out[0] = v.v;
  out[1] = v.d[2];
  out[2] = w.d[0].d[0];
  out[3] = v.d[4];
  out[4] = -v.d[0];
  out[5] = v.d[3];
  out[6] = v.d[1];
  out[7] = v.d[5];
  out[8] = v.d[6];
  out[9] = v.d[7];
  out[10] = v.d[8];
}

}  // namespace dual_kou
