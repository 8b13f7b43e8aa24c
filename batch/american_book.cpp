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

// The parameters whose sensitivities come from bumped solves.
enum Bumped { kBumpSigma, kBumpRate, kBumpYield, kBumpLam, kBumpP, kBumpEta1, kBumpEta2, kBumped };

struct BumpedInputs {
  AmericanModel model;
  double r, q;
  bool inDomain() const {
    return kouModelInDomain(model.sigma, model.lam, model.p, model.eta1, model.eta2) &&
           std::isfinite(r) && std::isfinite(q);
  }
};

// The step of each parameter's difference (american_book.hpp).
double bumpStep(Bumped which, const AmericanModel& m) {
  switch (which) {
    case kBumpSigma: return 1e-2 * m.sigma;
    case kBumpRate:
    case kBumpYield: return 1e-3;
    case kBumpLam: return 1e-2 * std::max(m.lam, 0.1);
    case kBumpP: return 1e-2;
    case kBumpEta1: return 1e-2 * m.eta1;
    default: return 1e-2 * m.eta2;
  }
}

BumpedInputs bumped(const AmericanModel& m, double r, double q, Bumped which, double by) {
  BumpedInputs b{m, r, q};
  switch (which) {
    case kBumpSigma: b.model.sigma += by; break;
    case kBumpRate: b.r += by; break;
    case kBumpYield: b.q += by; break;
    case kBumpLam: b.model.lam += by; break;
    case kBumpP: b.model.p += by; break;
    case kBumpEta1: b.model.eta1 += by; break;
    default: b.model.eta2 += by; break;
  }
  return b;
}

// The Greeks' column of each bumped parameter.
double* bumpedColumn(const AmericanGreeksColumns& g, Bumped which) {
  double* const columns[kBumped] = {g.vega, g.rho, g.psi, g.dlam, g.dp, g.deta1, g.deta2};
  return columns[which];
}

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
                     double* prices, const AmericanGreeksColumns* greeks)
      : kind_(kind), model_(model), options_(options), accuracy_(accuracy), order_(order),
        count_(count), prices_(prices), greeks_(greeks) {}

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

  // v of the bumped problem at the group's points, on the solve's grid.
  const std::vector<AmericanPutPoint>& bumpedValues(const BumpedInputs& in, double T,
                                                    const AmericanGrid& grid) {
    const AmericanPutQuery query = putQuery(kind_, in.model, T, in.r, in.q, accuracy_);
    bumpedResults_.resize(points_.size());
    priceAmericanPutsOnGrid(query, grid, points_.data(), points_.size(), storage_,
                            bumpedResults_.data());
    return bumpedResults_;
  }

  // dv/dtheta at the group's points into `slope`: central where both sides
  // are in the model's domain, else one-sided towards the inside.
  void bumpedSlope(Bumped which, double T, double r, double q, const AmericanGrid& grid,
                   double* slope) {
    const std::size_t n = points_.size();
    const double h = bumpStep(which, model_);
    const BumpedInputs up = bumped(model_, r, q, which, h), down = bumped(model_, r, q, which, -h);
    if (up.inDomain() && down.inDomain()) {
      const std::vector<AmericanPutPoint>& above = bumpedValues(up, T, grid);
      for (std::size_t j = 0; j < n; ++j) slope[j] = above[j].value;
      const std::vector<AmericanPutPoint>& below = bumpedValues(down, T, grid);
      for (std::size_t j = 0; j < n; ++j) slope[j] = (slope[j] - below[j].value) / (2.0 * h);
      return;
    }
    const double side = up.inDomain() ? 1.0 : -1.0;
    const BumpedInputs once = side > 0.0 ? up : down;
    const BumpedInputs twice = bumped(model_, r, q, which, 2.0 * side * h);
    if (!once.inDomain() || !twice.inDomain()) {
      std::fill(slope, slope + n, kNaN);
      return;
    }
    const std::vector<AmericanPutPoint>& first = bumpedValues(once, T, grid);
    for (std::size_t j = 0; j < n; ++j) slope[j] = 4.0 * first[j].value - 3.0 * results_[j].value;
    const std::vector<AmericanPutPoint>& second = bumpedValues(twice, T, grid);
    for (std::size_t j = 0; j < n; ++j) {
      slope[j] = side * (slope[j] - second[j].value) / (2.0 * h);
    }
  }

  void solveGroup(std::size_t begin, std::size_t end, double T, double r, double q) {
    const OptionColumns& b = options_.book;
    const bool call = kind_ == AmericanKind::kCall;
    const AmericanPutQuery query = putQuery(kind_, model_, T, r, q, accuracy_);
    const std::size_t n = end - begin;
    points_.resize(n);
    results_.resize(n);
    for (std::size_t j = begin; j < end; ++j) {
      const std::size_t i = order_[j];
      points_[j - begin] = call ? std::log(b.K[i] / b.S[i]) : std::log(b.S[i] / b.K[i]);
    }
    AmericanGrid grid{};
    const bool solved = priceAmericanPuts(query, points_.data(), n, storage_, results_.data(),
                                          nullptr, 0, nullptr, &grid);
    const bool sensitivities = greeks_ != nullptr && greeks_->vega != nullptr;
    if (sensitivities) {
      slopes_.assign(kBumped * n, kNaN);
      for (int which = 0; solved && which < kBumped; ++which) {
        bumpedSlope(static_cast<Bumped>(which), T, r, q, grid, slopes_.data() + which * n);
      }
    }
    for (std::size_t j = begin; j < end; ++j) {
      const std::size_t i = order_[j];
      const AmericanPutPoint& v = results_[j - begin];
      const double S = b.S[i], K = b.K[i];
      prices_[i] = call ? S * v.value : K * v.value;
      if (greeks_ == nullptr) continue;
      if (call) {
        greeks_->delta[i] = v.value - v.slope;
        greeks_->gamma[i] = (v.curvature - v.slope) / S;
        greeks_->theta[i] = -(S * v.rate);
        greeks_->dualDelta[i] = v.slope * S / K;
      } else {
        greeks_->delta[i] = v.slope * K / S;
        greeks_->gamma[i] = (v.curvature - v.slope) * K / S / S;
        greeks_->theta[i] = -(K * v.rate);
        greeks_->dualDelta[i] = v.value - v.slope;
      }
      if (!sensitivities) continue;
      for (int which = 0; which < kBumped; ++which) {
        bumpedColumn(*greeks_, static_cast<Bumped>(which))[i] =
            (call ? S : K) * slopes_[which * n + (j - begin)];
      }
    }
  }

  AmericanKind kind_;
  AmericanModel model_;
  AmericanColumns options_;
  double accuracy_;
  const std::size_t* order_;
  std::size_t count_;
  double* prices_;
  const AmericanGreeksColumns* greeks_;
  std::size_t next_ = 0;
  VectorStorage storage_;
  std::vector<double> points_;
  std::vector<AmericanPutPoint> results_, bumpedResults_;
  std::vector<double> slopes_;  // kBumped columns of the group's size
};

}  // namespace

