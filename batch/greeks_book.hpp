// Prices a book of European options under one Kou model together with every
// Greek: delta, gamma, vega, theta, rho, dual delta and the derivatives in
// lam, p, eta1 and eta2, each the exact derivative (to rounding) of the same
// truncated series that gives the price.
//
// Method. The book pricer's three stages, each with its derivatives
// (pricing/greeks/): the jump coefficients and their derivatives in the jump
// law once per book; per maturity the slice, the price's weights and the
// collapsed weights of the derivatives; per option, in lanes, the price
// exactly as BookPricer sums it, then one dot product of length N + 1 per
// derivative and series. kou_greeks.hpp holds the chain rule.
//
// Numerical caveats. The price field has the bits of BookPricer (and of the
// per-option pricing operation). The Greeks promise no bits: they are sums
// in another order, accurate to the rounding of the price's own terms, which
// cancel for large eta sigma sqrt(T). n <= 0 gives the jump-free series'
// Greeks; n > kMaxSeriesTerms NaN in every field.
//
// Storage. Beside BookPricer's triangles, four derivative triangles per
// series (at n = 170 about 460 KB in all) and two slice sensitivities of
// about 20 KB.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "batch/book.hpp"
#include "batch/book_pricer.hpp"
#include "pricing/greeks/kou_greeks.hpp"
#include "pricing/greeks/option_sensitivities.hpp"

namespace jdpricer {

// Where the Greeks go: one column of `count` doubles per field (GreekField).
struct GreeksColumns {
  double* field[kGreekFields];
};

// The groups of fields and the work each needs beyond the price (which
// gives delta, rho and dual delta): the level derivative (gamma, vega), the
// intensity series (theta, dlam, with the level) and the jump law (dp,
// deta1, deta2, with both). Fields of groups left out are NaN.
enum GreeksGroup : unsigned {
  kGreeksPriceOnly = 0,
  kGreeksLevel = 1,
  kGreeksIntensity = 2,
  kGreeksLaw = 4,
  kAllGreeks = 7
};

class GreeksBookPricer {
 public:
  // Does the model's work (coefficients and their derivatives) and orders
  // the book by maturity. The columns and outputs must outlive the pricer.
  GreeksBookPricer(Payoff payoff, const KouModel& model, const OptionColumns& book,
                   const GreeksColumns& out, unsigned groups = kAllGreeks);
  ~GreeksBookPricer();

  // Prices up to about `maxOptions` further options; false once all are done.
  bool priceNext(std::size_t maxOptions);

  // Options that one priceNext call should take to last a few milliseconds.
  std::size_t suggestedChunk() const;

 private:
  struct Series {
    JumpLaw law;
    std::vector<double> P, Q, W, V;
    std::vector<double> Pp, Qp, Px, Qx;
    SeriesSlice slice;
    SliceSensitivities sensitivities;
  };

  void buildSlices(double T);
  void priceBlock(const std::size_t* indices, int count);

  Payoff payoff_;
  KouModel model_;
  KouMeasures measures_;
  MeasureDerivatives derivatives_;
  OptionColumns book_;
  GreeksColumns out_;
  unsigned groups_;
  int terms_;
  std::unique_ptr<FactorialTable> factorials_;
  std::unique_ptr<Series> stock_, riskNeutral_;
  std::vector<std::size_t> order_;
  std::size_t next_ = 0;
  std::size_t sliceEnd_ = 0;
};

}  // namespace jdpricer
