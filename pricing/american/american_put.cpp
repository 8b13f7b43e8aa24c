#include "pricing/american/american_put.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "pricing/american/pide_put.hpp"
#include "pricing/first_passage/passage_roots.hpp"

namespace jdpricer {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kMostPoints = 1 << 15;

// The grid: x = alpha sinh(xi) on uniform xi, the strike (x = 0) a node,
// cells of alpha dxi at the strike growing smoothly away from it.
struct StretchedGrid {
  double alpha, lo, step;  // in xi: the first node and the spacing
  int points;
  double node(int i) const { return alpha * std::sinh(lo + i * step); }
  // The cell [node(i), node(i + 1)) that holds x, unclamped (up to rounding).
  int cell(double x) const {
    return static_cast<int>(std::floor((std::asinh(x / alpha) - lo) / step));
  }
};

// A nodal function and its x-derivatives at x from the cubic in xi through
// the four nearest nodes: f_x = f_xi / x_xi, f_xx = (f_xixi - f_x x_xixi) / x_xi^2,
// with x_xi = sqrt(alpha^2 + x^2) and x_xixi = x.
template <class AtNode>
void cubicAt(AtNode at, const StretchedGrid& grid, double x, double& value, double& slope,
             double& curvature) {
  const double xi = std::asinh(x / grid.alpha);
  const int i = std::max(0, std::min(grid.cell(x) - 1, grid.points - 4));
  const double t = (xi - grid.lo) / grid.step - i;  // in [0, 3] about the nodes i .. i + 3
  const double v0 = at(i), v1 = at(i + 1), v2 = at(i + 2), v3 = at(i + 3);
  // Lagrange weights at t for nodes 0, 1, 2, 3, and their derivatives.
  const double a = t, b = t - 1.0, c = t - 2.0, d = t - 3.0;
  const double w0 = -(b * c * d) / 6.0, w1 = (a * c * d) / 2.0, w2 = -(a * b * d) / 2.0,
               w3 = (a * b * c) / 6.0;
  const double s0 = -(c * d + b * d + b * c) / 6.0, s1 = (c * d + a * d + a * c) / 2.0,
               s2 = -(b * d + a * d + a * b) / 2.0, s3 = (b * c + a * c + a * b) / 6.0;
  const double c0 = -(b + c + d) / 3.0, c1 = (a + c + d), c2 = -(a + b + d), c3 = (a + b + c) / 3.0;
  value = w0 * v0 + w1 * v1 + w2 * v2 + w3 * v3;
  const double dxi = (s0 * v0 + s1 * v1 + s2 * v2 + s3 * v3) / grid.step;
  const double dxixi = (c0 * v0 + c1 * v1 + c2 * v2 + c3 * v3) / (grid.step * grid.step);
  const double stretch = std::sqrt(grid.alpha * grid.alpha + x * x);
  slope = dxi / stretch;
  curvature = (dxixi - slope * x) / (stretch * stretch);
}

double payoff(double x) { return std::max(1.0 - std::exp(x), 0.0); }

// v = g + w, w = v - g >= 0 the time value: w is interpolated and g taken
// exactly. w is 0 where the put is exercised and grows from the boundary
// with a continuous slope (smooth fit), so the cubic is good to O(h^2)
// across it, and a point in the exercise region gets g itself, not an
// interpolant that a nearby node of the continuation region bends.
// Only where the four nodes lie at or below the strike, where g = 1 - e^x
// is smooth; at and above it (never exercised) v itself is.
//
// Where the solve tracked the boundary between nodes (`edge`, below the
// strike), a point at or below it is exercised, and one between it and the
// second node above its cell takes w = B d^2 + C d^3, d = x - edge, through
// those two nodes: smooth fit (w = w_x = 0 at the edge) built in, where a
// cubic through the exercised nodes would bend with the edge's place in
// its cell.
AmericanPutPoint pointAt(const double* value, const double* rate, const StretchedGrid& grid,
                         double edge, double x) {
  AmericanPutPoint p;
  if (edge == edge && x <= edge) {
    const double gs = -std::exp(x);
    return {1.0 + gs, gs, gs, 0.0};
  }
  if (edge == edge) {
    int c = std::max(0, std::min(grid.cell(edge), grid.points - 4));
    while (c + 4 < grid.points && grid.node(c + 1) <= edge) ++c;
    while (c > 0 && grid.node(c) > edge) --c;
    const double near = grid.node(c + 2), far = grid.node(c + 3);
    if (x < near && far < 0.0) {
      const double d1 = near - edge, d2 = far - edge;
      const double w1 = value[c + 2] - (1.0 - std::exp(near));
      const double w2 = value[c + 3] - (1.0 - std::exp(far));
      const double det = (d1 * d1) * (d2 * d2) * (d2 - d1);
      const double B = (w1 * (d2 * d2 * d2) - w2 * (d1 * d1 * d1)) / det;
      const double C = (w2 * (d1 * d1) - w1 * (d2 * d2)) / det;
      const double d = x - edge;
      const double gs = -std::exp(x);
      const double w = d * d * (B + C * d);
      p = {1.0 + gs + w, gs + d * (2.0 * B + 3.0 * C * d), gs + (2.0 * B + 6.0 * C * d), 0.0};
      double unused1, unused2;
      cubicAt([&](int i) { return rate[i]; }, grid, x, p.rate, unused1, unused2);
      return p;
    }
  }
  const int first = std::max(0, std::min(grid.cell(x) - 1, grid.points - 4));
  if (grid.node(first + 3) <= 0.0) {
    double w, ws, wc;
    cubicAt([&](int i) { return value[i] - payoff(grid.node(i)); }, grid, x, w, ws, wc);
    const double g = 1.0 - std::exp(x), gs = -std::exp(x);
    p = w > 0.0 ? AmericanPutPoint{g + w, gs + ws, gs + wc, 0.0}
                : AmericanPutPoint{g, gs, gs, 0.0};
  } else {
    cubicAt([&](int i) { return value[i]; }, grid, x, p.value, p.slope, p.curvature);
  }
  double unused1, unused2;
  cubicAt([&](int i) { return rate[i]; }, grid, x, p.rate, unused1, unused2);
  return p;
}

std::size_t boundarySize(int steps) { return static_cast<std::size_t>(steps) + 1; }

// Doubles a solve on `grid` needs: [value | rate | nodes | workspace | boundary].
std::size_t solveSize(const StretchedGrid& grid, int steps) {
  return 3 * static_cast<std::size_t>(grid.points) + americanPutWorkspace(grid.points) +
         boundarySize(steps);
}

bool solveOn(const AmericanPutQuery& qr, const StretchedGrid& grid, int steps, double* at,
             bool withBoundary, double& edge) {
  double* nodes = at + 2 * grid.points;
  for (int i = 0; i < grid.points; ++i) nodes[i] = grid.node(i);
  // The fixed point settled to a ten-thousandth of the accuracy a step:
  // a few hundred steps leave its error far below the accuracy.
  const AmericanPutProblem problem{qr.T,    qr.r,    qr.q,  qr.sigma,    qr.lam,
                                   qr.p,    qr.eta1, qr.eta2, nodes,     grid.points,
                                   steps,   std::max(1e-15, 1e-4 * qr.accuracy)};
  double* work = nodes + grid.points;
  return solveAmericanPut(problem, work, at, at + grid.points,
                          withBoundary ? work + americanPutWorkspace(grid.points) : nullptr,
                          &edge);
}

// (4 v_f - v_c)/3 for the value and each derivative.
AmericanPutPoint extrapolated(const AmericanPutPoint& c, const AmericanPutPoint& f) {
  return {f.value + (f.value - c.value) / 3.0, f.slope + (f.slope - c.slope) / 3.0,
          f.curvature + (f.curvature - c.curvature) / 3.0, f.rate + (f.rate - c.rate) / 3.0};
}

}  // namespace

