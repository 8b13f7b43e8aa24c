#include "batch/touch_book.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "batch/maturity_order.hpp"
#include "batch/parallel_book.hpp"
#include "pricing/common/fp_environment.hpp"

namespace jdpricer {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

TouchBookPricer::TouchBookPricer(TouchKind kind, const TouchModel& model,
                                 const OptionColumns& book, const double* q,
                                 const std::size_t* order, std::size_t count, double* values,
                                 double* delta, double* gamma)
    : kind_(kind), model_(model), book_(book), q_(q), order_(order), count_(count),
      values_(values), delta_(delta), gamma_(gamma) {}

const PassageSlice& TouchBookPricer::sliceFor(bool up, double T, double r, double q) {
  SliceCache<PassageSlice>& cache = up ? up_ : down_;
  if (cache.holds(T, r, q)) return cache.slice();
  const TouchModel& m = model_;
  const PassageModel upward = upwardLaw(r, q, m.sigma, m.lam, m.p, m.eta1, m.eta2);
  const double shift = kind_ == TouchKind::kOneTouchAtHit ? r : 0.0;
  PassageSlice& slice = cache.rebuild(T, r, q);
  buildPassageSlice(up ? upward : upward.mirrored(), T, shift, kPassageNodes, slice);
  return slice;
}

Jet<double> TouchBookPricer::value(std::size_t i, bool withDerivatives) {
  const double T = book_.T[i], H = book_.K[i], S = book_.S[i], r = book_.r[i], q = q_[i];
  const TouchModel& m = model_;
  if (!(T >= 0.0 && H > 0.0 && S > 0.0) || std::isnan(r) || std::isnan(q) ||
      !kouLawInDomain(r, q, m.sigma, m.lam, m.p, m.eta1, m.eta2)) {
    return Jet<double>{kNaN, kNaN, kNaN};
  }
  const bool atHit = kind_ == TouchKind::kOneTouchAtHit;
  const double discount = std::exp(-r * T);
  if (H == S) return constantJet(atHit ? 1.0 : kind_ == TouchKind::kOneTouchAtExpiry ? discount : 0.0);
  const bool up = H > S;
  const double level = up ? std::log(H / S) : std::log(S / H);
  switch (T == 0.0 ? ShortMaturity::kInstantLimit : shortMaturity(T, level, model_.sigma)) {
    case ShortMaturity::kInstantLimit: return constantJet(kind_ == TouchKind::kNoTouch ? discount : 0.0);
    case ShortMaturity::kUnresolved: return Jet<double>{kNaN, kNaN, kNaN};
    case ShortMaturity::kTransform: break;
  }
  const PassageSlice& slice = sliceFor(up, T, r, q);
  const Jet<double> passage = withDerivatives ? passageJet(slice, level, up ? -1.0 : 1.0)
                                              : constantJet(passageValue(slice, level));
  if (std::isnan(passage.v)) return Jet<double>{kNaN, kNaN, kNaN};
  // The values are clamped into their range, which the inversion may leave
  // by its error; the derivatives are the transform's.
  if (atHit) {
    // Within [0, 1], or [0, e^(-rT)] where the rate is negative.
    return {std::min(std::max(1.0, discount), std::max(0.0, passage.v)), passage.d, passage.dd};
  }
  const double probability = std::min(1.0, std::max(0.0, passage.v));
  if (kind_ == TouchKind::kOneTouchAtExpiry) {
    return {discount * probability, discount * passage.d, discount * passage.dd};
  }
  return {discount * (1.0 - probability), -(discount * passage.d), -(discount * passage.dd)};
}

bool TouchBookPricer::priceNext(std::size_t maxOptions) {
  const PinnedFloatingPoint pinned;
  const std::size_t end = std::min(count_, next_ + maxOptions);
  for (; next_ < end; ++next_) {
    const std::size_t i = order_[next_];
    writeValue(value(i, delta_ != nullptr), book_.S[i], i, values_, delta_, gamma_);
  }
  return next_ < count_;
}
void priceTouchBook(TouchKind kind, const TouchModel& model, const OptionColumns& book,
                    const double* q, double* values, std::size_t workers,
                    const std::function<void()>& poll, double* delta, double* gamma) {
  const std::vector<std::size_t> order = maturityOrder(book.T, book.count);
  // A slice (some hundred root steps) costs about forty options.
  const auto segments = splitOrder(
      order, book.T, workers, 16, 4096.0, [](double) { return 1.0; },
      [](double) { return 40.0; });
  priceSegments(
      segments,
      [&](const BookSegment& segment) {
        return std::make_unique<TouchBookPricer>(kind, model, book, q, segment.order,
                                                 segment.count, values, delta, gamma);
      },
      poll);
}

}  // namespace jdpricer
