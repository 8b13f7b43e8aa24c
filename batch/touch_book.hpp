// Touch options of a whole book under one Kou model: one-touch paid at the
// hit or at expiry, and no-touch, continuously monitored, payout 1.
//
// Method. The barrier H is up where H > S and down where H < S; the level
// is b = ln(H/S) or ln(S/H), a down level being an up level of the mirrored
// law. From the first passage time tau of the log-price through b
// (pricing/first_passage/first_passage.hpp):
//   one-touch at the hit    E[e^(-r tau); tau <= T],
//   one-touch at expiry     e^(-rT) P(tau <= T),
//   no-touch                e^(-rT) (1 - P(tau <= T)).
// The options are taken in maturity order; the first-passage slice (the
// contour's nodes and the roots there) depends on T, the direction, r and
// q, and serves every following option of the same maturity that shares
// them: a surface with one r and q builds one slice per maturity and
// direction. Each option is priced by the same operations whatever its
// neighbours, so the values have the same bits for every worker count.
//
// Numerical caveats. The inversion's error is about 1e-14 at 32 nodes for
// ordinary models; the probability is clamped into [0, 1] (the discounted
// hit into [0, max(1, e^(-rT))]), which it may
// leave by that much. H = S, a barrier touched already, pays at once: the
// one-touch at the hit 1, at expiry e^(-rT), the no-touch 0. T = 0 with
// the barrier not touched gives 0 and 1; delta and gamma are 0 wherever the
// value no longer moves with the spot (touched, or T = 0). NaN where an input is NaN, T < 0,
// H <= 0 or S <= 0, and where the model has no diffusion (sigma <= 0) or is
// out of its domain.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "batch/book.hpp"
#include "batch/passage_book.hpp"
#include "pricing/first_passage/first_passage.hpp"

namespace jdpricer {

enum class TouchKind { kOneTouchAtHit, kOneTouchAtExpiry, kNoTouch };

struct TouchModel {
  double sigma, lam, p, eta1, eta2;
};

// The book's columns: T, the barrier H in place of K, S, r; q per option.
class TouchBookPricer {
 public:
  // With delta and gamma not null, each option's dV/dS and d2V/dS2 too.
  TouchBookPricer(TouchKind kind, const TouchModel& model, const OptionColumns& book,
                  const double* q, const std::size_t* order, std::size_t count, double* values,
                  double* delta = nullptr, double* gamma = nullptr);

  bool priceNext(std::size_t maxOptions);
  std::size_t suggestedChunk() const { return 256; }

 private:
  const PassageSlice& sliceFor(bool up, double T, double r, double q);
  // The value with its derivatives in ln S (0 where it does not move with
  // the spot); the derivatives only when asked.
  Jet<double> value(std::size_t i, bool withDerivatives);

  TouchKind kind_;
  TouchModel model_;
  OptionColumns book_;
  const double* q_;
  const std::size_t* order_;
  std::size_t count_;
  double* values_;
  double* delta_;
  double* gamma_;
  std::size_t next_ = 0;
  SliceCache<PassageSlice> up_, down_;  // the slice last built for each direction
};

// The touch values of a whole book on up to `workers` threads; the same
// bits for every count. `poll` as for the other books. With delta and gamma
// not null, dV/dS and d2V/dS2 (exact derivatives of the inverted transform;
// the values keep their bits).
void priceTouchBook(TouchKind kind, const TouchModel& model, const OptionColumns& book,
                    const double* q, double* values, std::size_t workers,
                    const std::function<void()>& poll, double* delta = nullptr,
                    double* gamma = nullptr);

}  // namespace jdpricer
