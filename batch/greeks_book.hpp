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
// per-option pricing operation). The Greeks are sums in another order,
// accurate to the rounding of the price's own terms, which cancel for large
// eta sigma sqrt(T); their bits are promised only against this pricer
// itself (any worker count, and each maturity's explicit length). n <= 0 gives the jump-free series'
// Greeks; n > kMaxSeriesTerms NaN in every field.
//
// Series length. Either one n for the whole book or each maturity's own
// (SeriesLengths), as for BookPricer. The derivative triangles, like the
// coefficient triangles, are the same for every series length: row n of
// dP/dp, dQ/dp, dP/dx and dQ/dx is its own sum of the powers p^j, q^j, x^j,
// y^j, j pow(., j - 1) (each one pow call, whatever the table's length) and
// factorials for j <= n, never reading the table's length N. So one set,
// built for the longest series of the book, serves every maturity with the
// bits of a call at its own length; the slice and its sensitivities are
// built per maturity at that maturity's length.
//
// Threads. The model's work (GreeksBookModel: BookModel's triangles, their
// derivatives and the measures' derivatives) is done once, on the calling
// thread, and shared read-only; priceGreeksBook runs one pricer per segment
// of the maturity order (parallel_book.hpp). Every field of every option is
// computed by the same operations in any segment (lanes never mix, and an
// option alone in a lane gets a block's bits), so all eleven have the same
// bits for every worker count.
//
// Storage. The model: BookModel's coefficient triangles and four
// derivative triangles per series (116 KB each at n = 170). A pricer: two
// weight triangles and a slice sensitivity of about 20 KB per series, and,
// over a whole book, its model and the maturity order.
#pragma once

#include <cstddef>
#include <functional>
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

// The model's work for a book's Greeks: BookModel's coefficients, their
// derivatives in the jump law (when `groups` has kGreeksLaw; zeros
// otherwise) for the longest series the book needs, and the measures'
// derivatives. Read only once built, so any number of pricers may share it.
class GreeksBookModel {
 public:
  GreeksBookModel(const KouModel& model, const OptionColumns& book, unsigned groups = kAllGreeks);

  struct Derivatives {
    std::vector<double> Pp, Qp, Px, Qx;  // triangles, rows 1..longest
    ConstCoefficientDerivatives view() const;
  };

  const BookModel& prices() const { return prices_; }
  const MeasureDerivatives& measureDerivatives() const { return measureDerivatives_; }
  // The groups asked for, with the level derivative wherever the intensity
  // or the jump law needs it.
  unsigned groups() const { return groups_; }
  const Derivatives& stock() const { return stock_; }
  const Derivatives& riskNeutral() const { return riskNeutral_; }

 private:
  BookModel prices_;
  MeasureDerivatives measureDerivatives_;
  unsigned groups_;
  Derivatives stock_, riskNeutral_;
};

class GreeksBookPricer {
 public:
  // The whole book: does the model's work and orders the book by maturity.
  // The columns and outputs must outlive the pricer.
  GreeksBookPricer(Payoff payoff, const KouModel& model, const OptionColumns& book,
                   const GreeksColumns& out, unsigned groups = kAllGreeks);
  // The options order[0..count) of the book, consecutive in its maturity
  // order, under a model built for the book; model, order, columns and
  // outputs must outlive the pricer.
  GreeksBookPricer(Payoff payoff, const GreeksBookModel& model, const OptionColumns& book,
                   const std::size_t* order, std::size_t count, const GreeksColumns& out);
  ~GreeksBookPricer();

  // Prices up to about `maxOptions` further options; false once all are done.
  bool priceNext(std::size_t maxOptions);

  // Options that one priceNext call should take to last a few milliseconds.
  std::size_t suggestedChunk() const;

 private:
  struct Series {
    const BookModel::Coefficients* coefficients;
    const GreeksBookModel::Derivatives* derivatives;
    std::vector<double> W, V;  // weight triangles of the current slice
    SeriesSlice slice;
    SliceSensitivities sensitivities;
  };

  void start();
  void buildSlices(double T);
  // Options of one maturity in `Lanes` lanes side by side; count <= Lanes.
  template <int Lanes>
  void priceBlock(const std::size_t* indices, int count);
  // Up to this many options of one maturity go one lane each.
  static constexpr int kSingleLaneOptions = 2;

  Payoff payoff_;
  std::unique_ptr<GreeksBookModel> ownedModel_;  // the whole-book pricer's
  const GreeksBookModel* model_;
  OptionColumns book_;
  GreeksColumns out_;
  int terms_ = 0;  // series length of the current maturity, clamped below at 0
  std::unique_ptr<Series> stock_, riskNeutral_;
  std::vector<std::size_t> ownedOrder_;  // the whole-book pricer's maturity order
  const std::size_t* order_;             // book indices, by maturity bits
  std::size_t count_;
  std::size_t next_ = 0;      // position in order_
  std::size_t sliceEnd_ = 0;  // end in order_ of the current maturity
};

// The Greeks of a whole book on up to `workers` threads (parallel_book.hpp):
// the model built once, then one GreeksBookPricer per segment of the
// maturity order. `poll` runs on the calling thread between chunks and may
// throw to end the call. Every field has the same bits for every count.
void priceGreeksBook(Payoff payoff, const KouModel& model, const OptionColumns& book,
                     const GreeksColumns& out, std::size_t workers,
                     const std::function<void()>& poll);

}  // namespace jdpricer
