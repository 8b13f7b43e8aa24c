// The Upsilon probability P(Z(T) >= a) of the Kou double-exponential
// jump-diffusion Z(t) = mu t + sigma W(t) + sum of M(t) jumps, in closed form:
// the jump-free term e^(-lam T) Phi(-(a - mu T)/(sigma sqrt T)) plus a
// Poisson-weighted series over n = 1..N jumps, each term a sum over k of
// P_{n,k} (Q_{n,k}) times I_{k-1} integrals of the upward (downward) jumps.
//
// Method. One option's evaluation through the three stages that a book
// shares: the jump coefficients (jump_coefficients.hpp), streamed row by row
// so that nothing larger than a row is kept; the maturity slice
// (maturity_slice.hpp); and the option's own work at the level
// c = a - mu T (option_series.hpp). Each value is computed once per call
// from the operands the closed form names, so the bits are those of the
// word-for-word evaluation.
//
// Numerical caveats. Factorials and binomials come from tgamma in double, so
// the series is only finite up to N = 170: from N = 171 on the closed form is
// NaN for every input, and that NaN is returned at once. N <= 0 keeps the
// jump-free term only. sigma = 0 or T = 0 make the prefactor 1/(sigma
// sqrt(2 pi T)) infinite and the result NaN; T < 0 gives NaN. For large
// eta*sigma*sqrt(T) the terms of the series cancel heavily in double
// precision. Nothing is validated and nothing is reported.
#pragma once

#include "pricing/closed_form/jump_coefficients.hpp"

namespace jdpricer {

// Upsilon(N, mu, sigma, lam, p, eta1, eta2, a, T) = P(Z(T) >= a), cut after N
// Poisson terms.
double upsilonProbability(int N, double mu, double sigma, double lam, double p,
                          double eta1, double eta2, double a, double T);

// The same with the factorials of a FactorialTable(N) computed by the caller.
double upsilonProbability(const FactorialTable& factorials, int N, double mu,
                          double sigma, double lam, double p, double eta1,
                          double eta2, double a, double T);

}  // namespace jdpricer
