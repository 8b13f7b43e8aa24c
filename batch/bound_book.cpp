#include "batch/bound_book.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "batch/maturity_order.hpp"

#include "pricing/common/fp_environment.hpp"

namespace jdpricer {

BoundedBookPricer::BoundedBookPricer(Payoff payoff, const KouModel& model,
                                     const OptionColumns& book, double* prices, double* bounds)
    : payoff_(payoff),
      book_(book),
      prices_(prices),
      bounds_(bounds),
      terms_(model.n > 0 && model.n <= kMaxSeriesTerms ? model.n : 0),
      storage_(BoundedKouModel::storageDoubles(model.n)),
      order_(maturityOrder(book.T, book.count)) {
  const PinnedFloatingPoint pinned;
  model_ = std::make_unique<BoundedKouModel>(model.sigma, model.lam, model.p, model.eta1,
                                             model.eta2, model.n, storage_.data());
  maturity_ = std::make_unique<BoundedKouModel::Maturity>();
}

BoundedBookPricer::~BoundedBookPricer() = default;

bool BoundedBookPricer::priceNext(std::size_t maxOptions) {
  const PinnedFloatingPoint pinned;
  const std::size_t end = std::min(order_.size(), next_ + maxOptions);
  if (model_->pricesAreNaN()) {
    // tgamma overflows from 171! on: the closed form is NaN for every input.
    for (; next_ < end; ++next_) {
      prices_[order_[next_]] = std::numeric_limits<double>::quiet_NaN();
      bounds_[order_[next_]] = HUGE_VAL;
    }
    return next_ < order_.size();
  }
  double* maturityStorage = storage_.data() + BoundedKouModel::modelDoubles(terms_);
  while (next_ < end) {
    if (next_ == sliceEnd_) {
      const std::uint64_t key = maturityKey(book_.T[order_[next_]]);
      sliceEnd_ = next_ + 1;
      while (sliceEnd_ < order_.size() && maturityKey(book_.T[order_[sliceEnd_]]) == key) {
        ++sliceEnd_;
      }
      model_->buildMaturity(book_.T[order_[next_]], maturityStorage, *maturity_);
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
    model_->priceLanes(*maturity_, payoff_ == Payoff::kCall, K, S, r, count, prices, bounds);
    for (int l = 0; l < count; ++l) {
      prices_[order_[next_ + l]] = prices[l];
      bounds_[order_[next_ + l]] = bounds[l];
    }
    next_ += static_cast<std::size_t>(count);
  }
  return next_ < order_.size();
}

std::size_t BoundedBookPricer::suggestedChunk() const {
  const std::size_t terms = static_cast<std::size_t>(terms_) + 1;
  return std::max<std::size_t>(kBatchLanes, (std::size_t{1} << 19) / (terms * terms));
}

RobustBookPricer::RobustBookPricer(Payoff payoff, const KouModel& model,
                                   const OptionColumns& book, double tolerance, double* prices,
                                   double* bounds, bool* usedFourier)
    : payoff_(payoff),
      model_(model),
      book_(book),
      tolerance_(tolerance),
      prices_(prices),
      bounds_(bounds),
      usedFourier_(usedFourier),
      closedForm_(payoff, model, book, prices, bounds) {}

void RobustBookPricer::startFourier() {
  for (std::size_t i = 0; i < book_.count; ++i) {
    // A NaN bound or tolerance compares false: such options go to the series.
    const bool trusted = bounds_[i] <= tolerance_;
    usedFourier_[i] = !trusted;
    if (trusted) continue;
    fourierIndices_.push_back(i);
    fourierT_.push_back(book_.T[i]);
    fourierK_.push_back(book_.K[i]);
    fourierS_.push_back(book_.S[i]);
    fourierR_.push_back(book_.r[i]);
  }
  fourierPrices_.resize(fourierIndices_.size());
  fourier_ = std::make_unique<FourierBookPricer>(
      payoff_,
      FourierModel{model_.sigma, model_.lam, model_.p, model_.eta1, model_.eta2},
      OptionColumns{fourierT_.data(), fourierK_.data(), fourierS_.data(), fourierR_.data(),
                    fourierIndices_.size()},
      fourierPrices_.data());
}

bool RobustBookPricer::priceNext(std::size_t maxOptions) {
  if (!closedFormDone_) {
    if (closedForm_.priceNext(maxOptions)) return true;
    closedFormDone_ = true;
    startFourier();
    return true;
  }
  if (fourier_->priceNext()) return true;
  for (std::size_t j = 0; j < fourierIndices_.size(); ++j) {
    const std::size_t i = fourierIndices_[j];
    prices_[i] = fourierPrices_[j];
    bounds_[i] = std::isnan(fourierPrices_[j]) ? HUGE_VAL
                                               : kFourierAccuracy * (book_.S[i] + book_.K[i]);
  }
  return false;
}

}  // namespace jdpricer
