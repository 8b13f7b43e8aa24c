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
  double *g, *smooth, *now, *before, *earlier, *next, *rhs, *jump, *reduced, *up, *down, *last;
  double *lower, *centre, *upper, *factor, *inverse;
  double *upDecay, *upConstant, *upSlope, *downDecay, *downConstant, *downSlope;
};
constexpr int kArrays = 23;

}  // namespace

std::size_t americanPutWorkspace(int points) {
  return static_cast<std::size_t>(kArrays) * static_cast<std::size_t>(std::max(points, 0));
}

bool solveAmericanPut(const AmericanPutProblem& pr, double* workspace, double* value,
                      double* rate, double* boundary, double* edge) {
  const int n = pr.points;
  const auto fail = [&] {
    std::fill(value, value + std::max(n, 0), kNaN);
    std::fill(rate, rate + std::max(n, 0), kNaN);
    if (boundary != nullptr) std::fill(boundary, boundary + std::max(pr.steps, 0) + 1, kNaN);
    if (edge != nullptr) *edge = kNaN;
    return false;
  };
  const bool valid = kouModelInDomain(pr.sigma, pr.lam, pr.p, pr.eta1, pr.eta2) &&
                     std::isfinite(pr.T) && pr.T > 0.0 && std::isfinite(pr.r) &&
                     std::isfinite(pr.q) && n >= 5 && pr.steps >= 2 && pr.x != nullptr &&
                     pr.settle > 0.0 && pr.x[0] < 0.0;
  if (!valid) return fail();
  Arrays a;
  double** slots[kArrays] = {&a.g,        &a.now,       &a.before,    &a.earlier,   &a.next,
                             &a.rhs,      &a.jump,      &a.smooth,    &a.reduced,   &a.up,
                             &a.down,     &a.last,      &a.lower,     &a.centre,    &a.upper,
                             &a.upDecay,  &a.upConstant, &a.upSlope,  &a.downDecay, &a.downConstant,
                             &a.downSlope, &a.factor,   &a.inverse};
  for (int s = 0; s < kArrays; ++s) *slots[s] = workspace + static_cast<std::size_t>(s) * n;
  const double* x = pr.x;

  const double lam = pr.lam, p = pr.p;
  const double nu = riskNeutralDrift(pr.r, pr.q, pr.sigma, lam, p, pr.eta1, pr.eta2);
  const double halfVariance = 0.5 * pr.sigma * pr.sigma;
  // The rows of A v = sigma^2/2 v_xx + nu v_x - (r + lam) v on the grid:
  // three-point differences, second order on a smoothly stretched grid;
  // the drift upwinded where it would outweigh the diffusion (far out,
  // where the cells are wide), which keeps the matrix an M-matrix. A row's
  // couplings to its lower and upper neighbours, `left` and `right` away.
  const auto threePointRow = [&](double left, double right, double& lo, double& up) {
    const double both = left + right;
    lo = 2.0 * halfVariance / (left * both);
    up = 2.0 * halfVariance / (right * both);
    const double centredLo = -nu * right / (left * both), centredUp = nu * left / (right * both);
    if (lo + centredLo >= 0.0 && up + centredUp >= 0.0) {
      lo += centredLo;
      up += centredUp;
    } else if (nu > 0.0) {
      up += nu / right;
    } else {
      lo -= nu / left;
    }
  };
  for (int i = 1; i < n - 1; ++i) {
    double lo, up;
    threePointRow(x[i] - x[i - 1], x[i + 1] - x[i], lo, up);
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
  // g, and its smooth part G = 1 - e^x (the time value near the boundary
  // is v - G, also where a node lies above the strike).
  for (int i = 0; i < n; ++i) {
    a.smooth[i] = 1.0 - std::exp(x[i]);
    a.g[i] = std::max(a.smooth[i], 0.0);
  }

  // lam (p U + (1 - p) D) of v, by the two running sums.
  // The two recursions run side by side in one loop (one from each end):
  // each is a chain of dependent operations, and two chains overlap.
  const auto jumpTerm = [&](const double* v) {
    a.up[n - 1] = 0.0;
    a.down[0] = belowGrid;
    for (int k = 1; k < n; ++k) {
      const int i = n - 1 - k;
      a.up[i] = a.upDecay[i] * a.up[i + 1] + a.upConstant[i] * v[i] +
                a.upSlope[i] * (v[i + 1] - v[i]);
      a.down[k] = a.downDecay[k] * a.down[k - 1] + a.downConstant[k] * v[k] +
                  a.downSlope[k] * (v[k - 1] - v[k]);
    }
    for (int i = 0; i < n; ++i) a.jump[i] = lam * (p * a.up[i] + (1.0 - p) * a.down[i]);
  };

  // The exercise boundary s between nodes (front tracking). Brennan-
  // Schwartz alone puts the boundary on a node: the values near it then
  // carry an O(h^2) error whose constant jumps with the boundary's place in
  // its cell, so that two resolutions extrapolate erratically there, and a
  // spot a little above the boundary converged only on very fine grids.
  // Instead, with the boundary at s in the cell [x_c, x_(c+1)), node c + 1
  // takes the three-point row through s, where v = g(s) (Dirichlet, the
  // cells below exercised), and s is chosen so that v leaves g with g's
  // slope (smooth fit, w = v - G with G = 1 - e^x: w(s) = w_x(s) = 0).
  // The rows above keep their elimination from the top, so a trial s costs
  // O(1): the new pivot of row c + 1 and two substitutions. w_x(s) is
  // judged by the parabola through (s, 0) and the next two nodes,
  // c + 2 and c + 3 (node c + 1 lies too near s when s nears it):
  // residual(s) = w_(c+2) d_(c+3)^2 - w_(c+3) d_(c+2)^2, d = x - s, zero
  // when w_x(s) = 0, negative for a boundary too low (v dips below g above
  // it) and positive for one too high. The residual is found from the
  // Brennan-Schwartz node outwards, a cell at a time, and its root in the
  // cell by the Illinois method. Where no cell near it brackets a root (the
  // first instants, where the boundary layer is thinner than a cell, or a
  // boundary at the grid's ends or the strike) the node boundary stays.
  const auto rowThrough = [&](double alpha, double beta, int c, double s, double* v) {
    const int first = c + 1;
    double lo, up;
    threePointRow(x[first] - s, x[first + 1] - x[first], lo, up);
    const double centre = -(lo + up) - (pr.r + lam);
    const double m = (-beta * up) * a.inverse[first + 1];
    const double pivot = (alpha - beta * centre) - m * (-beta * a.lower[first + 1]);
    const double reduced = ((a.rhs[first] + beta * a.jump[first]) - m * a.reduced[first + 1]) +
                           beta * lo * (1.0 - std::exp(s));
    v[0] = reduced / pivot;
    for (int k = 1; k <= 2; ++k) {
      const int i = first + k;
      v[k] = (a.reduced[i] - (-beta * a.lower[i]) * v[k - 1]) * a.inverse[i];
    }
    const double w2 = v[1] - a.smooth[first + 1], w3 = v[2] - a.smooth[first + 2];
    const double d2 = x[first + 1] - s, d3 = x[first + 2] - s;
    return w2 * (d3 * d3) - w3 * (d2 * d2);
  };
  double front = kNaN, tauNow = 0.0;
  // Returns the first node above the boundary's row (from which the
  // caller substitutes upward), or 0 where the boundary stays on a node.
  const auto trackBoundary = [&](double alpha, double beta, int last) -> int {
    if (last < 2 || last + 8 >= n) return 0;
    // Only once the boundary layer, about sigma sqrt(tau) wide, spans the
    // three cells the fit uses: before that the parabola misplaces s by
    // O(h), where the node boundary errs by O(h^2) in the values.
    if (!(x[last + 3] - x[last] <= pr.sigma * std::sqrt(tauNow))) return 0;
    constexpr double kEdge = 1.0 - 1e-6;  // of a cell: row c + 1 stays regular
    const auto at = [&](int c, double t) { return x[c] + t * (x[c + 1] - x[c]); };
    double v[3];
    int c = last;
    double low = rowThrough(alpha, beta, c, x[c], v), high;
    if (low > 0.0) {
      for (int moves = 0; low > 0.0 && moves < 4 && c > 1; ++moves) {
        --c;
        low = rowThrough(alpha, beta, c, x[c], v);
      }
      high = rowThrough(alpha, beta, c, at(c, kEdge), v);
    } else {
      high = rowThrough(alpha, beta, c, at(c, kEdge), v);
      for (int moves = 0; high < 0.0 && moves < 4 && c + 8 < n; ++moves) {
        ++c;
        low = rowThrough(alpha, beta, c, x[c], v);
        high = rowThrough(alpha, beta, c, at(c, kEdge), v);
      }
    }
    if (!(low <= 0.0 && high >= 0.0) || !(at(c, kEdge) < 0.0)) return 0;
    // Illinois on t, s = x_c + t (x_(c+1) - x_c).
    double t0 = 0.0, t1 = kEdge, f0 = low, f1 = high, t = 0.0;
    int kept = 0;
    for (int it = 0; it < 100 && t1 - t0 > 1e-13; ++it) {
      t = f1 > f0 ? t1 - f1 * (t1 - t0) / (f1 - f0) : 0.5 * (t0 + t1);
      if (!(t > t0 && t < t1)) t = 0.5 * (t0 + t1);
      const double f = rowThrough(alpha, beta, c, at(c, t), v);
      if (f == 0.0) break;
      if (f < 0.0) {
        t0 = t;
        f0 = f;
        if (kept == -1) f1 *= 0.5;
        kept = -1;
      } else {
        t1 = t;
        f1 = f;
        if (kept == 1) f0 *= 0.5;
        kept = 1;
      }
    }
    const double s = at(c, t);
    rowThrough(alpha, beta, c, s, v);
    for (int i = last + 1; i <= c; ++i) a.next[i] = a.g[i];
    a.next[c + 1] = std::max(a.g[c + 1], v[0]);
    front = s;
    return c + 2;
  };

  // (alpha - beta A) v = rhs + beta jump(v), v >= g, v = g at the first
  // node and 0 at the last: the jump term iterated to a fixed point, each
  // sweep by Brennan-Schwartz, the boundary then placed within its cell.
  const auto step = [&](double alpha, double beta) -> bool {
    // The elimination of the operator's rows from the top is the same for
    // every sweep of a step: the reciprocals of its pivots and the rows'
    // multipliers once, and a sweep's two recursions without a division.
    const int top = n - 2;
    a.inverse[top] = 1.0 / (alpha - beta * a.centre[top]);
    for (int i = top - 1; i >= 1; --i) {
      const double m = (-beta * a.upper[i]) * a.inverse[i + 1];
      a.factor[i] = m;
      a.inverse[i] = 1.0 / ((alpha - beta * a.centre[i]) - m * (-beta * a.lower[i + 1]));
    }
    // A sweep maps the iterate through (alpha - beta A)^(-1) beta J and a
    // projection; in the max norm J has norm lam and the inverse of the
    // M-matrix at most 1/(alpha + beta (r + lam)) (its row sums), and the
    // projection does not expand, so the sweeps contract by at most
    // rho = beta lam / (alpha + beta (r + lam)) and leave an error of at most
    // rho/(1 - rho) times the last sweep's move. Sweeps stop once that bound
    // is below `settle` (one sweep without jumps); where rho is not below 1
    // (a rate far below -lam), by the move itself.
    const double diagonal = alpha + beta * (pr.r + lam);
    const double rho = diagonal > beta * lam ? (beta * lam) / diagonal : 1.0;
    const double remaining = rho < 1.0 ? rho / (1.0 - rho) : 1.0;
    for (int sweep = 0; sweep < 100; ++sweep) {
      jumpTerm(a.next);
      a.reduced[top] = a.rhs[top] + beta * a.jump[top];
      for (int i = top - 1; i >= 1; --i) {
        a.reduced[i] = (a.rhs[i] + beta * a.jump[i]) - a.factor[i] * a.reduced[i + 1];
      }
      std::copy(a.next, a.next + n, a.last);
      // Substitution upward: through the exercise region (v = g, a single
      // interval from the bottom for a put), the boundary placed, then on.
      a.next[0] = a.g[0];
      int i = 1;
      for (; i <= top; ++i) {
        const double held =
            (a.reduced[i] - (-beta * a.lower[i]) * a.next[i - 1]) * a.inverse[i];
        if (!(held <= a.g[i] && a.g[i] > 0.0)) break;
        a.next[i] = a.g[i];
      }
      // Placing the boundary makes the sweep's map depend on which cell
      // holds it, and the sweeps could then cycle between two cells, or
      // between a placed boundary and a node one; a step that has not
      // settled after 8 sweeps (3 or 4 settle one) finishes with the
      // boundary on a node, whose sweeps contract.
      front = kNaN;
      const int tracked = sweep < 8 ? trackBoundary(alpha, beta, i - 1) : 0;
      for (i = tracked > 0 ? tracked : i; i <= top; ++i) {
        a.next[i] = std::max(
            a.g[i], (a.reduced[i] - (-beta * a.lower[i]) * a.next[i - 1]) * a.inverse[i]);
      }
      a.next[n - 1] = 0.0;
      double moved = 0.0;
      for (int i = 0; i < n; ++i) moved = std::max(moved, std::abs(a.next[i] - a.last[i]));
      if (!(moved == moved)) return false;
      if (remaining * moved <= pr.settle) return true;
    }
    return false;
  };

  const auto recordBoundary = [&](int index) {
    if (boundary == nullptr) return;
    if (front == front) {
      boundary[index] = front;
      return;
    }
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
    tauNow = 0.5 * (half + 1) * previousStep;
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
    tauNow = tauAt(m);
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
  if (edge != nullptr) *edge = front;
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
