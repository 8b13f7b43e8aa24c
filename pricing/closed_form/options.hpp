// European options under the Kou double-exponential jump-diffusion model.
//
// Method. The call is Kou's closed form
//   C = S * Upsilon(mu1, sigma, lam1, p1, eta1 - 1, eta2 + 1; log(K/S), T)
//       - K e^(-rT) * Upsilon(mu2, sigma, lam, p, eta1, eta2; log(K/S), T)
// with zeta = E[e^Y] - 1 the mean relative jump, mu1 = r + sigma^2/2 - lam zeta,
// lam1 = (1 + zeta) lam, p1 = p/(1 + zeta) * eta1/(eta1 - 1) (the stock as
// numeraire) and mu2 = r - sigma^2/2 - lam zeta (risk neutral). The put is the
// call of the same contract by put-call parity, (e^(-rT) K + C) - S.
//
// Numerical caveats. Both Upsilon series are cut after n terms; n >= 171
// gives NaN (the factorials overflow) and n <= 0 keeps only the jump-free
// terms, which is not the Black-Scholes price when lam > 0. eta1 = 1 divides
// by zero; sigma = 0, T <= 0, S <= 0 or K <= 0 give NaN or infinity. Nothing
// is validated, nothing allocated, nothing reported.
#pragma once

namespace jdpricer {

// The contract's maturity in years. Not polymorphic; carries the Upsilon
// probability of the Kou model, which reads no field.
class Option {
 public:
  explicit Option(double maturity) : T(maturity) {}

  // P(Z(T) >= a) for Z(t) = mu t + sigma W(t) + double-exponential jumps of
  // intensity lam, cut after N Poisson terms.
  static double Upsilon(int N, double mu, double sigma, double lam, double p, double eta1,
                        double eta2, double a, double T);

 protected:
  double T;
};

// A European contract with strike K and one pricing operation. Objects are
// always destroyed through their concrete type, so there is no virtual
// destructor: the vtable holds the pricing operation alone.
class EuropeanOption : public Option {
 public:
  EuropeanOption(double maturity, double strike) : Option(maturity), K(strike) {}

  // The price at time 0 for spot S, rate r, diffusion volatility sigma, jump
  // intensity lam, up-jump probability p, jump rates eta1 (up) and eta2
  // (down), with both Upsilon series cut after n terms.
  virtual double priceByKouJumpDiffusion(double S, double r, double sigma, double lam,
                                         double p, double eta1, double eta2,
                                         int n) const = 0;

 protected:
  double K;
};

class EuropeanCall : public EuropeanOption {
 public:
  EuropeanCall(double maturity, double strike) : EuropeanOption(maturity, strike) {}

  double priceByKouJumpDiffusion(double S, double r, double sigma, double lam, double p,
                                 double eta1, double eta2, int n) const override;
};

class EuropeanPut : public EuropeanOption {
 public:
  EuropeanPut(double maturity, double strike) : EuropeanOption(maturity, strike) {}

  double priceByKouJumpDiffusion(double S, double r, double sigma, double lam, double p,
                                 double eta1, double eta2, int n) const override;
};

}  // namespace jdpricer
