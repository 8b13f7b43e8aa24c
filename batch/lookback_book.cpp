#include "batch/lookback_book.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "batch/maturity_order.hpp"
#include "batch/parallel_book.hpp"
#include "batch/passage_book.hpp"
#include "pricing/common/fp_environment.hpp"
#include "pricing/first_passage/lookback.hpp"

namespace jdpricer {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool onMaximum(LookbackKind kind) {
  return kind == LookbackKind::kFixedCall || kind == LookbackKind::kFloatingPut;
}
bool fixedStrike(LookbackKind kind) {
  return kind == LookbackKind::kFixedCall || kind == LookbackKind::kFixedPut;
}

class LookbackBookPricer {
 public:
  LookbackBookPricer(LookbackKind kind, const LookbackModel& model,
                     const LookbackColumns& options, const std::size_t* order, std::size_t count,
                     double* prices, double* delta, double* gamma)
      : kind_(kind), model_(model), options_(options), order_(order), count_(count),
        prices_(prices), delta_(delta), gamma_(gamma) {}

  std::size_t suggestedChunk() const { return 256; }

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
  const PassageSlice& sliceFor(double T, double r, double q) {
    if (cache_.holds(T, r, q)) return cache_.slice();
    const LookbackModel& m = model_;
    const PassageModel upward = upwardLaw(r, q, m.sigma, m.lam, m.p, m.eta1, m.eta2);
    // The maximum's integral has its pole at s = r - q.
    const bool up = onMaximum(kind_);
    PassageSlice& slice = cache_.rebuild(T, r, q);
    buildPassageSlice(up ? upward : upward.mirrored(), T, 0.0, kPassageNodes, slice,
                      up ? r - q : 0.0);
    return slice;
  }

  // The price with its derivatives in ln S; the derivatives only when asked.
  Jet<double> value(std::size_t i, bool withDerivatives) {
    const Jet<double> nan{kNaN, kNaN, kNaN};
    const OptionColumns& book = options_.book;
    const bool fixed = fixedStrike(kind_), up = onMaximum(kind_);
    const double T = book.T[i], S = book.S[i], r = book.r[i], q = options_.q[i];
    const double K = fixed ? book.K[i] : 0.0, E = options_.extremum[i];
    const bool strikeOk = !fixed || (K > 0.0 && std::isfinite(K));
    const bool extremumOk = E > 0.0 && std::isfinite(E) && (up ? E >= S : E <= S);
    const LookbackModel& m = model_;
    if (!(T >= 0.0 && S > 0.0 && std::isfinite(S)) || std::isnan(r) || std::isnan(q) ||
        !strikeOk || !extremumOk || !kouLawInDomain(r, q, m.sigma, m.lam, m.p, m.eta1, m.eta2)) {
      return nan;
    }
    const double e = up ? 1.0 : -1.0;
    const double discount = std::exp(-r * T);
    // The log-level above which the payoff grows, in the law's variable.
    double L = up ? std::log(E / S) : std::log(S / E);
    if (fixed) L = std::max(L, up ? std::log(K / S) : std::log(S / K));
    Jet<double> J = constantJet(0.0);
    if (!(T < kShortestTransformMaturity)) {
      const PassageSlice& slice = sliceFor(T, r, q);
      J = withDerivatives ? levelIntegralJet(slice, L, -e, e)
                          : constantJet(levelIntegral(slice, L, e));
      if (std::isnan(J.v)) return nan;
    }
    const Jet<double> spot{S, S, S};
    const Jet<double> levels = spot * J;
    Jet<double> price;
    switch (kind_) {
      case LookbackKind::kFixedCall:
        price = discount * (std::max(E - K, 0.0) + levels);
        break;
      case LookbackKind::kFixedPut:
        price = discount * (std::max(K - E, 0.0) + levels);
        break;
      case LookbackKind::kFloatingPut:
        price = discount * (E + levels) - spot * std::exp(-q * T);
        break;
      case LookbackKind::kFloatingCall:
        price = spot * std::exp(-q * T) - discount * (E - levels);
        break;
    }
    // Not negative; the inversion may take a value that is 0 below it by
    // its error (the derivatives are the transform's).
    if (price.v < 0.0) price.v = 0.0;
    return price;
  }

  LookbackKind kind_;
  LookbackModel model_;
  LookbackColumns options_;
  const std::size_t* order_;
  std::size_t count_;
  double* prices_;
  double* delta_;
  double* gamma_;
  std::size_t next_ = 0;
  SliceCache<PassageSlice> cache_;  // the slice last built
};

}  // namespace

void priceLookbackBook(LookbackKind kind, const LookbackModel& model,
                       const LookbackColumns& options, double* prices, std::size_t workers,
                       const std::function<void()>& poll, double* delta, double* gamma) {
  const OptionColumns& book = options.book;
  const std::vector<std::size_t> order = maturityOrder(book.T, book.count);
  // A slice (some hundred root steps) costs about forty options.
  const auto segments = splitOrder(
      order, book.T, workers, 16, 4096.0, [](double) { return 1.0; },
      [](double) { return 40.0; });
  priceSegments(
      segments,
      [&](const BookSegment& segment) {
        return std::make_unique<LookbackBookPricer>(kind, model, options, segment.order,
                                                    segment.count, prices, delta, gamma);
      },
      poll);
}

}  // namespace jdpricer
