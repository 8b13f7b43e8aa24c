#include "pricing/error_bound/recursion_adjoint.hpp"

#include "pricing/error_bound/bound_support.hpp"
#include "pricing/error_bound/detail/recursion_steps.hpp"

namespace jdpricer {

using namespace bound_support;

namespace recursion_steps {

AdjointStep adjointStep(const LaneBlock& e, int i, double kappa, double kappaError,
                        const LaneBlock& next, const LaneBlock& nextError,
                        const LaneBlock& afterNext, const LaneBlock& afterNextError) {
  const LaneBlock eAbs = absLanes(e);
  const LaneBlock stepOne = (e * next) * kReciprocals.of[i + 1];
  const LaneBlock stepTwo = afterNext * kReciprocals.of[i + 2];
  const LaneBlock partial = kappa - stepOne;
  const LaneBlock adjoint = partial + stepTwo;
  const LaneBlock adjointError =
      (kappaError + eAbs * nextError * kReciprocals.of[i + 1] +
       afterNextError * kReciprocals.of[i + 2] +
       kU * (3.0 * absLanes(stepOne) + 2.0 * absLanes(stepTwo) + absLanes(partial) +
             absLanes(adjoint)) +
       5.0 * kTiny) *
      (1.0 + 4.0 * kU);
  return {adjoint, adjointError};
}

}  // namespace recursion_steps

LaneBlock adjointRecursion(const LaneBlock& e, int N, const double* kappa,
                           const double* kappaError, const LaneBlock* local,
                           const LaneBlock& zeroDelta, const LaneBlock& zeroDeltaError) {
  const LaneBlock zero = zeroLanes();
  LaneBlock next = zero, afterNext = zero, nextError = zero, afterNextError = zero;
  LaneBlock recursion = zero, zeroTerm = zero;
  for (int i = N - 1; i >= 0; --i) {
    const recursion_steps::AdjointStep step = recursion_steps::adjointStep(
        e, i, kappa[i], kappaError[i], next, nextError, afterNext, afterNextError);
    const LaneBlock& adjoint = step.value;
    const LaneBlock& adjointError = step.error;
    const LaneBlock adjointUpper = absLanes(adjoint) + adjointError;
    if (i > 0) {
      recursion = recursion + adjointUpper * local[i + 1];
    } else {
      // h_0's error: zeroDelta within zeroDeltaError where the tail form
      // gives it, else by magnitude.
      const LaneMask known = greaterEqualLanes(zeroDeltaError, zero);
      zeroTerm = selectLanes(known, absLanes(adjoint * zeroDelta), zero);
      recursion = recursion + selectLanes(known,
                                          adjointError * absLanes(zeroDelta) +
                                              adjointUpper * zeroDeltaError,
                                          adjointUpper * local[1]);
    }
    afterNext = next;
    afterNextError = nextError;
    next = adjoint;
    nextError = adjointError;
  }
  // Hh_{-1} enters Hh_1 alone, with weight 1: Lambda_{-1} = Lambda_1.
  recursion = recursion + (absLanes(afterNext) + afterNextError) * local[0];
  // Lambda_0 zeroDelta, its product rounded (within u of itself).
  recursion = recursion + zeroTerm * (1.0 + 2.0 * kU);
  return recursion;
}

}  // namespace jdpricer
