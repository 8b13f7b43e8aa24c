// Continuously monitored lookback options under Kou's model, from the law of
// the running maximum: the maximum of X over [0, T] reaches y exactly when
// the first passage tau_y comes by T, so for an increasing payoff f,
//   E f(max(m, sup X)) = f(m) + integral over y > m of f'(y) P(tau_y <= T) dy.
//
// Method. The fixed-strike call (S e^y - K)+ has f'(y) = S e^y above the
// log-strike, and the first-passage slice (first_passage.hpp) gives
// P(tau_y <= T) as the sum over the contour's nodes of
// Im(first e^(-beta1 y) + second e^(-beta2 y)). The integral over levels is
// therefore in closed form node by node:
//   integral over y > L of e^(e y) P(tau_y <= T) dy
//     = sum Im(first e^((e - beta1) L)/(beta1 - e) + second e^((e - beta2) L)/(beta2 - e)),
// e = +1 for the maximum of X (calls on the maximum), e = -1 for the
// maximum of -X, the mirrored law (puts on the minimum, f' = S e^(-y)). One
// slice per maturity, direction, r and q serves every strike, spot and
// running extremum of that maturity: an option costs two complex
// exponentials per node.
//
// The transform of the e = +1 integral has a pole where beta1(s) = 1, at
// s = r - q (E e^(X_T) grows like e^((r - q)T)): its contour is shifted
// right of it (rightOf in buildPassageSlice). For e = -1 no pole lies on
// the right.
//
// Delta and gamma. L moves by -e per unit of x = ln S when the running
// extremum is held (it is a fixed number once observed; at M = S the
// price's derivative in M vanishes, so holding it or moving it with S gives
// the same delta there); the payoff's S moves with itself. levelIntegralJet
// carries both through the same sums (log_spot_jet.hpp).
//
// Numerical caveats. As for touches: the contour's 32 nodes give about
// 1e-14 of the price for ordinary models and maturities of 0.05 to 3; the
// transform decays slowly for very short maturities. NaN where the slice
// is not ok (sigma = 0 among others).
#pragma once

#include "pricing/first_passage/first_passage.hpp"
#include "pricing/first_passage/log_spot_jet.hpp"

namespace jdpricer {

// integral over y > L >= 0 of e^(e y) P(tau_y <= T) dy, from a slice built
// with c = 0 for the law whose maximum is wanted; e is +1 or -1.
double levelIntegral(const PassageSlice& slice, double L, double e);

// The same with its derivatives in ln S, where L moves by dL per unit of
// ln S; the value has levelIntegral's bits.
Jet<double> levelIntegralJet(const PassageSlice& slice, double L, double dL, double e);

}  // namespace jdpricer
