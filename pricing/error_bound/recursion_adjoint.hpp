// The Hh recursion's errors through its adjoint: a rigorous bound on
// |sum_i kappa_i D_i|, D_i = h_i - Hh_i(e) the errors of the computed Hh
// values, for weights kappa known within kappaError.
//
// Method. The computed h obey h_m = (h_{m-2} - e h_{m-1})/m + delta_m
// exactly, so D obeys the same recursion forced by the local roundings
// delta and started by the errors of h_-1 and h_0; hence, exactly,
// sum_i kappa_i D_i = sum_j Lambda_j delta_j with the adjoint
// Lambda_i = kappa_i - (e/(i+1)) Lambda_{i+1} + Lambda_{i+2}/(i+2), run
// downwards. The adjoint carries the signs with which later steps cancel
// the errors of an unstable (e > 0) recursion, which adding them by
// magnitude cannot see. It is evaluated in doubles beside a running bound
// on its own rounding and on the weights' errors, so each |Lambda_j| is
// bounded rigorously; the local errors enter by their bounds (local[j + 1]
// for Hh_j, j >= -1), h_0's by its sign where known (zeroDelta within
// zeroDeltaError >= 0; a negative zeroDeltaError: by its bound local[1]).
//
// Numerical caveats. Linear: nothing of higher order is left out. The
// adjoint grows where the recursion is stable (e <= 0); callers take the
// smaller of this and the magnitudes' bound.
#pragma once

#include "pricing/common/lanes.hpp"

namespace jdpricer {

LaneBlock adjointRecursion(const LaneBlock& e, int N, const double* kappa,
                           const double* kappaError, const LaneBlock* local,
                           const LaneBlock& zeroDelta, const LaneBlock& zeroDeltaError);

}  // namespace jdpricer
