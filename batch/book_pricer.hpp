// Prices many European options under one Kou model in one pass.
//
// Method. The closed form splits into work that depends on the model alone
// (the jump coefficients of both Upsilon series, done once per book), work
// that depends on the maturity as well (one maturity slice per distinct T:
// Poisson weights, powers of eta sigma sqrt(T), the constants of the
// integrals and the weights that join them to the coefficients), and the
// option's own work (strike, spot and rate), done for kBatchLanes options of
// one maturity side by side. The book is priced in order of maturity, so
// each slice is built once.
//
// Numerical caveats. Every price has exactly the bits of the per-option
// EuropeanCall / EuropeanPut pricing operation for the same inputs: sharing
// only reuses values computed from the same operands, and each option's
// sums keep their own order. Maturities are grouped by bit pattern, so +0
// and -0 (or NaNs with different payloads) are different maturities.
//
// Every evaluation runs in the standard floating-point environment
// (fp_environment.hpp), whatever the caller's thread has set.
//
// Series length. Either one n for the whole book, or, when the model asks
// for it, each maturity's own (SeriesLengthRule, series_length.hpp): the
// coefficient row n depends on n, k and the jump law alone, never on the
// series length N (each entry is its own sum of pow and tgamma values), and
// so do the slice's entries for index n, so one set of triangles, built for
// the longest series of the book, serves every shorter one with the bits
// of a call at that length.
//
// Storage. The model (BookModel) owns four coefficient triangles, shared
// read-only by every pricer over a part of the book; a pricer owns four
// weight triangles and two slices for the current maturity, and, over a
// whole book, the maturity order; at n = 170 about 1 MB beside 8 bytes per
// option.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "batch/book.hpp"
#include "pricing/error_bound/series_length.hpp"
#include "pricing/common/kou_measures.hpp"
#include "pricing/closed_form/option_series.hpp"

namespace jdpricer {

// One model, shared by every option of a book.
struct KouModel {
  double sigma, lam, p, eta1, eta2;
  int n;  // Poisson terms of both series, unless perMaturity
  bool perMaturity = false;  // each maturity's SeriesLengthRule length instead of n
};

// The series length of every maturity under a model: n, or the rule's.
class SeriesLengths {
 public:
  explicit SeriesLengths(const KouModel& model)
      : fixed_(model.n), perMaturity_(model.perMaturity),
        rule_(model.sigma, model.lam, model.p, model.eta1, model.eta2) {}
  int operator()(double T) const { return perMaturity_ ? rule_(T) : fixed_; }
  bool perMaturity() const { return perMaturity_; }
  // The longest length among the book's maturities (n itself when fixed).
  int longest(const double* T, std::size_t count) const;

 private:
  int fixed_;
  bool perMaturity_;
  SeriesLengthRule rule_;
};

// The model's work for a book: its measures and the jump coefficients of
// both series up to the longest series length that the book needs. Read
// only once built, so any number of pricers may share it.
class BookModel {
 public:
  BookModel(const KouModel& model, const OptionColumns& book);

  struct Coefficients {
    JumpLaw law;
    std::vector<double> P, Q;  // triangles, rows 1..longest
  };

  const KouModel& model() const { return model_; }
  const KouMeasures& measures() const { return measures_; }
  const SeriesLengths& lengths() const { return lengths_; }
  int longest() const { return longest_; }
  const FactorialTable& factorials() const { return *factorials_; }
  const Coefficients& stock() const { return stock_; }
  const Coefficients& riskNeutral() const { return riskNeutral_; }
  std::size_t storageBytes() const;

 private:
  KouModel model_;
  KouMeasures measures_;
  SeriesLengths lengths_;
  int longest_;  // the longest series length; above kMaxSeriesTerms nothing is built
  std::unique_ptr<FactorialTable> factorials_;
  Coefficients stock_, riskNeutral_;
};

class BookPricer {
 public:
  // The whole book: does the model's work (the jump coefficients) and
  // orders the book by maturity. The columns and `prices` (count entries)
  // must outlive the pricer.
  BookPricer(Payoff payoff, const KouModel& model, const OptionColumns& book, double* prices);
  // The options order[0..count) of the book, consecutive in its maturity
  // order, under a model built for the book; model, order, columns and
  // prices must outlive the pricer.
  BookPricer(Payoff payoff, const BookModel& model, const OptionColumns& book,
             const std::size_t* order, std::size_t count, double* prices);
  ~BookPricer();

  // Prices up to about `maxOptions` further options; false once every price
  // is written. Callers use the pauses between calls to check for interrupts.
  bool priceNext(std::size_t maxOptions);

  // Options that one priceNext call should take to last a few milliseconds.
  std::size_t suggestedChunk() const;

  // Bytes of storage that the pricer holds (its model's included when it
  // owns it), beside the columns and prices.
  std::size_t storageBytes() const;

 private:
  // One Upsilon series of the call formula: the current maturity's slice and
  // weights.
  struct Series {
    const BookModel::Coefficients* coefficients;
    std::vector<double> W, V;  // weight triangles of the current slice
    SeriesSlice slice;
  };

  void start();
  void buildSlices(double T);
  // Options of one maturity in `Lanes` lanes side by side; count <= Lanes.
  template <int Lanes>
  void priceBlock(const std::size_t* indices, int count);
  // Up to this many options of one maturity go one lane each.
  static constexpr int kSingleLaneOptions = 2;

  Payoff payoff_;
  std::unique_ptr<BookModel> ownedModel_;  // the whole-book pricer's
  const BookModel* model_;
  OptionColumns book_;
  double* prices_;
  int terms_ = 0;  // series length of the current maturity, clamped below at 0
  std::unique_ptr<Series> stock_, riskNeutral_;
  std::vector<std::size_t> ownedOrder_;  // the whole-book pricer's maturity order
  const std::size_t* order_;             // book indices, by maturity bits
  std::size_t count_;
  std::size_t next_ = 0;      // position in order_
  std::size_t sliceEnd_ = 0;  // end in order_ of the current maturity
};

// Prices a whole book on up to `workers` threads (parallel_book.hpp): the
// model built once, then one BookPricer per segment of the maturity order.
// `poll` runs on the calling thread between chunks and may throw to end the
// call. Every price has the same bits for every count.
void priceBook(Payoff payoff, const KouModel& model, const OptionColumns& book, double* prices,
               std::size_t workers, const std::function<void()>& poll);

}  // namespace jdpricer