bool priceAmericanPuts(const AmericanPutQuery& qr, const double* x, std::size_t count,
                       AmericanStorage& storage, AmericanPutPoint* out,
                       const double* boundaryTimes, std::size_t boundaryCount,
                       double* boundary, AmericanGrid* reached) {
  const auto fail = [&] {
    for (std::size_t j = 0; j < count; ++j) out[j] = {kNaN, kNaN, kNaN, kNaN};
    if (boundary != nullptr) std::fill(boundary, boundary + boundaryCount, kNaN);
    return false;
  };
  if (count == 0 && boundaryCount == 0) return true;
  if (!kouModelInDomain(qr.sigma, qr.lam, qr.p, qr.eta1, qr.eta2) || !(qr.T > 0.0) || !std::isfinite(qr.T) || !std::isfinite(qr.r) ||
      !std::isfinite(qr.q) || !(qr.accuracy > 0.0)) {
    return fail();
  }
  double lowest = 0.0, highest = 0.0;
  for (std::size_t j = 0; j < count; ++j) {
    if (!std::isfinite(x[j])) return fail();
    lowest = std::min(lowest, x[j]);
    highest = std::max(highest, x[j]);
  }
  // The log-price's standard deviation over T, diffusion and jumps.
  const double jumpVariance =
      qr.lam * (2.0 * qr.p / (qr.eta1 * qr.eta1) + 2.0 * (1.0 - qr.p) / (qr.eta2 * qr.eta2));
  const double spread = std::sqrt((qr.sigma * qr.sigma + jumpVariance) * qr.T);
  // Cells of 0.15 of the spread at the strike, stretched beyond half a
  // spread; the grid reaches 8 spreads and four mean jumps past the points.
  StretchedGrid grid;
  grid.alpha = 0.5 * spread;
  grid.step = 0.3;
  const double below = std::asinh((lowest - 8.0 * spread - 4.0 / qr.eta2) / grid.alpha);
  const double above = std::asinh((highest + 8.0 * spread + 4.0 / qr.eta1) / grid.alpha);
  const double cellsBelow = std::ceil(-below / grid.step), cellsAbove = std::ceil(above / grid.step);
  if (!(cellsBelow + cellsAbove + 1.0 <= kMostPoints / 4)) return fail();
  grid.lo = -cellsBelow * grid.step;
  grid.points = static_cast<int>(cellsBelow + cellsAbove) + 1;
  // At least 2 lam T steps (up to 1024): the last (the longest, 2T/M)
  // then has lam k <= 1, and the jump term's sweeps contract by 0.4 or
  // better.
  int steps = static_cast<int>(std::max({4.0, std::ceil(4.0 * std::sqrt(qr.T)),
                                         std::ceil(std::min(2.0 * qr.lam * qr.T, 1024.0))}));

  double coarseEdge = kNaN, fineEdge = kNaN, movedBefore = 0.0;
  double* buffer = storage.lend(solveSize(grid, steps));
  if (!solveOn(qr, grid, steps, buffer, false, coarseEdge)) return fail();
  int pairs = 0;
  for (;;) {
    const StretchedGrid coarse = grid;
    grid.step = 0.5 * coarse.step;
    grid.lo = 2.0 * coarse.lo / 2.0;
    grid.points = 2 * coarse.points - 1;
    steps *= 2;
    if (grid.points > kMostPoints) return fail();
    // [coarse value | coarse rate | the fine solve's area]: the storage
    // keeps the coarse solve at its front as it grows.
    const std::size_t front = 2 * static_cast<std::size_t>(coarse.points);
    buffer = storage.lend(front + solveSize(grid, steps));
    double* fine = buffer + front;
    if (!solveOn(qr, grid, steps, fine, boundaryCount > 0, fineEdge)) return fail();
    const double* fineValue = fine;
    const double* fineRate = fine + grid.points;
    const double* fineBoundary = fine + 3 * grid.points + americanPutWorkspace(grid.points);
    // The estimate of the error: how far the extrapolated value moved from
    // the previous pair's, which is about the previous one's error and
    // above the new one's. A single pair's |v_f - v_c| is no estimate: on
    // coarse grids, before the error is O(h^2 + k^2), the two may agree by
    // chance (a first pair agreed to 2e-8 of the strike and was 5e-5 off).
    double moved = 0.0;
    bool finite = true;
    for (std::size_t j = 0; j < count; ++j) {
      const AmericanPutPoint c = pointAt(buffer, buffer + coarse.points, coarse, coarseEdge, x[j]);
      const AmericanPutPoint f = pointAt(fineValue, fineRate, grid, fineEdge, x[j]);
      const AmericanPutPoint e = extrapolated(c, f);
      finite = finite && std::isfinite(e.value);
      if (pairs > 0) moved = std::max(moved, std::abs(e.value - out[j].value));
      out[j] = e;
    }
    ++pairs;
    if (!finite || !(moved == moved)) return fail();
    // Trusted from the third pair on, and only when the move is not a
    // chance: the extrapolated error falls by about 2^3 to 2^4 a halving,
    // so a move more than 64 times smaller than the one before may mean
    // that the previous value crossed the limit on its way (pre-asymptotic
    // grids), not that the new one is within the accuracy; it is trusted
    // once a second move in a row is within the accuracy (a value that
    // converges faster still, as one with little diffusion does once the
    // grid resolves it, stops a pair later), or where no finer pair fits
    // in 2^15 nodes.
    const bool lastPair = 2 * grid.points - 1 > kMostPoints;
    const bool trusted = pairs > 2 && moved <= qr.accuracy &&
                         (64.0 * moved >= movedBefore || movedBefore <= qr.accuracy || lastPair);
    movedBefore = moved;
    if (trusted) {
      if (reached != nullptr) *reached = {grid.alpha, grid.lo, grid.step, grid.points, steps};
      for (std::size_t j = 0; j < boundaryCount; ++j) {
        // Linear in tau between the steps' boundaries, tau_m = T (m/M)^2.
        const double at =
            steps * std::sqrt(std::min(std::max(boundaryTimes[j], 0.0), qr.T) / qr.T);
        const int i = std::min(static_cast<int>(at), steps - 1);
        const double w = at - i;
        boundary[j] = (1.0 - w) * fineBoundary[i] + w * fineBoundary[i + 1];
      }
      return true;
    }
    // The finer solve is the next pair's coarser one.
    std::memmove(buffer, fine, 2 * static_cast<std::size_t>(grid.points) * sizeof(double));
    coarseEdge = fineEdge;
  }
}

