// Prices a book of European options under one Kou model by the cosine series
// of pricing/fourier/fourier_pricer.hpp.
//
// Method. Everything the series needs from the maturity and the model (the
// range, the term count, the characteristic function at every term) is one
// FourierSlice; the book is priced in order of maturity, one slice per
// distinct T, shared by every option of that maturity whatever its strike,
// spot or rate. T values are grouped by their bit pattern. Without
// diffusion (sigma = 0) the characteristic function does not decay and the
// maturity's prices come from the jump sums of pure_jump_pricer.hpp. Where
// the series would need more than kMaxFourierTerms terms (maturities of
// minutes, or sigma near 0: the range is set by the jumps, the decay by
// sigma sqrt(T)), the closed form is well conditioned (eta sigma sqrt(T) is
// small): the option is priced by it, with n from the Poisson tails, and
// kept only where its rigorous bound is within the stated accuracy (NaN
// otherwise).
//
// Storage. This layer owns the slices' workspace, one buffer grown to the
// largest slice of the book (at most 3 * kMaxFourierTerms doubles, 1.5 MiB),
// and the maturity order; the engine allocates nothing.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "batch/book.hpp"
#include "pricing/fourier/fourier_pricer.hpp"
#include "pricing/error_bound/price_bound.hpp"
#include "pricing/fourier/pure_jump_pricer.hpp"

namespace jdpricer {

// The model of a book: the cosine series chooses its own terms per maturity.
struct FourierModel {
  double sigma, lam, p, eta1, eta2;
};

class FourierBookPricer {
 public:
  // Orders the book by maturity. The columns and `prices` (count entries)
  // must outlive the pricer.
  FourierBookPricer(Payoff payoff, const FourierModel& model, const OptionColumns& book,
                    double* prices);
  // The options order[0..count) of the book, consecutive in its maturity
  // order; order, columns and prices must outlive the pricer.
  FourierBookPricer(Payoff payoff, const FourierModel& model, const OptionColumns& book,
                    const std::size_t* order, std::size_t count, double* prices);

  // Prices further options, about `maxWork` cosine terms' worth (at least
  // one option); false once every price is written. Callers use the pauses
  // to check for interrupts.
  bool priceNext(std::size_t maxWork);
  bool priceNext() { return priceNext(suggestedChunk()); }

  // Work of one priceNext call that lasts about a millisecond.
  std::size_t suggestedChunk() const;

 private:
  Payoff payoff_;
  FourierModel model_;
  OptionColumns book_;
  double* prices_;
  std::vector<std::size_t> ownedOrder_;  // the whole-book pricer's maturity order
  const std::size_t* order_;             // book indices, by maturity bits
  std::size_t count_;
  std::size_t next_ = 0;  // position in order_
  std::vector<double> workspace_;
  FourierSlice slice_;              // for the maturity of order_[next_ - 1]
  PureJumpSlice pureJumps_;         // the same, when sigma = 0
  bool haveSlice_ = false;
  // The closed-form stand-in for maturities the series cannot take.
  double closedForm(std::size_t i);
  int closedFormTerms_ = -1;
  std::vector<double> closedFormStorage_;
  std::unique_ptr<BoundedKouModel> closedFormModel_;
  std::unique_ptr<BoundedKouModel::Maturity> closedFormMaturity_;
  bool closedFormMaturityBuilt_ = false;
};

}  // namespace jdpricer
