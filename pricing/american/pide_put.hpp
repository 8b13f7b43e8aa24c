// The American put under Kou's model by its partial integro-differential
// equation: one solve in x = ln(S/K) with K = 1 serves every strike and
// spot of a maturity (the price is homogeneous of degree one in S and K).
//
// Method. In time to expiry tau, v(x, tau) >= g(x) = (1 - e^x)+ and, where
// v > g,
//   v_tau = sigma^2/2 v_xx + nu v_x - (r + lam) v + lam (p U + (1 - p) D),
//   U(x) = integral over y > 0 of v(x + y) eta1 e^(-eta1 y) dy,
//   D(x) = integral over y > 0 of v(x - y) eta2 e^(-eta2 y) dy,
// nu = r - q - sigma^2/2 - lam zeta, on a grid stretched smoothly about
// the strike (the caller's), three-point differences (the drift upwinded
// only far out, where the cells are wide enough for it to outweigh the
// diffusion). The jump integrals cost O(N) a step
// (Toivanen): each is a running sum that moves one cell by e^(-eta h) and
// adds that cell's integral of the piecewise-linear interpolant, exactly.
// Beyond the grid v is taken as g below it (deep in the money, exercised)
// and 0 above it; the grid reaches 8 standard deviations of the log-price
// and four mean jumps beyond the spots wanted, where that is exact to far
// below the accuracy. Time: steps growing away from expiry,
// tau_m = T (m/M)^2 (uniform steps leave a first-order error from the
// payoff's kink), the first as two implicit Euler half steps (Rannacher:
// they damp the kink), then variable-step BDF2 (second order and
// L-stable, steadier than Crank-Nicolson where the boundary moves). Each step is a linear
// complementarity problem, tridiagonal but for the jump term: the jump
// term is taken to the right-hand side and iterated with it to a fixed
// point (it contracts by about lam k per sweep), each sweep solved exactly
// by the Brennan-Schwartz elimination (eliminate from the top, then
// substitute upward from the exercise region, projecting on g), which is
// exact for a put's single exercise region at low x; the boundary is
// then placed within its cell by the smooth fit (front tracking, in the
// source), so that the error near it is as regular as elsewhere.
//
// Numerical caveats. The error is O(h^2 + k^2) away from the boundary's
// first instants; the caller extrapolates two resolutions (Richardson) and
// judges the result by their difference. sigma = 0 is not solved (NaN).
#pragma once

#include <cstddef>

namespace jdpricer {

struct AmericanPutProblem {
  double T, r, q;                    // maturity, rate, dividend yield
  double sigma, lam, p, eta1, eta2;  // the model
  const double* x;                   // the nodes, increasing, the first below 0
  int points;                        // how many
  int steps;                         // time steps, tau_m = T (m/steps)^2 (the first as two halves)
  double settle;                     // the jump term's fixed point: sweeps until its bound on
                                     // the remaining error is below this
};

// Doubles of workspace a solve of `points` nodes needs.
std::size_t americanPutWorkspace(int points);

// Solves and writes v at the nodes at tau = T into `value` and v_tau there
// into `rate` (0 where exercised); `boundary`, if not null, gets
// `steps + 1` log-boundaries x*(tau_n) (the last node where v = g, NaN
// where none is; between nodes where it was tracked); `edge`, if not null,
// gets the boundary at tau = T placed between nodes, NaN where it stayed on
// a node (then the last node where v = g is the boundary). Returns false
// (values NaN) where the problem is not solvable (sigma <= 0, a model out
// of its domain, a step that does not settle).
bool solveAmericanPut(const AmericanPutProblem& problem, double* workspace, double* value,
                      double* rate, double* boundary, double* edge = nullptr);

}  // namespace jdpricer
