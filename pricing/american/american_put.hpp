// American puts of one maturity, rate and dividend yield at any number of
// log-moneyness points x = ln(S/K), to an accuracy the caller names, by the
// partial integro-differential equation (pide_put.hpp) solved at two
// resolutions and extrapolated.
//
// Method. The grid reaches 8 standard deviations of the log-price over T
// (diffusion and jumps) and four mean jumps beyond the points asked for. It
// is stretched about the strike, x = a sinh(xi) on uniform xi with
// a = half that standard deviation and the strike a node, starting at
// dxi = 0.3 and 4 sqrt(T) time steps (at least 4), growing away from
// expiry; it is refined by halving dxi and the steps together. Each pair
// of solves, (h, k) and (h/2, k/2), gives at each point v_c and v_f; the
// error is O(h^2 + k^2), so (4 v_f - v_c)/3 removes its leading term
// (Richardson). Refinement stops when the extrapolated value moved by no
// more than the accuracy from the previous pair's at every point (that
// move is about the previous value's error, and above the new one's), or
// fails (NaN) past 2^15 nodes. Neither a single pair's |v_f - v_c| nor the
// first two pairs are trusted: on coarse grids, before the error follows
// h^2 + k^2, two values may agree by chance. Nor is a move more than 64
// times smaller than the one before (an extrapolated error falls by about
// 2^3 to 2^4 a halving; a sharper fall means the previous value crossed
// the limit: one such move was 2.8e-7 of the strike, after 1.1e-3, with
// the value 9.2e-7 off). Values at the points by cubic interpolation in
// xi (of the time value v - g where the four nodes lie below the strike,
// g exact), and between the exercise boundary, which the solver places
// between nodes, and the second node above it by the time value's
// expansion w = B d^2 + C d^3 from the boundary (smooth fit); their first
// and second derivatives in x alike; v_tau from the last step (second
// order, 0 where the option is exercised); every one extrapolated alike.
// Since the boundary is placed within its cell, the values near it
// converge as regularly as the others: with the boundary on a node, the
// extrapolated value of a spot just above it wandered by 1e-6 of the
// strike from one resolution to the next, and such a ladder took 30 to
// 100 times longer.
//
// The grid and the steps depend only on the maturity, r, q, the model, the
// accuracy and the range of the points: the same points give the same bits
// however they are shared out.
//
// Model sensitivities. The grid depends on sigma and the jump law (its
// reach and spacing scale with the log-price's spread), so prices of a
// bumped model solved afresh would differ by a change of grid too, an
// O(h^2) error that no small bump outweighs. A bumped problem is instead
// solved on the pair of grids the unbumped solve stopped at (the returned
// AmericanGrid), extrapolated alike: the difference of two such values is
// the change of the discrete solution alone, smooth in the parameter but
// for the exercise region's nodes (a node that changes sides leaves a kink
// of the size of the discretisation error).
#pragma once

#include <cstddef>

namespace jdpricer {

struct AmericanPutQuery {
  double T, r, q;
  double sigma, lam, p, eta1, eta2;
  double accuracy;  // in units of the strike
};

// v, v_x, v_xx and v_tau at one point (K = 1).
struct AmericanPutPoint {
  double value, slope, curvature, rate;
};

// Lends the solver its storage: `doubles` for one request, valid until the
// next request (the batch owns and reuses it).
class AmericanStorage {
 public:
  virtual double* lend(std::size_t doubles) = 0;

 protected:
  ~AmericanStorage() = default;
};

// The finer grid of the pair that a solve stopped at: x = alpha sinh(xi),
// xi = lo + i step for i < points, and `steps` time steps; the coarser one
// has twice the spacing and half the steps.
struct AmericanGrid {
  double alpha, lo, step;
  int points, steps;
};

// The points' values and derivatives; false (all NaN) where the problem is
// not solvable or the accuracy is not reached. `boundaryTimes`, if not
// null, asks for the exercise boundary x*(tau) at `boundaryCount` times to
// expiry in [0, T], written to `boundary` (NaN where no node is exercised).
// `reached`, if not null, gets the grid of the last pair.
bool priceAmericanPuts(const AmericanPutQuery& query, const double* x, std::size_t count,
                       AmericanStorage& storage, AmericanPutPoint* out,
                       const double* boundaryTimes = nullptr, std::size_t boundaryCount = 0,
                       double* boundary = nullptr, AmericanGrid* reached = nullptr);

// The points' values and derivatives from one pair of solves on `grid` and
// its coarser half, extrapolated as priceAmericanPuts does, with no
// refinement and no estimate (a nearby problem on a grid a solve reached).
// False (all NaN) where the problem is not solvable.
bool priceAmericanPutsOnGrid(const AmericanPutQuery& query, const AmericanGrid& grid,
                             const double* x, std::size_t count, AmericanStorage& storage,
                             AmericanPutPoint* out);

}  // namespace jdpricer
