// A bound on the error of every closed-form price: |computed - true| <= bound.
//
// Method. The error has two parts.
//  * Truncation. Each Upsilon is sum_n pi_n P(Z(T) >= a | n jumps), a Poisson
//    mixture of probabilities in [0, 1], so cutting it after N terms leaves
//    between 0 and P(M > N), M Poisson with the series' mean. The call
//    S U1 - K e^(-rT) U2 therefore misses at most
//    S P(M1 > N) + K e^(-rT) P(M2 > N), M1 ~ Poisson((1 + zeta) lam T),
//    M2 ~ Poisson(lam T); the put, the call by exact parity, the same.
//  * Rounding. The engine evaluates the option (the same stages as the book
//    pricer: the maturity's slices, the option's lanes), and the bound is
//    built beside it from the pieces it computed: the maturity's bounded
//    constants once (bounded_slice.hpp), then per option the level c with
//    its error in bounded arithmetic, the Upsilon bounds of
//    bounded_slice.hpp (the Hh recursion's errors propagated with their
//    signs through an adjoint, the rest by magnitudes), and the final
//    S U1 - K e^(-rT) U2 (and the parity step) in bounded arithmetic. The
//    value carried is the engine's price to the bit.
// The result is widened by a factor 1 + 2^-20 for the rounding of the bound's
// own arithmetic.
//
// Numerical caveats. The bound is rigorous for the exact maths library
// functions up to the accuracies assumed in bounded_arithmetic.hpp. It is
// +infinity where the inputs leave the model's domain (sigma <= 0, T <= 0,
// S <= 0, K <= 0, lam < 0, p outside [0, 1], eta1 <= 1, eta2 <= 0, any
// non-finite input), where the price is not finite (n >= 171 included), and
// where the bound itself overflows. Costs: the coefficient bounds once per
// model (O(n^3)), the bounded weights once per maturity (O(n^2)), O(n) per
// option beside the price's O(n^2).
#pragma once

#include <cstddef>
#include <limits>

#include "pricing/closed_form/hh_integral.hpp"
#include "pricing/closed_form/jump_coefficients.hpp"
#include "pricing/closed_form/maturity_slice.hpp"
#include "pricing/common/kou_measures.hpp"
#include "pricing/error_bound/bounded_arithmetic.hpp"
#include "pricing/error_bound/bounded_slice.hpp"
#include "pricing/error_bound/screen_slice.hpp"

namespace jdpricer {

struct PriceAndBound {
  double price;  // bit for bit the engine's price
  double bound;  // >= |price - true price|
};

// Which bound a maturity is built for: the full one, or the screen
// (screen_slice.hpp), cheaper and looser, for robust prices.
enum class BoundKind { kFull, kScreen };

// P(M > N) for M ~ Poisson(mean), from above (N <= 0 keeps no terms but the
// first: P(M > 0)).
double poissonTailAbove(double mean, int N);

// The model's part: the jump coefficients of both series (the engine's, and
// bounds on their errors), in storage that the caller lends.
class BoundedKouModel {
 public:
  // Everything of one maturity: the engine's slices and weight triangles of
  // both series (index 0 the stock's, 1 the risk-neutral one) and their
  // bounded constants. Large (some 60 kB): callers keep it off small stacks.
  struct Maturity {
    double T;
    int terms;              // the maturity's series length, clamped below at 0
    double poissonTail[2];  // P(M > n) of each series' number of jumps, from above
    SeriesSlice slice[2];
    BoundKind kind;
    BoundedSeriesSlice bounded[2];  // kFull
    ScreenSlice screen[2];          // kScreen
    double* W[2];  // lent: maturityDoubles(n) doubles in all
    double* V[2];
  };

  // Doubles of storage for a series length n: the model's, and one maturity's.
  static std::size_t modelDoubles(int n);
  static std::size_t maturityDoubles(int n);
  // Both: what the one-option call() and put() need.
  static std::size_t storageDoubles(int n) { return modelDoubles(n) + maturityDoubles(n); }

  // `storage` holds modelDoubles(n) doubles, or storageDoubles(n) for call()
  // and put().
  BoundedKouModel(double sigma, double lam, double p, double eta1, double eta2, int n,
                  double* storage);

