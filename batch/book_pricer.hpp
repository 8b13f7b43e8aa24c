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
// Storage. The pricer owns what it lends to the engine, which allocates
// nothing: four coefficient triangles for the book, four weight triangles
// and two slices for the current maturity, and the maturity order; at
// n = 170 about 1 MB beside 8 bytes per option.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "batch/book.hpp"
#include "pricing/common/kou_measures.hpp"
#include "pricing/closed_form/option_series.hpp"

namespace jdpricer {

// One model, shared by every option of a book.
struct KouModel {
  double sigma, lam, p, eta1, eta2;
  int n;  // Poisson terms of both series
};

class BookPricer {
 public:
  // Does the model's work (the jump coefficients) and orders the book by
  // maturity. The columns and `prices` (count entries) must outlive the
  // pricer.
  BookPricer(Payoff payoff, const KouModel& model, const OptionColumns& book, double* prices);
  ~BookPricer();

  // Prices up to about `maxOptions` further options; false once every price
  // is written. Callers use the pauses between calls to check for interrupts.
  bool priceNext(std::size_t maxOptions);

  // Options that one priceNext call should take to last a few milliseconds.
  std::size_t suggestedChunk() const;

  // Bytes of storage that the pricer holds, beside the columns and prices.
  std::size_t storageBytes() const;

 private:
  // One Upsilon series of the call formula: its jump law, coefficients and
  // the current maturity's slice and weights.
  struct Series {
    JumpLaw law;
    std::vector<double> P, Q;  // coefficient triangles, rows 1..N
    std::vector<double> W, V;  // weight triangles of the current slice
    SeriesSlice slice;
  };

  void buildSlices(double T);
  void priceBlock(const std::size_t* indices, int count);

  Payoff payoff_;
  KouModel model_;
  KouMeasures measures_;
  OptionColumns book_;
  double* prices_;
  int terms_;  // series length summed: model_.n clamped below at 0
  std::unique_ptr<FactorialTable> factorials_;
  std::unique_ptr<Series> stock_, riskNeutral_;
  std::vector<std::size_t> order_;  // book indices, by maturity bits
  std::size_t next_ = 0;            // position in order_
  std::size_t sliceEnd_ = 0;        // end in order_ of the current maturity
};

}  // namespace jdpricer
