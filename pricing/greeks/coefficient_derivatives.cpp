#include "pricing/greeks/coefficient_derivatives.hpp"

#include <cmath>

namespace jdpricer {

void fillCoefficientDerivatives(const FactorialTable& fact, int N, double p, double eta1,
                                double eta2, const CoefficientDerivatives& out) {
  const double q = 1.0 - p;
  const double w = eta1 + eta2;
  const double x = eta1 / w;
  const double y = eta2 / w;
  // pow(base, j), j = 0..N; pow(b, 0) is 1 for every b.
  double pPow[kSeriesTableSize], qPow[kSeriesTableSize];
  double xPow[kSeriesTableSize], yPow[kSeriesTableSize];
  for (int j = 0; j <= N; ++j) {
    const double e = static_cast<double>(j);
    pPow[j] = std::pow(p, e);
    qPow[j] = std::pow(q, e);
    xPow[j] = std::pow(x, e);
    yPow[j] = std::pow(y, e);
  }
  auto binomial = [&](int m, int j) { return fact[m] / (fact[j] * fact[m - j]); };
  for (int n = 1; n <= N; ++n) {
    const int row = triangleIndex(n, 1);
    for (int k = 1; k < n; ++k) {
      const int m = n - k - 1;
      double Pp = 0.0, Qp = 0.0, Px = 0.0, Qx = 0.0;
      for (int i = k; i < n; ++i) {
        const int j = i - k;   // exponent of x in P, of y in Q
        const int l = n - i;   // exponent of y in P, of x in Q (>= 1)
        const double b = binomial(n, i) * binomial(m, j);
        // P: x^j y^l q^l p^i; Q: x^l y^j p^l q^i.
        const double upPQ = qPow[l] * pPow[i];
        const double downPQ = pPow[l] * qPow[i];
        const double upPQdp = i * qPow[l] * pPow[i - 1] - l * qPow[l - 1] * pPow[i];
        const double downPQdp = l * pPow[l - 1] * qPow[i] - i * pPow[l] * qPow[i - 1];
        const double upX = xPow[j] * yPow[l];
        const double downX = xPow[l] * yPow[j];
        const double upXdx = (j > 0 ? j * xPow[j - 1] * yPow[l] : 0.0) - l * xPow[j] * yPow[l - 1];
        const double downXdx = l * xPow[l - 1] * yPow[j] - (j > 0 ? j * xPow[l] * yPow[j - 1] : 0.0);
        Pp += b * upX * upPQdp;
        Qp += b * downX * downPQdp;
        Px += b * upXdx * upPQ;
        Qx += b * downXdx * downPQ;
      }
      out.Pp[row + k - 1] = Pp;
      out.Qp[row + k - 1] = Qp;
      out.Px[row + k - 1] = Px;
      out.Qx[row + k - 1] = Qx;
    }
    out.Pp[row + n - 1] = n * pPow[n - 1];
    out.Qp[row + n - 1] = -n * qPow[n - 1];
    out.Px[row + n - 1] = 0.0;
    out.Qx[row + n - 1] = 0.0;
  }
}

}  // namespace jdpricer
