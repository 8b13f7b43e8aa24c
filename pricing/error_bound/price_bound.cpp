#include "pricing/error_bound/price_bound.hpp"

#include <cmath>
#include <initializer_list>
#include <limits>

#include "pricing/closed_form/hh_integral.hpp"
#include "pricing/closed_form/jump_coefficients.hpp"
#include "pricing/closed_form/kou_call.hpp"

namespace jdpricer {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Covers the relative rounding of the bound's own arithmetic: some u per
// operation over at most a few million operations.
constexpr double kBoundWidening = 1.0 + 0x1p-20;

Bounded normalCdfBounded(Bounded y) {
  return Bounded::exact(1.0) - 0.5 * erfc(y / literal(kSqrtTwo));
}

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

// I_0 .. I_{count-1}(c; alpha, beta, delta), as integral_family.cpp forms them.
void boundedIntegrals(int count, Bounded c, Bounded alpha, Bounded beta, Bounded delta,
                      Bounded* out) {
  const IntegralCase which = selectIntegralCase(alpha.v, beta.v);
  if (which == IntegralCase::kZero) {
    for (int m = 0; m < count; ++m) out[m] = Bounded::exact(0.0);
    return;
  }
  const Bounded sqrtTwoPi = literal(kSqrtTwoPi);
  const Bounded rho = beta / alpha;
  const Bounded F = exp((alpha * alpha) / ((beta + beta) * beta) + (delta * alpha) / beta);
  const Bounded G = sqrtTwoPi / beta;
  const Bounded alphaOverBeta = alpha / beta;
  Bounded rhoPow[kSeriesTableSize + 1];
  for (int j = 0; j <= count; ++j) rhoPow[j] = powInteger(rho, j);

  const Bounded e = beta * c - delta;
  const Bounded eOverAlpha = exp(alpha * c) / alpha;
  const Bounded phi = which == IntegralCase::kA
                          ? normalCdfBounded((delta - c * beta) + alphaOverBeta)
                          : normalCdfBounded((beta * c - delta) - alphaOverBeta);
  Bounded hh[kSeriesTableSize];
  hh[0] = normalCdfBounded(-e) * sqrtTwoPi;
  Bounded older = exp((-0.5 * e) * e);
  for (int m = 1; m < count; ++m) {
    hh[m] = (older - e * hh[m - 1]) / static_cast<double>(m);
    older = hh[m - 1];
  }
  for (int m = 0; m < count; ++m) {
    Bounded sum = Bounded::exact(0.0);
    for (int i = 0; i <= m; ++i) sum = sum + hh[i] * rhoPow[m - i];
    const Bounded gaussian = ((G * rhoPow[m + 1]) * F) * phi;
    out[m] = which == IntegralCase::kA ? gaussian - sum * eOverAlpha
                                       : (-eOverAlpha) * sum - gaussian;
  }
}

bool finitePositive(double x) { return std::isfinite(x) && x > 0.0; }

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
    const double term = std::exp(-mean + j * logMean - std::lgamma(j + 1.0));
    sum += term;
    const double ratio = mean / (j + 1.0);
    if (ratio < 0.5 && term <= sum * 1e-18) return std::fmin(1.0, (sum + term) * (1.0 + 1e-9));
  }
  return 1.0;
}

std::size_t BoundedKouModel::storageDoubles(int n) {
  const int N = n < 0 ? 0 : (n > kMaxSeriesTerms ? 0 : n);
  // Two series, P and Q each, a value and a bound per entry.
  return 8 * static_cast<std::size_t>(triangleSize(N));
}

BoundedKouModel::BoundedKouModel(double sigma, double lam, double p, double eta1, double eta2,
                                 int n, double* storage)
    : sigma_(sigma), lam_(lam), p_(p), eta1_(eta1), eta2_(eta2), n_(n),
      terms_(n < 0 ? 0 : (n > kMaxSeriesTerms ? 0 : n)) {
  inDomain_ = finitePositive(sigma) && std::isfinite(lam) && lam >= 0.0 && p >= 0.0 &&
              p <= 1.0 && std::isfinite(eta1) && eta1 > 1.0 && finitePositive(eta2) &&
              n <= kMaxSeriesTerms;
  const Bounded s = Bounded::exact(sigma), l = Bounded::exact(lam), pp = Bounded::exact(p);
  const Bounded e1 = Bounded::exact(eta1), e2 = Bounded::exact(eta2), one = Bounded::exact(1.0);
  zeta_ = ((pp * e1) / (e1 - one) + ((one - pp) * e2) / (e2 + one)) - one;
  halfSigmaSquared_ = (0.5 * s) * s;
  lamZeta_ = l * zeta_;
  stock_ = {(one + zeta_) * l, (pp / (one + zeta_)) * (e1 / (e1 - one)), e1 - one, e2 + one,
            nullptr, nullptr};
  riskNeutral_ = {l, pp, e1, e2, nullptr, nullptr};
  if (!inDomain_ || terms_ == 0) return;

  Bounded* fact = factorials_;
  for (int m = 0; m <= terms_; ++m) fact[m] = factorial(m);
  Bounded* cells = reinterpret_cast<Bounded*>(storage);
  const std::size_t size = static_cast<std::size_t>(triangleSize(terms_));
  for (Series* series : {&stock_, &riskNeutral_}) {
    Bounded* P = cells;
    Bounded* Q = cells + size;
    cells += 2 * size;
    boundedCoefficients(fact, terms_, series->p, series->eta1, series->eta2, P, Q);
    series->P = P;
    series->Q = Q;
  }
}

