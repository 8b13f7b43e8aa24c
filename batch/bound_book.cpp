#include "batch/bound_book.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "batch/dividend_yield.hpp"
#include "batch/maturity_order.hpp"
#include "batch/parallel_book.hpp"
#include "pricing/common/fp_environment.hpp"

namespace jdpricer {

struct BoundedMaturityScratch {
  BoundedKouModel::Maturity maturity;
  std::vector<double> storage;
};

namespace {

// A thread's last scratch, kept for its next pricer: freed, its pages would
// go back to the system and fault in again on every call (a tenth of a
// small book's robust prices). Kept up to this many doubles of triangles.
constexpr std::size_t kKeptStorageDoubles = std::size_t{1} << 15;
thread_local std::unique_ptr<BoundedMaturityScratch> keptScratch;

// Default-initialized: buildMaturity writes what each maturity's pricing
// reads, so the 100 kB are not cleared first.
std::unique_ptr<BoundedMaturityScratch> takeScratch(std::size_t storageDoubles) {
  std::unique_ptr<BoundedMaturityScratch> scratch = std::move(keptScratch);
  if (!scratch) scratch.reset(new BoundedMaturityScratch);
  scratch->storage.resize(storageDoubles);
  return scratch;
}

}  // namespace

BoundedBookModel::BoundedBookModel(const KouModel& model, const OptionColumns& book)
    : lengths_(model) {
  const int longest = lengths_.longest(book.T, book.count);
  terms_ = longest > 0 && longest <= kMaxSeriesTerms ? longest : 0;
  storage_.reset(new double[BoundedKouModel::storageDoubles(longest)]);
  const PinnedFloatingPoint pinned;
  model_ = std::make_unique<BoundedKouModel>(model.sigma, model.lam, model.p, model.eta1,
                                             model.eta2, longest, storage_.get());
}

BoundedBookPricer::BoundedBookPricer(Payoff payoff, const KouModel& model,
                                     const OptionColumns& book, double* prices, double* bounds)
    : payoff_(payoff),
      ownedModel_(std::make_unique<BoundedBookModel>(model, book)),
      model_(ownedModel_.get()),
      book_(book),
      ownedOrder_(maturityOrder(book.T, book.count)),
      order_(ownedOrder_.data()),
      count_(book.count),
      prices_(prices),
      bounds_(bounds),
      scratch_(takeScratch(BoundedKouModel::maturityDoubles(model_->terms()))) {}

BoundedBookPricer::BoundedBookPricer(Payoff payoff, const BoundedBookModel& model,
                                     const OptionColumns& book, const std::size_t* order,
                                     std::size_t count, double* prices, double* bounds,
                                     BoundKind kind, double tolerance, const double* tails)
    : payoff_(payoff),
      kind_(kind),
      tolerance_(tolerance),
      tails_(tails),
      model_(&model),
      book_(book),
      order_(order),
      count_(count),
      prices_(prices),
      bounds_(bounds),
      scratch_(takeScratch(BoundedKouModel::maturityDoubles(model.terms()))) {}

BoundedBookPricer::~BoundedBookPricer() {
  if (!keptScratch && scratch_ && scratch_->storage.capacity() <= kKeptStorageDoubles) {
    keptScratch = std::move(scratch_);
  }
}

bool BoundedBookPricer::priceNext(std::size_t maxOptions) {
  const PinnedFloatingPoint pinned;
  const BoundedKouModel& bounded = model_->bounded();
  const std::size_t end = std::min(count_, next_ + maxOptions);
  if (bounded.pricesAreNaN()) {
    // tgamma overflows from 171! on: the closed form is NaN for every input.
    for (; next_ < end; ++next_) {
      prices_[order_[next_]] = std::numeric_limits<double>::quiet_NaN();
      bounds_[order_[next_]] = HUGE_VAL;
    }
    return next_ < count_;
  }
  while (next_ < end) {
    if (next_ == sliceEnd_) {
      const std::size_t first = order_[next_];
      const double T = book_.T[first];
      sliceEnd_ = maturityRunEnd(order_, next_, count_, book_.T);
      bounded.buildMaturity(T, model_->lengths()(T), scratch_->storage.data(), scratch_->maturity,
                            kind_, tails_ != nullptr ? tails_ + 2 * first : nullptr);
    }
    const int count = static_cast<int>(std::min<std::size_t>(kBatchLanes, sliceEnd_ - next_));
    double K[kBatchLanes], S[kBatchLanes], r[kBatchLanes], prices[kBatchLanes],
        bounds[kBatchLanes];
    for (int l = 0; l < count; ++l) {
      const std::size_t i = order_[next_ + l];
      K[l] = book_.K[i];
      S[l] = book_.S[i];
      r[l] = book_.r[i];
    }
    if (kind_ == BoundKind::kScreen) {
      bounded.screenLanes(scratch_->maturity, payoff_ == Payoff::kCall, K, S, r, count, prices,
                          bounds, tolerance_);
    } else {
      bounded.priceLanes(scratch_->maturity, payoff_ == Payoff::kCall, K, S, r, count, prices,
                         bounds);
    }
    for (int l = 0; l < count; ++l) {
      prices_[order_[next_ + l]] = prices[l];
      bounds_[order_[next_ + l]] = bounds[l];
    }
    next_ += static_cast<std::size_t>(count);
  }
  return next_ < count_;
}

std::size_t BoundedBookPricer::suggestedChunk() const {
  const std::size_t terms = static_cast<std::size_t>(model_->terms()) + 1;
  return std::max<std::size_t>(kBatchLanes, (std::size_t{1} << 19) / (terms * terms));
}

namespace {

// Tolerances below this times n (S + K) go to the full bound without the
// screen: 16 u.
constexpr double kScreenFloor = 16.0 * 0x1p-53;

// Work estimates for cutting a book into segments: a bounded price costs
// about (n + 1)^2 operations beside its maturity's shared constants; a
// cosine-series price shares its slice, some ten options' work.
constexpr double kFourierSliceWork = 10.0;

// The options `order` of the book, in maturity order, on up to `workers`
// threads.
void priceBoundedOrder(Payoff payoff, const BoundedBookModel& shared, const OptionColumns& book,
                       const std::vector<std::size_t>& order, double* prices, double* bounds,
                       std::size_t workers, const std::function<void()>& poll,
                       BoundKind kind, double tolerance = HUGE_VAL,
                       const double* tails = nullptr) {
  const SeriesLengths& lengths = shared.lengths();
  const auto optionWork = [&lengths](double T) {
    const double n = lengths(T) > 0 ? lengths(T) : 0;
    return (n + 1.0) * (n + 1.0);
  };
  // A maturity's bounded constants cost some options' work (O(n^2) each).
  const auto sliceWork = [&optionWork](double T) { return 8.0 * optionWork(T); };
  const auto segments = splitOrder(order, book.T, workers, 1, 0.0, optionWork, sliceWork);
  priceSegments(
      segments,
      [&](const BookSegment& segment) {
        return std::make_unique<BoundedBookPricer>(payoff, shared, book, segment.order,
                                                   segment.count, prices, bounds, kind,
                                                   tolerance, tails);
      },
      poll);
}

// Sorts a robust book's options (in maturity order) before any closed-form
// pass. Those whose truncation alone exceeds the tolerance (a series too
// short for the maturity) are marked in `toFourier`: no closed-form bound
// can settle them, and they go to the cosine series at once. The screen's sums
// alone err by some n u (S + K) (at best about 3 times that on the test
// books): a tolerance below 16 times that is hardly ever met by it, and those
// options get an infinite bound, so the full bound takes them at once. The
// rest are returned, for the screen. Both are rules of each option's own
// values, so the same for every worker count. `tails` gets each option's
// maturity's Poisson tails (2 per option), for the pricers to take.
std::vector<std::size_t> routeBeforePricing(const BoundedBookModel& shared,
                                            const OptionColumns& book,
                                            const std::vector<std::size_t>& order,
                                            double tolerance, double* bounds,
                                            bool* toFourier, double* tails) {
  const PinnedFloatingPoint pinned;  // the tails' and floors' bits as the pricers form them
  std::vector<std::size_t> screened;
  screened.reserve(order.size());
  double lastT = std::numeric_limits<double>::quiet_NaN();
  double floor = 0.0;
  double maturityTails[2] = {0.0, 0.0};
  for (const std::size_t i : order) {
    if (!(book.T[i] == lastT)) {
      lastT = book.T[i];
      const int terms = shared.lengths()(lastT);
      floor = kScreenFloor * std::max(terms, 1);
      shared.bounded().poissonTails(lastT, terms, maturityTails);
    }
    tails[2 * i] = maturityTails[0];
    tails[2 * i + 1] = maturityTails[1];
    toFourier[i] =
        BoundedKouModel::truncationFloor(maturityTails, lastT, book.K[i], book.S[i], book.r[i]) >
        tolerance;
    if (toFourier[i]) continue;
    if (tolerance >= floor * (book.S[i] + book.K[i])) {
      screened.push_back(i);
    } else {
      bounds[i] = HUGE_VAL;
    }
  }
  return screened;
}

}  // namespace

void priceBoundedBook(Payoff payoff, const KouModel& model, const OptionColumns& book,
                      double* prices, double* bounds, std::size_t workers,
                      const std::function<void()>& poll, BoundKind kind) {
  const BoundedBookModel shared(model, book);
  priceBoundedOrder(payoff, shared, book, maturityOrder(book.T, book.count), prices, bounds,
                    workers, poll, kind);
}

void priceFourierBook(Payoff payoff, const FourierModel& model, const OptionColumns& book,
                      double* prices, std::size_t workers, const std::function<void()>& poll) {
  const std::vector<std::size_t> order = maturityOrder(book.T, book.count);
  const auto segments = splitOrder(order, book.T, workers, 1, 0.0, [](double) { return 1.0; },
                                   [](double) { return kFourierSliceWork; });
  priceSegments(
      segments,
      [&](const BookSegment& segment) {
        return std::make_unique<FourierBookPricer>(payoff, model, book, segment.order,
                                                   segment.count, prices);
      },
      poll);
}

void priceRobustBook(Payoff payoff, const KouModel& model, const OptionColumns& book,
                     double tolerance, double* prices, double* bounds, bool* usedFourier,
                     std::size_t workers, const std::function<void()>& poll,
                     const double* extraBound) {
  const auto withExtra = [extraBound](std::size_t i, double bound) {
    return extraBound == nullptr ? bound : boundPlusExtra(bound, extraBound[i]);
  };
  // The screen settles the options it bounds within the tolerance; the
  // full bound, formed for the rest only, settles more. A NaN bound or
  // tolerance compares false: such options go on.
  const BoundedBookModel shared(model, book);
  const std::vector<std::size_t> order = maturityOrder(book.T, book.count);
  std::vector<double> tails(2 * book.count);
  const std::vector<std::size_t> screened =
      routeBeforePricing(shared, book, order, tolerance, bounds, usedFourier, tails.data());
  priceBoundedOrder(payoff, shared, book, screened, prices, bounds, workers, poll,
                    BoundKind::kScreen, tolerance, tails.data());
  // Still in maturity order: the same segments of maturities.
  std::vector<std::size_t> unsettled;
  for (const std::size_t i : order) {
    if (!usedFourier[i] && !(withExtra(i, bounds[i]) <= tolerance)) unsettled.push_back(i);
  }
  if (!unsettled.empty()) {
    priceBoundedOrder(payoff, shared, book, unsettled, prices, bounds, workers, poll,
                      BoundKind::kFull, HUGE_VAL, tails.data());
  }
  std::vector<std::size_t> indices;
  std::vector<double> T, K, S, r;
  for (std::size_t i = 0; i < book.count; ++i) {
    if (!usedFourier[i]) bounds[i] = withExtra(i, bounds[i]);
    const bool trusted = !usedFourier[i] && bounds[i] <= tolerance;
    usedFourier[i] = !trusted;
    if (trusted) continue;
    indices.push_back(i);
    T.push_back(book.T[i]);
    K.push_back(book.K[i]);
    S.push_back(book.S[i]);
    r.push_back(book.r[i]);
  }
  if (indices.empty()) return;
  std::vector<double> fourierPrices(indices.size());
  priceFourierBook(payoff, FourierModel{model.sigma, model.lam, model.p, model.eta1, model.eta2},
                   OptionColumns{T.data(), K.data(), S.data(), r.data(), indices.size()},
                   fourierPrices.data(), workers, poll);
  for (std::size_t j = 0; j < indices.size(); ++j) {
    const std::size_t i = indices[j];
    prices[i] = fourierPrices[j];
    bounds[i] = std::isnan(fourierPrices[j])
                    ? HUGE_VAL
                    : withExtra(i, kFourierAccuracy * (book.S[i] + book.K[i]));
  }
}

}  // namespace jdpricer