  // n >= 171: every price is NaN and nothing is shared.
  bool pricesAreNaN() const { return n_ > kMaxSeriesTerms; }

  // The maturity's shared work into `out`, for a series of n terms, n at
  // most the model's (a coefficient row does not depend on the series
  // length, so the model's rows serve every shorter series); its triangles
  // in `storage` (maturityDoubles of the model's n doubles). `tails`: the
  // maturity's poissonTails where the caller has them, else null.
  void buildMaturity(double T, int n, double* storage, Maturity& out,
                     BoundKind kind = BoundKind::kFull, const double* tails = nullptr) const;

  // P(M > n) of each series' number of jumps at maturity T, from above: the
  // maturity's poissonTail.
  void poissonTails(double T, int n, double tails[2]) const;
  // Below every bound, full or screen, of the option at maturity T whose
  // maturity has these tails: the truncation part, formed the same way with
  // the engine's discount (no larger than the bound's), which the rounding
  // errors only add to. An option whose floor exceeds a tolerance cannot be
  // settled by any closed-form bound.
  static double truncationFloor(const double tails[2], double T, double K, double S, double r);

  // Prices and bounds count (1..kBatchLanes) options of the maturity, option
  // l with strike K[l], spot S[l], rate r[l].
  void priceLanes(const Maturity& maturity, bool isCall, const double* K, const double* S,
                  const double* r, int count, double* prices, double* bounds) const;
  // The same prices with the screen's bounds, from a maturity built for it;
  // where a bound comes near `tolerance` for an unstable recursion, the
  // screen takes its adjoint too (an infinite tolerance: never).
  void screenLanes(const Maturity& maturity, bool isCall, const double* K, const double* S,
                   const double* r, int count, double* prices, double* bounds,
                   double tolerance = std::numeric_limits<double>::infinity()) const;

  // One option, through a maturity of its own in the storage's second part
  // (not for concurrent calls on one model).
  PriceAndBound call(double T, double K, double S, double r) const;
  PriceAndBound put(double T, double K, double S, double r) const;

 private:
  PriceAndBound one(bool isCall, double T, double K, double S, double r) const;
  void coefficientErrors(int series, Bounded p, double* storage);
  bool boundable(double T) const;
  // log(K/S) of each lane (lanes past count repeat the first option) and,
  // where bounded, with its error: by bounded arithmetic, or for the screen
  // by its a-priori bound.
  void logMoneyness(const double* K, const double* S, int count, bool bounded, bool screen,
                    double* a, Bounded* boundedA) const;
  // The engine's level c = a - mu T of each lane for the series, and bounds
  // on the errors of the first count, the same two ways.
  void levels(int series, double T, const double* a, const Bounded* boundedA, const double* r,
              int count, bool bounded, bool screen, LaneBlock& c, double* cError) const;
  // The prices from both Upsilon values of each lane and, where bounded,
  // the bounds from their errors (by the maturity's kind of bound).
  void finishPrices(const Maturity& maturity, bool isCall, const double* K, const double* S,
                    const double* r, int count, bool bounded, const double (*U)[kBatchLanes],
                    const Bounded (*boundedU)[kBatchLanes], double* prices,
                    double* bounds) const;

  double sigma_;
  int n_;
  int terms_;  // n clamped to [0, kMaxSeriesTerms]
  bool inDomain_;
  double* scratch_;  // a maturity's triangles for call() and put()
  KouMeasures measures_;
  FactorialTable factorials_;
  Bounded factorialBounds_[kSeriesTableSize];  // the engine's factorials, bounded
  double factorialRelative_[kSeriesTableSize];  // their worst relative error up to m
  Bounded halfSigmaSquared_, lamZeta_;
  double driftConstantsError_;  // of the engine's sigma^2/2 and lam zeta
  BoundedJumpLaw laws_[2];
  // Per series: the engine's triangles P, Q and bounds on their errors.
  const double* P_[2];
  const double* Q_[2];
  double* Pe_[2];
  double* Qe_[2];
  // Per series, the worst relative error of each row n of P and of Q (+inf
  // where a coefficient is below 0).
  double rowRelativeP_[2][kSeriesTableSize];
  double rowRelativeQ_[2][kSeriesTableSize];
};

}  // namespace jdpricer
