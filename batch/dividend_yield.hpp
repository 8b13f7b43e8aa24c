// A continuous dividend yield q on the book pricers.
//
// Method. With a yield q the stock grows at r - q under the risk-neutral
// measure and nothing else about the model changes, so S_T given S has the
// law of S_T given S e^(-qT) without the yield: a European price with yield
// q is the price without it at the spot net of the dividends paid before
// expiry, S e^(-qT). The book pricers run unchanged on that column, and
// the yield's effect on the Greeks follows by the chain rule:
//   delta = e^(-qT) delta0,  gamma = e^(-qT) e^(-qT) gamma0,
//   theta = theta0 + q S_q delta0   (theta = -dV/dT; S_q = S e^(-qT) moves with T),
//   psi   = dV/dq = -T S_q delta0,
// every other sensitivity (vega, rho, dual delta, the jump law's) being the
// one at S_q.
//
// Numerical caveats. S_q is S * exp(-q * T), in that order, with the C
// library's exp, so a price with q has the bits of the price without it
// at that spot. Where q is 0 the option keeps its own S: q = 0 leaves every
// bit as it was, even where T is infinite or NaN (-0 * inf is NaN). S_q
// carries the roundings of -q*T, exp and the product, at most
// (|qT| + 3) u S_q relatively (u = 2^-53, exp within one ulp); a price
// moves by at most that much, since |dV/dS| <= 1 for calls and puts, and
// error bounds add it (dividendRounding), so they stay rigorous for the
// price at the exact S e^(-qT).
#pragma once

#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

#include "batch/book.hpp"
#include "pricing/greeks/kou_greeks.hpp"

namespace jdpricer {

// bound + extra, one double above the rounded sum (so a bound in any
// rounding mode); the bound itself where extra is 0.
inline double boundPlusExtra(double bound, double extra) {
  if (extra == 0.0) return bound;
  return std::nextafter(bound + extra, std::numeric_limits<double>::infinity());
}

// Whether any option of the book has a yield other than 0 (NaN counts).
bool hasDividendYield(const double* q, std::size_t count);

// The book with S replaced by S_q = S * exp(-q * T) where q is not 0;
// `storage` holds the new column. The book itself where every q is 0.
OptionColumns spotsNetOfDividends(const OptionColumns& book, const double* q,
                                  std::vector<double>& storage);

// The bound on how far S_q's rounding moves a call or put price:
// (|qT| + 3.01) u |S_q| plus the least subnormal (where S_q underflows);
// 0 where q is 0.
double dividendRounding(double q, double T, double netSpot);

// Adds dividendRounding to each bound (boundPlusExtra); bounds where q is
// 0 keep their bits.
void addDividendRounding(const OptionColumns& netBook, const double* q, double* bounds);

// Each option's dividendRounding into `out`; false (and `out` untouched)
// where every q is 0.
bool dividendRoundings(const OptionColumns& netBook, const double* q, std::vector<double>& out);

// Turns the Greeks priced on the net book (at S_q) into those with the
// yield, and writes psi = dV/dq. Options with q = 0 keep every bit and get
// psi = -T S delta.
void applyDividendYieldToGreeks(const OptionColumns& netBook, const double* q,
                                double* const field[kGreekFields], double* psi);

}  // namespace jdpricer
