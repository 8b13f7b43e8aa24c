#include "batch/greeks_book.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "batch/maturity_order.hpp"
#include "batch/parallel_book.hpp"
#include "pricing/common/fp_environment.hpp"

namespace jdpricer {

namespace {

// The intensity series and the jump law both need the level derivative.
unsigned withLevel(unsigned groups) {
  return groups & (kGreeksIntensity | kGreeksLaw) ? groups | kGreeksLevel : groups;
}

}  // namespace

ConstCoefficientDerivatives GreeksBookModel::Derivatives::view() const {
  return {Pp.data(), Qp.data(), Px.data(), Qx.data()};
}

GreeksBookModel::GreeksBookModel(const KouModel& model, const OptionColumns& book,
                                 unsigned groups)
    : prices_(model, book), groups_(withLevel(groups)) {
  const PinnedFloatingPoint pinned;
  measureDerivatives_ = jdpricer::measureDerivatives(model.p, model.eta1, model.eta2);
  const int longest = prices_.longest();
  if (longest > kMaxSeriesTerms) return;  // every field is NaN
  const int N = longest > 0 ? longest : 0;
  const std::size_t size = static_cast<std::size_t>(triangleSize(N));
  for (Derivatives* series : {&stock_, &riskNeutral_}) {
    for (std::vector<double>* t : {&series->Pp, &series->Qp, &series->Px, &series->Qx}) {
      t->assign(size, 0.0);
    }
    if (N == 0 || !(groups_ & kGreeksLaw)) continue;
    const JumpLaw& law = series == &stock_ ? prices_.stock().law : prices_.riskNeutral().law;
    fillCoefficientDerivatives(prices_.factorials(), N, law.p, law.eta1, law.eta2,
                               {series->Pp.data(), series->Qp.data(), series->Px.data(),
                                series->Qx.data()});
  }
}

GreeksBookPricer::GreeksBookPricer(Payoff payoff, const KouModel& model,
                                   const OptionColumns& book, const GreeksColumns& out,
                                   unsigned groups)
    : payoff_(payoff),
      ownedModel_(std::make_unique<GreeksBookModel>(model, book, groups)),
      model_(ownedModel_.get()),
      book_(book),
      out_(out),
      ownedOrder_(maturityOrder(book.T, book.count)),
      order_(ownedOrder_.data()),
      count_(book.count) {
  start();
}

GreeksBookPricer::GreeksBookPricer(Payoff payoff, const GreeksBookModel& model,
                                   const OptionColumns& book, const std::size_t* order,
                                   std::size_t count, const GreeksColumns& out)
    : payoff_(payoff), model_(&model), book_(book), out_(out), order_(order), count_(count) {
  start();
}

GreeksBookPricer::~GreeksBookPricer() = default;

void GreeksBookPricer::start() {
  const int longest = model_->prices().longest();
  if (longest > kMaxSeriesTerms) return;
  stock_ = std::make_unique<Series>();
  riskNeutral_ = std::make_unique<Series>();
  stock_->coefficients = &model_->prices().stock();
  stock_->derivatives = &model_->stock();
  riskNeutral_->coefficients = &model_->prices().riskNeutral();
  riskNeutral_->derivatives = &model_->riskNeutral();
  const std::size_t size = static_cast<std::size_t>(triangleSize(longest > 0 ? longest : 0));
  for (Series* series : {stock_.get(), riskNeutral_.get()}) {
    series->W.resize(size);
    series->V.resize(size);
  }
}

void GreeksBookPricer::buildSlices(double T) {
  const BookModel& prices = model_->prices();
  const int n = prices.lengths()(T);
  terms_ = n > 0 ? n : 0;
  for (Series* series : {stock_.get(), riskNeutral_.get()}) {
    const BookModel::Coefficients& coefficients = *series->coefficients;
    const JumpLaw& law = coefficients.law;
    buildSeriesSlice(prices.factorials(), terms_, T, prices.model().sigma, law.lam, law.eta1,
                     law.eta2, series->slice);
    for (int row = 1; row <= terms_; ++row) {
      const int at = triangleIndex(row, 1);
      weightRow(series->slice, row, &coefficients.P[at], &coefficients.Q[at], &series->W[at],
                &series->V[at]);
    }
    buildSliceSensitivities(series->slice, law, coefficients.P.data(), coefficients.Q.data(),
                            series->derivatives->view(), series->sensitivities);
  }
}

template <int Lanes>
void GreeksBookPricer::priceBlock(const std::size_t* indices, int count) {
  // Lanes past `count` repeat the first option and are discarded.
  double U[2][Lanes];
  SeriesDerivatives derived[2][Lanes] = {};
  SeriesLanes<Lanes> lanes;
  SensitivityLanes<Lanes> work;
  const KouMeasures& measures = model_->prices().measures();
  const double T = book_.T[indices[0]];
  double a[Lanes];
  for (int l = 0; l < Lanes; ++l) {
    const std::size_t i = indices[l < count ? l : 0];
    a[l] = std::log(book_.K[i] / book_.S[i]);
  }
  const unsigned groups = model_->groups();
  const bool level = (groups & kGreeksLevel) != 0;
  const bool intensity = (groups & kGreeksIntensity) != 0;
  const bool law = (groups & kGreeksLaw) != 0;
  for (int which = 0; which < 2; ++which) {
    Series* series = which == 0 ? stock_.get() : riskNeutral_.get();
    for (int l = 0; l < Lanes; ++l) {
      const double r = book_.r[indices[l < count ? l : 0]];
      const double mu = which == 0 ? stockDrift(measures, r) : riskNeutralDrift(measures, r);
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
      for (int l = 0; l < Lanes; ++l) {
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
  const double sigma = model_->prices().model().sigma, lam = model_->prices().model().lam;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (int l = 0; l < count; ++l) {
    const std::size_t i = indices[l];
    const double S = book_.S[i], K = book_.K[i], r = book_.r[i];
    const double discount = discountFactor(r, T);
    const double call = callFromProbabilities(S, K, discount, U[0][l], U[1][l]);
    double g[kGreekFields];
    greeksFromSeries(put, T, K, S, r, sigma, lam, model_->measureDerivatives(), discount,
                     U[0][l], U[1][l], derived[0][l], derived[1][l], g);
    g[kPrice] = put ? putFromCall(S, K, discount, call) : call;
    if (!level) g[kGamma] = g[kVega] = nan;
    if (!intensity) g[kTheta] = g[kDLam] = nan;
    if (!law) g[kDP] = g[kDEta1] = g[kDEta2] = nan;
    for (int f = 0; f < kGreekFields; ++f) out_.field[f][i] = g[f];
  }
}

bool GreeksBookPricer::priceNext(std::size_t maxOptions) {
  const PinnedFloatingPoint pinned;
  const std::size_t end = std::min(count_, next_ + maxOptions);
  if (model_->prices().longest() > kMaxSeriesTerms) {
    // tgamma overflows from 171! on: the closed form is NaN for every input.
    for (; next_ < end; ++next_) {
      for (int f = 0; f < kGreekFields; ++f) {
        out_.field[f][order_[next_]] = std::numeric_limits<double>::quiet_NaN();
      }
    }
    return next_ < count_;
  }
  while (next_ < end) {
    if (next_ == sliceEnd_) {
      sliceEnd_ = maturityRunEnd(order_, next_, count_, book_.T);
      buildSlices(book_.T[order_[next_]]);
    }
    const int count = static_cast<int>(std::min<std::size_t>(kBatchLanes, sliceEnd_ - next_));
    if (count <= kSingleLaneOptions) {
      // A full block would do kBatchLanes options' work for these few.
      for (int j = 0; j < count; ++j) priceBlock<1>(&order_[next_ + j], 1);
    } else {
      priceBlock<kBatchLanes>(&order_[next_], count);
    }
    next_ += static_cast<std::size_t>(count);
  }
  return next_ < count_;
}

std::size_t GreeksBookPricer::suggestedChunk() const {
  const int longest = model_->prices().longest();
  const std::size_t terms = static_cast<std::size_t>(longest > 0 ? longest : 0) + 1;
  return std::max<std::size_t>(kBatchLanes, (std::size_t{1} << 20) / (terms * terms));
}

namespace {

// Work estimates for cutting a book into segments, in BookPricer's units
// (about 0.3 ns each), fitted to measured costs at n = 10 to 40 on the
// reference model: an option, about 1.4 us at n = 20, has its price's
// O(n^2) rows and its O(n) dot products and integrals; a maturity, some
// seven options' worth there, its pow calls and the collapsed weights,
// eight sums over the triangle.
double optionWork(int n) {
  const double terms = n > 0 ? n + 1.0 : 1.0;
  return 4.0 * terms * terms + 150.0 * terms;
}
double sliceWork(int n) {
  const double terms = n > 0 ? n + 1.0 : 1.0;
  return 1400.0 * terms + 8.0 * terms * terms;
}
// Some 80 us of work, as for the prices: less is not worth a thread.
constexpr double kSegmentWork = 262144.0;

}  // namespace

void priceGreeksBook(Payoff payoff, const KouModel& model, const OptionColumns& book,
                     const GreeksColumns& out, std::size_t workers,
                     const std::function<void()>& poll) {
  const GreeksBookModel shared(model, book);
  const std::vector<std::size_t> order = maturityOrder(book.T, book.count);
  const SeriesLengths& lengths = shared.prices().lengths();
  const auto segments = splitOrder(
      order, book.T, workers, kBatchLanes, kSegmentWork,
      [&lengths](double T) { return optionWork(lengths(T)); },
      [&lengths](double T) { return sliceWork(lengths(T)); });
  priceSegments(
      segments,
      [&](const BookSegment& segment) {
        return std::make_unique<GreeksBookPricer>(payoff, shared, book, segment.order,
                                                  segment.count, out);
      },
      poll);
}

}  // namespace jdpricer
