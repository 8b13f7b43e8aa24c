// The option's own work in one Upsilon series: everything that depends on
// the level c = a - mu T, i.e. on strike, spot and rate. Evaluated for
// `Lanes` options of one maturity slice side by side.
//
// Method. With the slice's integral families evaluated at c (I_{k-1} of both
// jump directions), each row n of the series adds
//   A_n = sum_{k=1..n} I^up_{k-1} W_{n,k},   B_n = sum_{k=1..n} I^down_{k-1} V_{n,k}
// (each from 0.0 in increasing k) into SP += A_n pi_n and SQ += pi_n B_n,
// rows in increasing n. The Upsilon is then
//   Phi(-c / (sqrt(T) sigma)) pi_0 + (downScale SQ + upScale SP).
// The chains of different lanes are independent, each in the order above, so
// a lane's result has the bits of the per-option evaluation.
//
// Numerical caveats. The terms of A_n and B_n alternate in sign and grow like
// exp((eta sigma)^2 T / 2) before the prefactor scales them back: for large
// eta sigma sqrt(T) the sums cancel catastrophically in double precision.
#pragma once

#include "pricing/common/lanes.hpp"
#include "pricing/closed_form/maturity_slice.hpp"

namespace jdpricer {

template <int Lanes>
struct SeriesLanes {
  using Vec = typename LaneVector<Lanes>::type;
  Vec c;                          // the level of each lane
  Vec upward[kMaxSeriesTerms];    // I^up_{k-1}(c)
  Vec downward[kMaxSeriesTerms];  // I^down_{k-1}(c)
  Vec SP, SQ;
};

// With lanes.c set: evaluates the integrals at each c and clears the sums.
template <int Lanes>
void beginSeries(const SeriesSlice& slice, SeriesLanes<Lanes>& lanes);

// As beginSeries, from the values at each lane's level of both families
// that the caller has formed already (evaluateIntegralFamilyAt): the same
// bits. The families' Hh values are left in hhUpward and hhDownward.
void beginSeriesAt(const SeriesSlice& slice, const IntegralLevelValues<LaneBlock>& upward,
                   const IntegralLevelValues<LaneBlock>& downward,
                   SeriesLanes<kBatchLanes>& lanes, LaneBlock* hhUpward,
                   LaneBlock* hhDownward);

// Adds row n (1 <= n <= slice.N, rows in increasing n) with its weights
// W, V (see weightRow).
template <int Lanes>
void addSeriesRow(const SeriesSlice& slice, int n, const double* W, const double* V,
                  SeriesLanes<Lanes>& lanes);

// upsilon[lane] once every row has been added.
template <int Lanes>
void finishSeries(const SeriesSlice& slice, const SeriesLanes<Lanes>& lanes, double* upsilon);

// As finishSeries, with the factors Phi(-c / (sqrt(T) sigma)) of each lane
// formed by the caller by the same operations: the same bits.
void finishSeriesAt(const SeriesSlice& slice, const SeriesLanes<kBatchLanes>& lanes,
                    const double* noJumpFactor, double* upsilon);

}  // namespace jdpricer
