#include "pricing/greeks/coefficient_derivatives.hpp"

#include <cmath>

namespace jdpricer {

void fillCoefficientDerivatives(const FactorialTable& fact, int N, double p, double eta1,
                                double eta2, const CoefficientDerivatives& out) {
  const double q = 1.0 - p;
  const double w = eta1 + eta2;
  const double x = eta1 / w;
  const double y = eta2 / w;
  // pow(base, j) and j pow(base, j - 1) (0 at j = 0), j = 0..N; pow(b, 0) is 1.
  double pPow[kSeriesTableSize], qPow[kSeriesTableSize];
  double xPow[kSeriesTableSize], yPow[kSeriesTableSize];
  double xSlope[kSeriesTableSize], ySlope[kSeriesTableSize];
  double factorial[kSeriesTableSize], inverseFactorial[kSeriesTableSize];
  for (int j = 0; j <= N; ++j) {
    const double e = static_cast<double>(j);
    pPow[j] = std::pow(p, e);
    qPow[j] = std::pow(q, e);
    xPow[j] = std::pow(x, e);
    yPow[j] = std::pow(y, e);
    xSlope[j] = j == 0 ? 0.0 : e * std::pow(x, e - 1.0);
    ySlope[j] = j == 0 ? 0.0 : e * std::pow(y, e - 1.0);
    factorial[j] = fact[j];
    inverseFactorial[j] = 1.0 / fact[j];
  }
  // The row n in reverse: entry t holds the coefficient k = n - t, so that
  // the summands of one i run over consecutive t, in vector registers, with
  // nothing else aliasing the local rows.
  double Pp[kSeriesTableSize + 1], Qp[kSeriesTableSize + 1];
  double Px[kSeriesTableSize + 1], Qx[kSeriesTableSize + 1];
  for (int n = 1; n <= N; ++n) {
    for (int t = 0; t < n; ++t) Pp[t] = Qp[t] = Px[t] = Qx[t] = 0.0;
    // Summand i of every k < n at once: with j = i - k, l = n - i,
    // C(n,i) C(n-k-1, j) = [C(n,i) / (n-1-i)!] (l-1+j)! / j!, whose first
    // factor is shared by all k; t = n - k = l + j.
    for (int i = 1; i < n; ++i) {
      const int l = n - i;
      const double shared = (factorial[n] * inverseFactorial[i]) * inverseFactorial[l] *
                            inverseFactorial[n - 1 - i];
      const double upPQ = qPow[l] * pPow[i];      // q^l p^i
      const double downPQ = pPow[l] * qPow[i];    // p^l q^i
      const double upPQdp = i * qPow[l] * pPow[i - 1] - l * qPow[l - 1] * pPow[i];
      const double downPQdp = l * pPow[l - 1] * qPow[i] - i * pPow[l] * qPow[i - 1];
      // The factors that depend on (n, i) alone.
      const double upDp = yPow[l] * upPQdp, downDp = xPow[l] * downPQdp;
      const double upDx = yPow[l] * upPQ, upDxY = ySlope[l] * upPQ;
      const double downDx = xSlope[l] * downPQ, downDxY = xPow[l] * downPQ;
      const double* tailFactorial = &factorial[l - 1];
      double* PpRow = &Pp[l];
      double* QpRow = &Qp[l];
      double* PxRow = &Px[l];
      double* QxRow = &Qx[l];
      for (int j = 0; j < i; ++j) {
        // (l-1+j)!/j! first: C(n,i) (l-1+j)! alone can overflow.
        const double b = shared * (tailFactorial[j] * inverseFactorial[j]);
        PpRow[j] += b * xPow[j] * upDp;                                   // x^j y^l
        QpRow[j] += b * yPow[j] * downDp;                                 // x^l y^j
        PxRow[j] += b * (xSlope[j] * upDx - xPow[j] * upDxY);
        QxRow[j] += b * (yPow[j] * downDx - ySlope[j] * downDxY);
      }
    }
    const int row = triangleIndex(n, 1);
    for (int k = 1; k < n; ++k) {
      out.Pp[row + k - 1] = Pp[n - k];
      out.Qp[row + k - 1] = Qp[n - k];
      out.Px[row + k - 1] = Px[n - k];
      out.Qx[row + k - 1] = Qx[n - k];
    }
    out.Pp[row + n - 1] = n * pPow[n - 1];
    out.Qp[row + n - 1] = -n * qPow[n - 1];
    out.Px[row + n - 1] = 0.0;
    out.Qx[row + n - 1] = 0.0;
  }
}

}  // namespace jdpricer
