#include "batch/fourier_book.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "batch/maturity_order.hpp"
#include "pricing/fp_environment.hpp"

namespace jdpricer {

namespace {

// Work of one priceNext call, in cosine terms summed (a few nanoseconds
// each): about a millisecond.
constexpr std::size_t kWorkPerStep = std::size_t{1} << 18;
// Building a slice costs an exp and a cos per term, some ten terms' summing.
constexpr std::size_t kSliceWorkPerTerm = 10;

}  // namespace

FourierBookPricer::FourierBookPricer(Payoff payoff, const FourierModel& model, const double* T,
                                     const double* K, const double* S, const double* r,
                                     std::size_t count, double* prices)
    : payoff_(payoff), model_(model), T_(T), K_(K), S_(S), r_(r), prices_(prices),
      order_(maturityOrder(T, count)) {}

bool FourierBookPricer::priceNext() {
  const PinnedFloatingPoint pinned;
  const FourierModel& m = model_;
  std::size_t work = 0;
  while (next_ < order_.size() && work < kWorkPerStep) {
    const std::size_t i = order_[next_];
    if (!haveSlice_ || maturityKey(T_[i]) != maturityKey(T_[order_[next_ - 1]])) {
      const std::size_t needed =
          fourierWorkspaceDoubles(T_[i], m.sigma, m.lam, m.p, m.eta1, m.eta2);
      if (workspace_.size() < needed) workspace_.resize(needed);
      slice_ = FourierSlice(T_[i], m.sigma, m.lam, m.p, m.eta1, m.eta2, workspace_.data(),
                            workspace_.size());
      haveSlice_ = true;
      work += kSliceWorkPerTerm * static_cast<std::size_t>(slice_.terms());
    }
    prices_[i] = payoff_ == Payoff::kCall ? slice_.call(S_[i], K_[i], r_[i])
                                      : slice_.put(S_[i], K_[i], r_[i]);
    work += 1 + static_cast<std::size_t>(slice_.terms());
    ++next_;
  }
  return next_ < order_.size();
}

}  // namespace jdpricer