bool priceAmericanPutsOnGrid(const AmericanPutQuery& qr, const AmericanGrid& on,
                             const double* x, std::size_t count, AmericanStorage& storage,
                             AmericanPutPoint* out) {
  const auto fail = [&] {
    for (std::size_t j = 0; j < count; ++j) out[j] = {kNaN, kNaN, kNaN, kNaN};
    return false;
  };
  if (!kouModelInDomain(qr.sigma, qr.lam, qr.p, qr.eta1, qr.eta2) || !(qr.T > 0.0) ||
      !std::isfinite(qr.T) || !std::isfinite(qr.r) || !std::isfinite(qr.q) ||
      !(qr.accuracy > 0.0) || on.points % 2 != 1 || on.points < 9 || on.steps % 2 != 0 ||
      on.points > kMostPoints) {
    return fail();
  }
  const StretchedGrid fine{on.alpha, on.lo, on.step, on.points};
  const StretchedGrid coarse{on.alpha, on.lo, 2.0 * on.step, (on.points + 1) / 2};
  const std::size_t front = 2 * static_cast<std::size_t>(coarse.points);
  double* buffer = storage.lend(std::max(solveSize(coarse, on.steps / 2),
                                         front + solveSize(fine, on.steps)));
  double* fineArea = buffer + front;
  double coarseEdge, fineEdge;
  if (!solveOn(qr, coarse, on.steps / 2, buffer, false, coarseEdge) ||
      !solveOn(qr, fine, on.steps, fineArea, false, fineEdge)) {
    return fail();
  }
  for (std::size_t j = 0; j < count; ++j) {
    if (!std::isfinite(x[j])) return fail();
    out[j] = extrapolated(pointAt(buffer, buffer + coarse.points, coarse, coarseEdge, x[j]),
                          pointAt(fineArea, fineArea + fine.points, fine, fineEdge, x[j]));
  }
  return true;
}

}  // namespace jdpricer
