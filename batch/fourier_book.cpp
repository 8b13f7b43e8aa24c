#include "batch/fourier_book.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

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
      const std::size_t needed =
          fourierWorkspaceDoubles(book_.T[i], m.sigma, m.lam, m.p, m.eta1, m.eta2);
      if (workspace_.size() < needed) workspace_.resize(needed);
      slice_ = FourierSlice(book_.T[i], m.sigma, m.lam, m.p, m.eta1, m.eta2, workspace_.data(),
                            workspace_.size());
      haveSlice_ = true;
      work += kSliceWorkPerTerm * static_cast<std::size_t>(slice_.terms());
    }
    prices_[i] = payoff_ == Payoff::kCall ? slice_.call(book_.S[i], book_.K[i], book_.r[i])
                                      : slice_.put(book_.S[i], book_.K[i], book_.r[i]);
    work += 1 + static_cast<std::size_t>(slice_.terms());
    ++next_;
  }
  return next_ < count_;
}

}  // namespace jdpricer
