#include "pricing/first_passage/barrier.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace jdpricer {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// The payoff a S e^(e y) + k K on [lo, hi], in the slice's variable y, and
// the real exponentials e^(e y) at the points where integrals end.
struct PayoffPiece {
  double spot, strike;  // a S and k K
  double e;             // +1 or -1
  double lo, hi;
};

// One root's e^(-x (y - c)) at the few points an option needs (y - c is k,
// b or k - b), each formed once per node: complex exponentials are most of
// the work.
class RootExponentials {
 public:
  explicit RootExponentials(Complex x) : x_(x) {}
  Complex at(double offset) {
    if (offset == 0.0) return 1.0;
    for (int i = 0; i < used_; ++i) {
      if (offset_[i] == offset) return value_[i];
    }
    const Complex value = std::exp(-x_ * offset);
    if (used_ < 3) {
      offset_[used_] = offset;
      value_[used_++] = value;
    }
    return value;
  }
  Complex root() const { return x_; }

 private:
  Complex x_;
  double offset_[3];
  Complex value_[3];
  int used_ = 0;
};

// integral of the payoff against coef e^(-x (y - c)) over [lo, hi] of the
// density; an infinite end contributes the analytic continuation of its
// limit, 0.
Complex against(const PayoffPiece& f, Complex coef, RootExponentials& x, double c, double lo,
                double hi) {
  const double from = std::max(lo, f.lo), to = std::min(hi, f.hi);
  if (!(from < to)) return 0.0;
  const bool upperFinite = !std::isinf(to), lowerFinite = !std::isinf(from);
  const Complex upper = upperFinite ? x.at(to - c) : Complex(0.0);
  const Complex lower = lowerFinite ? x.at(from - c) : Complex(0.0);
  Complex sum = 0.0;
  if (f.strike != 0.0) sum += f.strike * (upper - lower) / -x.root();
  if (f.spot != 0.0) {
    // S e^(e y) e^(-x (y - c)) = S e^(e c) e^((e - x)(y - c)).
    const double u = upperFinite ? std::exp(f.e * to) : 0.0;
    const double l = lowerFinite ? std::exp(f.e * from) : 0.0;
    sum += f.spot * (u * upper - l * lower) / (f.e - x.root());
  }
  return coef * sum;
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
                          double K, double sign, unsigned wanted) {
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
  const bool wantIn = wanted & kKnockIn, wantOut = wanted & kKnockOut;
  const bool wantHit = wanted & kHitValue, wantNoHit = wanted & kNoHitValue;
  const double eta1 = slice.eta1;
  double knockIn = 0.0, knockOut = 0.0, hit = 0.0, noHit = 0.0;
  for (int j = 0; j < slice.half; ++j) {
    const Complex* R = slice.residue[j];
    RootExponentials x[4] = {RootExponentials(slice.root[j][0]), RootExponentials(slice.root[j][1]),
                             RootExponentials(slice.root[j][2]), RootExponentials(slice.root[j][3])};
    const Complex x0 = x[0].root(), x1 = x[1].root();
    const Complex e1 = x[0].at(b), e2 = x[1].at(b);
    const Complex spread = x1 - x0;
    const Complex A = ((eta1 - x0) * e1 + (x1 - eta1) * e2) / spread;
    const Complex B = (eta1 - x0) * (x1 - eta1) * (e1 - e2) / (eta1 * spread);
    Complex in = 0.0, out = 0.0, survive = 0.0;
    for (int m = 0; m < 2; ++m) {  // u above 0: in above b, out on [0, b]
      if (wantIn) in += against(f, R[m], x[m], 0.0, b, kInfinity);
      if (wantOut) out += against(f, R[m], x[m], 0.0, 0.0, b);
      if (wantNoHit) survive += against(one, R[m], x[m], 0.0, 0.0, b);
    }
    for (int m = 2; m < 4; ++m) {  // u below 0 is out; the crossing's part moves to in
      if (!(wantIn || wantOut || wantNoHit)) break;
      const Complex crossed = R[m] * (A + B * (eta1 / (eta1 - x[m].root())));
      if (wantIn || wantOut) {
        const Complex moved = against(f, crossed, x[m], b, -kInfinity, b);
        in += moved;
        if (wantOut) out += against(f, R[m], x[m], 0.0, -kInfinity, 0.0) - moved;
      }
      if (wantNoHit) {
        survive += against(one, R[m], x[m], 0.0, -kInfinity, 0.0) -
                   against(one, crossed, x[m], b, -kInfinity, b);
      }
    }
    const Complex w = slice.weight[j];
    knockIn += (w * in).imag();
    knockOut += (w * out).imag();
    noHit += (w * survive).imag();
    if (wantHit) hit += (w * (A + B) / slice.s[j]).imag();
  }
  return {wantIn ? knockIn : kNaN, wantOut ? knockOut : kNaN, wantHit ? hit : kNaN,
          wantNoHit ? noHit : kNaN};
}

}  // namespace jdpricer
