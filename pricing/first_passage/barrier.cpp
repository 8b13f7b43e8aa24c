#include "pricing/first_passage/barrier.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace jdpricer {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// The arithmetic of prices (double, Complex) or of prices with their
// derivatives in the log-spot (Jet<double>, Jet<Complex>): the same code
// evaluates both, and a jet's value takes the same operations as the price.
template <class Real>
struct Numbers;
template <>
struct Numbers<double> {
  using Cx = Complex;
  static double constant(double v) { return v; }
  static Complex constantCx(Complex v) { return v; }
  static double value(double v) { return v; }
  static bool exactlyZero(double v) { return v == 0.0; }
  static bool same(double a, double b) { return a == b; }
  static double imagOf(const Complex& z) { return z.imag(); }
  static double magnitude(const Complex& z) { return std::abs(z); }
};
template <>
struct Numbers<Jet<double>> {
  using Cx = Jet<Complex>;
  static Jet<double> constant(double v) { return constantJet(v); }
  static Jet<Complex> constantCx(Complex v) { return constantJet(v); }
  static double value(const Jet<double>& v) { return v.v; }
  static bool exactlyZero(const Jet<double>& v) { return v.v == 0.0 && v.d == 0.0 && v.dd == 0.0; }
  static bool same(const Jet<double>& a, const Jet<double>& b) {
    return a.v == b.v && a.d == b.d && a.dd == b.dd;
  }
  static Jet<double> imagOf(const Jet<Complex>& z) { return imag(z); }
  static double magnitude(const Jet<Complex>& z) { return std::abs(z.v); }
};

// The payoff a S e^(e y) + k K on [lo, hi], in the slice's variable y, and
// the real exponentials e^(e y) at the points where integrals end.
template <class Real>
struct PayoffPiece {
  Real spot;      // a S
  double strike;  // k K
  double e;       // +1 or -1
  Real lo, hi;
};

// One root's e^(-x (y - c)) at the few points an option needs (y - c is k,
// b or k - b), each formed once per node: complex exponentials are most of
// the work.
template <class Real>
class RootExponentials {
  using N = Numbers<Real>;
  using Cx = typename N::Cx;

 public:
  explicit RootExponentials(Complex x) : x_(x) {}
  Cx at(const Real& offset) {
    if (N::exactlyZero(offset)) return N::constantCx(1.0);
    for (int i = 0; i < used_; ++i) {
      if (N::same(offset_[i], offset)) return value_[i];
    }
    using std::exp;
    const Cx value = exp(-x_ * offset);
    if (used_ < 3) {
      offset_[used_] = offset;
      value_[used_++] = value;
    }
    return value;
  }
  Complex root() const { return x_; }

 private:
  Complex x_;
  Real offset_[3];
  Cx value_[3];
  int used_ = 0;
};

// The later and the earlier of an integral's end and the payoff's; a tie
// goes to the payoff's end. Where the strike sits on the spot (k = 0, where
// the density's pieces meet) the integral then keeps the strike's end and
// its motion with S: the second derivative has the payoff's term there.
template <class Real>
const Real& later(const Real& end, const Real& payoffEnd) {
  return Numbers<Real>::value(payoffEnd) < Numbers<Real>::value(end) ? end : payoffEnd;
}
template <class Real>
const Real& earlier(const Real& end, const Real& payoffEnd) {
  return Numbers<Real>::value(end) < Numbers<Real>::value(payoffEnd) ? end : payoffEnd;
}

// integral of the payoff against coef e^(-x (y - c)) over [lo, hi] of the
// density; an infinite end contributes the analytic continuation of its
// limit, 0.
template <class Real, class Coef>
typename Numbers<Real>::Cx against(const PayoffPiece<Real>& f, const Coef& coef,
                                   RootExponentials<Real>& x, const Real& c, const Real& lo,
                                   const Real& hi) {
  using N = Numbers<Real>;
  using Cx = typename N::Cx;
  const Real from = later(lo, f.lo), to = earlier(hi, f.hi);
  if (!(N::value(from) < N::value(to))) return N::constantCx(0.0);
  const bool upperFinite = !std::isinf(N::value(to)), lowerFinite = !std::isinf(N::value(from));
  const Cx upper = upperFinite ? x.at(to - c) : N::constantCx(0.0);
  const Cx lower = lowerFinite ? x.at(from - c) : N::constantCx(0.0);
  Cx sum = N::constantCx(0.0);
  if (f.strike != 0.0) sum = sum + f.strike * (upper - lower) / -x.root();
  if (N::value(f.spot) != 0.0) {
    // S e^(e y) e^(-x (y - c)) = S e^(e c) e^((e - x)(y - c)).
    using std::exp;
    const Real u = upperFinite ? exp(f.e * to) : N::constant(0.0);
    const Real l = lowerFinite ? exp(f.e * from) : N::constant(0.0);
    sum = sum + f.spot * (u * upper - l * lower) / (f.e - x.root());
  }
  return coef * sum;
}

template <class Real>
struct Terms {
  Real knockIn, knockOut, hitValue, noHitValue;
};

