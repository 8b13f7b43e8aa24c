// The single steps of the Hh recursion's error analysis (bounded_slice.cpp,
// recursion_adjoint.cpp), declared for the tests that hold each one against
// wider arithmetic: a bound that leaves out one of its terms still stays
// above the end-to-end errors of most prices, so each term is checked where
// it is the one that matters.
#pragma once

#include "pricing/common/lanes.hpp"

namespace jdpricer {
namespace recursion_steps {

// A bound on the local rounding delta_m of the engine's step
// h = (older - e newer)/m (m >= 1, h its computed value): the product, the
// subtraction and the division each err by at most u times their result.
LaneBlock hhStepLocalError(const LaneBlock& e, const LaneBlock& older, const LaneBlock& newer,
                           const LaneBlock& h, int m);

// One step of the adjoint, Lambda_i = kappa_i - (e/(i+1)) Lambda_{i+1}
// + Lambda_{i+2}/(i+2), in doubles, with a bound on its error against the
// exact step at the exact kappa_i (within kappaError) and the exact
// Lambda_{i+1}, Lambda_{i+2} (within nextError, afterNextError of next,
// afterNext).
struct AdjointStep {
  LaneBlock value, error;
};
AdjointStep adjointStep(const LaneBlock& e, int i, double kappa, double kappaError,
                        const LaneBlock& next, const LaneBlock& nextError,
                        const LaneBlock& afterNext, const LaneBlock& afterNextError);

}  // namespace recursion_steps
}  // namespace jdpricer
