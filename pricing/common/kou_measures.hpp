// The two probability measures of Kou's call formula and the price built
// from their two Upsilon probabilities.
//
// Method. zeta = E[e^Y] - 1 is the mean relative jump. Under the measure with
// the stock as numeraire the jumps have intensity (1 + zeta) lam, up-jump
// probability (p / (1 + zeta)) (eta1 / (eta1 - 1)) and rates eta1 - 1,
// eta2 + 1, and the drift is (r + sigma^2/2) - lam zeta; under the
// risk-neutral measure the jump law is the model's and the drift
// (r - sigma^2/2) - lam zeta. The call is S U1 - (K e^(-rT)) U2, the put
// (e^(-rT) K + C) - S by parity.
//
// Numerical caveats. eta1 = 1 divides by zero (infinite or NaN prices);
// eta1 < 1 makes E[e^Y] infinite in truth but the formula still returns a
// number. Nothing is validated.
#pragma once

#include <cmath>

namespace jdpricer {

// The jump law under which one Upsilon series is summed.
struct JumpLaw {
  double lam, p, eta1, eta2;
};

struct KouMeasures {
  double halfSigmaSquared;  // (0.5 sigma) sigma
  double lamZeta;           // lam zeta
  JumpLaw stock;            // the stock as numeraire
  JumpLaw riskNeutral;
};

inline KouMeasures kouMeasures(double sigma, double lam, double p, double eta1, double eta2) {
  const double zeta = ((p * eta1) / (eta1 - 1.0) + ((1.0 - p) * eta2) / (eta2 + 1.0)) - 1.0;
  KouMeasures m;
  m.halfSigmaSquared = (0.5 * sigma) * sigma;
  m.lamZeta = lam * zeta;
  m.stock = {(1.0 + zeta) * lam, (p / (1.0 + zeta)) * (eta1 / (eta1 - 1.0)), eta1 - 1.0,
             eta2 + 1.0};
  m.riskNeutral = {lam, p, eta1, eta2};
  return m;
}

inline double stockDrift(const KouMeasures& m, double r) {
  return (r + m.halfSigmaSquared) - m.lamZeta;
}
inline double riskNeutralDrift(const KouMeasures& m, double r) {
  return (r - m.halfSigmaSquared) - m.lamZeta;
}

// e^(-rT), shared by the call and, through parity, the put.
inline double discountFactor(double r, double T) { return std::exp(-r * T); }

inline double callFromProbabilities(double S, double K, double discount, double U1, double U2) {
  return S * U1 - (K * discount) * U2;
}
inline double putFromCall(double S, double K, double discount, double call) {
  return (discount * K + call) - S;
}

}  // namespace jdpricer
