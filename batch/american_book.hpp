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
//   put   delta = v_x K/S,  gamma = (v_xx - v_x) K/S^2,  theta = -K v_tau;
//   call  delta = v - v_y,  gamma = (v_yy - v_y)/S,      theta = -S v_tau,
// with y = ln(K/S) for the call.
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

// Prices (and, when not null, delta, gamma and theta) of a whole book on up
// to `workers` threads; `poll` runs on the calling thread between solves.
void priceAmericanBook(AmericanKind kind, const AmericanModel& model,
                       const AmericanColumns& options, double accuracy, double* prices,
                       std::size_t workers, const std::function<void()>& poll,
                       double* delta = nullptr, double* gamma = nullptr,
                       double* theta = nullptr);

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
