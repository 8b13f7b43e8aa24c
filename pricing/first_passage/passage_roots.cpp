#include "pricing/first_passage/passage_roots.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace jdpricer {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Q(x) for this alpha with the roots that do not move divided out: x = eta1
// where there are no upward jumps (lam = 0 or p = 0: G has no pole there)
// and x = -eta2 where there are no downward ones. Moving roots could pass
// through those, which would stop the walk for no reason.
struct MovingPolynomial {
  int degree;
  Complex c[5];  // c[degree] x^degree + ... + c[0]

  MovingPolynomial(const PassageModel& m, Complex alpha, bool fixedUp, bool fixedDown) {
    const double n2 = -1.0, n1 = m.eta1 - m.eta2, n0 = m.eta1 * m.eta2;
    const double p2 = 0.5 * m.sigma * m.sigma, p1 = m.mu, p0 = -m.lam;
    c[4] = -(p2 * n2);
    c[3] = -(p2 * n1 + p1 * n2);
    c[2] = alpha * n2 - (p2 * n0 + p1 * n1 + p0 * n2);
    c[1] = alpha * n1 - (p1 * n0 + p0 * n1) - m.lam * (m.p * m.eta1 - (1.0 - m.p) * m.eta2);
    c[0] = alpha * n0;
    degree = 4;
    if (fixedUp) divideOut(m.eta1);
    if (fixedDown) divideOut(-m.eta2);
  }
  // Synthetic division by (x - root); the remainder is zero but for rounding.
  void divideOut(double root) {
    Complex carry = c[degree];
    for (int i = degree - 1; i >= 0; --i) {
      const Complex next = c[i] + carry * root;
      c[i] = carry;
      carry = next;
    }
    --degree;
  }
  void evaluate(Complex x, Complex& value, Complex& slope) const {
    value = c[degree];
    slope = 0.0;
    for (int i = degree - 1; i >= 0; --i) {
      slope = slope * x + value;
      value = value * x + c[i];
    }
  }
};

bool polishAll(const MovingPolynomial& q, Complex* x, int d);

// All roots by Aberth's simultaneous iteration.
bool allRoots(const MovingPolynomial& q, Complex* roots) {
  const int d = q.degree;
  double scale = 0.0;  // Cauchy's bound on the roots' size
  for (int i = 0; i < d; ++i) scale = std::max(scale, std::abs(q.c[i] / q.c[d]));
  scale += 1.0;
  for (int i = 0; i < d; ++i) roots[i] = std::polar(scale, 0.4 + 6.283185307179586 * i / d);
  for (int iteration = 0; iteration < 500; ++iteration) {
    double largest = 0.0;
    for (int i = 0; i < d; ++i) {
      Complex value, slope;
      q.evaluate(roots[i], value, slope);
      if (value == Complex(0.0)) continue;
      const Complex ratio = value / slope;
      Complex repulsion = 0.0;
      for (int j = 0; j < d; ++j) {
        if (j != i) repulsion += 1.0 / (roots[i] - roots[j]);
      }
      const Complex step = ratio / (1.0 - ratio * repulsion);
      roots[i] -= step;
      largest = std::max(largest, std::abs(step) / (1.0 + std::abs(roots[i])));
    }
    if (!(largest == largest)) return false;
    if (largest < 1e-15) break;
  }
  // Then from where it stands, as the walk polishes (close roots settle to
  // the rounding of Q only).
  return polishAll(q, roots, d);
}

// All d roots from their previous places by Aberth's simultaneous
// correction (Newton's step on each, repelled by the others), which
// converges fast even where two roots are close, as Newton alone does not.
// True once every step is within 4 ulps of its root; where rounding of Q
// near a close pair keeps the steps above that, steps below 1e-12 of the
// root after 40 sweeps are accepted (the pair's divided differences, which
// the transforms use, stay accurate).
bool polishAll(const MovingPolynomial& q, Complex* x, int d) {
  double largest = 0.0;
  for (int iteration = 0; iteration < 40; ++iteration) {
    largest = 0.0;
    for (int i = 0; i < d; ++i) {
      Complex value, slope;
      q.evaluate(x[i], value, slope);
      if (value == Complex(0.0)) continue;
      const Complex ratio = value / slope;
      Complex repulsion = 0.0;
      for (int j = 0; j < d; ++j) {
        if (j != i) repulsion += 1.0 / (x[i] - x[j]);
      }
      const Complex step = ratio / (1.0 - ratio * repulsion);
      x[i] -= step;
      largest = std::max(largest, std::abs(step) / (1.0 + std::abs(x[i])));
    }
    if (!(largest == largest)) return false;
    if (largest <= 4.0 * std::numeric_limits<double>::epsilon()) break;
  }
  if (!(largest <= 1e-12)) return false;
  for (int i = 0; i < d; ++i) {
    if (!std::isfinite(x[i].real()) || !std::isfinite(x[i].imag())) return false;
  }
  return true;
}

