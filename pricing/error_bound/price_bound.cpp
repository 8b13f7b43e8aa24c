#include "pricing/error_bound/price_bound.hpp"

#include <cmath>
#include <limits>

#include "pricing/closed_form/option_series.hpp"
#include "pricing/error_bound/bound_support.hpp"

namespace jdpricer {

namespace {

constexpr double kUnit = bounded_detail::kUnitRoundoff;
constexpr double kTiny = bounded_detail::kTiniest;
constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Covers the relative rounding of the bound's own arithmetic: some u per
// operation over at most a few million operations.
constexpr double kBoundWidening = 1.0 + 0x1p-20;

Bounded binomialBounded(const Bounded* fact, int m, int j) {
  return fact[m] / (fact[j] * fact[m - j]);
}

// Fills the coefficient triangles of one series (see jump_coefficients.hpp),
// each summand in the engine's order.
void boundedCoefficients(const Bounded* fact, int N, Bounded p, Bounded eta1, Bounded eta2,
                         Bounded* P, Bounded* Q) {
  const Bounded q = Bounded::exact(1.0) - p;
  const Bounded w = eta1 + eta2;
  const Bounded w1 = eta1 / w, w2 = eta2 / w;
  Bounded pPow[kSeriesTableSize], qPow[kSeriesTableSize];
  Bounded w1Pow[kSeriesTableSize], w2Pow[kSeriesTableSize];
  for (int j = 0; j <= N; ++j) {
    pPow[j] = powInteger(p, j);
    qPow[j] = powInteger(q, j);
    w1Pow[j] = powInteger(w1, j);
    w2Pow[j] = powInteger(w2, j);
  }
  for (int n = 1; n <= N; ++n) {
    Bounded* Prow = P + triangleIndex(n, 1);
    Bounded* Qrow = Q + triangleIndex(n, 1);
    for (int k = 1; k < n; ++k) {
      const int m = n - k - 1;
      Bounded sumP = Bounded::exact(0.0), sumQ = Bounded::exact(0.0);
      for (int j = 0, i = k; i < n; ++j, ++i) {
        const Bounded b = binomialBounded(fact, n, i) * binomialBounded(fact, m, j);
        sumP = sumP + ((b * w1Pow[j]) * w2Pow[n - i]) * (qPow[n - i] * pPow[i]);
        sumQ = sumQ + ((b * w1Pow[n - i]) * w2Pow[j]) * (pPow[n - i] * qPow[i]);
      }
      Prow[k - 1] = sumP;
      Qrow[k - 1] = sumQ;
    }
    Prow[n - 1] = pPow[n];
    Qrow[n - 1] = qPow[n];
  }
}

bool finitePositive(double x) { return std::isfinite(x) && x > 0.0; }

// lgamma(j + 1), the library's value: from a table for the j a bound meets
// (the same bits, computed once), by the call beyond it.
double logFactorial(int j) {
  constexpr int kTabled = 512;
  struct Table {
    double value[kTabled];
    Table() {
      for (int k = 0; k < kTabled; ++k) value[k] = std::lgamma(k + 1.0);
    }
  };
  static const Table table;
  return j >= 0 && j < kTabled ? table.value[j] : std::lgamma(j + 1.0);
}

}  // namespace

double poissonTailAbove(double mean, int N) {
  if (!(mean >= 0.0) || std::isinf(mean)) return kInfinity;
  if (mean == 0.0) return 0.0;
  const int first = N < 0 ? 1 : N + 1;
  // Terms e^-m m^j / j! from j = first on, each from logarithms; once the
  // ratio m/(j+1) of successive terms is below 1/2 the rest is at most the
  // last term again.
  const double logMean = std::log(mean);
  double sum = 0.0;
  for (int j = first; j < first + 100000; ++j) {
    const double term = std::exp(-mean + j * logMean - logFactorial(j));
    sum += term;
    const double ratio = mean / (j + 1.0);
    if (ratio < 0.5 && term <= sum * 1e-18) return std::fmin(1.0, (sum + term) * (1.0 + 1e-9));
  }
  return 1.0;
}

std::size_t BoundedKouModel::modelDoubles(int n) {
  const int N = n < 0 ? 0 : (n > kMaxSeriesTerms ? 0 : n);
  // Two series, P, Q and their error bounds each; room for one series'
  // bounded triangles while they are formed.
  return 12 * static_cast<std::size_t>(triangleSize(N));
}

std::size_t BoundedKouModel::maturityDoubles(int n) {
  const int N = n < 0 ? 0 : (n > kMaxSeriesTerms ? 0 : n);
  return 4 * static_cast<std::size_t>(triangleSize(N));
}

BoundedKouModel::BoundedKouModel(double sigma, double lam, double p, double eta1, double eta2,
                                 int n, double* storage)
    : sigma_(sigma), n_(n), terms_(n < 0 ? 0 : (n > kMaxSeriesTerms ? 0 : n)),
      scratch_(storage + modelDoubles(n)), factorials_(n) {
  inDomain_ = finitePositive(sigma) && std::isfinite(lam) && lam >= 0.0 && p >= 0.0 &&
              p <= 1.0 && std::isfinite(eta1) && eta1 > 1.0 && finitePositive(eta2) &&
              n <= kMaxSeriesTerms;
  measures_ = kouMeasures(sigma, lam, p, eta1, eta2);
  const Bounded s = Bounded::exact(sigma), l = Bounded::exact(lam), pp = Bounded::exact(p);
  const Bounded e1 = Bounded::exact(eta1), e2 = Bounded::exact(eta2), one = Bounded::exact(1.0);
  const Bounded zeta = ((pp * e1) / (e1 - one) + ((one - pp) * e2) / (e2 + one)) - one;
  halfSigmaSquared_ = (0.5 * s) * s;
  lamZeta_ = l * zeta;
  driftConstantsError_ = halfSigmaSquared_.v == measures_.halfSigmaSquared &&
                                 lamZeta_.v == measures_.lamZeta
                             ? halfSigmaSquared_.e + lamZeta_.e
                             : kInfinity;
  laws_[0] = {(one + zeta) * l, e1 - one, e2 + one};
  laws_[1] = {l, e1, e2};
  const Bounded lawP[2] = {(pp / (one + zeta)) * (e1 / (e1 - one)), pp};
  const JumpLaw engineLaws[2] = {measures_.stock, measures_.riskNeutral};
  double worst = 0.0;
  for (int m = 0; m <= terms_; ++m) {
    factorialBounds_[m] = factorial(m, factorials_[m]);
    const double r = bound_support::relativeError(factorialBounds_[m]);
    if (!(r <= worst)) worst = r;
    factorialRelative_[m] = worst;
  }
  const std::size_t size = static_cast<std::size_t>(triangleSize(terms_));
  double* cells = storage;
  for (int series = 0; series < 2; ++series) {
    double* P = cells;
    double* Q = cells + size;
    double* Pe = cells + 2 * size;
    double* Qe = cells + 3 * size;
    cells += 4 * size;
    P_[series] = P;
    Q_[series] = Q;
    Pe_[series] = Pe;
    Qe_[series] = Qe;
    if (terms_ == 0 || n > kMaxSeriesTerms) continue;
    const JumpLaw& law = engineLaws[series];
    JumpCoefficientRows rows(factorials_, terms_, law.p, law.eta1, law.eta2);
    for (int row = 1; row <= terms_; ++row) {
      rows.next(P + triangleIndex(row, 1), Q + triangleIndex(row, 1));
    }
    if (!inDomain_) continue;
    coefficientErrors(series, lawP[series], storage + 8 * size);
    // A coefficient below 0 (never, for p in [0, 1]) leaves the screen
    // without weights of one sign: +inf.
    const auto relative = [](double value, double error) {
      if (!(value >= 0.0)) return kInfinity;
      return error == 0.0 ? 0.0 : error / value * (1.0 + 2.0 * kUnit);
    };
    for (int row = 1; row <= terms_; ++row) {
      double worstP = 0.0, worstQ = 0.0;
      const int first = triangleIndex(row, 1);
      for (int k = 0; k < row; ++k) {
        const double rp = relative(P[first + k], Pe[first + k]);
        const double rq = relative(Q[first + k], Qe[first + k]);
        if (!(rp <= worstP)) worstP = rp;
        if (!(rq <= worstQ)) worstQ = rq;
      }
      rowRelativeP_[series][row] = worstP;
      rowRelativeQ_[series][row] = worstQ;
    }
  }
}

// Bounds on the errors of the coefficient triangles. Every summand of P_{n,k}
// (and Q_{n,k}) is a product of two binomials (six factorials, each within
// 18 u and exact up to 22!, and 4 roundings), four powers (each within 2 u of the power of its
// double base, whose error grows with the exponent, at most n, times the
// base's relative error) and 5 more roundings: within
// r_n = 125 u (17 u for n <= 22) + n (e_w1 + e_w2 + e_p + e_q) to first order, times 1 + 2 r_n
// for the rest. With p and q positive the summands are positive, and their
// sum of at most n terms is within gamma_n of its value. Where p or q is 0
// or the relative errors are not small, the triangles are formed in bounded
// arithmetic instead (O(n^3) bounded operations).
void BoundedKouModel::coefficientErrors(int series, Bounded p, double* scratch) {
  const int N = terms_;
  const std::size_t size = static_cast<std::size_t>(triangleSize(N));
  double* Pe = Pe_[series];
  double* Qe = Qe_[series];
  const Bounded one = Bounded::exact(1.0);
  const Bounded q = one - p;
  const Bounded w = laws_[series].eta1 + laws_[series].eta2;
  const Bounded w1 = laws_[series].eta1 / w, w2 = laws_[series].eta2 / w;
  const auto relative = [](Bounded x) { return x.v > 0.0 ? x.e / x.v : kInfinity; };
  const double inputs = relative(p) + relative(q) + relative(w1) + relative(w2);
  if (inputs * N < 1e-3) {
    for (int n = 1; n <= N; ++n) {
      // Factorials up to 22! are exact doubles.
      const double r = (n > 22 ? 125.0 : 17.0) * kUnit + n * inputs;
      const double sum = static_cast<double>(n) * kUnit / (1.0 - static_cast<double>(n) * kUnit);
      const double factor = (r + sum) * (1.0 + 2.0 * (r + sum)) * (1.0 + 8.0 * kUnit);
      const int row = triangleIndex(n, 1);
      for (int k = 1; k <= n; ++k) {
        Pe[row + k - 1] = std::fabs(P_[series][row + k - 1]) * factor + 16.0 * n * kTiny;
        Qe[row + k - 1] = std::fabs(Q_[series][row + k - 1]) * factor + 16.0 * n * kTiny;
      }
    }
    return;
  }
  // The bounded triangles carry the engine's values; only their bounds are
  // kept.
  Bounded* boundedP = reinterpret_cast<Bounded*>(scratch);
  Bounded* boundedQ = boundedP + size;
  boundedCoefficients(factorialBounds_, N, p, laws_[series].eta1, laws_[series].eta2, boundedP,
                      boundedQ);
  for (std::size_t i = 0; i < size; ++i) {
    Pe[i] = boundedP[i].v == P_[series][i] ? boundedP[i].e : kInfinity;
    Qe[i] = boundedQ[i].v == Q_[series][i] ? boundedQ[i].e : kInfinity;
  }
}

void BoundedKouModel::buildMaturity(double T, int n, double* storage, Maturity& out,
                                    BoundKind kind, const double* tails) const {
  const int terms = n < 0 ? 0 : (n < terms_ ? n : terms_);
  out.T = T;
  out.terms = terms;
  out.kind = kind;
  if (tails != nullptr) {
    out.poissonTail[0] = tails[0];
    out.poissonTail[1] = tails[1];
  } else {
    poissonTails(T, n, out.poissonTail);
  }
  const std::size_t size = static_cast<std::size_t>(triangleSize(terms_));
  const JumpLaw engineLaws[2] = {measures_.stock, measures_.riskNeutral};
  for (int series = 0; series < 2; ++series) {
    out.W[series] = storage + (2 * series) * size;
    out.V[series] = storage + (2 * series + 1) * size;
    const JumpLaw& law = engineLaws[series];
    SeriesSlice& slice = out.slice[series];
    buildSeriesSlice(factorials_, terms, T, sigma_, law.lam, law.eta1, law.eta2, slice);
    for (int row_n = 1; row_n <= terms; ++row_n) {
      const int row = triangleIndex(row_n, 1);
      weightRow(slice, row_n, P_[series] + row, Q_[series] + row, out.W[series] + row,
                out.V[series] + row);
    }
    if (!boundable(T)) continue;
    if (kind == BoundKind::kScreen) {
      buildScreenSlice(slice, laws_[series], factorialBounds_, factorialRelative_[terms],
                       rowRelativeP_[series], rowRelativeQ_[series], out.W[series],
                       out.V[series], out.screen[series]);
    } else {
      buildBoundedSeriesSlice(slice, laws_[series], factorialBounds_, P_[series], Pe_[series],
                              Q_[series], Qe_[series], out.W[series], out.V[series],
                              out.bounded[series]);
    }
  }
}

void BoundedKouModel::poissonTails(double T, int n, double tails[2]) const {
  tails[0] = poissonTailAbove(laws_[0].lam.v * T + laws_[0].lam.e * T, n);
  tails[1] = poissonTailAbove(laws_[1].lam.v * T, n);
}

double BoundedKouModel::truncationFloor(const double tails[2], double T, double K, double S,
                                        double r) {
  // finishPrices adds S tail0 + (K D') tail1 with D' >= the engine's D in the
  // same order, then non-negative errors, then widens: rounding is monotone.
  return S * tails[0] + K * discountFactor(r, T) * tails[1];
}

bool BoundedKouModel::boundable(double T) const { return inDomain_ && finitePositive(T); }

void BoundedKouModel::logMoneyness(const double* K, const double* S, int count, bool bounded,
                                   bool screen, double* a, Bounded* boundedA) const {
  for (int l = 0; l < kBatchLanes; ++l) {
    const int i = l < count ? l : 0;
    const double ratio = K[i] / S[i];
    a[l] = std::log(ratio);
    if (!bounded || l >= count) continue;
    if (!screen) {
      boundedA[l] = log(Bounded::exact(K[l]) / Bounded::exact(S[l]), a[l]);
      continue;
    }
    // The screen's: fl(K/S) within u of K/S moves the logarithm by at most
    // 1.0001 u, and log errs by 2 u |log| (a normal ratio: no underflow).
    const bool normal = std::fabs(ratio) >= 0x1p-1021 && std::fabs(ratio) <= 0x1p1021;
    boundedA[l] = {a[l], normal ? (2.0 * kUnit * std::fabs(a[l]) + 1.0001 * kUnit) + kTiny
                                : kInfinity};
  }
}

void BoundedKouModel::levels(int series, double T, const double* a, const Bounded* boundedA,
                             const double* r, int count, bool bounded, bool screen,
                             LaneBlock& c, double* cError) const {
  const bool stock = series == 0;
  for (int l = 0; l < kBatchLanes; ++l) {
    const double rate = r[l < count ? l : 0];
    const double mu = stock ? stockDrift(measures_, rate) : riskNeutralDrift(measures_, rate);
    c[l] = a[l] - mu * T;
    if (!bounded || l >= count) continue;
    if (!screen) {
      const Bounded exactRate = Bounded::exact(rate);
      const Bounded drift = stock ? (exactRate + halfSigmaSquared_) - lamZeta_
                                  : (exactRate - halfSigmaSquared_) - lamZeta_;
      const Bounded level = boundedA[l] - drift * Bounded::exact(T);
      cError[l] = level.v == c[l] ? level.e : kInfinity;
      continue;
    }
    // The screen's: mu = fl(fl(r +- sigma^2/2) - lam zeta), c = fl(a - fl(mu T)):
    // their roundings, the constants' errors, and a's.
    const double inner = stock ? rate + measures_.halfSigmaSquared
                               : rate - measures_.halfSigmaSquared;
    const double muError =
        kUnit * (std::fabs(inner) + std::fabs(mu)) + driftConstantsError_ + kTiny;
    const double muT = mu * T;
    cError[l] = bound_support::finiteOrInfinite(
        ((boundedA[l].e + kUnit * (std::fabs(c[l]) + std::fabs(muT))) + T * muError + kTiny) *
        (1.0 + 8.0 * kUnit));
  }
}

void BoundedKouModel::priceLanes(const Maturity& maturity, bool isCall, const double* K,
                                 const double* S, const double* r, int count, double* prices,
                                 double* bounds) const {
  // Lanes past `count` repeat the first option and are discarded.
  SeriesLanes<kBatchLanes> lanes;
  const double T = maturity.T;
  const bool bounded = boundable(T);
  double a[kBatchLanes];
  double U[2][kBatchLanes];
  Bounded boundedU[2][kBatchLanes];
  Bounded boundedA[kBatchLanes];
  BoundedFamilyLevels levelValues[2];
  logMoneyness(K, S, count, bounded, false, a, boundedA);
  const LaneBlock unit = broadcastLanes(kUnit), tiny = broadcastLanes(kTiny);
  for (int series = 0; series < 2; ++series) {
    const SeriesSlice& slice = maturity.slice[series];
    double cError[kBatchLanes];
    levels(series, T, a, boundedA, r, count, bounded, false, lanes.c, cError);
    // Where the bound is formed, its level values (with their errors) are
    // the engine's too, and their library calls are made once.
    const BoundedSeriesSlice& boundedSlice = maturity.bounded[series];
    const bool bounding = bounded && slice.N > 0;
    if (bounding) {
      boundFamilyLevels(slice.upward, boundedSlice.upward, lanes.c, levelValues[0]);
      boundFamilyLevels(slice.downward, boundedSlice.downward, lanes.c, levelValues[1]);
    }
    if (bounding && boundedSlice.upward.sharesLevels && boundedSlice.downward.sharesLevels) {
      beginSeriesAt(slice, levelValues[0].values, levelValues[1].values, lanes,
                    levelValues[0].hh, levelValues[1].hh);
    } else {
      beginSeries(slice, lanes);
      if (bounding) {
        hhRecursion(levelValues[0].values, slice.N, levelValues[0].hh);
        hhRecursion(levelValues[1].values, slice.N, levelValues[1].hh);
      }
    }
    // addSeriesRow's operations, in its order, with a bound on the rounding
    // of the accumulation over n beside them: each addition errs by at most
    // the smaller of u |its result| and the term it adds, each product by
    // u |itself| (and an underflow).
    LaneBlock SPRounding = zeroLanes(), SQRounding = zeroLanes();
    for (int n = 1; n <= maturity.terms; ++n) {
      const int row = triangleIndex(n, 1);
      const double* W = maturity.W[series] + row;
      const double* V = maturity.V[series] + row;
      LaneBlock A = zeroLanes(), B = zeroLanes();
      for (int k = 1; k <= n; ++k) {
        A = A + lanes.upward[k - 1] * W[k - 1];
        B = B + lanes.downward[k - 1] * V[k - 1];
      }
      const double pin = slice.poisson[n];
      const LaneBlock termP = A * pin;
      const LaneBlock termQ = pin * B;
      lanes.SP = lanes.SP + termP;
      lanes.SQ = lanes.SQ + termQ;
      if (!bounded) continue;
      const LaneBlock tP = absLanes(termP), tQ = absLanes(termQ);
      const LaneBlock sumP = kUnit * absLanes(lanes.SP), sumQ = kUnit * absLanes(lanes.SQ);
      SPRounding = SPRounding + ((selectLanes(lessLanes(sumP, tP), sumP, tP) + unit * tP) + tiny);
      SQRounding = SQRounding + ((selectLanes(lessLanes(sumQ, tQ), sumQ, tQ) + unit * tQ) + tiny);
    }
    if (!bounded) {
      finishSeries(slice, lanes, U[series]);
      continue;
    }
    double SPBound[kBatchLanes], SQBound[kBatchLanes];
    Bounded noJump[kBatchLanes];
    double noJumpValue[kBatchLanes] = {};  // lanes past `count` are discarded
    for (int l = 0; l < count; ++l) {
      SPBound[l] = SPRounding[l] * (1.0 + 4.0 * kUnit);
      SQBound[l] = SQRounding[l] * (1.0 + 4.0 * kUnit);
      noJump[l] = boundedNoJumpFactor(boundedSlice, lanes.c[l], cError[l]);
      noJumpValue[l] = noJump[l].v;
    }
    // The factors of pi_0 with their library calls made once, where they
    // are the engine's.
    if (boundedSlice.sharesNoJumpFactor) {
      finishSeriesAt(slice, lanes, noJumpValue, U[series]);
    } else {
      finishSeries(slice, lanes, U[series]);
    }
    boundedUpsilon(slice, boundedSlice, lanes.c, cError, levelValues[0], levelValues[1],
                   lanes.upward, lanes.downward, lanes.SP, SPBound, lanes.SQ, SQBound, noJump,
                   count, boundedU[series]);
    for (int l = 0; l < count; ++l) {
      if (!(boundedU[series][l].v == U[series][l])) boundedU[series][l].e = kInfinity;
    }
  }
  finishPrices(maturity, isCall, K, S, r, count, bounded, U, boundedU, prices, bounds);
}

void BoundedKouModel::screenLanes(const Maturity& maturity, bool isCall, const double* K,
                                  const double* S, const double* r, int count, double* prices,
                                  double* bounds, double tolerance) const {
  // The engine's evaluation as the book pricer runs it, keeping the level
  // values and Hh rows for the screen.
  SeriesLanes<kBatchLanes> lanes;
  const double T = maturity.T;
  const bool bounded = boundable(T);
  double a[kBatchLanes];
  double U[2][kBatchLanes];
  Bounded boundedU[2][kBatchLanes];
  Bounded boundedA[kBatchLanes];
  IntegralLevelValues<LaneBlock> levelValues[2];
  LaneBlock hh[2][kSeriesTableSize];
  logMoneyness(K, S, count, bounded, true, a, boundedA);
  // An Upsilon error of tolerance / (S + K) keeps the price's within it.
  const bool budgeted = !(tolerance > std::numeric_limits<double>::max());
  LaneBlock budget = broadcastLanes(kInfinity);
  for (int l = 0; l < count && budgeted; ++l) budget[l] = tolerance / (S[l] + K[l]);
  for (int series = 0; series < 2; ++series) {
    const SeriesSlice& slice = maturity.slice[series];
    double cError[kBatchLanes];
    levels(series, T, a, boundedA, r, count, bounded, true, lanes.c, cError);
    if (slice.N > 0) {
      const IntegralFamily* families[2] = {&slice.upward, &slice.downward};
      for (int f = 0; f < 2; ++f) {
        if (families[f]->which != IntegralCase::kZero) {
          formIntegralLevelValues<kBatchLanes>(*families[f], lanes.c, levelValues[f]);
        }
      }
      beginSeriesAt(slice, levelValues[0], levelValues[1], lanes, hh[0], hh[1]);
    } else {
      beginSeries(slice, lanes);
    }
    for (int n = 1; n <= maturity.terms; ++n) {
      const int row = triangleIndex(n, 1);
      addSeriesRow(slice, n, maturity.W[series] + row, maturity.V[series] + row, lanes);
    }
    finishSeries(slice, lanes, U[series]);
    if (!bounded) continue;
    double errors[kBatchLanes];
    screenUpsilon(slice, maturity.screen[series], lanes, cError, levelValues[0], hh[0],
                  levelValues[1], hh[1], U[series], budgeted ? &budget : nullptr, count, errors);
    for (int l = 0; l < count; ++l) boundedU[series][l] = {U[series][l], errors[l]};
  }
  finishPrices(maturity, isCall, K, S, r, count, bounded, U, boundedU, prices, bounds);
}

void BoundedKouModel::finishPrices(const Maturity& maturity, bool isCall, const double* K,
                                   const double* S, const double* r, int count, bool bounded,
                                   const double (*U)[kBatchLanes],
                                   const Bounded (*boundedU)[kBatchLanes], double* prices,
                                   double* bounds) const {
  const double T = maturity.T;
  const bool screen = maturity.kind == BoundKind::kScreen;
  for (int l = 0; l < count; ++l) {
    const double discount = discountFactor(r[l], T);
    const double call = callFromProbabilities(S[l], K[l], discount, U[0][l], U[1][l]);
    prices[l] = isCall ? call : putFromCall(S[l], K[l], discount, call);
    const bool valid = bounded && finitePositive(K[l]) && finitePositive(S[l]) &&
                       std::isfinite(r[l]) && std::isfinite(prices[l]);
    if (!valid) {
      bounds[l] = kInfinity;
      continue;
    }
    double error, discountUpper;
    if (screen) {
      // The screen's: each rounding by its a-priori bound. discount =
      // exp(fl(-r T)) within exp's 2 u and the argument's rounding;
      // call = fl(fl(S U1) - fl(fl(K D) U2)), put = fl(fl(D K + call) - S).
      const double exponent = std::fabs(r[l] * T) * kUnit;
      const double discountError =
          exponent <= 1e-3 ? discount * (2.0 * kUnit + exponent) * 1.01 + kTiny : kInfinity;
      const double U1Error = boundedU[0][l].e, U2Error = boundedU[1][l].e;
      const double KD = K[l] * discount;
      const double strikeFactor = kUnit * KD + K[l] * discountError;
      const double callError =
          kUnit * (std::fabs(call) + std::fabs(S[l] * U[0][l]) + std::fabs(KD * U[1][l])) +
          S[l] * U1Error + KD * U2Error +
          (std::fabs(U[1][l]) + U2Error) * strikeFactor * (1.0 + kUnit) + 4.0 * kTiny;
      error = isCall ? callError
                     : kUnit * (std::fabs(prices[l]) + std::fabs(KD + call)) + strikeFactor +
                           callError;
      discountUpper = discount + discountError;
    } else {
      // exp(-r T): the engine's discount, the same library call.
      const Bounded t = Bounded::exact(T), k = Bounded::exact(K[l]), s = Bounded::exact(S[l]);
      const Bounded boundedDiscount = exp(-Bounded::exact(r[l]) * t, discount);
      const Bounded boundedCall = s * boundedU[0][l] - (k * boundedDiscount) * boundedU[1][l];
      const Bounded result = isCall ? boundedCall : (boundedDiscount * k + boundedCall) - s;
      error = result.v == prices[l] ? result.e : kInfinity;
      discountUpper = boundedDiscount.v + boundedDiscount.e;
    }
    const double truncation =
        S[l] * maturity.poissonTail[0] + K[l] * discountUpper * maturity.poissonTail[1];
    const double bound = (error + truncation) * kBoundWidening;
    bounds[l] = bound <= std::numeric_limits<double>::max() ? bound : kInfinity;
  }
}

PriceAndBound BoundedKouModel::one(bool isCall, double T, double K, double S, double r) const {
  PriceAndBound result{std::numeric_limits<double>::quiet_NaN(), kInfinity};
  if (pricesAreNaN()) return result;
  Maturity maturity;
  buildMaturity(T, n_, scratch_, maturity);
  priceLanes(maturity, isCall, &K, &S, &r, 1, &result.price, &result.bound);
  return result;
}

PriceAndBound BoundedKouModel::call(double T, double K, double S, double r) const {
  return one(true, T, K, S, r);
}

PriceAndBound BoundedKouModel::put(double T, double K, double S, double r) const {
  return one(false, T, K, S, r);
}

}  // namespace jdpricer
