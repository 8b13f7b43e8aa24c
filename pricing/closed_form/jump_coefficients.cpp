#include "pricing/closed_form/jump_coefficients.hpp"

#include <cmath>

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

}  // namespace

FactorialTable::FactorialTable(int terms) {
  // A series longer than kMaxSeriesTerms is never summed (it is NaN), so its
  // table is never read past entry 0.
  const int last = (terms < 0 || terms > kMaxSeriesTerms) ? 0 : terms;
  for (int m = 0; m <= last; ++m) values_[m] = std::tgamma(static_cast<double>(m) + 1.0);
}

JumpCoefficientRows::JumpCoefficientRows(const FactorialTable& factorials, int N, double p,
                                         double eta1, double eta2)
    : fact_(factorials) {
  const double q = 1.0 - p;
  const double w = eta1 + eta2;
  // Exponent 0 is never read for p and q; for eta/w it is pow(x, 0), which
  // is 1 for every x, NaN included.
  fillPowers(p, 1, N, pPow_);
  fillPowers(q, 1, N, qPow_);
  w1Pow_[0] = 1.0;
  w2Pow_[0] = 1.0;
  fillPowers(eta1 / w, 1, N - 1, w1Pow_);
  fillPowers(eta2 / w, 1, N - 1, w2Pow_);
}

void JumpCoefficientRows::next(double* P, double* Q) {
  const int n = ++n_;
  fillBinomialRow(fact_, n, binomialN_);
  for (int i = 1; i < n; ++i) {
    upPQ_[i] = qPow_[n - i] * pPow_[i];
    downPQ_[i] = pPow_[n - i] * qPow_[i];
  }
  // Row m = n - k - 1 first appears at n = m + 2 and is read again for
  // every later n.
  const int newRow = n - 2;
  if (newRow >= 0 && newRow < kCachedRows) {
    fillBinomialRow(fact_, newRow, &triangle_[newRow * (newRow + 1) / 2]);
  }
  // Row m = n - k - 1 of the inner binomials, cached or recomputed into the
  // spare row `slot`.
  auto innerRow = [&](int k, int slot) -> const double* {
    const int m = n - k - 1;
    if (m < kCachedRows) return &triangle_[m * (m + 1) / 2];
    fillBinomialRow(fact_, m, spareRows_[slot]);
    return spareRows_[slot];
  };
  // The summand i of P_{n,k} and Q_{n,k}, j = i - k; binomial(n, i) *
  // binomial(m, j) is shared by P and Q.
  auto addSummand = [&](int i, int j, const double* inner, double& sumP, double& sumQ) {
    const double b = binomialN_[i] * inner[j];
    sumP = sumP + ((b * w1Pow_[j]) * w2Pow_[n - i]) * upPQ_[i];
    sumQ = sumQ + ((b * w1Pow_[n - i]) * w2Pow_[j]) * downPQ_[i];
  };
  // Each P_{n,k}, Q_{n,k} adds its summands in increasing i. The chains of
  // kChains consecutive k are independent, so they advance together over
  // the i that they share, each still in its own order.
  int k = 1;
  for (; k + kChains <= n; k += kChains) {
    const double* inner[kChains];
    double sumP[kChains], sumQ[kChains];
    for (int c = 0; c < kChains; ++c) {
      inner[c] = innerRow(k + c, c);
      sumP[c] = 0.0;
      sumQ[c] = 0.0;
    }
    // The first i of chain c is k + c: the leading chains start alone.
    for (int i = k; i < k + kChains - 1; ++i) {
      for (int c = 0; c <= i - k; ++c) addSummand(i, i - k - c, inner[c], sumP[c], sumQ[c]);
    }
    for (int i = k + kChains - 1; i < n; ++i) {
      for (int c = 0; c < kChains; ++c) addSummand(i, i - k - c, inner[c], sumP[c], sumQ[c]);
    }
    for (int c = 0; c < kChains; ++c) {
      P[k + c - 1] = sumP[c];
      Q[k + c - 1] = sumQ[c];
    }
  }
  for (; k < n; ++k) {
    const double* inner = innerRow(k, 0);
    double sumP = 0.0;
    double sumQ = 0.0;
    for (int i = k; i < n; ++i) addSummand(i, i - k, inner, sumP, sumQ);
    P[k - 1] = sumP;
    Q[k - 1] = sumQ;
  }
  P[n - 1] = pPow_[n];
  Q[n - 1] = qPow_[n];
}

}  // namespace jdpricer