// The distance from root i to the nearest root of the other group (the
// upward pair are the first `upward` roots). Within a group the roots may
// pass close by each other or even change places: every transform is
// symmetric in the roots of a group. Only a root that crossed into the
// other group would give a wrong price.
double nearestOfOtherGroup(const Complex* r, int d, int upward, int i) {
  double nearest = std::numeric_limits<double>::infinity();
  for (int j = 0; j < d; ++j) {
    if ((j < upward) != (i < upward)) nearest = std::min(nearest, std::abs(r[i] - r[j]));
  }
  return nearest;
}

// Follows the moving roots from `from` to `to` in steps that keep them apart.
bool followSegment(const PassageModel& m, bool fixedUp, bool fixedDown, Complex from, Complex to,
                   Complex* roots, int d, int upward) {
  double done = 0.0, step = 1.0;
  int steps = 0;
  while (done < 1.0) {
    if (++steps > 4000) return false;
    const double next = std::min(1.0, done + step);
    const MovingPolynomial q(m, from + (to - from) * next, fixedUp, fixedDown);
    Complex moved[4];
    std::copy(roots, roots + d, moved);
    bool ok = polishAll(q, moved, d);
    // Each root against its own neighbours in the other group: at short
    // maturities the nodes are far out, where the diffusion's two roots are
    // large and move far while the jump roots sit close to eta1 and -eta2;
    // a single nearest distance for all would halve every step to nothing.
    for (int i = 0; i < d && ok; ++i) {
      const double apart = std::min(nearestOfOtherGroup(roots, d, upward, i),
                                    nearestOfOtherGroup(moved, d, upward, i));
      ok = 3.0 * std::abs(moved[i] - roots[i]) < apart;
    }
    if (!ok) {
      step *= 0.5;
      if (step < 1e-9) return false;
      continue;
    }
    std::copy(moved, moved + d, roots);
    done = next;
    step = std::min(1.0, 2.0 * step);
  }
  return true;
}

}  // namespace

bool PassageModel::valid() const {
  return std::isfinite(mu) && std::isfinite(sigma) && sigma > 0.0 && std::isfinite(lam) &&
         lam >= 0.0 && p >= 0.0 && p <= 1.0 && std::isfinite(eta1) && eta1 > 0.0 &&
         std::isfinite(eta2) && eta2 > 0.0;
}

double riskNeutralDrift(double r, double q, double sigma, double lam, double p, double eta1,
                        double eta2) {
  const double zeta = p * eta1 / (eta1 - 1.0) + (1.0 - p) * eta2 / (eta2 + 1.0) - 1.0;
  return r - q - 0.5 * sigma * sigma - lam * zeta;
}

bool followAllRoots(const PassageModel& model, const Complex* alpha, int count, Complex* roots4) {
  const auto fail = [&] {
    std::fill(roots4, roots4 + 4 * count, Complex(kNaN, kNaN));
    return false;
  };
  if (count <= 0) return true;
  if (!model.valid() || !(alpha[0].real() > 0.0)) return fail();
  const bool fixedUp = model.lam == 0.0 || model.p == 0.0;
  const bool fixedDown = model.lam == 0.0 || model.p == 1.0;
  // Start on the real axis, where the upward pair is the roots of positive
  // real part (eta1 among them where it is fixed), then walk to the first
  // node and on from node to node.
  const Complex start(alpha[0].real(), 0.0);
  const MovingPolynomial atStart(model, start, fixedUp, fixedDown);
  const int d = atStart.degree;
  Complex roots[4];
  if (!allRoots(atStart, roots)) return fail();
  std::sort(roots, roots + d,
            [](const Complex& a, const Complex& b) { return a.real() > b.real(); });
  const int upward = fixedUp ? 1 : 2;  // moving roots of the pair
  if (!(roots[upward - 1].real() > 0.0) || (upward < d && !(roots[upward].real() < 0.0))) {
    return fail();
  }
  Complex previous = start;
  for (int k = 0; k < count; ++k) {
    if (!followSegment(model, fixedUp, fixedDown, previous, alpha[k], roots, d, upward)) return fail();
    Complex* out = roots4 + 4 * k;
    int next = 0;
    for (int i = 0; i < upward; ++i) out[next++] = roots[i];
    if (fixedUp) out[next++] = Complex(model.eta1);
    for (int i = upward; i < d; ++i) out[next++] = roots[i];
    if (fixedDown) out[next++] = Complex(-model.eta2);
    previous = alpha[k];
  }
  return true;
}

bool followUpwardRoots(const PassageModel& model, const Complex* alpha, int count,
                       Complex* pairs) {
  constexpr int kMost = 64;
  Complex roots4[4 * kMost];
  const bool ok = count <= kMost && followAllRoots(model, alpha, count, roots4);
  for (int k = 0; k < count; ++k) {
    pairs[2 * k] = ok ? roots4[4 * k] : Complex(kNaN, kNaN);
    pairs[2 * k + 1] = ok ? roots4[4 * k + 1] : Complex(kNaN, kNaN);
  }
  return ok;
}

}  // namespace jdpricer
