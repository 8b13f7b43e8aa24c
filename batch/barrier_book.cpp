#include "batch/barrier_book.hpp"

#include "pricing/first_passage/first_passage.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "batch/book_pricer.hpp"
#include "batch/european_subset.hpp"
#include "batch/maturity_order.hpp"
#include "batch/parallel_book.hpp"
#include "batch/passage_book.hpp"
#include "pricing/common/fp_environment.hpp"

namespace jdpricer {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

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
                    double* prices, unsigned char* vanilla, double* delta, double* gamma)
      : payoff_(payoff), kind_(kind), model_(model), options_(options), order_(order),
        count_(count), prices_(prices), vanilla_(vanilla), delta_(delta), gamma_(gamma) {}

  std::size_t suggestedChunk() const { return 64; }

  bool priceNext(std::size_t maxOptions) {
    const PinnedFloatingPoint pinned;
    const std::size_t end = std::min(count_, next_ + maxOptions);
    for (; next_ < end; ++next_) {
      const std::size_t i = order_[next_];
      writeValue(value(i, delta_ != nullptr), options_.book.S[i], i, prices_, delta_, gamma_);
    }
    return next_ < count_;
  }

 private:
  const BarrierSlice& sliceFor(double T, double r, double q) {
    if (cache_.holds(T, r, q)) return cache_.slice();
    const BarrierModel& m = model_;
    const PassageModel upward = upwardLaw(r, q, m.sigma, m.lam, m.p, m.eta1, m.eta2);
    BarrierSlice& slice = cache_.rebuild(T, r, q);
    buildBarrierSlice(isUp(kind_) ? upward : upward.mirrored(), T, r, q, kBarrierNodes, slice);
    return slice;
  }

  // The price with its derivatives in ln S (0 where it does not move with
  // the spot); the derivatives only when asked.
  Jet<double> value(std::size_t i, bool withDerivatives) {
    const Jet<double> nan{kNaN, kNaN, kNaN};
    const OptionColumns& book = options_.book;
    const double T = book.T[i], K = book.K[i], S = book.S[i], r = book.r[i];
    const double H = options_.H[i], q = options_.q[i], rebate = options_.rebate[i];
    const BarrierModel& m = model_;
    if (!(T >= 0.0 && K > 0.0 && H > 0.0 && S > 0.0) || std::isnan(r) || std::isnan(q) ||
        std::isnan(rebate) || !kouLawInDomain(r, q, m.sigma, m.lam, m.p, m.eta1, m.eta2)) {
      return nan;
    }
    const bool up = isUp(kind_), out = isOut(kind_);
    if (up ? S >= H : S <= H) {
      if (out) return constantJet(rebate);
      vanilla_[i] = 1;
      return nan;
    }
    const double level = up ? std::log(H / S) : std::log(S / H);
    switch (T == 0.0 ? ShortMaturity::kInstantLimit : shortMaturity(T, level, model_.sigma)) {
      case ShortMaturity::kInstantLimit:
        if (!out) return constantJet(rebate);
        // The payoff: S - K moves with S as S does in ln S.
        if (payoff_ == Payoff::kCall) return S > K ? Jet<double>{S - K, S, S} : constantJet(0.0);
        return K > S ? Jet<double>{K - S, -S, -S} : constantJet(0.0);
      case ShortMaturity::kUnresolved: return nan;
      case ShortMaturity::kTransform: break;
    }
    const BarrierSlice& slice = sliceFor(T, r, q);
    const BarrierPayoff payoff =
        payoff_ == Payoff::kCall ? BarrierPayoff::kCall : BarrierPayoff::kPut;
    const unsigned wanted =
        (out ? kKnockOut : kKnockIn) | (rebate == 0.0 ? 0u : out ? kHitValue : kNoHitValue);
    const double sign = up ? 1.0 : -1.0;
    Jet<double> raw, rebateTerm;
    if (withDerivatives) {
      const BarrierTermJets terms = barrierTermJets(slice, payoff, level, S, K, sign, wanted);
      raw = out ? terms.knockOut : terms.knockIn;
      rebateTerm = out ? terms.hitValue : terms.noHitValue;
    } else {
      const BarrierTerms terms = barrierTerms(slice, payoff, level, S, K, sign, wanted);
      raw = constantJet(out ? terms.knockOut : terms.knockIn);
      rebateTerm = constantJet(out ? terms.hitValue : terms.noHitValue);
    }
    // The options' values are not negative; the inversion may leave them
    // below 0 by its error where they are 0 (the derivatives are the
    // transform's). A rebate of 0 adds nothing, even where its transform is
    // not finite.
    const double option = raw.v < 0.0 ? 0.0 : raw.v;  // NaN stays NaN
    if (std::isnan(option)) return nan;
    if (rebate == 0.0) return {option, raw.d, raw.dd};
    return {option + rebate * rebateTerm.v, raw.d + rebate * rebateTerm.d,
            raw.dd + rebate * rebateTerm.dd};
  }

  Payoff payoff_;
  BarrierKind kind_;
  BarrierModel model_;
  BarrierColumns options_;
  const std::size_t* order_;
  std::size_t count_;
  double* prices_;
  unsigned char* vanilla_;
  double* delta_;
  double* gamma_;
  std::size_t next_ = 0;
  SliceCache<BarrierSlice> cache_;  // the slice last built
};

}  // namespace

void priceBarrierBook(Payoff payoff, BarrierKind kind, const BarrierModel& model,
                      const BarrierColumns& options, double* prices, std::size_t workers,
                      const std::function<void()>& poll, double* delta, double* gamma) {
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
                                                   segment.count, prices, vanilla.data(),
                                                   delta, gamma);
      },
      poll);
  // Breached knock-ins: the European option at the spot net of dividends.
  std::vector<std::size_t> breached;
  for (std::size_t i = 0; i < book.count; ++i) {
    if (vanilla[i]) breached.push_back(i);
  }
  const std::size_t count = breached.size();
  std::vector<double> european(count), europeanDelta(delta != nullptr ? count : 0),
      europeanGamma(europeanDelta.size());
  priceEuropeanSubset(payoff, KouModel{model.sigma, model.lam, model.p, model.eta1, model.eta2, 0, true},
                      book, options.q, breached, european.data(), workers, poll,
                      delta != nullptr ? europeanDelta.data() : nullptr, europeanGamma.data());
  for (std::size_t j = 0; j < count; ++j) {
    prices[breached[j]] = european[j];
    if (delta != nullptr) {
      delta[breached[j]] = europeanDelta[j];
      gamma[breached[j]] = europeanGamma[j];
    }
  }
}

}  // namespace jdpricer
