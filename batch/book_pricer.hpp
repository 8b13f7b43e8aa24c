// Prices many European options under one Kou model in one pass.
//
// Method. The closed form splits into work that depends on the model alone
// (the jump coefficients of both Upsilon series, done once per book), work
// that depends on the maturity as well (the Poisson weights, the powers of
// eta*sigma*sqrt(T), the constants of the integrals: one maturity slice per
// distinct T), and the option's own work (strike, spot and rate). The book is
// priced in order of maturity so that each slice is built once and reused
// by every option that shares its T, bit for bit.
//
// Numerical caveats. Every price is exactly the bits of the per-option
// EuropeanCall / EuropeanPut pricing operation for the same inputs: sharing
// only reuses values computed from the same operands. T values are grouped
// by their bit pattern, so +0 and -0 (or two NaNs with different payloads)
// are different maturities.
//
// Storage. This layer owns all the memory it needs (coefficient triangles,
// one slice, the maturity order) and lends it to the engine, which allocates
// nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>


namespace jdpricer {

enum class Payoff { kCall, kPut };

// One model, shared by every option of a book.
struct KouModel {
  double sigma, lam, p, eta1, eta2;
  int n;  // Poisson terms of both series
};

// The options of a book as parallel columns of equal length.
struct OptionColumns {
  const double* T;
  const double* K;
  const double* S;
  const double* r;
  std::size_t count;
};

class BookPricer {
 public:
  // Does the model's work (the jump coefficients) and orders the book by
  // maturity. The columns and `prices` (count entries) must outlive the
  // pricer.
  BookPricer(Payoff payoff, const KouModel& model, const OptionColumns& book, double* prices);

  // Prices up to `maxOptions` further options; false once every price is
  // written. Callers use the pauses between calls to check for interrupts.
  bool priceNext(std::size_t maxOptions);

  // Options of this book a single priceNext call should take so that it
  // lasts of the order of a millisecond.
  std::size_t suggestedChunk() const;

  // Bytes of storage that the pricer holds, beside the columns and prices.
  std::size_t storageBytes() const;

 private:
  Payoff payoff_;
  KouModel model_;
  OptionColumns book_;
  double* prices_;
  std::vector<std::size_t> order_;  // book indices, by maturity bits
  std::size_t next_ = 0;              // position in order_
};

}  // namespace jdpricer
