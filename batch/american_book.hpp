// American puts and calls of a whole book under one Kou model, to an
// accuracy in units of the strike, with delta, gamma and theta from the
// same solves.
//
// Method. The price is homogeneous of degree one in (S, K): one solve of
// the put's equation in x = ln(S/K) (pricing/american/american_put.hpp)
// per maturity, rate and dividend yield serves every strike and spot that
// share them, P = K v(ln(S/K)). A call is a put by put-call symmetry,
// C(S, K, r, q) = P(K, S, q, r) under the dual model, again Kou's:
// lam* = lam (1 + zeta), p* = (1 - p) eta2/(eta2 + 1)/(1 + zeta),
// eta1* = eta2 + 1, eta2* = eta1 - 1 (the jumps under the share measure,
// reflected), so C = S v*(ln(K/S)). Where early exercise is never optimal
// (a put with r <= 0 <= q, a call with q <= 0 <= r) the option is the
// European one, priced by the closed form (each maturity's own series
// length) at the spot net of dividends.
//
// Greeks, from the solve's v, v_x, v_xx and v_tau at the option's point:
//   put   delta = v_x K/S,  gamma = (v_xx - v_x) K/S^2,  theta = -K v_tau,
//         dual delta = v - v_x;
//   call  delta = v - v_y,  gamma = (v_yy - v_y)/S,      theta = -S v_tau,
//         dual delta = v_y S/K,
// with y = ln(K/S) for the call. The sensitivities to sigma, r, q and the
// jump law, where asked, by differences of bumped solves on the grid the
// solve stopped at (american_put.hpp), each bumped parameter mapped to the
// put problem as the model itself is (the dual model for calls):
//   dV/dtheta = K (v(theta + h) - v(theta - h))/(2h)   (S v* for a call),
// or, where theta - h or theta + h leaves the model's domain (lam = 0,
// p = 0 or 1, eta1 within h of 1), the one-sided second-order difference
// (-3 v(theta) + 4 v(theta + h) - v(theta + 2h))/(2h) towards the inside.
// The steps, h = 1e-2 sigma, 1e-3 for r and q, 1e-2 max(lam, 0.1), 1e-2 for
// p, 1e-2 eta, are a compromise. On the fixed grid v(theta) is smooth only
// between the values of theta where a node enters or leaves the exercise
// region; a step much smaller than that spacing takes the slope of one
// smooth piece, which near the boundary is off by the grid's first-order
// error in the boundary's place (an in-the-money put's vega off by 0.1% at
// steps ten times smaller). A step that spans several such kinks averages
// them, while its own error, O(h^2) of the third derivative, stays below
// 1e-4 of the sensitivity in ordinary regimes, and the fixed point's
// settling (1e-4 of the accuracy a step) is not magnified past it. Options priced by the European closed form get its
// exact Greeks.
//
// A solved price is raised to the European price and the payoff where the
// solver's error leaves it a hair below them. The solves are shared out
// over the workers whole (a maturity is never cut in two), and each
// depends only on its own options: the same bits for every worker count. T = 0 gives the payoff (and its slope for delta,
// gamma and theta 0); NaN where an input is NaN or out of its domain.
#pragma once

#include <cstddef>
#include <functional>

#include "batch/book.hpp"

namespace jdpricer {

enum class AmericanKind { kPut, kCall };

struct AmericanModel {
  double sigma, lam, p, eta1, eta2;
};

// Per option: T, K, S, r, and the dividend yield q.
struct AmericanColumns {
  OptionColumns book;
  const double* q;
};

// Where a book's Greeks go, a column each: delta, gamma, theta and dual
// delta from the solves themselves; the model's sensitivities (vega, rho,
// psi, dlam, dp, deta1, deta2) from bumped solves, only where `vega` is not
// null (then every one of them must be given).
struct AmericanGreeksColumns {
  double *delta, *gamma, *theta, *dualDelta;
  double *vega, *rho, *psi, *dlam, *dp, *deta1, *deta2;
};

// Prices (and, when `greeks` is not null, the Greeks) of a whole book on up
// to `workers` threads; `poll` runs on the calling thread between solves.
void priceAmericanBook(AmericanKind kind, const AmericanModel& model,
                       const AmericanColumns& options, double accuracy, double* prices,
                       std::size_t workers, const std::function<void()>& poll,
                       const AmericanGreeksColumns* greeks = nullptr);

// The critical spot of the exercise boundary at each time to expiry tau
// (a put is exercised at or below it, a call at or above it), from one
// solve to the longest tau at `accuracy`, resolved to the grid's spacing
// (linear between time steps). NaN for tau < 0 and invalid inputs.
void americanExerciseBoundary(AmericanKind kind, const AmericanModel& model, double K, double r,
                              double q, double accuracy, const double* tau, std::size_t count,
                              double* critical);

// The perpetual American put (pricing/american/perpetual_put.hpp) at
// strikes K and spots S, option by option.
void perpetualAmericanPuts(const AmericanModel& model, double r, double q, const double* K,
                           const double* S, std::size_t count, double* values);

}  // namespace jdpricer
