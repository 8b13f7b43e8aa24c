#include "pricing/upsilon.hpp"

#include <cmath>
#include <limits>

namespace jdpricer {

namespace {

// table[j] = pow(base, j) for j = first..last: one pow call per power, never
// a running product, so each entry has the bits of the pow the formula names.
void fillPowers(double base, int first, int last, double* table) {
  for (int j = first; j <= last; ++j) table[j] = std::pow(base, static_cast<double>(j));
}

// row[j] = binomial(m, j) = m! / (j! (m-j)!) for j = 0..m, each from the
// factorials exactly as the closed form writes it.
void fillBinomialRow(const FactorialTable& fact, int m, double* row) {
  for (int j = 0; j <= m; ++j) row[j] = fact[m] / (fact[j] * fact[m - j]);
}

struct SeriesInputs {
  int N;
  double pi0, lamT, p, q, eta1OverW, eta2OverW, eta1S, eta2S;
  double c, sqrtT, sigma, eta1, eta2, s;
};

// The double sum over n = 1..N and k = 1..n of the Poisson-weighted jump
// terms, for 1 <= N <= kMaxSeriesTerms. Writes SP (upward) and SQ (downward).
void sumJumpSeries(const FactorialTable& fact, const SeriesInputs& in, double& SP,
                   double& SQ) {
  const int N = in.N;
  // Powers with exponent 0 are never read for lam T, p, q and eta s; for
  // eta/w they are pow(x, 0), which is 1 for every x, NaN included.
  double lamTPow[kSeriesTableSize];
  double pPow[kSeriesTableSize];
  double qPow[kSeriesTableSize];
  double w1Pow[kSeriesTableSize];  // (eta1/w)^j
  double w2Pow[kSeriesTableSize];  // (eta2/w)^j
  double eta1SPow[kSeriesTableSize];
  double eta2SPow[kSeriesTableSize];
  fillPowers(in.lamT, 1, N, lamTPow);
  fillPowers(in.p, 1, N, pPow);
  fillPowers(in.q, 1, N, qPow);
  w1Pow[0] = 1.0;
  w2Pow[0] = 1.0;
  fillPowers(in.eta1OverW, 1, N - 1, w1Pow);
  fillPowers(in.eta2OverW, 1, N - 1, w2Pow);
  fillPowers(in.eta1S, 1, N, eta1SPow);
  fillPowers(in.eta2S, 1, N, eta2SPow);

  // upward[k-1] = I_{k-1}(c; -eta1, -1/s, sqrtT*(-sigma eta1)) and
  // downward[k-1] = I_{k-1}(c; eta2, 1/s, sqrtT*(-sigma eta2)).
  double upward[kSeriesTableSize];
  double downward[kSeriesTableSize];
  fillIntegralI(N, in.c, -in.eta1, -1.0 / in.s, in.sqrtT * (-in.sigma * in.eta1), upward);
  fillIntegralI(N, in.c, in.eta2, 1.0 / in.s, in.sqrtT * (-in.sigma * in.eta2), downward);

  // The inner coefficients binomial(n-k-1, i-k) are rows m = n-k-1: row m first appears at n = m + 2 and is read again
  // for every later n, so rows up to kCachedRows - 1 are kept in a packed
  // triangle (row m at offset m(m+1)/2); longer rows, which only series of
  // more than kCachedRows + 1 terms reach, are recomputed into `spareRow`.
  constexpr int kCachedRows = 96;
  double triangle[kCachedRows * (kCachedRows + 1) / 2];
  double spareRow[kSeriesTableSize];

  // Per n, indexed by i: binomial(n, i) and the p-q factors of the summands
  // of P and of Q.
  double binomialN[kSeriesTableSize];
  double upPQ[kSeriesTableSize];    // q^(n-i) * p^i
  double downPQ[kSeriesTableSize];  // p^(n-i) * q^i

  SP = 0.0;
  SQ = 0.0;
  for (int n = 1; n <= N; ++n) {
    const double pin = (in.pi0 * lamTPow[n]) / fact[n];
    fillBinomialRow(fact, n, binomialN);
    for (int i = 1; i < n; ++i) {
      upPQ[i] = qPow[n - i] * pPow[i];
      downPQ[i] = pPow[n - i] * qPow[i];
    }
    const int newRow = n - 2;
    if (newRow >= 0 && newRow < kCachedRows) {
      fillBinomialRow(fact, newRow, &triangle[newRow * (newRow + 1) / 2]);
    }

    double An = 0.0;
    double Bn = 0.0;
    for (int k = 1; k <= n; ++k) {
      double P;
      double Q;
      if (k == n) {
        P = pPow[n];
        Q = qPow[n];
      } else {
        const int m = n - k - 1;
        const double* inner = spareRow;
        if (m < kCachedRows) {
          inner = &triangle[m * (m + 1) / 2];
        } else {
          fillBinomialRow(fact, m, spareRow);
        }
        // Summands in increasing i = k + j; binomial(n, i) * binomial(m, j)
        // is shared by P and Q.
        P = 0.0;
        Q = 0.0;
        for (int j = 0, i = k; i < n; ++j, ++i) {
          const double b = binomialN[i] * inner[j];
          P = P + ((b * w1Pow[j]) * w2Pow[n - i]) * upPQ[i];
          Q = Q + ((b * w1Pow[n - i]) * w2Pow[j]) * downPQ[i];
        }
      }
      An = An + upward[k - 1] * (eta1SPow[k] * P);
      Bn = Bn + downward[k - 1] * (Q * eta2SPow[k]);
    }
    SP = SP + An * pin;
    SQ = SQ + pin * Bn;
  }
}

}  // namespace

FactorialTable::FactorialTable(int terms) {
  // A series longer than kMaxSeriesTerms is never summed (it is NaN), so its
  // table is never read past entry 0.
  const int last = (terms < 0 || terms > kMaxSeriesTerms) ? 0 : terms;
  for (int m = 0; m <= last; ++m) values_[m] = std::tgamma(static_cast<double>(m) + 1.0);
}

double upsilonProbability(int N, double mu, double sigma, double lam, double p,
                          double eta1, double eta2, double a, double T) {
  if (N > kMaxSeriesTerms) return std::numeric_limits<double>::quiet_NaN();
  return upsilonProbability(FactorialTable(N), N, mu, sigma, lam, p, eta1, eta2, a, T);
}

double upsilonProbability(const FactorialTable& factorials, int N, double mu,
                          double sigma, double lam, double p, double eta1,
                          double eta2, double a, double T) {
  // From N = 171 on tgamma(n + 1) is infinite: every Poisson weight is 0 or
  // NaN while every P and Q sum with k < n is infinite or NaN, so the closed
  // form is NaN whatever the inputs. Answer that without summing.
  if (N > kMaxSeriesTerms) return std::numeric_limits<double>::quiet_NaN();

  const double pi0 = std::exp((-lam) * T);
  const double muT = mu * T;
  const double c = a - muT;
  const double sqrtT = std::sqrt(T);
  const double s = sigma * sqrtT;
  const double q = 1.0 - p;
  const double w = eta1 + eta2;
  const double lamT = lam * T;

  double SP = 0.0;
  double SQ = 0.0;
  if (N >= 1) {
    const SeriesInputs in{N,    pi0,   lamT,  p,    q,    eta1 / w, eta2 / w, eta1 * s,
                          eta2 * s, c, sqrtT, sigma, eta1, eta2, s};
    sumJumpSeries(factorials, in, SP, SQ);
  }

  const double D = std::sqrt(6.283185307179586 * T) * sigma;
  const double UP = (std::exp((eta1 * sigma) * (eta1 * sigma) * T * 0.5) / D) * SP;
  const double UQ = (std::exp((eta2 * sigma) * (eta2 * sigma) * T * 0.5) / D) * SQ;
  return normalCdf(-c / (sqrtT * sigma)) * pi0 + (UQ + UP);
}

}  // namespace jdpricer
