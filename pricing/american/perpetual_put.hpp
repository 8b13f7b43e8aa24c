// The perpetual American put under Kou's model, in closed form (Kou and
// Wang 2004).
//
// Method. Exercised when the spot first falls to a level S_b: with
// d = ln(S/S_b) > 0 and tau that first passage, the value is
//   K E[e^(-r tau)] - S_b E[e^(-r tau) e^(-xi)],
// xi the undershoot, 0 (a creep) or Exp(eta2) (a jump: memoryless), so
// E e^(-xi) over the jump part is eta2/(eta2 + 1). The downward passage is
// the upward one of the mirrored law: with beta3 < eta2 < beta4 its pair at
// alpha = r (the roots of G(-x) = r), the creep and jump parts are
//   A = [(eta2 - beta3) e^(-beta3 d) + (beta4 - eta2) e^(-beta4 d)] / (beta4 - beta3),
//   B = (eta2 - beta3)(beta4 - eta2)(e^(-beta3 d) - e^(-beta4 d)) / (eta2 (beta4 - beta3)),
// so V = K (A + B) - S_b (A + B eta2/(eta2 + 1)). The level is the one where
// V meets K - S smoothly: at d = 0, dV/dd = -S_b, which is linear in S_b:
//   S_b = K (A' + B') / (A' + B' eta2/(eta2 + 1) - 1),
//   A' = -[(eta2 - beta3) beta3 + (beta4 - eta2) beta4]/(beta4 - beta3),
//   B' = (eta2 - beta3)(beta4 - eta2)/eta2.
// Without jumps beta4 = eta2 drops out and S_b = K beta3/(beta3 + 1), the
// Black-Scholes boundary.
//
// Numerical caveats. r <= 0 has no finite exercise level (waiting never
// costs): NaN. sigma = 0 is refused as for the other transforms.
#pragma once

namespace jdpricer {

struct PerpetualPut {
  double boundary;  // S_b per unit of strike
  double beta3, beta4, eta2;
};

// The exercise level and roots for rate r, dividend yield q; boundary NaN
// where not defined.
PerpetualPut perpetualPut(double r, double q, double sigma, double lam, double p, double eta1,
                          double eta2);

// The put's value at spot S, strike K.
double perpetualPutValue(const PerpetualPut& put, double S, double K);

}  // namespace jdpricer
