#include "batch/dividend_yield.hpp"

#include <cmath>
#include <limits>

#include "pricing/common/fp_environment.hpp"

namespace jdpricer {

namespace {

constexpr double kUnitRoundoff = 0x1p-53;
constexpr double kLeastSubnormal = std::numeric_limits<double>::denorm_min();

// e^(-qT) as the net spot takes it: the same operands, so the same bits.
double discountForDividends(double q, double T) { return std::exp(-q * T); }

}  // namespace

bool hasDividendYield(const double* q, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (q[i] != 0.0) return true;
  }
  return false;
}

OptionColumns spotsNetOfDividends(const OptionColumns& book, const double* q,
                                  std::vector<double>& storage) {
  if (q == nullptr || !hasDividendYield(q, book.count)) return book;
  storage.resize(book.count);
  const PinnedFloatingPoint pinned;
  for (std::size_t i = 0; i < book.count; ++i) {
    storage[i] = q[i] != 0.0 ? book.S[i] * discountForDividends(q[i], book.T[i]) : book.S[i];
  }
  OptionColumns net = book;
  net.S = storage.data();
  return net;
}

double dividendRounding(double q, double T, double netSpot) {
  if (q == 0.0) return 0.0;
  // 3 u for exp's ulp and the product's half, |qT| u for -q*T's rounding
  // magnified by exp; 0.01 u covers the second-order terms and this
  // evaluation's own roundings.
  return (std::fabs(q * T) + 3.01) * kUnitRoundoff * std::fabs(netSpot) + kLeastSubnormal;
}

void addDividendRounding(const OptionColumns& netBook, const double* q, double* bounds) {
  if (q == nullptr) return;
  const PinnedFloatingPoint pinned;
  for (std::size_t i = 0; i < netBook.count; ++i) {
    if (q[i] == 0.0) continue;
    bounds[i] = boundPlusExtra(bounds[i], dividendRounding(q[i], netBook.T[i], netBook.S[i]));
  }
}

bool dividendRoundings(const OptionColumns& netBook, const double* q, std::vector<double>& out) {
  if (q == nullptr || !hasDividendYield(q, netBook.count)) return false;
  const PinnedFloatingPoint pinned;
  out.resize(netBook.count);
  for (std::size_t i = 0; i < netBook.count; ++i) {
    out[i] = dividendRounding(q[i], netBook.T[i], netBook.S[i]);
  }
  return true;
}

void applyDividendYieldToGreeks(const OptionColumns& netBook, const double* q,
                                double* const field[kGreekFields], double* psi) {
  const PinnedFloatingPoint pinned;
  for (std::size_t i = 0; i < netBook.count; ++i) {
    const double T = netBook.T[i];
    const double netSpot = netBook.S[i];
    const double delta = field[kDelta][i];
    psi[i] = -T * netSpot * delta;
    if (q == nullptr || q[i] == 0.0) continue;
    const double discount = discountForDividends(q[i], T);
    field[kDelta][i] = discount * delta;
    field[kGamma][i] = discount * discount * field[kGamma][i];
    field[kTheta][i] = field[kTheta][i] + q[i] * netSpot * delta;
  }
}

}  // namespace jdpricer
