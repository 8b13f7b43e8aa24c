#include "batch/fourier_book.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cmath>
#include <limits>

#include "batch/maturity_order.hpp"
#include "pricing/common/fp_environment.hpp"

namespace jdpricer {

namespace {

// Work of one priceNext call, in cosine terms summed (a few nanoseconds
// each): about a millisecond.
constexpr std::size_t kWorkPerStep = std::size_t{1} << 18;
// Building a slice costs an exp and a cos per term, some ten terms' summing.
constexpr std::size_t kSliceWorkPerTerm = 10;

}  // namespace

FourierBookPricer::FourierBookPricer(Payoff payoff, const FourierModel& model,
                                     const OptionColumns& book, double* prices)
    : payoff_(payoff), model_(model), book_(book), prices_(prices),
      ownedOrder_(maturityOrder(book.T, book.count)), order_(ownedOrder_.data()),
      count_(book.count) {}

FourierBookPricer::FourierBookPricer(Payoff payoff, const FourierModel& model,
                                     const OptionColumns& book, const std::size_t* order,
                                     std::size_t count, double* prices)
    : payoff_(payoff), model_(model), book_(book), prices_(prices), order_(order),
      count_(count) {}

std::size_t FourierBookPricer::suggestedChunk() const { return kWorkPerStep; }

bool FourierBookPricer::priceNext(std::size_t maxWork) {
  const PinnedFloatingPoint pinned;
  const FourierModel& m = model_;
  std::size_t work = 0;
  while (next_ < count_ && work < maxWork) {
    const std::size_t i = order_[next_];
    if (!haveSlice_ || maturityKey(book_.T[i]) != maturityKey(book_.T[order_[next_ - 1]])) {
      if (m.sigma == 0.0) {
        pureJumps_ = PureJumpSlice(book_.T[i], m.lam, m.p, m.eta1, m.eta2);
        work += kSliceWorkPerTerm * static_cast<std::size_t>(pureJumps_.terms() + 1) *
                static_cast<std::size_t>(pureJumps_.terms() + 1);
      } else {
        closedFormMaturityBuilt_ = false;
        const std::size_t needed =
            fourierWorkspaceDoubles(book_.T[i], m.sigma, m.lam, m.p, m.eta1, m.eta2);
        if (workspace_.size() < needed) workspace_.resize(needed);
        slice_ = FourierSlice(book_.T[i], m.sigma, m.lam, m.p, m.eta1, m.eta2,
                              workspace_.data(), workspace_.size());
        work += kSliceWorkPerTerm * static_cast<std::size_t>(slice_.terms());
      }
      haveSlice_ = true;
    }
    const bool call = payoff_ == Payoff::kCall;
    if (m.sigma == 0.0) {
      prices_[i] = call ? pureJumps_.call(book_.S[i], book_.K[i], book_.r[i])
                        : pureJumps_.put(book_.S[i], book_.K[i], book_.r[i]);
      work += 1 + 1000 * static_cast<std::size_t>(pureJumps_.terms());
    } else if (slice_.valid()) {
      prices_[i] = call ? slice_.call(book_.S[i], book_.K[i], book_.r[i])
                        : slice_.put(book_.S[i], book_.K[i], book_.r[i]);
      work += 1 + static_cast<std::size_t>(slice_.terms());
    } else {
      prices_[i] = closedForm(i);
      work += 1000;
    }
    ++next_;
  }
  return next_ < count_;
}

double FourierBookPricer::closedForm(std::size_t i) {
  const FourierModel& m = model_;
  const double T = book_.T[i], S = book_.S[i], K = book_.K[i], r = book_.r[i];
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // Only the maturities the series cannot take for its length; inputs
  // outside the domain stay NaN.
  if (fourierTermCount(T, m.sigma, m.lam, m.p, m.eta1, m.eta2) != 0 ||
      !(T > 0.0 && std::isfinite(T) && m.sigma > 0.0 && std::isfinite(m.sigma) &&
        m.lam >= 0.0 && std::isfinite(m.lam) && m.p >= 0.0 && m.p <= 1.0 && m.eta1 > 1.0 &&
        std::isfinite(m.eta1) && m.eta2 > 0.0 && std::isfinite(m.eta2))) {
    return nan;
  }
  if (!closedFormMaturityBuilt_) {
    // Terms: both series' Poisson tails (means (1 + zeta) lam T and lam T)
    // far below the accuracy asked for.
    const double zeta = (m.p * m.eta1 / (m.eta1 - 1.0) + (1.0 - m.p) * m.eta2 / (m.eta2 + 1.0)) - 1.0;
    const double mean = std::fmax(1.0 + zeta, 1.0) * m.lam * T;
    int terms = 1;
    while (terms < kMaxSeriesTerms && poissonTailAbove(mean, terms) > 1e-18) ++terms;
    if (terms != closedFormTerms_) {
      closedFormTerms_ = terms;
      closedFormStorage_.assign(BoundedKouModel::modelDoubles(terms) +
                                    BoundedKouModel::maturityDoubles(terms),
                                0.0);
      closedFormModel_ = std::make_unique<BoundedKouModel>(m.sigma, m.lam, m.p, m.eta1, m.eta2,
                                                           terms, closedFormStorage_.data());
      if (!closedFormMaturity_) closedFormMaturity_ = std::make_unique<BoundedKouModel::Maturity>();
    }
    closedFormModel_->buildMaturity(
        T, terms, closedFormStorage_.data() + BoundedKouModel::modelDoubles(terms), *closedFormMaturity_);
    closedFormMaturityBuilt_ = true;
  }
  double price, bound;
  closedFormModel_->priceLanes(*closedFormMaturity_, payoff_ == Payoff::kCall, &K, &S, &r, 1,
                               &price, &bound);
  return bound <= kFourierAccuracy * (S + K) ? price : nan;
}

}  // namespace jdpricer
