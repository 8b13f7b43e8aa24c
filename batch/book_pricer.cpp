#include "batch/book_pricer.hpp"

#include <algorithm>
#include <cstring>

#include "pricing/options.hpp"

namespace jdpricer {

namespace {

std::uint64_t bitsOf(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits;
}

}  // namespace

BookPricer::BookPricer(Payoff payoff, const KouModel& model, const OptionColumns& book,
                       double* prices)
    : payoff_(payoff), model_(model), book_(book), prices_(prices), order_(book.count) {
  for (std::size_t i = 0; i < book.count; ++i) order_[i] = i;
  std::stable_sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) {
    return bitsOf(book.T[a]) < bitsOf(book.T[b]);
  });
}

bool BookPricer::priceNext(std::size_t maxOptions) {
  const std::size_t end = std::min(order_.size(), next_ + maxOptions);
  for (; next_ < end; ++next_) {
    const std::size_t i = order_[next_];
    const KouModel& m = model_;
    prices_[i] = payoff_ == Payoff::kCall
                     ? EuropeanCall(book_.T[i], book_.K[i])
                           .priceByKouJumpDiffusion(book_.S[i], book_.r[i], m.sigma, m.lam, m.p,
                                                    m.eta1, m.eta2, m.n)
                     : EuropeanPut(book_.T[i], book_.K[i])
                           .priceByKouJumpDiffusion(book_.S[i], book_.r[i], m.sigma, m.lam, m.p,
                                                    m.eta1, m.eta2, m.n);
  }
  return next_ < order_.size();
}

std::size_t BookPricer::suggestedChunk() const {
  const std::size_t terms = model_.n > 0 && model_.n <= 170 ? model_.n + 1 : 1;
  return std::max<std::size_t>(8, (std::size_t{1} << 20) / (terms * terms));
}

std::size_t BookPricer::storageBytes() const {
  return order_.capacity() * sizeof(std::size_t);
}

}  // namespace jdpricer
