// A deliberately slow, word-for-word evaluation of the Kou closed form: Hh by
// doubly recursive calls, every factorial a fresh tgamma, every power its own
// pow, every integral from scratch, nothing reused. The tests compare the
// engine against it bit for bit; its cost grows like the golden ratio to the
// power n, so keep n small (about 22 at most).
#pragma once

#include <cmath>

namespace literal_kou {

inline double normalCdf(double y) { return 1.0 - 0.5 * std::erfc(y / 1.4142135623730951); }

inline double Hh(int n, double x) {
  if (n == -1) return std::exp((-0.5 * x) * x);
  if (n == 0) return (1.0 - 0.5 * std::erfc((-x) / 1.4142135623730951)) * 2.5066282746310002;
  const double u = Hh(n - 2, x);
  const double v = Hh(n - 1, x);
  return (u - x * v) / static_cast<double>(n);
}

// Hh unrolled into a loop: the same two starting values and the same
// operation per step, so the same bits, in linear rather than exponential
// time; the reference for large orders.
inline double steppedHh(int n, double x) {
  double older = Hh(-1, x);
  if (n == -1) return older;
  double newer = Hh(0, x);
  for (int m = 1; m <= n; ++m) {
    const double next = (older - x * newer) / static_cast<double>(m);
    older = newer;
    newer = next;
  }
  return newer;
}

inline double integralI(int n, double c, double alpha, double beta, double delta) {
  const bool caseA = alpha != 0.0 && beta > 0.0;
  const bool caseB = !caseA && beta < 0.0 && alpha < 0.0;
  if (!caseA && !caseB) return 0.0;
  const double rho = beta / alpha;
  const double e = beta * c - delta;
  double S = 0.0;
  int i = 0;
  do {  // the term i = 0 is always taken
    S = S + Hh(i, e) * std::pow(rho, static_cast<double>(n - i));
    ++i;
  } while (i <= n);
  const double E = std::exp(alpha * c);
  const double R = std::pow(rho, static_cast<double>(n) + 1.0);
  const double F = std::exp(alpha * alpha / ((beta + beta) * beta) + (delta * alpha) / beta);
  const double G = 2.5066282746310002 / beta;
  if (caseA) return G * R * F * normalCdf((delta - c * beta) + alpha / beta) - S * (E / alpha);
  return -(E / alpha) * S - G * R * F * normalCdf((beta * c - delta) - alpha / beta);
}

inline double binomial(int x, int y) {
  if (y > x) return 0.0;
  return std::tgamma(x + 1.0) / (std::tgamma(y + 1.0) * std::tgamma(1.0 + (x - y)));
}

// `integral` is the I_n evaluation to use: by default the recursive one above;
// a linear one makes long series affordable while everything else stays
// literal.
using IntegralFn = double (*)(int, double, double, double, double);

inline double Upsilon(int N, double mu, double sigma, double lam, double p, double eta1,
                      double eta2, double a, double T, IntegralFn integral = integralI) {
  const double pi0 = std::exp((-lam) * T);
  const double muT = mu * T;
  const double c = a - muT;
  const double sqrtT = std::sqrt(T);
  const double s = sigma * sqrtT;
  const double q = 1.0 - p;
  const double w = eta1 + eta2;
  const double lamT = lam * T;
  double SP = 0.0;
  double SQ = 0.0;
  for (int n = 1; n <= N; ++n) {
    const double pin = (std::exp((-lam) * T) * std::pow(lamT, n)) / std::tgamma(n + 1.0);
    double An = 0.0;
    double Bn = 0.0;
    for (int k = 1; k <= n; ++k) {
      double P = 0.0;
      if (k == n) {
        P = std::pow(p, n);
      } else {
        for (int i = k; i <= n - 1; ++i) {
          P = P + binomial(n, i) * binomial(n - k - 1, i - k) * std::pow(eta1 / w, i - k) *
                      std::pow(eta2 / w, n - i) * (std::pow(q, n - i) * std::pow(p, i));
        }
      }
      const double I = integral(k - 1, c, -eta1, -1.0 / s, sqrtT * (-sigma * eta1));
      An = An + I * (std::pow(eta1 * s, k) * P);
      double Q = 0.0;
      if (k == n) {
        Q = std::pow(q, n);
      } else {
        for (int i = k; i <= n - 1; ++i) {
          Q = Q + binomial(n, i) * binomial(n - k - 1, i - k) * std::pow(eta1 / w, n - i) *
                      std::pow(eta2 / w, i - k) * (std::pow(p, n - i) * std::pow(q, i));
        }
      }
      const double Iprime = integral(k - 1, c, eta2, 1.0 / s, sqrtT * (-sigma * eta2));
      Bn = Bn + Iprime * (Q * std::pow(eta2 * s, k));
    }
    SP = SP + An * pin;
    SQ = SQ + pin * Bn;
  }
  const double D = std::sqrt(6.283185307179586 * T) * sigma;
  const double UP = (std::exp((eta1 * sigma) * (eta1 * sigma) * T * 0.5) / D) * SP;
  const double UQ = (std::exp((eta2 * sigma) * (eta2 * sigma) * T * 0.5) / D) * SQ;
  return normalCdf(-c / (sqrtT * sigma)) * pi0 + (UQ + UP);
}

inline double call(double T, double K, double S, double r, double sigma, double lam, double p,
                   double eta1, double eta2, int n) {
  const double zeta = p * eta1 / (eta1 - 1) + (1 - p) * eta2 / (eta2 + 1) - 1;
  const double a = std::log(K / S);
  const double mu1 = (r + 0.5 * sigma * sigma) - lam * zeta;
  const double lam1 = (1 + zeta) * lam;
  const double p1 = (p / (1 + zeta)) * (eta1 / (eta1 - 1));
  const double U1 = Upsilon(n, mu1, sigma, lam1, p1, eta1 - 1, eta2 + 1, a, T);
  const double mu2 = (r - 0.5 * sigma * sigma) - lam * zeta;
  const double U2 = Upsilon(n, mu2, sigma, lam, p, eta1, eta2, a, T);
  return S * U1 - (K * std::exp(-r * T)) * U2;
}

inline double put(double T, double K, double S, double r, double sigma, double lam, double p,
                  double eta1, double eta2, int n) {
  const double C = call(T, K, S, r, sigma, lam, p, eta1, eta2, n);
  return (std::exp(-r * T) * K + C) - S;
}

}  // namespace literal_kou
