#include "pricing/greeks/slice_sensitivities.hpp"

namespace jdpricer {


void buildSliceSensitivities(const SeriesSlice& slice, const JumpLaw& law, const double* P,
                             const double* Q, const ConstCoefficientDerivatives& d,
                             SliceSensitivities& out) {
  const int N = slice.N;
  out.N = N;
  if (N == 0) return;
  const double sigma = slice.sigma, sqrtT = slice.sqrtT;
  const double s = sigma * sqrtT;
  // The price's integral families (same operands, same bits), one longer.
  buildIntegralFamily(N + 1, -law.eta1, -1.0 / s, sqrtT * (-sigma * law.eta1), out.upward);
  buildIntegralFamily(N + 1, law.eta2, 1.0 / s, sqrtT * (-sigma * law.eta2), out.downward);

  double poisson[kSeriesTableSize + 1], shift[kSeriesTableSize + 1];
  for (int n = 1; n <= N; ++n) {
    poisson[n] = slice.poisson[n];
    shift[n] = (n == 1 ? slice.pi0 : slice.poisson[n - 1]) - slice.poisson[n];
  }
  // The collapsed weights sum_{n>=k} weight_n triangle_{n,k}, all eight in
  // one pass over the rows, into local arrays that nothing aliases.
  double Pbar[kSeriesTableSize + 1] = {}, Qbar[kSeriesTableSize + 1] = {};
  double PJ[kSeriesTableSize + 1] = {}, QJ[kSeriesTableSize + 1] = {};
  double Pp[kSeriesTableSize + 1] = {}, Qp[kSeriesTableSize + 1] = {};
  double Px[kSeriesTableSize + 1] = {}, Qx[kSeriesTableSize + 1] = {};
  for (int n = 1; n <= N; ++n) {
    const int row = triangleIndex(n, 1) - 1;  // row[k], k = 1..n
    const double pin = poisson[n], dpin = shift[n];
    for (int k = 1; k <= n; ++k) {
      Pbar[k] += pin * P[row + k];
      Qbar[k] += pin * Q[row + k];
      PJ[k] += dpin * P[row + k];
      QJ[k] += dpin * Q[row + k];
      Pp[k] += pin * d.Pp[row + k];
      Qp[k] += pin * d.Qp[row + k];
      Px[k] += pin * d.Px[row + k];
      Qx[k] += pin * d.Qx[row + k];
    }
  }
  Pbar[0] = Qbar[0] = 0.0;
  Pbar[N + 1] = Qbar[N + 1] = 0.0;

  const double w = law.eta1 + law.eta2;
  const double dxdEta1 = law.eta2 / (w * w);
  const double dxdEta2 = -law.eta1 / (w * w);
  const double upScale = slice.upScale, downScale = slice.downScale;
  for (int j = 0; j <= N; ++j) {
    const int k = j + 1;  // I_j belongs to H_{j+1}
    const double up = k <= N ? upScale * slice.eta1SPow[k] : 0.0;
    const double down = k <= N ? downScale * slice.eta2SPow[k] : 0.0;
    const double Pk = k <= N ? Pbar[k] : 0.0, Qk = k <= N ? Qbar[k] : 0.0;
    auto at = [k, N](const double* v) { return k <= N ? v[k] : 0.0; };
    out.up[kJumpShift][j] = up * at(PJ);
    out.down[kJumpShift][j] = down * at(QJ);
    out.up[kJumpProbability][j] = up * at(Pp);
    out.down[kJumpProbability][j] = down * at(Qp);
    // dH_k/deta = (k/eta)(H_k - H_{k+1}) collected on I_j: from H_{j+1}
    // (+(j+1)/eta (eta s)^(j+1)) and from H_j (-(j/eta) (eta s)^(j+1)).
    const double eta1SPowJ = j == 0 ? 1.0 : slice.eta1SPow[j];
    const double eta2SPowJ = j == 0 ? 1.0 : slice.eta2SPow[j];
    const double gammaUp = upScale * s * eta1SPowJ * ((j + 1) * Pk - j * Pbar[j]);
    const double gammaDown = downScale * s * eta2SPowJ * ((j + 1) * Qk - j * Qbar[j]);
    out.up[kUpRate][j] = up * at(Px) * dxdEta1 + gammaUp;
    out.down[kUpRate][j] = down * at(Qx) * dxdEta1;
    out.up[kDownRate][j] = up * at(Px) * dxdEta2;
    out.down[kDownRate][j] = down * at(Qx) * dxdEta2 + gammaDown;
    if (k <= N) {
      out.slopeUp[j] = up * Pk;
      out.slopeDown[j] = down * Qk;
    }
  }
}

}  // namespace jdpricer