Bounded BoundedKouModel::upsilon(const Series& series, int N, Bounded mu, Bounded a,
                                 Bounded T) const {
  const Bounded sigma = Bounded::exact(sigma_);
  const Bounded pi0 = exp((-series.lam) * T);
  const Bounded c = a - mu * T;
  const Bounded sqrtT = sqrt(T);
  const Bounded s = sigma * sqrtT;
  Bounded SP = Bounded::exact(0.0), SQ = Bounded::exact(0.0);
  if (N > 0) {
    const Bounded lamT = series.lam * T;
    Bounded up[kSeriesTableSize], down[kSeriesTableSize];
    boundedIntegrals(N, c, -series.eta1, Bounded::exact(-1.0) / s, sqrtT * (-sigma * series.eta1),
                     up);
    boundedIntegrals(N, c, series.eta2, Bounded::exact(1.0) / s, sqrtT * (-sigma * series.eta2),
                     down);
    const Bounded eta1S = series.eta1 * s, eta2S = series.eta2 * s;
    Bounded eta1SPow[kSeriesTableSize], eta2SPow[kSeriesTableSize];
    for (int k = 1; k <= N; ++k) {
      eta1SPow[k] = powInteger(eta1S, k);
      eta2SPow[k] = powInteger(eta2S, k);
    }
    for (int n = 1; n <= N; ++n) {
      const Bounded pin = (pi0 * powInteger(lamT, n)) / factorials_[n];
      const Bounded* P = series.P + triangleIndex(n, 1);
      const Bounded* Q = series.Q + triangleIndex(n, 1);
      Bounded A = Bounded::exact(0.0), B = Bounded::exact(0.0);
      for (int k = 1; k <= n; ++k) {
        A = A + up[k - 1] * (eta1SPow[k] * P[k - 1]);
        B = B + down[k - 1] * (Q[k - 1] * eta2SPow[k]);
      }
      SP = SP + A * pin;
      SQ = SQ + pin * B;
    }
  }
  const Bounded D = sqrt(literal(6.283185307179586) * T) * sigma;
  const Bounded eta1Sigma = series.eta1 * sigma, eta2Sigma = series.eta2 * sigma;
  const Bounded UP = (exp(eta1Sigma * eta1Sigma * T * 0.5) / D) * SP;
  const Bounded UQ = (exp(eta2Sigma * eta2Sigma * T * 0.5) / D) * SQ;
  return normalCdfBounded(-c / (sqrtT * sigma)) * pi0 + (UQ + UP);
}

PriceAndBound BoundedKouModel::price(bool isCall, double T, double K, double S, double r,
                                     int n) const {
  // Outside the model's domain (n >= 171 included) nothing is bounded; the
  // price is still the engine's.
  if (!inDomain_ || n > kMaxSeriesTerms) {
    return {isCall ? kouCallPrice(T, K, S, r, sigma_, lam_, p_, eta1_, eta2_, n)
                   : kouPutPrice(T, K, S, r, sigma_, lam_, p_, eta1_, eta2_, n),
            kInfinity};
  }
  const int N = n < 0 ? 0 : n;  // at most terms_ (the caller's promise)
  const Bounded t = Bounded::exact(T), k = Bounded::exact(K), s = Bounded::exact(S);
  const Bounded rate = Bounded::exact(r);
  const Bounded a = log(k / s);
  const Bounded U1 = upsilon(stock_, N, (rate + halfSigmaSquared_) - lamZeta_, a, t);
  const Bounded U2 = upsilon(riskNeutral_, N, (rate - halfSigmaSquared_) - lamZeta_, a, t);
  const Bounded discount = exp(-rate * t);
  const Bounded call = s * U1 - (k * discount) * U2;
  const Bounded result = isCall ? call : (discount * k + call) - s;

  const bool valid = finitePositive(T) && finitePositive(K) && finitePositive(S) &&
                     std::isfinite(r) && std::isfinite(result.v);
  if (!valid) return {result.v, kInfinity};
  const double lamT = lam_ * T;
  const double truncation = S * poissonTailAbove(stock_.lam.v * T + stock_.lam.e * T, n) +
                            K * (discount.v + discount.e) * poissonTailAbove(lamT, n);
  const double bound = (result.e + truncation) * kBoundWidening;
  return {result.v, std::isnan(bound) ? kInfinity : bound};
}

PriceAndBound BoundedKouModel::call(double T, double K, double S, double r) const {
  return price(true, T, K, S, r, n_);
}

PriceAndBound BoundedKouModel::put(double T, double K, double S, double r) const {
  return price(false, T, K, S, r, n_);
}

PriceAndBound BoundedKouModel::call(double T, double K, double S, double r, int n) const {
  return price(true, T, K, S, r, n);
}

PriceAndBound BoundedKouModel::put(double T, double K, double S, double r, int n) const {
  return price(false, T, K, S, r, n);
}

}  // namespace jdpricer
