// The jump coefficients' derivatives in the jump law: dP_{n,k}/dp,
// dQ_{n,k}/dp, dP_{n,k}/dx and dQ_{n,k}/dx, x = eta1 / (eta1 + eta2). They
// depend on (p, eta1, eta2) alone, so a book computes them once; row n does
// not depend on the number of rows N either (its powers and factorials are
// the same values whatever N), so rows built for the longest series serve
// every shorter one.
//
// Method. P and Q depend on the rates only through x = eta1/w (eta2/w =
// 1 - x, w = eta1 + eta2), so dP/deta1 = (eta2/w^2) dP/dx and
// dP/deta2 = -(eta1/w^2) dP/dx; the same holds for Q. Each summand of
//   P_{n,k} = sum_{i=k..n-1} C(n,i) C(n-k-1,i-k) x^(i-k) y^(n-i) q^(n-i) p^i
// (y = 1 - x, q = 1 - p) is a product of powers, differentiated by the
// product rule without dividing by the base:
//   d/dp [q^(n-i) p^i] = i q^(n-i) p^(i-1) - (n-i) q^(n-i-1) p^i,
//   d/dx [x^(i-k) y^(n-i)] = (i-k) x^(i-k-1) y^(n-i) - (n-i) x^(i-k) y^(n-i-1),
// where a term with a zero factor (i = k, i = n) is left out, so p = 0, p = 1
// or x = 0 never meets 0^(-1). Q_{n,k} swaps the roles (x^(n-i) y^(i-k),
// p^(n-i) q^i), P_{n,n} = p^n gives n p^(n-1) and Q_{n,n} = q^n gives
// -n q^(n-1); neither depends on x. O(N^3) like the coefficients themselves,
// with powers and factorials from tables.
//
// Numerical caveats. These are derivatives, not prices: no bit pattern is
// promised beyond rounding. Terms of both signs are added, so a derivative
// near zero is known to the rounding of its largest terms, not relatively.
// Factorials come from tgamma: N <= kMaxSeriesTerms.
#pragma once

#include "pricing/closed_form/jump_coefficients.hpp"

namespace jdpricer {

// Packed triangles (triangleIndex) of rows n = 1..N; each holds
// triangleSize(N) doubles and is owned by the caller.
struct CoefficientDerivatives {
  double* Pp;  // dP_{n,k}/dp
  double* Qp;  // dQ_{n,k}/dp
  double* Px;  // dP_{n,k}/dx
  double* Qx;  // dQ_{n,k}/dx
};

// The same triangles, read only.
struct ConstCoefficientDerivatives {
  const double* Pp;
  const double* Qp;
  const double* Px;
  const double* Qx;
};

// Fills the four triangles for the jump law (p, eta1, eta2), 1 <= N <=
// kMaxSeriesTerms; `factorials` is a FactorialTable(N).
void fillCoefficientDerivatives(const FactorialTable& factorials, int N, double p, double eta1,
                                double eta2, const CoefficientDerivatives& out);

}  // namespace jdpricer
