// The Greeks of Kou's call and put from the derivatives of their two Upsilon
// series: the chain rule through the two measures (kou_measures.hpp).
//
// Method. C = S U1 - K D U2 with D = e^(-rT), U_i = Y_i(c_i), c_i = a - mu_i T,
// a = log(K/S). Both series depend on (S, K) only through a, and for the
// truncated series too the stock measure's term with n jumps is the
// risk-neutral one's tilted by e^x, so S dU1/dc = K D dU2/dc for every a
// (call it S G, G = dU1/dc); differentiating that in a gives
// K D d2U2/dc2 = S (d2U1/dc2 - G). Every series depends on sigma and T through
// v = sigma^2 T (each term is a Gaussian of variance v convolved with a jump
// law), so dY/dv = (1/2) d2Y/dc2, and on lam and T through lam T. With
// J_i = dY_i/d(lam_i T) (slice_sensitivities.hpp) this gives
//   delta = U1 (C is homogeneous of degree one in (S, K)),
//   dual_delta = -D U2,  gamma = -G / S,  vega = -S sigma T G,  rho = K T D U2,
//   dC/dT = r K D U2 - (sigma^2/2) S G + S lam1 J1 - K D lam J2,  theta = -dC/dT,
//   dC/dlam = T ((1 + zeta) S J1 - K D J2),
// and for theta in (p, eta1, eta2), where the drifts' shares cancel as in rho:
//   dC/dtheta = S (T lam J1 dzeta/dtheta + dU1/dp1 dp1/dtheta + dU1/deta_theta)
//               - K D dU2/dtheta,
// with lam1 = (1 + zeta) lam, p1 = p g / (1 + zeta), g = eta1 / (eta1 - 1), the
// stock measure's rates eta1 - 1 and eta2 + 1 (derivative 1), and
//   dzeta/dp = g - eta2/(eta2 + 1), dzeta/deta1 = -p/(eta1 - 1)^2,
//   dzeta/deta2 = (1 - p)/(eta2 + 1)^2,
//   dp1/dtheta = (p g)' / (1 + zeta) - p g zeta' / (1 + zeta)^2.
// The put is (D K + C) - S: delta - 1, theta + r K D, rho - T K D,
// dual_delta + D, every other Greek the call's.
//
// Numerical caveats. The put's delta, rho and dual_delta subtract from the
// call's and lose relative accuracy where the put is far out of the money,
// as its price does. eta1 = 1 divides by zero. Nothing is validated.
#pragma once

#include "pricing/common/kou_measures.hpp"

namespace jdpricer {

// The fields of a Greeks record, in the order the module returns them.
enum GreekField {
  kPrice,
  kDelta,
  kGamma,
  kVega,
  kTheta,
  kRho,
  kDualDelta,
  kDLam,
  kDP,
  kDEta1,
  kDEta2,
  kGreekFields
};

// What the model contributes to the chain rule, once per book.
struct MeasureDerivatives {
  double zeta, zetaP, zetaEta1, zetaEta2;
  double p1P, p1Eta1, p1Eta2;
};

inline MeasureDerivatives measureDerivatives(double p, double eta1, double eta2) {
  MeasureDerivatives m;
  const double g = eta1 / (eta1 - 1.0);
  const double h = eta2 / (eta2 + 1.0);
  m.zeta = (p * g + (1.0 - p) * h) - 1.0;
  m.zetaP = g - h;
  const double down1 = (eta1 - 1.0) * (eta1 - 1.0);
  const double up2 = (eta2 + 1.0) * (eta2 + 1.0);
  m.zetaEta1 = -p / down1;
  m.zetaEta2 = (1.0 - p) / up2;
  const double onePlus = 1.0 + m.zeta;
  const double pg = p * g;
  const double gEta1 = -1.0 / down1;
  m.p1P = g / onePlus - pg * m.zetaP / (onePlus * onePlus);
  m.p1Eta1 = p * gEta1 / onePlus - pg * m.zetaEta1 / (onePlus * onePlus);
  m.p1Eta2 = -pg * m.zetaEta2 / (onePlus * onePlus);
  return m;
}

// One series' derivatives at the option's level: G = dY/dc (the stock
// series only), J = dY/d(lam T), and the partials in its own jump law.
struct SeriesDerivatives {
  double slope, jump, dp, deta1, deta2;
};

// Every field but the price, for the call, or the put when `put`.
inline void greeksFromSeries(bool put, double T, double K, double S, double r, double sigma,
                             double lam, const MeasureDerivatives& m, double discount,
                             double U1, double U2, const SeriesDerivatives& stock,
                             const SeriesDerivatives& riskNeutral, double* out) {
  const double G = stock.slope;
  const double KD = K * discount;
  const double lam1 = (1.0 + m.zeta) * lam;
  const double J1 = stock.jump, J2 = riskNeutral.jump;
  out[kDelta] = U1;
  out[kGamma] = -G / S;
  out[kVega] = -S * sigma * T * G;
  out[kTheta] = -(r * KD * U2 - 0.5 * sigma * sigma * S * G + S * lam1 * J1 - KD * lam * J2);
  out[kRho] = K * T * discount * U2;
  out[kDualDelta] = -discount * U2;
  out[kDLam] = T * ((1.0 + m.zeta) * S * J1 - KD * J2);
  const double shift = T * lam * J1;
  out[kDP] = S * (shift * m.zetaP + stock.dp * m.p1P) - KD * riskNeutral.dp;
  out[kDEta1] =
      S * (shift * m.zetaEta1 + stock.dp * m.p1Eta1 + stock.deta1) - KD * riskNeutral.deta1;
  out[kDEta2] =
      S * (shift * m.zetaEta2 + stock.dp * m.p1Eta2 + stock.deta2) - KD * riskNeutral.deta2;
  if (put) {
    out[kDelta] = out[kDelta] - 1.0;
    out[kTheta] = out[kTheta] + r * KD;
    out[kRho] = out[kRho] - T * KD;
    out[kDualDelta] = out[kDualDelta] + discount;
  }
}

}  // namespace jdpricer
