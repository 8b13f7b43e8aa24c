#include "batch/american_book.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "batch/european_subset.hpp"
#include "batch/parallel_book.hpp"
#include "pricing/american/american_put.hpp"
#include "pricing/american/perpetual_put.hpp"
#include "pricing/common/fp_environment.hpp"
#include "pricing/first_passage/passage_roots.hpp"

namespace jdpricer {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::uint64_t bitsOf(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

class VectorStorage : public AmericanStorage {
 public:
  double* lend(std::size_t doubles) override {
    if (held_.size() < doubles) held_.resize(doubles);
    return held_.data();
  }

 private:
  std::vector<double> held_;
};

struct Outputs {
  double *price, *delta, *gamma, *theta;
};

// The put problem that gives the options: the put's own, or for calls the
// dual model's with r and q exchanged.
AmericanPutQuery putQuery(AmericanKind kind, const AmericanModel& m, double T, double r, double q,
                          double accuracy) {
  if (kind == AmericanKind::kPut) {
    return {T, r, q, m.sigma, m.lam, m.p, m.eta1, m.eta2, accuracy};
  }
  // The jumps under the share measure, reflected.
  const double zeta = m.p * m.eta1 / (m.eta1 - 1.0) + (1.0 - m.p) * m.eta2 / (m.eta2 + 1.0) - 1.0;
  return {T,
          q,
          r,
          m.sigma,
          m.lam * (1.0 + zeta),
          (1.0 - m.p) * (m.eta2 / (m.eta2 + 1.0)) / (1.0 + zeta),
          m.eta2 + 1.0,
          m.eta1 - 1.0,
          accuracy};
}

// What an option asks: nothing (its price is settled already), the
// European closed form, or a solve.
enum class Route : unsigned char { kSettled, kEuropean, kSolve };

// Solves the groups of one segment (options of one T, r and q are
// consecutive in `order`), one group a call.
class AmericanBookPricer {
 public:
  AmericanBookPricer(AmericanKind kind, const AmericanModel& model, const AmericanColumns& options,
                     double accuracy, const std::size_t* order, std::size_t count,
                     const Outputs& out)
      : kind_(kind), model_(model), options_(options), accuracy_(accuracy), order_(order),
        count_(count), out_(out) {}

  std::size_t suggestedChunk() const { return 1; }

  bool priceNext(std::size_t) {
    const PinnedFloatingPoint pinned;
    if (next_ >= count_) return false;
    const OptionColumns& b = options_.book;
    const std::size_t first = order_[next_];
    std::size_t end = next_ + 1;
    while (end < count_ && sameGroup(first, order_[end])) ++end;
    solveGroup(next_, end, b.T[first], b.r[first], options_.q[first]);
    next_ = end;
    return next_ < count_;
  }

 private:
  bool sameGroup(std::size_t i, std::size_t j) const {
    const OptionColumns& b = options_.book;
    return bitsOf(b.T[i]) == bitsOf(b.T[j]) && bitsOf(b.r[i]) == bitsOf(b.r[j]) &&
           bitsOf(options_.q[i]) == bitsOf(options_.q[j]);
  }

  void solveGroup(std::size_t begin, std::size_t end, double T, double r, double q) {
    const OptionColumns& b = options_.book;
    const bool call = kind_ == AmericanKind::kCall;
    const AmericanPutQuery query = putQuery(kind_, model_, T, r, q, accuracy_);
    points_.resize(end - begin);
    results_.resize(end - begin);
    for (std::size_t j = begin; j < end; ++j) {
      const std::size_t i = order_[j];
      points_[j - begin] = call ? std::log(b.K[i] / b.S[i]) : std::log(b.S[i] / b.K[i]);
    }
    priceAmericanPuts(query, points_.data(), points_.size(), storage_, results_.data());
    for (std::size_t j = begin; j < end; ++j) {
      const std::size_t i = order_[j];
      const AmericanPutPoint& v = results_[j - begin];
      const double S = b.S[i], K = b.K[i];
      if (call) {
        out_.price[i] = S * v.value;
        if (out_.delta != nullptr) {
          out_.delta[i] = v.value - v.slope;
          out_.gamma[i] = (v.curvature - v.slope) / S;
          out_.theta[i] = -(S * v.rate);
        }
      } else {
        out_.price[i] = K * v.value;
        if (out_.delta != nullptr) {
          out_.delta[i] = v.slope * K / S;
          out_.gamma[i] = (v.curvature - v.slope) * K / S / S;
          out_.theta[i] = -(K * v.rate);
        }
      }
    }
  }

  AmericanKind kind_;
  AmericanModel model_;
  AmericanColumns options_;
  double accuracy_;
  const std::size_t* order_;
  std::size_t count_;
  Outputs out_;
  std::size_t next_ = 0;
  VectorStorage storage_;
  std::vector<double> points_;
  std::vector<AmericanPutPoint> results_;
};

}  // namespace

void priceAmericanBook(AmericanKind kind, const AmericanModel& model,
                       const AmericanColumns& options, double accuracy, double* prices,
                       std::size_t workers, const std::function<void()>& poll, double* delta,
                       double* gamma, double* theta) {
  const OptionColumns& b = options.book;
  const Outputs out{prices, delta, gamma, theta};
  const bool call = kind == AmericanKind::kCall;
  const bool modelOk = kouModelInDomain(model.sigma, model.lam, model.p, model.eta1, model.eta2);
  std::vector<Route> route(b.count, Route::kSettled);
  std::vector<std::size_t> solve, european;
  for (std::size_t i = 0; i < b.count; ++i) {
    const double T = b.T[i], K = b.K[i], S = b.S[i], r = b.r[i], q = options.q[i];
    const auto settle = [&](double price, double slope) {
      prices[i] = price;
      if (delta != nullptr) {
        delta[i] = slope;
        gamma[i] = price == price ? 0.0 : kNaN;
        theta[i] = price == price ? 0.0 : kNaN;
      }
    };
    if (!(T >= 0.0 && std::isfinite(T) && K > 0.0 && std::isfinite(K) && S > 0.0 &&
          std::isfinite(S) && std::isfinite(r) && std::isfinite(q)) || !modelOk) {
      settle(kNaN, kNaN);
      continue;
    }
    if (T == 0.0) {
      const double payoff = call ? std::max(S - K, 0.0) : std::max(K - S, 0.0);
      settle(payoff, payoff > 0.0 ? (call ? 1.0 : -1.0) : 0.0);
      continue;
    }
    // Early exercise never pays: a put with r <= 0 <= q, a call with q <= 0 <= r.
    const bool neverEarly = call ? (q <= 0.0 && r >= 0.0) : (r <= 0.0 && q >= 0.0);
    (neverEarly ? european : solve).push_back(i);
  }
  // Groups of one T, r and q, consecutive; cut between groups only, into
  // at most `workers` segments of about equal numbers of groups.
  std::sort(solve.begin(), solve.end(), [&](std::size_t i, std::size_t j) {
    const std::uint64_t a[3] = {bitsOf(b.T[i]), bitsOf(b.r[i]), bitsOf(options.q[i])};
    const std::uint64_t c[3] = {bitsOf(b.T[j]), bitsOf(b.r[j]), bitsOf(options.q[j])};
    return std::lexicographical_compare(a, a + 3, c, c + 3) || (!std::lexicographical_compare(c, c + 3, a, a + 3) && i < j);
  });
  std::vector<std::size_t> groupStarts;
  for (std::size_t j = 0; j < solve.size(); ++j) {
    const std::size_t i = solve[j];
    if (j == 0 || bitsOf(b.T[i]) != bitsOf(b.T[solve[j - 1]]) ||
        bitsOf(b.r[i]) != bitsOf(b.r[solve[j - 1]]) ||
        bitsOf(options.q[i]) != bitsOf(options.q[solve[j - 1]])) {
      groupStarts.push_back(j);
    }
  }
  // The groups dealt out in turn, in order of maturity (a solve's cost grows
  // with T): segment s takes groups s, s + parts, ...; each segment's
  // options laid out together in `dealt`.
  const std::size_t groups = groupStarts.size();
  const std::size_t parts = std::max<std::size_t>(1, std::min(workers, groups));
  std::vector<std::size_t> dealt;
  dealt.reserve(solve.size());
  std::vector<BookSegment> segments;
  std::vector<std::size_t> segmentStarts;
  for (std::size_t part = 0; part < parts && groups > 0; ++part) {
    segmentStarts.push_back(dealt.size());
    for (std::size_t g = part; g < groups; g += parts) {
      const std::size_t to = g + 1 < groups ? groupStarts[g + 1] : solve.size();
      dealt.insert(dealt.end(), solve.begin() + static_cast<std::ptrdiff_t>(groupStarts[g]),
                   solve.begin() + static_cast<std::ptrdiff_t>(to));
    }
  }
  for (std::size_t part = 0; part < segmentStarts.size(); ++part) {
    const std::size_t from = segmentStarts[part];
    const std::size_t to = part + 1 < segmentStarts.size() ? segmentStarts[part + 1] : dealt.size();
    if (to > from) segments.push_back({dealt.data() + from, to - from});
  }
  if (!segments.empty()) {
    priceSegments(
        segments,
        [&](const BookSegment& segment) {
          return std::make_unique<AmericanBookPricer>(kind, model, options, accuracy,
                                                      segment.order, segment.count, out);
        },
        poll);
  }
  // The solved prices are at least the European price and the payoff: the
  // solver's error may take them a hair below (deep in the money, or where
  // early exercise is worth almost nothing).
  const Payoff payoff = call ? Payoff::kCall : Payoff::kPut;
  const KouModel kou{model.sigma, model.lam, model.p, model.eta1, model.eta2, 0, true};
  std::vector<double> floors(solve.size());
  priceEuropeanSubset(payoff, kou, b, options.q, solve, floors.data(), workers, poll);
  for (std::size_t j = 0; j < solve.size(); ++j) {
    const std::size_t i = solve[j];
    const double intrinsic = call ? std::max(b.S[i] - b.K[i], 0.0) : std::max(b.K[i] - b.S[i], 0.0);
    if (!(prices[i] == prices[i])) continue;  // NaN stays NaN
    prices[i] = std::max(prices[i], intrinsic);
    // Only a hair: where the closed form itself is off (its series cancels
    // for large lam T), it is not a floor.
    if (floors[j] > prices[i] && floors[j] - prices[i] <= 10.0 * accuracy * b.K[i]) {
      prices[i] = floors[j];
    }
  }
  // The European ones: the closed form at the net spot, and its Greeks
  // through the dividend yield's chain rule.
  const std::size_t count = european.size();
  const bool greeks = delta != nullptr;
  std::vector<double> values(count), d(greeks ? count : 0), g(d.size()), t(d.size());
  priceEuropeanSubset(payoff, kou, b, options.q, european, values.data(), workers, poll,
                      greeks ? d.data() : nullptr, g.data(), t.data());
  for (std::size_t j = 0; j < count; ++j) {
    prices[european[j]] = values[j];
    if (greeks) {
      delta[european[j]] = d[j];
      gamma[european[j]] = g[j];
      theta[european[j]] = t[j];
    }
  }
}

void americanExerciseBoundary(AmericanKind kind, const AmericanModel& model, double K, double r,
                              double q, double accuracy, const double* tau, std::size_t count,
                              double* critical) {
  const PinnedFloatingPoint pinned;
  double longest = 0.0;
  for (std::size_t j = 0; j < count; ++j) {
    if (std::isfinite(tau[j])) longest = std::max(longest, tau[j]);
  }
  const bool call = kind == AmericanKind::kCall;
  const AmericanPutQuery query = putQuery(kind, model, longest, r, q, accuracy);
  // The accuracy is asked at the strike, where the boundary starts.
  const double atTheStrike = 0.0;
  AmericanPutPoint unused;
  VectorStorage storage;
  std::vector<double> levels(count);
  const bool ok = kouModelInDomain(model.sigma, model.lam, model.p, model.eta1, model.eta2) &&
                  priceAmericanPuts(query, &atTheStrike, 1, storage, &unused, tau, count,
                                    levels.data());
  for (std::size_t j = 0; j < count; ++j) {
    const bool valid = ok && tau[j] >= 0.0 && K > 0.0 && std::isfinite(K);
    // The call's boundary is its dual put's, seen from the other side:
    // exercised where K/S is at or below the put's level.
    // At expiry the boundary is the strike itself.
    critical[j] = !valid           ? kNaN
                  : tau[j] == 0.0  ? K
                  : call           ? K * std::exp(-levels[j])
                                   : K * std::exp(levels[j]);
  }
}

void perpetualAmericanPuts(const AmericanModel& model, double r, double q, const double* K,
                           const double* S, std::size_t count, double* values) {
  const PinnedFloatingPoint pinned;
  const PerpetualPut put =
      perpetualPut(r, q, model.sigma, model.lam, model.p, model.eta1, model.eta2);
  for (std::size_t j = 0; j < count; ++j) values[j] = perpetualPutValue(put, S[j], K[j]);
}

}  // namespace jdpricer
