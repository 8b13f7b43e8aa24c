#include "batch/book_pricer.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "batch/maturity_order.hpp"
#include "batch/parallel_book.hpp"
#include "pricing/closed_form/options.hpp"
#include "pricing/common/fp_environment.hpp"

namespace jdpricer {

int SeriesLengths::longest(const double* T, std::size_t count) const {
  if (!perMaturity_) return fixed_;
  int longest = 0;
  for (std::size_t i = 0; i < count && longest < kMaxSeriesTerms; ++i) {
    longest = std::max(longest, rule_(T[i]));
  }
  return longest;
}

BookModel::BookModel(const KouModel& model, const OptionColumns& book)
    : model_(model), lengths_(model) {
  const PinnedFloatingPoint pinned;
  measures_ = kouMeasures(model.sigma, model.lam, model.p, model.eta1, model.eta2);
  longest_ = lengths_.longest(book.T, book.count);
  stock_.law = measures_.stock;
  riskNeutral_.law = measures_.riskNeutral;
  if (longest_ > kMaxSeriesTerms) return;  // every price is NaN: nothing to share
  factorials_ = std::make_unique<FactorialTable>(longest_);
  const int N = longest_ > 0 ? longest_ : 0;
  for (Coefficients* series : {&stock_, &riskNeutral_}) {
    const std::size_t size = static_cast<std::size_t>(triangleSize(N));
    series->P.resize(size);
    series->Q.resize(size);
    if (N == 0) continue;
    const JumpLaw& law = series->law;
    JumpCoefficientRows rows(*factorials_, N, law.p, law.eta1, law.eta2);
    for (int n = 1; n <= N; ++n) {
      rows.next(&series->P[triangleIndex(n, 1)], &series->Q[triangleIndex(n, 1)]);
    }
  }
}

std::size_t BookModel::storageBytes() const {
  std::size_t bytes = sizeof(BookModel);
  if (factorials_) bytes += sizeof(FactorialTable);
  for (const Coefficients* series : {&stock_, &riskNeutral_}) {
    bytes += (series->P.capacity() + series->Q.capacity()) * sizeof(double);
  }
  return bytes;
}

BookPricer::BookPricer(Payoff payoff, const KouModel& model, const OptionColumns& book,
                       double* prices)
    : payoff_(payoff),
      ownedModel_(std::make_unique<BookModel>(model, book)),
      model_(ownedModel_.get()),
      book_(book),
      prices_(prices),
      ownedOrder_(maturityOrder(book.T, book.count)),
      order_(ownedOrder_.data()),
      count_(book.count) {
  start();
}

BookPricer::BookPricer(Payoff payoff, const BookModel& model, const OptionColumns& book,
                       const std::size_t* order, std::size_t count, double* prices)
    : payoff_(payoff), model_(&model), book_(book), prices_(prices), order_(order),
      count_(count) {
  start();
}

void BookPricer::start() {
  const int longest = model_->longest();
  if (longest > kMaxSeriesTerms) return;
  stock_ = std::make_unique<Series>();
  riskNeutral_ = std::make_unique<Series>();
  stock_->coefficients = &model_->stock();
  riskNeutral_->coefficients = &model_->riskNeutral();
  const std::size_t size = static_cast<std::size_t>(triangleSize(longest > 0 ? longest : 0));
  for (Series* series : {stock_.get(), riskNeutral_.get()}) {
    series->W.resize(size);
    series->V.resize(size);
  }
}

BookPricer::~BookPricer() = default;

void BookPricer::buildSlices(double T) {
  const int n = model_->lengths()(T);
  terms_ = n > 0 ? n : 0;
  for (Series* series : {stock_.get(), riskNeutral_.get()}) {
    const JumpLaw& law = series->coefficients->law;
    buildSeriesSlice(model_->factorials(), terms_, T, model_->model().sigma, law.lam, law.eta1,
                     law.eta2, series->slice);
    for (int row = 1; row <= terms_; ++row) {
      const int at = triangleIndex(row, 1);
      weightRow(series->slice, row, &series->coefficients->P[at], &series->coefficients->Q[at],
                &series->W[at], &series->V[at]);
    }
  }
}

template <int Lanes>
void BookPricer::priceBlock(const std::size_t* indices, int count) {
  // Lanes past `count` repeat the first option and are discarded.
  double U1[Lanes], U2[Lanes];
  SeriesLanes<Lanes> lanes;
  const KouMeasures& measures = model_->measures();
  const double T = book_.T[indices[0]];
  double a[Lanes];
  for (int l = 0; l < Lanes; ++l) {
    const std::size_t i = indices[l < count ? l : 0];
    a[l] = std::log(book_.K[i] / book_.S[i]);
  }
  for (Series* series : {stock_.get(), riskNeutral_.get()}) {
    const bool stock = series == stock_.get();
    for (int l = 0; l < Lanes; ++l) {
      const double r = book_.r[indices[l < count ? l : 0]];
      const double mu = stock ? stockDrift(measures, r) : riskNeutralDrift(measures, r);
      lane(lanes.c, l) = a[l] - mu * T;
    }
    beginSeries(series->slice, lanes);
    for (int n = 1; n <= terms_; ++n) {
      const int row = triangleIndex(n, 1);
      addSeriesRow(series->slice, n, &series->W[row], &series->V[row], lanes);
    }
    finishSeries(series->slice, lanes, stock ? U1 : U2);
  }
  for (int l = 0; l < count; ++l) {
    const std::size_t i = indices[l];
    const double S = book_.S[i], K = book_.K[i];
    const double discount = discountFactor(book_.r[i], T);
    const double call = callFromProbabilities(S, K, discount, U1[l], U2[l]);
    prices_[i] = payoff_ == Payoff::kCall ? call : putFromCall(S, K, discount, call);
  }
}

bool BookPricer::priceNext(std::size_t maxOptions) {
  const PinnedFloatingPoint pinned;
  const std::size_t end = std::min(count_, next_ + maxOptions);
  if (model_->longest() > kMaxSeriesTerms) {
    // tgamma overflows from 171! on: the closed form is NaN for every input.
    for (; next_ < end; ++next_) prices_[order_[next_]] = std::numeric_limits<double>::quiet_NaN();
    return next_ < count_;
  }
  while (next_ < end) {
    if (next_ == sliceEnd_) {
      sliceEnd_ = maturityRunEnd(order_, next_, count_, book_.T);
      buildSlices(book_.T[order_[next_]]);
    }
    const int count = static_cast<int>(std::min<std::size_t>(kBatchLanes, sliceEnd_ - next_));
    if (count <= kSingleLaneOptions) {
      // A full block would do kBatchLanes options' work for these few.
      for (int j = 0; j < count; ++j) priceBlock<1>(&order_[next_ + j], 1);
    } else {
      priceBlock<kBatchLanes>(&order_[next_], count);
    }
    next_ += static_cast<std::size_t>(count);
  }
  return next_ < count_;
}

std::size_t BookPricer::suggestedChunk() const {
  const int longest = model_->longest();
  const std::size_t terms = static_cast<std::size_t>(longest > 0 ? longest : 0) + 1;
  return std::max<std::size_t>(kBatchLanes, (std::size_t{1} << 20) / (terms * terms));
}

std::size_t BookPricer::storageBytes() const {
  std::size_t bytes = ownedOrder_.capacity() * sizeof(std::size_t);
  if (ownedModel_) bytes += ownedModel_->storageBytes();
  for (const Series* series : {stock_.get(), riskNeutral_.get()}) {
    if (series == nullptr) continue;
    bytes += sizeof(Series) + (series->W.capacity() + series->V.capacity()) * sizeof(double);
  }
  return bytes;
}

namespace {

// Work estimates for cutting a book into segments, in units of one
// multiply-add of an option's series: an option's own work is about
// 4 (n + 1)^2 such operations (two series, each its integral families and
// its rows), a maturity's slice about 10 (n + 1) pow calls, each worth some
// fifty of them, besides its weight rows.
double optionWork(int n) {
  const double terms = n > 0 ? n + 1.0 : 1.0;
  return 4.0 * terms * terms;
}
double sliceWork(int n) {
  const double terms = n > 0 ? n + 1.0 : 1.0;
  return 500.0 * terms + 2.0 * terms * terms;
}
// Some 80 us of work (a unit is about 0.3 ns): waking a pool thread and
// handing the result back costs tens of microseconds, and a maturity cut in
// two builds its slice twice, so less is not worth a thread.
constexpr double kSegmentWork = 262144.0;

}  // namespace

void priceBook(Payoff payoff, const KouModel& model, const OptionColumns& book, double* prices,
               std::size_t workers, const std::function<void()>& poll) {
  if (book.count == 1) {
    // Nothing to share: the single-option evaluation streams the same
    // stages row by row, the same bits without the triangles.
    const double T = book.T[0], K = book.K[0];
    const int n = SeriesLengths(model)(T);
    prices[0] = payoff == Payoff::kCall
                    ? EuropeanCall(T, K).priceByKouJumpDiffusion(book.S[0], book.r[0], model.sigma,
                                                                 model.lam, model.p, model.eta1,
                                                                 model.eta2, n)
                    : EuropeanPut(T, K).priceByKouJumpDiffusion(book.S[0], book.r[0], model.sigma,
                                                                model.lam, model.p, model.eta1,
                                                                model.eta2, n);
    return;
  }
  const BookModel shared(model, book);
  const std::vector<std::size_t> order = maturityOrder(book.T, book.count);
  const SeriesLengths& lengths = shared.lengths();
  const auto segments = splitOrder(
      order, book.T, workers, kBatchLanes, kSegmentWork, [&lengths](double T) { return optionWork(lengths(T)); },
      [&lengths](double T) { return sliceWork(lengths(T)); });
  priceSegments(
      segments,
      [&](const BookSegment& segment) {
        return std::make_unique<BookPricer>(payoff, shared, book, segment.order, segment.count,
                                            prices);
      },
      poll);
}

}  // namespace jdpricer
