// Closed-form prices of a book with a bound on the error of each
// (pricing/error_bound/price_bound.hpp), and the robust prices that come from the
// cosine series (pricing/fourier/fourier_pricer.hpp) wherever that bound exceeds a
// tolerance.
//
// Method. The bounded evaluation carries the closed form's own value, so
// each price is bit for bit the engine's; its bound is rigorous for the
// maths library's stated accuracy. The model's bounded jump coefficients are
// computed once per book; the rest, per option. The robust pricer sends
// the options whose truncation alone exceeds the tolerance to the Fourier
// book pricer at once (no closed-form bound of theirs can be lower), prices
// the rest with the screen's bounds (screen_slice.hpp, cheaper and looser),
// forms the full bound for the options the screen leaves above the
// tolerance, then hands those whose full bound is above it too (or not
// finite) to the Fourier book pricer, and records for the Fourier prices
// the method's stated accuracy, 1e-14 (S + K), which is measured rather
// than proven.
//
// Series length. The model's n, or each maturity's own (SeriesLengths): the
// bounded coefficients are built once for the longest, and serve every
// shorter series with its bits.
//
// Storage. The bounded model owns the bounded coefficients (8 n(n+1)/2
// doubles), shared by the pricers of a book's segments; the robust prices
// own the gathered columns of the options that go to the cosine series.
#pragma once

#include <cmath>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "batch/book_pricer.hpp"
#include "batch/fourier_book.hpp"
#include "pricing/error_bound/price_bound.hpp"

namespace jdpricer {

// The model's part of a book's bounded prices: the bounded coefficients for
// the longest series the book needs. Read only once built, so any number of
// pricers may share it.
class BoundedBookModel {
 public:
  BoundedBookModel(const KouModel& model, const OptionColumns& book);

  const SeriesLengths& lengths() const { return lengths_; }
  const BoundedKouModel& bounded() const { return *model_; }
  int terms() const { return terms_; }

 private:
  SeriesLengths lengths_;
  int terms_;  // the longest series length, clamped to [0, kMaxSeriesTerms]
  std::unique_ptr<double[]> storage_;  // written before it is read: not cleared
  std::unique_ptr<BoundedKouModel> model_;
};

struct BoundedMaturityScratch;

class BoundedBookPricer {
 public:
  // The whole book, in its own order. prices and bounds: count entries each;
  // they and the columns must outlive the pricer.
  BoundedBookPricer(Payoff payoff, const KouModel& model, const OptionColumns& book,
                    double* prices, double* bounds);
  // The options order[0..count) of the book under a model built for it; all
  // must outlive the pricer. kind: the full bound or the screen. tails: null,
  // or 2 per book option, the poissonTails of its maturity (computed once
  // for a book that needs them before pricing).
  BoundedBookPricer(Payoff payoff, const BoundedBookModel& model, const OptionColumns& book,
                    const std::size_t* order, std::size_t count, double* prices,
                    double* bounds, BoundKind kind = BoundKind::kFull,
                    double tolerance = HUGE_VAL, const double* tails = nullptr);

  ~BoundedBookPricer();

  // Prices and bounds up to maxOptions further options; false once done.
  bool priceNext(std::size_t maxOptions);
  std::size_t suggestedChunk() const;

 private:
  Payoff payoff_;
  BoundKind kind_ = BoundKind::kFull;
  double tolerance_ = HUGE_VAL;  // the screen's (see screenLanes)
  const double* tails_ = nullptr;  // 2 per book option, or null
  std::unique_ptr<BoundedBookModel> ownedModel_;  // the whole-book pricer's
  const BoundedBookModel* model_;
  OptionColumns book_;
  std::vector<std::size_t> ownedOrder_;  // the whole-book pricer's maturity order
  const std::size_t* order_;             // book indices, by maturity bits
  std::size_t count_;
  double* prices_;
  double* bounds_;
  // The current maturity's shared work and its triangles (some 100 kB,
  // reused by the thread's next pricer).
  std::unique_ptr<BoundedMaturityScratch> scratch_;
  std::size_t next_ = 0;      // position in order_
  std::size_t sliceEnd_ = 0;  // end in order_ of the current maturity
};

// Robust prices of a whole book on up to `workers` threads (parallel_book.hpp):
// for the options whose truncation is within the tolerance, the closed form
// with the screen's bounds over segments of the maturity order, the full
// bound for those whose screen exceeds the tolerance (or whose tolerance is
// below what the screen can meet); then the cosine series over segments of
// the options whose full bound exceeds it too, or whose truncation did.
// `poll` runs on the calling thread between chunks and may throw to end the
// call. The same prices and bounds for every worker count.
// `extraBound`, where given, is an error of each option's own beyond its
// price's (a net spot's rounding, batch/dividend_yield.hpp): every bound
// includes it, rounded up, and an option stays in closed form only where
// its bound does so within the tolerance.
void priceRobustBook(Payoff payoff, const KouModel& model, const OptionColumns& book,
                     double tolerance, double* prices, double* bounds, bool* usedFourier,
                     std::size_t workers, const std::function<void()>& poll,
                     const double* extraBound = nullptr);

// Bounded prices of a whole book on up to `workers` threads, as above: the
// full bound, or the screen.
void priceBoundedBook(Payoff payoff, const KouModel& model, const OptionColumns& book,
                      double* prices, double* bounds, std::size_t workers,
                      const std::function<void()>& poll, BoundKind kind = BoundKind::kFull);

// Cosine-series prices of a whole book on up to `workers` threads.
void priceFourierBook(Payoff payoff, const FourierModel& model, const OptionColumns& book,
                      double* prices, std::size_t workers, const std::function<void()>& poll);

}  // namespace jdpricer