// The terms at level b and log-strike k (both in the slice's variable) for
// a spot S; with jets, b, k and S carry their derivatives in ln S.
template <class Real>
Terms<Real> termsAt(const BarrierSlice& slice, BarrierPayoff payoff, const Real& b, const Real& k,
                    const Real& S, double K, double sign, unsigned wanted) {
  using N = Numbers<Real>;
  using Cx = typename N::Cx;
  PayoffPiece<Real> f;
  const bool call = payoff == BarrierPayoff::kCall;
  f.e = sign;
  f.spot = call ? S : -S;
  f.strike = call ? -K : K;
  // Calls pay where X >= ln(K/S), puts where X <= it; read in y.
  const bool upper = call == (sign > 0.0);
  f.lo = upper ? k : N::constant(-kInfinity);
  f.hi = upper ? N::constant(kInfinity) : k;
  const PayoffPiece<Real> one{N::constant(0.0), 1.0, 1.0, N::constant(-kInfinity),
                              N::constant(kInfinity)};
  const Real zero = N::constant(0.0), top = N::constant(kInfinity),
             bottom = N::constant(-kInfinity);
  const bool wantIn = wanted & kKnockIn, wantOut = wanted & kKnockOut;
  const bool wantHit = wanted & kHitValue, wantNoHit = wanted & kNoHitValue;
  const double eta1 = slice.eta1;
  Real knockIn = zero, knockOut = zero, hit = zero, noHit = zero;
  // The terms' magnitudes, against kLargestInversionTerms.
  double inSize = 0.0, outSize = 0.0, hitSize = 0.0, noHitSize = 0.0;
  for (int j = 0; j < slice.half; ++j) {
    const Complex* R = slice.residue[j];
    RootExponentials<Real> x[4] = {
        RootExponentials<Real>(slice.root[j][0]), RootExponentials<Real>(slice.root[j][1]),
        RootExponentials<Real>(slice.root[j][2]), RootExponentials<Real>(slice.root[j][3])};
    const Complex x0 = x[0].root(), x1 = x[1].root();
    const Cx e1 = x[0].at(b), e2 = x[1].at(b);
    const Complex spread = x1 - x0;
    const Cx A = ((eta1 - x0) * e1 + (x1 - eta1) * e2) / spread;
    const Cx B = (eta1 - x0) * (x1 - eta1) * (e1 - e2) / (eta1 * spread);
    Cx in = N::constantCx(0.0), out = N::constantCx(0.0), survive = N::constantCx(0.0);
    for (int m = 0; m < 2; ++m) {  // u above 0: in above b, out on [0, b]
      if (wantIn) in = in + against(f, R[m], x[m], zero, b, top);
      if (wantOut) out = out + against(f, R[m], x[m], zero, zero, b);
      if (wantNoHit) survive = survive + against(one, R[m], x[m], zero, zero, b);
    }
    for (int m = 2; m < 4; ++m) {  // u below 0 is out; the crossing's part moves to in
      if (!(wantIn || wantOut || wantNoHit)) break;
      const Cx crossed = R[m] * (A + B * (eta1 / (eta1 - x[m].root())));
      if (wantIn || wantOut) {
        const Cx moved = against(f, crossed, x[m], b, bottom, b);
        in = in + moved;
        if (wantOut) out = out + (against(f, R[m], x[m], zero, bottom, zero) - moved);
      }
      if (wantNoHit) {
        survive = survive + (against(one, R[m], x[m], zero, bottom, zero) -
                             against(one, crossed, x[m], b, bottom, b));
      }
    }
    const Complex w = slice.weight[j];
    const Cx wIn = w * in, wOut = w * out, wSurvive = w * survive;
    knockIn = knockIn + N::imagOf(wIn);
    knockOut = knockOut + N::imagOf(wOut);
    noHit = noHit + N::imagOf(wSurvive);
    inSize += N::magnitude(wIn);
    outSize += N::magnitude(wOut);
    noHitSize += N::magnitude(wSurvive);
    if (wantHit) {
      const Cx wHit = w * (A + B) / slice.s[j];
      hit = hit + N::imagOf(wHit);
      hitSize += N::magnitude(wHit);
    }
  }
  const Real nan = N::constant(kNaN);
  const double scale = slice.largestTerms * (N::value(S) + K);
  return {wantIn && !(inSize > scale) ? knockIn : nan,
          wantOut && !(outSize > scale) ? knockOut : nan,
          wantHit && !(hitSize > slice.largestTerms) ? hit : nan,
          wantNoHit && !(noHitSize > slice.largestTerms) ? noHit : nan};
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
  slice.largestTerms = kLargestInversionTerms * std::exp(shift * T);
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
  const Terms<double> t = termsAt(slice, payoff, b, k, S, K, sign, wanted);
  return {t.knockIn, t.knockOut, t.hitValue, t.noHitValue};
}

BarrierTermJets barrierTermJets(const BarrierSlice& slice, BarrierPayoff payoff, double b,
                                double S, double K, double sign, unsigned wanted) {
  const Jet<double> nan = constantJet(kNaN);
  if (!slice.ok || !(b > 0.0)) return {nan, nan, nan, nan};
  const double k = sign * std::log(K / S);
  // In ln S: the level and the log-strike move by -sign, S by itself.
  const Jet<double> level{b, -sign, 0.0}, logStrike{k, -sign, 0.0}, spot{S, S, S};
  const Terms<Jet<double>> t = termsAt(slice, payoff, level, logStrike, spot, K, sign, wanted);
  return {t.knockIn, t.knockOut, t.hitValue, t.noHitValue};
}

}  // namespace jdpricer
