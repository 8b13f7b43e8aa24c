// Continuously monitored barrier options under Kou's model: knock-in and
// knock-out calls and puts with rebates, by the Laplace transform in
// maturity of the joint law of the terminal log-price and the first passage.
//
// Method. With u_alpha(y) the resolvent of the log-price X (the transform
// in t of P(X_t in dy)/dy), the partial fractions of N(x)/Q(x) give
//   u(y) = sum over the upward roots beta of R(beta) e^(-beta y)   (y > 0),
//   u(y) = sum over the other two roots x of R(x) e^(-x y)         (y < 0),
// R(x) = -N(x)/Q'(x) for the upward roots and N(x)/Q'(x) for the others
// (N(x) = (eta1 - x)(eta2 + x); N vanishes at a root that does not move, so
// it drops out). For an up barrier at level b > 0 the strong Markov
// property at the crossing, whose overshoot is 0 or Exp(eta1) and
// independent of its time, gives the transform of P(X_T in dy, tau <= T):
//   u(y) above b, and  sum_x R(x) (A + B eta1/(eta1 - x)) e^(-x (y - b))  below it,
// A and B the continuous and the jump parts of E e^(-alpha tau) (Kou and
// Wang 2003). The knock-out's density below b is u less that sum. Each
// price is then a sum of integrals of exponentials against the payoff,
// in closed form, at alpha = s + r (the discount), inverted on a Talbot
// contour. The knock-out rebate is paid at the hit (the transform of the
// discounted hit, E e^(-alpha tau)/s); the knock-in rebate at expiry if the
// barrier was never hit (the knock-out density against 1). A down barrier
// is an up barrier of -X (PassageModel::mirrored), the payoff read at -y.
//
// Everything that depends on the maturity, the direction, r, q and the
// model (the nodes, the four roots and their residues at each node) is one
// BarrierSlice; an option costs some six complex exponentials per node
// (each root's at the strike and at the barrier, formed once and shared by
// the integrals that end there).
//
// Delta and gamma. The spot enters only through b (-sign per unit of
// x = ln S: b = ln(H/S) up, ln(S/H) down), the log-strike k (also -sign)
// and the payoff's factor S (itself): every e^(-x (y - c)) at an end y in
// {k, b} with c in {0, b}, every e^(e y) and the A and B of the crossing
// are functions of them. barrierTermJets carries first and second
// derivatives in x through the same sums (log_spot_jet.hpp), so they are
// the exact derivatives of the inverted transform. Where the strike sits
// on the spot (k = 0, where the density's pieces meet) the integral keeps
// the strike's end, whose motion the second derivative needs.
//
// Numerical caveats. In and out are each computed from their own terms; in
// + out - vanilla is the inversion's error, about 1e-13 (S + K). The
// contour is shifted right of every singularity: the roots' branch points
// (alpha <= 0), and s = -q where the payoff's e^y meets the resolvent's
// decay. Integrals of e^(g y) whose rate g nears 0 lose digits as 1/g;
// on the contour that happens only near the real axis, where the nodes are
// few. An invalid model gives NaN.
#pragma once

#include "pricing/first_passage/log_spot_jet.hpp"
#include "pricing/first_passage/passage_roots.hpp"
#include "pricing/first_passage/talbot_contour.hpp"

namespace jdpricer {

enum class BarrierPayoff { kCall, kPut };

struct BarrierSlice {
  int half = 0;
  bool ok = false;
  double largestTerms = 0.0;  // as PassageSlice's
  double eta1 = 0.0;  // of the law the slice is built for (mirrored for down)
  // Per node: the weight (2/N) e^(sT) s'(theta), s itself, the four roots
  // (upward pair first) and their residues.
  Complex weight[kMaxTalbotNodes / 2], s[kMaxTalbotNodes / 2];
  Complex root[kMaxTalbotNodes / 2][4], residue[kMaxTalbotNodes / 2][4];
};

inline constexpr int kBarrierNodes = 32;

// The slice for maturity T > 0 under the law `model` (upward; a down
// barrier passes model.mirrored()), discounting at r, dividend yield q.
void buildBarrierSlice(const PassageModel& model, double T, double r, double q, int nodes,
                       BarrierSlice& slice);

// What one option asks of a slice: level b > 0 of the barrier in the
// slice's law, the payoff's log-strike k = ln(K/S) read in that law's
// variable (sign = +1 for an up barrier, -1 for a down one, where X = -y).
struct BarrierTerms {
  double knockIn, knockOut;  // without rebates
  double hitValue;           // E[e^(-r tau); tau <= T]
  double noHitValue;         // e^(-rT) P(tau > T)
};
// The terms asked for in `wanted` (the others NaN): each costs its own
// integrals, the exponentials at the roots being shared.
enum BarrierTerm : unsigned { kKnockIn = 1, kKnockOut = 2, kHitValue = 4, kNoHitValue = 8 };
BarrierTerms barrierTerms(const BarrierSlice& slice, BarrierPayoff payoff, double b, double S,
                          double K, double sign, unsigned wanted);

// The same terms with their first and second derivatives in ln S, exact
// for the inverted sums (log_spot_jet.hpp); each value has the bits that
// barrierTerms gives. About three times its cost.
struct BarrierTermJets {
  Jet<double> knockIn, knockOut, hitValue, noHitValue;
};
BarrierTermJets barrierTermJets(const BarrierSlice& slice, BarrierPayoff payoff, double b,
                                double S, double K, double sign, unsigned wanted);

}  // namespace jdpricer
