// Closed-form prices of a book with a bound on the error of each
// (pricing/error_bound/price_bound.hpp), and the robust variant that prices by the
// cosine series (pricing/fourier/fourier_pricer.hpp) wherever that bound exceeds a
// tolerance.
//
// Method. The bounded evaluation carries the closed form's own value, so
// each price is bit for bit the engine's; its bound is rigorous for the
// maths library's stated accuracy. As in the book pricer, the model's work
// (jump coefficients and their bounds) is done once per book, the book is
// priced in order of maturity with one maturity's shared work (slices,
// weights and their bounded constants) done once, and the options of one
// maturity go through the engine kBatchLanes side by side, each bound
// formed beside its price from the pieces the price computed. The robust pricer first
// prices and bounds the whole book, then hands the options whose bound is
// above the tolerance (or not finite) to the Fourier book pricer, and
// records for those the Fourier method's stated accuracy, 1e-14 (S + K),
// which is measured rather than proven.
//
// Storage. Both own what they lend to the engine: the bounded coefficients
// (8 n(n+1)/2 doubles), and for the robust pricer the gathered columns of
// the options that go to the cosine series.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "batch/book_pricer.hpp"
#include "batch/fourier_book.hpp"
#include "pricing/error_bound/price_bound.hpp"

namespace jdpricer {

class BoundedBookPricer {
 public:
  // prices and bounds: count entries each; they and the columns must outlive
  // the pricer.
  BoundedBookPricer(Payoff payoff, const KouModel& model, const OptionColumns& book,
                    double* prices, double* bounds);
  ~BoundedBookPricer();

  // Prices and bounds up to maxOptions further options; false once done.
  bool priceNext(std::size_t maxOptions);
  std::size_t suggestedChunk() const;

 private:
  void pricePending(std::size_t end);

  Payoff payoff_;
  OptionColumns book_;
  double* prices_;
  double* bounds_;
  int terms_;
  std::vector<double> storage_;  // the model's, then one maturity's
  std::unique_ptr<BoundedKouModel> model_;
  std::unique_ptr<BoundedKouModel::Maturity> maturity_;
  std::vector<std::size_t> order_;  // book indices, by maturity bits
  std::size_t next_ = 0;            // position in order_
  std::size_t sliceEnd_ = 0;        // end in order_ of the current maturity
};

class RobustBookPricer {
 public:
  // usedFourier: count entries, 1 where the cosine series priced the option.
  RobustBookPricer(Payoff payoff, const KouModel& model, const OptionColumns& book,
                   double tolerance, double* prices, double* bounds, bool* usedFourier);

  bool priceNext(std::size_t maxOptions);
  std::size_t suggestedChunk() const { return closedForm_.suggestedChunk(); }

 private:
  void startFourier();

  Payoff payoff_;
  KouModel model_;
  OptionColumns book_;
  double tolerance_;
  double* prices_;
  double* bounds_;
  bool* usedFourier_;
  BoundedBookPricer closedForm_;
  bool closedFormDone_ = false;
  std::vector<std::size_t> fourierIndices_;
  std::vector<double> fourierT_, fourierK_, fourierS_, fourierR_, fourierPrices_;
  std::unique_ptr<FourierBookPricer> fourier_;
};

}  // namespace jdpricer
