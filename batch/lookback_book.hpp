// Lookback options of a whole book under one Kou model, continuously
// monitored: fixed-strike calls on the maximum and puts on the minimum,
// floating-strike puts (max - S_T) and calls (S_T - min).
//
// Method. With M the running maximum so far (m the minimum), J(L) the
// integral over levels of pricing/first_passage/lookback.hpp and the
// discount D = e^(-rT):
//   fixed call      D ((M - K)+ + S J(max(ln(M/S), ln(K/S))))      maximum of X
//   fixed put       D ((K - m)+ + S J(max(ln(S/m), ln(S/K))))      maximum of -X
//   floating put    D (M + S J(ln(M/S))) - S e^(-qT)               maximum of X
//   floating call   S e^(-qT) - D (m - S J(ln(S/m)))               maximum of -X
// (the last with J's e = -1: the minimum is S e^(-max of -X)). The options
// are taken in maturity order; a slice (the contour's nodes and the roots
// there) serves every following option of the same maturity, direction, r
// and q, whatever its strike, spot or extremum.
//
// Conventions. The running extremum is a number observed before today: M
// below S or m above S is not a running extremum, and gives NaN, as do NaN
// inputs, T < 0, S, K, M or m not positive and finite, sigma <= 0 and a
// model out of its domain. T = 0 gives the payoff at the extremum; below
// 1e-30 years the integral over levels is 0 to within S sigma sqrt(T), and
// is taken as 0. The values are the same bits for every worker count.
#pragma once

#include <cstddef>
#include <functional>

#include "batch/book.hpp"
#include "pricing/first_passage/first_passage.hpp"

namespace jdpricer {

enum class LookbackKind { kFixedCall, kFixedPut, kFloatingCall, kFloatingPut };

struct LookbackModel {
  double sigma, lam, p, eta1, eta2;
};

// The options: T, K, S, r (K is not read for floating strikes), and per
// option the running extremum (the maximum for a fixed call or floating
// put, the minimum otherwise) and the dividend yield q.
struct LookbackColumns {
  OptionColumns book;
  const double* extremum;
  const double* q;
};

// The prices of a whole book on up to `workers` threads; with delta and
// gamma not null, dV/dS and d2V/dS2 too (the running extremum held), exact
// derivatives of the inverted transform. `poll` as for the other books.
void priceLookbackBook(LookbackKind kind, const LookbackModel& model,
                       const LookbackColumns& options, double* prices, std::size_t workers,
                       const std::function<void()>& poll, double* delta = nullptr,
                       double* gamma = nullptr);

}  // namespace jdpricer
