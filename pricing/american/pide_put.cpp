#include "pricing/american/pide_put.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "pricing/first_passage/passage_roots.hpp"

namespace jdpricer {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The grid's arrays, carved from the caller's workspace: the state, the
// operator's rows, the jump kernels' cell weights.
struct Arrays {
  double *g, *now, *before, *earlier, *next, *rhs, *jump, *pivot, *reduced, *up, *down, *last;
  double *lower, *centre, *upper;
  double *upDecay, *upConstant, *upSlope, *downDecay, *downConstant, *downSlope;
};
constexpr int kArrays = 21;

}  // namespace

std::size_t americanPutWorkspace(int points) {
  return static_cast<std::size_t>(kArrays) * static_cast<std::size_t>(std::max(points, 0));
}

bool solveAmericanPut(const AmericanPutProblem& pr, double* workspace, double* value,
                      double* rate, double* boundary) {
  const int n = pr.points;
  const auto fail = [&] {
    std::fill(value, value + std::max(n, 0), kNaN);
    std::fill(rate, rate + std::max(n, 0), kNaN);
    if (boundary != nullptr) std::fill(boundary, boundary + std::max(pr.steps, 0) + 1, kNaN);
    return false;
  };
  const bool valid = kouModelInDomain(pr.sigma, pr.lam, pr.p, pr.eta1, pr.eta2) &&
                     std::isfinite(pr.T) && pr.T > 0.0 && std::isfinite(pr.r) &&
                     std::isfinite(pr.q) && n >= 5 && pr.steps >= 2 && pr.x != nullptr &&
                     pr.settle > 0.0 && pr.x[0] < 0.0;
  if (!valid) return fail();
  Arrays a;
  double** slots[kArrays] = {&a.g,        &a.now,       &a.before,    &a.earlier,   &a.next,
                             &a.rhs,      &a.jump,      &a.pivot,     &a.reduced,   &a.up,
                             &a.down,     &a.last,      &a.lower,     &a.centre,    &a.upper,
                             &a.upDecay,  &a.upConstant, &a.upSlope,  &a.downDecay, &a.downConstant,
                             &a.downSlope};
  for (int s = 0; s < kArrays; ++s) *slots[s] = workspace + static_cast<std::size_t>(s) * n;
  const double* x = pr.x;

  const double lam = pr.lam, p = pr.p;
  const double nu = riskNeutralDrift(pr.r, pr.q, pr.sigma, lam, p, pr.eta1, pr.eta2);
  const double halfVariance = 0.5 * pr.sigma * pr.sigma;
  // The rows of A v = sigma^2/2 v_xx + nu v_x - (r + lam) v on the grid:
  // three-point differences, second order on a smoothly stretched grid;
  // the drift upwinded where it would outweigh the diffusion (far out,
  // where the cells are wide), which keeps the matrix an M-matrix.
  for (int i = 1; i < n - 1; ++i) {
    const double left = x[i] - x[i - 1], right = x[i + 1] - x[i], both = left + right;
    double lo = 2.0 * halfVariance / (left * both), up = 2.0 * halfVariance / (right * both);
    const double centredLo = -nu * right / (left * both), centredUp = nu * left / (right * both);
    if (lo + centredLo >= 0.0 && up + centredUp >= 0.0) {
      lo += centredLo;
      up += centredUp;
    } else if (nu > 0.0) {
      up += nu / right;
    } else {
      lo -= nu / left;
    }
    a.lower[i] = lo;
    a.upper[i] = up;
    a.centre[i] = -(lo + up) - (pr.r + lam);
  }
  // The jump kernels' cell integrals of the piecewise-linear interpolant,
  // exactly: over a cell of width c from the node the kernel starts at,
  // e^(-eta c), 1 - e^(-eta c) and (1/c) integral of t eta e^(-eta t) dt.
  for (int i = 0; i + 1 < n; ++i) {
    const double c = x[i + 1] - x[i];
    const double e1 = std::exp(-pr.eta1 * c), e2 = std::exp(-pr.eta2 * c);
    a.upDecay[i] = e1;
    a.upConstant[i] = 1.0 - e1;
    a.upSlope[i] = ((1.0 - e1) / pr.eta1 - c * e1) / c;
    a.downDecay[i + 1] = e2;
    a.downConstant[i + 1] = 1.0 - e2;
    a.downSlope[i + 1] = ((1.0 - e2) / pr.eta2 - c * e2) / c;
  }
  // Below the grid v = g = 1 - e^y: D at the first node in closed form.
  const double belowGrid = 1.0 - std::exp(x[0]) * (pr.eta2 / (pr.eta2 + 1.0));
  for (int i = 0; i < n; ++i) a.g[i] = std::max(1.0 - std::exp(x[i]), 0.0);

  // lam (p U + (1 - p) D) of v, by the two running sums.
  const auto jumpTerm = [&](const double* v) {
    a.up[n - 1] = 0.0;
    for (int i = n - 2; i >= 0; --i) {
      a.up[i] = a.upDecay[i] * a.up[i + 1] + a.upConstant[i] * v[i] +
                a.upSlope[i] * (v[i + 1] - v[i]);
    }
    a.down[0] = belowGrid;
    for (int i = 1; i < n; ++i) {
      a.down[i] = a.downDecay[i] * a.down[i - 1] + a.downConstant[i] * v[i] +
                  a.downSlope[i] * (v[i - 1] - v[i]);
    }
    for (int i = 0; i < n; ++i) a.jump[i] = lam * (p * a.up[i] + (1.0 - p) * a.down[i]);
  };

  // (alpha - beta A) v = rhs + beta jump(v), v >= g, v = g at the first
  // node and 0 at the last: the jump term iterated to a fixed point, each
  // sweep by Brennan-Schwartz.
  const auto step = [&](double alpha, double beta) -> bool {
    for (int sweep = 0; sweep < 60; ++sweep) {
      jumpTerm(a.next);
      const int top = n - 2;
      a.pivot[top] = alpha - beta * a.centre[top];
      a.reduced[top] = a.rhs[top] + beta * a.jump[top];
      for (int i = top - 1; i >= 1; --i) {
        const double m = (-beta * a.upper[i]) / a.pivot[i + 1];
        a.pivot[i] = (alpha - beta * a.centre[i]) - m * (-beta * a.lower[i + 1]);
        a.reduced[i] = (a.rhs[i] + beta * a.jump[i]) - m * a.reduced[i + 1];
      }
      std::copy(a.next, a.next + n, a.last);
      a.next[0] = a.g[0];
      for (int i = 1; i <= top; ++i) {
        a.next[i] =
            std::max(a.g[i], (a.reduced[i] - (-beta * a.lower[i]) * a.next[i - 1]) / a.pivot[i]);
      }
      a.next[n - 1] = 0.0;
      double moved = 0.0;
      for (int i = 0; i < n; ++i) moved = std::max(moved, std::abs(a.next[i] - a.last[i]));
      if (!(moved == moved)) return false;
      if (moved <= pr.settle) return true;
    }
    return false;
  };

  const auto recordBoundary = [&](int index) {
    if (boundary == nullptr) return;
    int last = -1;
    for (int i = 0; i < n - 1 && a.now[i] <= a.g[i] && a.g[i] > 0.0; ++i) last = i;
    boundary[index] = last < 0 ? kNaN : x[last];
  };

  // The steps grow away from expiry, tau_m = T (m/M)^2: the payoff's kink
  // makes v_tau large in the first instants, and uniform steps there
  // leave a first-order error that no later step removes.
  const auto tauAt = [&](int m) {
    const double f = static_cast<double>(m) / pr.steps;
    return pr.T * (f * f);
  };
  std::copy(a.g, a.g + n, a.now);
  std::copy(a.g, a.g + n, a.before);
  recordBoundary(0);
  // Two implicit Euler half steps to tau_1.
  double previousStep = tauAt(1);
  for (int half = 0; half < 2; ++half) {
    std::copy(a.now, a.now + n, a.rhs);
    std::copy(a.now, a.now + n, a.next);
    if (!step(1.0, 0.5 * previousStep)) return fail();
    std::copy(a.next, a.next + n, a.now);
  }
  recordBoundary(1);
  // Variable-step BDF2, w = k_m / k_(m-1):
  //   ((1 + 2w)/(1 + w) v' - (1 + w) v + w^2/(1 + w) v_before) / k_m = A v' + jump(v').
  double alpha = 1.5, ratio = 1.0, k = previousStep;
  for (int m = 2; m <= pr.steps; ++m) {
    k = tauAt(m) - tauAt(m - 1);
    ratio = k / previousStep;
    alpha = (1.0 + 2.0 * ratio) / (1.0 + ratio);
    const double keep = 1.0 + ratio, fade = ratio * ratio / (1.0 + ratio);
    for (int i = 0; i < n; ++i) {
      a.rhs[i] = keep * a.now[i] - fade * a.before[i];
      a.next[i] = a.now[i] + ratio * (a.now[i] - a.before[i]);  // the first guess, extrapolated
    }
    if (!step(alpha, k)) return fail();
    std::copy(a.before, a.before + n, a.earlier);
    std::copy(a.now, a.now + n, a.before);
    std::copy(a.next, a.next + n, a.now);
    recordBoundary(m);
    previousStep = k;
  }
  std::copy(a.now, a.now + n, value);
  // v_tau at T by the last step's BDF2 formula (second order); 0 where the
  // option is exercised.
  const double keep = 1.0 + ratio, fade = ratio * ratio / (1.0 + ratio);
  for (int i = 0; i < n; ++i) {
    rate[i] = a.now[i] <= a.g[i]
                  ? 0.0
                  : (alpha * a.now[i] - keep * a.before[i] + fade * a.earlier[i]) / k;
  }
  return true;
}

}  // namespace jdpricer
