#include "pricing/first_passage/barrier.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace jdpricer {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// integral over [lo, hi] of e^(g (y - c)); an infinite end contributes the
// analytic continuation of its limit, 0.
Complex exponentialIntegral(Complex g, double c, double lo, double hi) {
  if (!(lo < hi)) return 0.0;
  const Complex upper = std::isinf(hi) ? Complex(0.0) : std::exp(g * (hi - c));
  const Complex lower = std::isinf(lo) ? Complex(0.0) : std::exp(g * (lo - c));
  return (upper - lower) / g;
}

// The payoff a S e^(e y) + k K on [lo, hi], in the slice's variable y.
struct PayoffPiece {
  double spot, strike;  // a S and k K
  double e;             // +1 or -1
  double lo, hi;
};

// integral of the payoff against coef e^(-x (y - c)) over [lo, hi] of the density.
Complex against(const PayoffPiece& f, Complex coef, Complex x, double c, double lo, double hi) {
  const double from = std::max(lo, f.lo), to = std::min(hi, f.hi);
  if (!(from < to)) return 0.0;
  // S e^(e y) e^(-x (y - c)) = S e^(e c) e^((e - x)(y - c)).
  const Complex spot = f.spot == 0.0 ? Complex(0.0)
                                     : f.spot * std::exp(f.e * c) *
                                           exponentialIntegral(f.e - x, c, from, to);
  const Complex strike = f.strike == 0.0 ? Complex(0.0)
                                         : f.strike * exponentialIntegral(-x, c, from, to);
  return coef * (spot + strike);
}

}  // namespace

void buildBarrierSlice(const PassageModel& model, double T, double r, double q, int nodes,
                       BarrierSlice& slice) {
  slice.half = nodes / 2;
  slice.eta1 = model.eta1;
  // Right of the roots' branch points (alpha = s + r <= 0) and of s = -q.
  const double shift = std::max({0.0, -r, -q});
  Complex alpha[kMaxTalbotNodes / 2];
  Complex roots4[4 * (kMaxTalbotNodes / 2)];
  talbotNodes(T, nodes, shift, slice.s, slice.weight);
  for (int k = 0; k < slice.half; ++k) alpha[k] = slice.s[k] + r;
  slice.ok = std::isfinite(T) && T > 0.0 && std::isfinite(r) && std::isfinite(q) &&
             followAllRoots(model, alpha, slice.half, roots4);
  const double n2 = -1.0, n1 = model.eta1 - model.eta2, n0 = model.eta1 * model.eta2;
  const double c4 = 0.5 * model.sigma * model.sigma;
  const double c3 = -(c4 * n1 + model.mu * n2);
  for (int k = 0; k < slice.half; ++k) {
    const Complex a = alpha[k];
    const Complex c2 = a * n2 - (c4 * n0 + model.mu * n1 - model.lam * n2);
    const Complex c1 = a * n1 - (model.mu * n0 - model.lam * n1) -
                       model.lam * (model.p * model.eta1 - (1.0 - model.p) * model.eta2);
    for (int m = 0; m < 4; ++m) {
      const Complex x = roots4[4 * k + m];
      const Complex slope = ((4.0 * c4 * x + 3.0 * c3) * x + 2.0 * c2) * x + c1;
      const Complex n = (n2 * x + n1) * x + n0;
      slice.root[k][m] = x;
      slice.residue[k][m] = (m < 2 ? -n : n) / slope;
    }
  }
}

BarrierTerms barrierTerms(const BarrierSlice& slice, BarrierPayoff payoff, double b, double S,
                          double K, double sign) {
  if (!slice.ok || !(b > 0.0)) return {kNaN, kNaN, kNaN, kNaN};
  // The log-strike in the slice's variable: X = sign * y, payoff S e^X - K.
  const double k = sign * std::log(K / S);
  PayoffPiece f;
  const bool call = payoff == BarrierPayoff::kCall;
  f.e = sign;
  f.spot = call ? S : -S;
  f.strike = call ? -K : K;
  // Calls pay where X >= ln(K/S), puts where X <= it; read in y.
  const bool upper = call == (sign > 0.0);
  f.lo = upper ? k : -kInfinity;
  f.hi = upper ? kInfinity : k;
  const PayoffPiece one{0.0, 1.0, 1.0, -kInfinity, kInfinity};
  const double eta1 = slice.eta1;
  double knockIn = 0.0, knockOut = 0.0, hit = 0.0, noHit = 0.0;
  for (int j = 0; j < slice.half; ++j) {
    const Complex* x = slice.root[j];
    const Complex* R = slice.residue[j];
    const Complex e1 = std::exp(-x[0] * b), e2 = std::exp(-x[1] * b);
    const Complex spread = x[1] - x[0];
    const Complex A = ((eta1 - x[0]) * e1 + (x[1] - eta1) * e2) / spread;
    const Complex B = (eta1 - x[0]) * (x[1] - eta1) * (e1 - e2) / (eta1 * spread);
    Complex in = 0.0, out = 0.0, survive = 0.0;
    for (int m = 0; m < 2; ++m) {  // u above 0: in above b, out on [0, b]
      in += against(f, R[m], x[m], 0.0, b, kInfinity);
      out += against(f, R[m], x[m], 0.0, 0.0, b);
      survive += against(one, R[m], x[m], 0.0, 0.0, b);
    }
    for (int m = 2; m < 4; ++m) {  // u below 0 is out; the crossing's part moves to in
      const Complex crossed = R[m] * (A + B * (eta1 / (eta1 - x[m])));
      const Complex moved = against(f, crossed, x[m], b, -kInfinity, b);
      in += moved;
      out += against(f, R[m], x[m], 0.0, -kInfinity, 0.0) - moved;
      survive += against(one, R[m], x[m], 0.0, -kInfinity, 0.0) -
                 against(one, crossed, x[m], b, -kInfinity, b);
    }
    const Complex w = slice.weight[j];
    knockIn += (w * in).imag();
    knockOut += (w * out).imag();
    noHit += (w * survive).imag();
    hit += (w * (A + B) / slice.s[j]).imag();
  }
  return {knockIn, knockOut, hit, noHit};
}

}  // namespace jdpricer
