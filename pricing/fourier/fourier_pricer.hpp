// European options under Kou's double-exponential jump-diffusion model by the
// cosine-series (COS) method: a second route to the prices of options.hpp,
// accurate exactly where the closed form cancels (large eta*sigma*sqrt(T)).
//
// Method. X = log(S_T/S) has the characteristic function
//   phi(u) = exp(T (i u mu - sigma^2 u^2/2 + lam (p eta1/(eta1 - i u)
//                                               + q eta2/(eta2 + i u) - 1))),
// q = 1 - p, mu = r - sigma^2/2 - lam zeta. On a range [a, b] the density of X
// is a cosine series whose coefficients are Re[phi(u_k) e^(-i u_k a)],
// u_k = k pi/(b - a); the put is e^(-rT) times the sum of those against the
// cosine coefficients of its payoff K (1 - e^(x + X))^+, x = log(S/K), which
// have a closed form. The call follows by parity, P + (S - K e^(-rT)).
// Everything that depends on the maturity and the model alone (the range, the
// number of terms, the characteristic function at u_k) is one FourierSlice,
// shared by all the strikes, spots and rates of that maturity (the range is
// placed relative to the mean of X, so the rate only shifts it).
//
// Why the put. Its payoff lies in [0, K] on the whole range, and its
// coefficients involve only e^(x + X) for X below the strike, at most 1. The
// call's payoff would bring in e^(x + b), which for the wide ranges of small
// eta1 reaches e^25 and more, and with it a cancellation of that size.
//
// A-priori accuracy, all bounds rigorous for sigma > 0:
//  * Range. b = c1 + L+, a = c1 - L-, c1 = E[X], each reach L chosen by the
//    Chernoff bound P(X - c1 > L) <= exp(k(t) - t L), minimised over t in
//    (0, eta1) (over (0, eta2) for the lower tail), with the centred cumulant
//    generating function
//      k(t) = T t^2 (sigma^2/2 + lam (p/(eta1 (eta1 - t)) + q/(eta2 (eta2 + t)))),
//    so that each tail holds at most 2^-55. The series sums the density
//    folded into [a, b]; with a payoff in [0, K] that misprices the put by at
//    most K e^(-rT) P(X outside [a, b]) <= 2^-54 K e^(-rT).
//  * Terms. |phi(u)| <= exp(-sigma^2 T u^2/2) and each payoff coefficient is
//    at most 2K, so dropping the terms k >= N costs at most
//    2 K e^(-rT) sum_{k >= N} exp(-beta k^2), beta = sigma^2 T pi^2/(2 (b-a)^2);
//    N is the least integer that bounds this sum by 2^-56.
//  * Together: truncation below 1e-16 K e^(-rT). Rounding is the larger part
//    and is measured, not bounded: the N terms are of the order of K and
//    their phases reach N pi. Against 30-digit prices it stayed below
//    2.5e-15 (S + K) over 200 random contracts with N up to 11000, and
//    reached 4.4e-15 (S + K) at N = 28000. The stated accuracy, which the
//    tests assert, is 1e-14 (S + K), call and put alike (the parity step adds
//    a few ulps of max(S, K)). The bound is absolute: a deep out-of-the-money
//    price far below 1e-14 (S + K) keeps few correct digits.
//
// Numerical caveats. N is about 50 when the diffusion dominates the range
// (large eta*sigma*sqrt(T)) and grows like 1/(eta sigma sqrt(T)) when the
// jumps do: some 340 for the reference contract (eta*s = 1.1), 1300 to 1800
// at eta*s = 0.2, 28000 at 0.02, where the closed form is the faster and
// equally accurate method. The Chernoff range cannot see a small lam*T in
// front of the jump tails, so short maturities pay for ranges of about
// 38/eta however rare the jumps. More than kMaxFourierTerms terms,
// sigma <= 0, T <= 0, S <= 0, K <= 0, lam < 0, p outside [0, 1], eta1 <= 1,
// eta2 <= 0 or any non-finite input give NaN.
// |phi| <= 1 on the real line, so the characteristic function cannot
// overflow however large lam*T is. Prices are clipped to their no-arbitrage
// lower bounds (put >= max(0, K e^(-rT) - S), call >= 0), which holds for the
// true prices and can only shrink an error. No fused multiply-add: every
// result is deterministic for a given build of the maths library.
//
// Storage. The engine allocates nothing: a slice lives in caller-provided
// workspace of fourierWorkspaceDoubles(...) doubles, 3 per term (at most
// 3 * kMaxFourierTerms doubles, 1.5 MiB).
#pragma once

#include <cstddef>

namespace jdpricer {

// Largest number of cosine terms a slice may use; inputs that need more
// price as NaN.
inline constexpr int kMaxFourierTerms = 1 << 16;
// The stated accuracy of every price, relative to S + K (see above).
inline constexpr double kFourierAccuracy = 1e-14;
inline constexpr std::size_t kFourierDoublesPerTerm = 3;

// Cosine terms needed for maturity T under the model; 0 when the input is
// outside the domain or would need more than kMaxFourierTerms terms.
int fourierTermCount(double T, double sigma, double lam, double p, double eta1, double eta2);

// Workspace a FourierSlice of these arguments needs, in doubles (0 as above).
std::size_t fourierWorkspaceDoubles(double T, double sigma, double lam, double p, double eta1,
                                    double eta2);

// The cosine series of one maturity. Holds a pointer into the workspace,
// which must outlive it and which it fills once, on construction.
class FourierSlice {
 public:
  // An invalid slice: prices NaN.
  FourierSlice() = default;

  // With fewer than fourierWorkspaceDoubles(...) doubles of workspace, or an
  // input outside the domain, the slice is invalid and prices NaN.
  FourierSlice(double T, double sigma, double lam, double p, double eta1, double eta2,
               double* workspace, std::size_t workspaceDoubles);

  bool valid() const { return terms_ > 0; }
  int terms() const { return terms_; }

  // Prices for spot S, strike K and rate r (NaN outside the domain).
  double put(double S, double K, double r) const;
  double call(double S, double K, double r) const;

 private:
  // (K e^(-rT), put) for a validated option.
  void discountedStrikeAndPut(double S, double K, double r, double& discountedStrike,
                              double& put) const;

  double T_ = 0.0;
  int terms_ = 0;
  double width_ = 0.0;        // b - a
  double lowerOffset_ = 0.0;  // a - r*T
  double piOverWidth_ = 0.0;
  double coefficientSum_ = 0.0;  // sum over k >= 1 of cosine_[k]
  // For k = 1..N-1 (index k - 1): with F_k = Re[phi(u_k) e^(-i u_k a)],
  // cosine_ = 2 F_k/((b - a)(1 + u_k^2)), sineLow_ = cosine_/u_k,
  // sineHigh_ = cosine_*u_k.
  const double* cosine_ = nullptr;
  const double* sineLow_ = nullptr;
  const double* sineHigh_ = nullptr;
};

// Prices count options of maturity T, option i with spot S[i], strike K[i]
// and rate r[i], into prices[i]; workspace as for FourierSlice.
void fourierPutPrices(double T, double sigma, double lam, double p, double eta1, double eta2,
                      const double* S, const double* K, const double* r, std::size_t count,
                      double* prices, double* workspace, std::size_t workspaceDoubles);
void fourierCallPrices(double T, double sigma, double lam, double p, double eta1, double eta2,
                       const double* S, const double* K, const double* r, std::size_t count,
                       double* prices, double* workspace, std::size_t workspaceDoubles);

}  // namespace jdpricer