void priceAmericanBook(AmericanKind kind, const AmericanModel& model,
                       const AmericanColumns& options, double accuracy, double* prices,
                       std::size_t workers, const std::function<void()>& poll,
                       const AmericanGreeksColumns* greeks) {
  const OptionColumns& b = options.book;
  const bool sensitivities = greeks != nullptr && greeks->vega != nullptr;
  const bool call = kind == AmericanKind::kCall;
  const bool modelOk = kouModelInDomain(model.sigma, model.lam, model.p, model.eta1, model.eta2);
  std::vector<Route> route(b.count, Route::kSettled);
  std::vector<std::size_t> solve, european;
  for (std::size_t i = 0; i < b.count; ++i) {
    const double T = b.T[i], K = b.K[i], S = b.S[i], r = b.r[i], q = options.q[i];
    // A price settled without a solve: its slopes in S and K, the rest 0.
    const auto settle = [&](double price, double slope, double dualSlope) {
      prices[i] = price;
      if (greeks == nullptr) return;
      const double zero = price == price ? 0.0 : kNaN;
      greeks->delta[i] = slope;
      greeks->gamma[i] = zero;
      greeks->theta[i] = zero;
      greeks->dualDelta[i] = dualSlope;
      if (!sensitivities) return;
      for (int which = 0; which < kBumped; ++which) {
        bumpedColumn(*greeks, static_cast<Bumped>(which))[i] = zero;
      }
    };
    if (!(T >= 0.0 && std::isfinite(T) && K > 0.0 && std::isfinite(K) && S > 0.0 &&
          std::isfinite(S) && std::isfinite(r) && std::isfinite(q)) || !modelOk) {
      settle(kNaN, kNaN, kNaN);
      continue;
    }
    if (T == 0.0) {
      const double payoff = call ? std::max(S - K, 0.0) : std::max(K - S, 0.0);
      const double slope = payoff > 0.0 ? (call ? 1.0 : -1.0) : 0.0;
      settle(payoff, slope, -slope);
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
                                                      segment.order, segment.count, prices,
                                                      greeks);
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
  if (greeks == nullptr) {
    std::vector<double> values(count);
    priceEuropeanSubset(payoff, kou, b, options.q, european, values.data(), workers, poll);
    for (std::size_t j = 0; j < count; ++j) prices[european[j]] = values[j];
    return;
  }
  std::vector<std::vector<double>> fields(kGreekFields, std::vector<double>(count));
  std::vector<double> psi(count);
  double* columns[kGreekFields];
  for (int f = 0; f < kGreekFields; ++f) columns[f] = fields[f].data();
  priceEuropeanSubsetGreeks(payoff, kou, b, options.q, european, columns, psi.data(), workers,
                            poll);
  for (std::size_t j = 0; j < count; ++j) {
    const std::size_t i = european[j];
    prices[i] = fields[kPrice][j];
    greeks->delta[i] = fields[kDelta][j];
    greeks->gamma[i] = fields[kGamma][j];
    greeks->theta[i] = fields[kTheta][j];
    greeks->dualDelta[i] = fields[kDualDelta][j];
    if (!sensitivities) continue;
    greeks->vega[i] = fields[kVega][j];
    greeks->rho[i] = fields[kRho][j];
    greeks->psi[i] = psi[j];
    greeks->dlam[i] = fields[kDLam][j];
    greeks->dp[i] = fields[kDP][j];
    greeks->deta1[i] = fields[kDEta1][j];
    greeks->deta2[i] = fields[kDEta2][j];
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
