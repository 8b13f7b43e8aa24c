// Continuously monitored barrier options of a whole book under one Kou
// model: down-and-out, down-and-in, up-and-out and up-and-in calls and puts
// with rebates.
//
// Method. Per option, the knock-in and knock-out values and the rebate's
// transforms from a BarrierSlice (pricing/first_passage/barrier.hpp) of its
// maturity, direction, r and q; options in maturity order share the slice
// as touches do (touch_book.hpp). A knock-out's rebate is paid at the hit,
// a knock-in's at expiry if the barrier was never hit. A barrier breached
// at the spot (down with S <= H, up with S >= H) counts as hit: the
// knock-out is worth its rebate now, the knock-in is the European option,
// priced by the closed form (each maturity's own series length) at the spot
// net of dividends. T = 0 otherwise gives the payoff for a knock-out and
// the rebate for a knock-in.
//
// Numerical caveats. Knock-in and knock-out are each inverted from their
// own terms, so neither loses digits to a cancellation against the
// vanilla; in + out differs from the closed-form vanilla by the inversion's
// error. NaN where an input is NaN, T < 0, K, H or S <= 0, or the model has
// no diffusion or is out of its domain. The same bits for every worker
// count: each option is priced by the same operations wherever it falls.
#pragma once

#include <cstddef>
#include <functional>

#include "batch/book.hpp"
#include "pricing/first_passage/barrier.hpp"

namespace jdpricer {

enum class BarrierKind { kDownAndOut, kDownAndIn, kUpAndOut, kUpAndIn };

struct BarrierModel {
  double sigma, lam, p, eta1, eta2;
};

// The options: T, K, S, r as for the European books, and per option the
// barrier H, the dividend yield q and the rebate.
struct BarrierColumns {
  OptionColumns book;
  const double* H;
  const double* q;
  const double* rebate;
};

// With delta and gamma not null, also dV/dS and d2V/dS2: exact derivatives
// of the inverted transform in ln S (the prices keep their bits); 0 where
// the price no longer moves with the spot (a knock-out breached, a knock-in
// at T = 0); a breached knock-in's are the European option's.
void priceBarrierBook(Payoff payoff, BarrierKind kind, const BarrierModel& model,
                      const BarrierColumns& options, double* prices, std::size_t workers,
                      const std::function<void()>& poll, double* delta = nullptr,
                      double* gamma = nullptr);

}  // namespace jdpricer
