#include "batch/barrier_book.hpp"

#include "pricing/first_passage/first_passage.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "batch/book_pricer.hpp"
#include "batch/dividend_yield.hpp"
#include "batch/maturity_order.hpp"
#include "batch/parallel_book.hpp"
#include "pricing/common/fp_environment.hpp"

namespace jdpricer {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool isUp(BarrierKind kind) {
  return kind == BarrierKind::kUpAndOut || kind == BarrierKind::kUpAndIn;
}
bool isOut(BarrierKind kind) {
  return kind == BarrierKind::kUpAndOut || kind == BarrierKind::kDownAndOut;
}

// Prices the options of one segment of the maturity order. Breached
// knock-ins are left for the closed form: marked in `vanilla`.
class BarrierBookPricer {
 public:
  BarrierBookPricer(Payoff payoff, BarrierKind kind, const BarrierModel& model,
                    const BarrierColumns& options, const std::size_t* order, std::size_t count,
                    double* prices, unsigned char* vanilla)
      : payoff_(payoff), kind_(kind), model_(model), options_(options), order_(order),
        count_(count), prices_(prices), vanilla_(vanilla) {}

  std::size_t suggestedChunk() const { return 64; }

  bool priceNext(std::size_t maxOptions) {
    const PinnedFloatingPoint pinned;
    const std::size_t end = std::min(count_, next_ + maxOptions);
    for (; next_ < end; ++next_) {
      const std::size_t i = order_[next_];
      prices_[i] = value(i);
    }
    return next_ < count_;
  }

 private:
  struct Cached {
    bool built = false;
    double T = 0.0, r = 0.0, q = 0.0;
    BarrierSlice slice;
  };

  const BarrierSlice& sliceFor(double T, double r, double q) {
    if (cached_.built && sameBits(cached_.T, T) && sameBits(cached_.r, r) &&
        sameBits(cached_.q, q)) {
      return cached_.slice;
    }
    const BarrierModel& m = model_;
    const PassageModel upward{riskNeutralDrift(r, q, m.sigma, m.lam, m.p, m.eta1, m.eta2),
                              m.sigma, m.lam, m.p, m.eta1, m.eta2};
    buildBarrierSlice(isUp(kind_) ? upward : upward.mirrored(), T, r, q, kBarrierNodes,
                      cached_.slice);
    cached_.built = true;
    cached_.T = T;
    cached_.r = r;
    cached_.q = q;
    return cached_.slice;
  }

  double value(std::size_t i) {
    const OptionColumns& book = options_.book;
    const double T = book.T[i], K = book.K[i], S = book.S[i], r = book.r[i];
    const double H = options_.H[i], q = options_.q[i], rebate = options_.rebate[i];
    if (!(T >= 0.0 && K > 0.0 && H > 0.0 && S > 0.0) || std::isnan(r) || std::isnan(q) ||
        std::isnan(rebate)) {
      return kNaN;
    }
    const bool up = isUp(kind_), out = isOut(kind_);
    if (up ? S >= H : S <= H) {
      if (out) return rebate;
      vanilla_[i] = 1;
      return kNaN;
    }
    const double level = up ? std::log(H / S) : std::log(S / H);
    switch (T == 0.0 ? ShortMaturity::kInstantLimit : shortMaturity(T, level, model_.sigma)) {
      case ShortMaturity::kInstantLimit:
        if (!out) return rebate;
        return payoff_ == Payoff::kCall ? std::max(S - K, 0.0) : std::max(K - S, 0.0);
      case ShortMaturity::kUnresolved: return kNaN;
      case ShortMaturity::kTransform: break;
    }
    const BarrierTerms terms =
        barrierTerms(sliceFor(T, r, q),
                     payoff_ == Payoff::kCall ? BarrierPayoff::kCall : BarrierPayoff::kPut, level,
                     S, K, up ? 1.0 : -1.0,
                     (out ? kKnockOut : kKnockIn) |
                         (rebate == 0.0 ? 0u : out ? kHitValue : kNoHitValue));
    // The options' values are not negative; the inversion may leave them
    // below 0 by its error where they are 0. A rebate of 0 adds nothing,
    // even where its transform is not finite.
    const double raw = out ? terms.knockOut : terms.knockIn;
    const double option = raw < 0.0 ? 0.0 : raw;  // NaN stays NaN
    if (rebate == 0.0 || std::isnan(option)) return option;
    return option + rebate * (out ? terms.hitValue : terms.noHitValue);
  }

  Payoff payoff_;
  BarrierKind kind_;
  BarrierModel model_;
  BarrierColumns options_;
  const std::size_t* order_;
  std::size_t count_;
  double* prices_;
  unsigned char* vanilla_;
  std::size_t next_ = 0;
  Cached cached_;
};

}  // namespace

void priceBarrierBook(Payoff payoff, BarrierKind kind, const BarrierModel& model,
                      const BarrierColumns& options, double* prices, std::size_t workers,
                      const std::function<void()>& poll) {
  const OptionColumns& book = options.book;
  std::vector<unsigned char> vanilla(book.count, 0);
  const std::vector<std::size_t> order = maturityOrder(book.T, book.count);
  // A slice (the roots at 16 nodes) costs about thirty options.
  const auto segments = splitOrder(
      order, book.T, workers, 16, 2048.0, [](double) { return 1.0; },
      [](double) { return 30.0; });
  priceSegments(
      segments,
      [&](const BookSegment& segment) {
        return std::make_unique<BarrierBookPricer>(payoff, kind, model, options, segment.order,
                                                   segment.count, prices, vanilla.data());
      },
      poll);
  // Breached knock-ins: the European option at the spot net of dividends.
  std::vector<std::size_t> breached;
  for (std::size_t i = 0; i < book.count; ++i) {
    if (vanilla[i]) breached.push_back(i);
  }
  if (breached.empty()) return;
  std::vector<double> T, K, S, r, q;
  for (const std::size_t i : breached) {
    T.push_back(book.T[i]);
    K.push_back(book.K[i]);
    S.push_back(book.S[i]);
    r.push_back(book.r[i]);
    q.push_back(options.q[i]);
  }
  std::vector<double> netSpots, european(breached.size());
  const OptionColumns sub{T.data(), K.data(), S.data(), r.data(), breached.size()};
  priceBook(payoff, KouModel{model.sigma, model.lam, model.p, model.eta1, model.eta2, 0, true},
            spotsNetOfDividends(sub, q.data(), netSpots), european.data(), workers, poll);
  for (std::size_t j = 0; j < breached.size(); ++j) prices[breached[j]] = european[j];
}

}  // namespace jdpricer
