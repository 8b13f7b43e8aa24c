#include "batch/bound_book.hpp"

#include <algorithm>
#include <cmath>

#include "pricing/common/fp_environment.hpp"

namespace jdpricer {

BoundedBookPricer::BoundedBookPricer(Payoff payoff, const KouModel& model,
                                     const OptionColumns& book, double* prices, double* bounds)
    : payoff_(payoff),
      book_(book),
      prices_(prices),
      bounds_(bounds),
      lengths_(model) {
  const int longest = lengths_.longest(book.T, book.count);
  terms_ = longest > 0 && longest <= kMaxSeriesTerms ? longest : 0;
  storage_.resize(BoundedKouModel::storageDoubles(longest));
  const PinnedFloatingPoint pinned;
  model_ = std::make_unique<BoundedKouModel>(model.sigma, model.lam, model.p, model.eta1,
                                             model.eta2, longest, storage_.data());
}

bool BoundedBookPricer::priceNext(std::size_t maxOptions) {
  const PinnedFloatingPoint pinned;
  const std::size_t end = std::min(book_.count, next_ + maxOptions);
  for (; next_ < end; ++next_) {
    const std::size_t i = next_;
    const double T = book_.T[i];
    const int n = lengths_(T);
    const PriceAndBound result = payoff_ == Payoff::kCall
                                     ? model_->call(T, book_.K[i], book_.S[i], book_.r[i], n)
                                     : model_->put(T, book_.K[i], book_.S[i], book_.r[i], n);
    prices_[i] = result.price;
    bounds_[i] = result.bound;
  }
  return next_ < book_.count;
}

std::size_t BoundedBookPricer::suggestedChunk() const {
  const std::size_t terms = static_cast<std::size_t>(terms_) + 1;
  return std::max<std::size_t>(1, (std::size_t{1} << 15) / (terms * terms));
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
