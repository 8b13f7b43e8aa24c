#include "batch/greeks_book.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "batch/maturity_order.hpp"
#include "pricing/common/fp_environment.hpp"

namespace jdpricer {

GreeksBookPricer::GreeksBookPricer(Payoff payoff, const KouModel& model,
                                   const OptionColumns& book, const GreeksColumns& out,
                                   unsigned groups)
    : payoff_(payoff),
      model_(model),
      book_(book),
      out_(out),
      // The intensity series and the jump law both need the level derivative.
      groups_(groups & (kGreeksIntensity | kGreeksLaw) ? groups | kGreeksLevel : groups),
      terms_(model.n > 0 ? model.n : 0),
      order_(maturityOrder(book.T, book.count)) {
  const PinnedFloatingPoint pinned;
  measures_ = kouMeasures(model.sigma, model.lam, model.p, model.eta1, model.eta2);
  derivatives_ = measureDerivatives(model.p, model.eta1, model.eta2);
  if (model.n > kMaxSeriesTerms) return;  // every field is NaN
  factorials_ = std::make_unique<FactorialTable>(model.n);
  stock_ = std::make_unique<Series>();
  riskNeutral_ = std::make_unique<Series>();
  stock_->law = measures_.stock;
  riskNeutral_->law = measures_.riskNeutral;
  const int N = terms_;
  const std::size_t size = static_cast<std::size_t>(triangleSize(N));
  for (Series* series : {stock_.get(), riskNeutral_.get()}) {
    for (std::vector<double>* t : {&series->P, &series->Q, &series->W, &series->V, &series->Pp,
                                   &series->Qp, &series->Px, &series->Qx}) {
      t->assign(size, 0.0);
    }
    if (N == 0) continue;
    const JumpLaw& law = series->law;
    JumpCoefficientRows rows(*factorials_, N, law.p, law.eta1, law.eta2);
    for (int n = 1; n <= N; ++n) {
      rows.next(&series->P[triangleIndex(n, 1)], &series->Q[triangleIndex(n, 1)]);
    }
    if (groups_ & kGreeksLaw) {
      fillCoefficientDerivatives(*factorials_, N, law.p, law.eta1, law.eta2,
                                 {series->Pp.data(), series->Qp.data(), series->Px.data(),
                                  series->Qx.data()});
    }
  }
}

GreeksBookPricer::~GreeksBookPricer() = default;

void GreeksBookPricer::buildSlices(double T) {
  for (Series* series : {stock_.get(), riskNeutral_.get()}) {
    const JumpLaw& law = series->law;
    buildSeriesSlice(*factorials_, terms_, T, model_.sigma, law.lam, law.eta1, law.eta2,
                     series->slice);
    for (int n = 1; n <= terms_; ++n) {
      const int row = triangleIndex(n, 1);
      weightRow(series->slice, n, &series->P[row], &series->Q[row], &series->W[row],
                &series->V[row]);
    }
    buildSliceSensitivities(series->slice, law, series->P.data(), series->Q.data(),
                            {series->Pp.data(), series->Qp.data(), series->Px.data(),
                             series->Qx.data()},
                            series->sensitivities);
  }
}

void GreeksBookPricer::priceBlock(const std::size_t* indices, int count) {
  // Lanes past `count` repeat the first option and are discarded.
  double U[2][kBatchLanes];
  SeriesDerivatives derived[2][kBatchLanes] = {};
  SeriesLanes<kBatchLanes> lanes;
  SensitivityLanes<kBatchLanes> work;
  const double T = book_.T[indices[0]];
  double a[kBatchLanes];
  for (int l = 0; l < kBatchLanes; ++l) {
    const std::size_t i = indices[l < count ? l : 0];
    a[l] = std::log(book_.K[i] / book_.S[i]);
  }
  const bool level = (groups_ & kGreeksLevel) != 0;
  const bool intensity = (groups_ & kGreeksIntensity) != 0;
  const bool law = (groups_ & kGreeksLaw) != 0;
  for (int which = 0; which < 2; ++which) {
    Series* series = which == 0 ? stock_.get() : riskNeutral_.get();
    for (int l = 0; l < kBatchLanes; ++l) {
      const double r = book_.r[indices[l < count ? l : 0]];
      const double mu = which == 0 ? stockDrift(measures_, r) : riskNeutralDrift(measures_, r);
      lane(lanes.c, l) = a[l] - mu * T;
    }
    beginSensitivities(series->sensitivities, lanes, work);
    for (int n = 1; n <= terms_; ++n) {
      const int row = triangleIndex(n, 1);
      addSeriesRow(series->slice, n, &series->W[row], &series->V[row], lanes);
    }
    finishSeries(series->slice, lanes, U[which]);
    // The risk-neutral series' level derivative follows from the stock's.
    if (intensity || law || (level && which == 0)) {
      finishSensitivities(series->slice, series->sensitivities, lanes, level && which == 0,
                          law, work);
      for (int l = 0; l < kBatchLanes; ++l) {
        SeriesDerivatives& d = derived[which][l];
        d.slope = level && which == 0 ? lane(work.slope, l) : 0.0;
        d.jump = lane(work.quantity[kJumpShift], l);
        d.dp = lane(work.quantity[kJumpProbability], l);
        d.deta1 = lane(work.quantity[kUpRate], l);
        d.deta2 = lane(work.quantity[kDownRate], l);
      }
    }
  }
  const bool put = payoff_ == Payoff::kPut;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (int l = 0; l < count; ++l) {
    const std::size_t i = indices[l];
    const double S = book_.S[i], K = book_.K[i], r = book_.r[i];
    const double discount = discountFactor(r, T);
    const double call = callFromProbabilities(S, K, discount, U[0][l], U[1][l]);
    double g[kGreekFields];
    greeksFromSeries(put, T, K, S, r, model_.sigma, model_.lam, derivatives_, discount, U[0][l],
                     U[1][l], derived[0][l], derived[1][l], g);
    g[kPrice] = put ? putFromCall(S, K, discount, call) : call;
    if (!level) g[kGamma] = g[kVega] = nan;
    if (!intensity) g[kTheta] = g[kDLam] = nan;
    if (!law) g[kDP] = g[kDEta1] = g[kDEta2] = nan;
    for (int f = 0; f < kGreekFields; ++f) out_.field[f][i] = g[f];
  }
}

bool GreeksBookPricer::priceNext(std::size_t maxOptions) {
  const PinnedFloatingPoint pinned;
  const std::size_t end = std::min(order_.size(), next_ + maxOptions);
  if (model_.n > kMaxSeriesTerms) {
    // tgamma overflows from 171! on: the closed form is NaN for every input.
    for (; next_ < end; ++next_) {
      for (int f = 0; f < kGreekFields; ++f) {
        out_.field[f][order_[next_]] = std::numeric_limits<double>::quiet_NaN();
      }
    }
    return next_ < order_.size();
  }
  while (next_ < end) {
    if (next_ == sliceEnd_) {
      const std::uint64_t key = maturityKey(book_.T[order_[next_]]);
      sliceEnd_ = next_ + 1;
      while (sliceEnd_ < order_.size() && maturityKey(book_.T[order_[sliceEnd_]]) == key) {
        ++sliceEnd_;
      }
      buildSlices(book_.T[order_[next_]]);
    }
    const int count = static_cast<int>(std::min<std::size_t>(kBatchLanes, sliceEnd_ - next_));
    priceBlock(&order_[next_], count);
    next_ += static_cast<std::size_t>(count);
  }
  return next_ < order_.size();
}

std::size_t GreeksBookPricer::suggestedChunk() const {
  const std::size_t terms = static_cast<std::size_t>(terms_) + 1;
  return std::max<std::size_t>(kBatchLanes, (std::size_t{1} << 20) / (terms * terms));
}

}  // namespace jdpricer
