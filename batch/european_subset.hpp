// The European options among some of a book's: the breached knock-ins of a
// barrier book, the American options that are never exercised early, the
// European floor of the others.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "batch/book.hpp"
#include "batch/book_pricer.hpp"
#include "pricing/greeks/kou_greeks.hpp"

namespace jdpricer {

// The options `which` of `book` (dividend yields q), each at its spot net
// of dividends with each maturity's own series length: prices[j] for
// which[j], and where delta is not null its delta, gamma and theta (theta
// may be null) in the spot itself, through the dividend yield's chain rule.
void priceEuropeanSubset(Payoff payoff, const KouModel& model, const OptionColumns& book,
                         const double* q, const std::vector<std::size_t>& which, double* prices,
                         std::size_t workers, const std::function<void()>& poll,
                         double* delta = nullptr, double* gamma = nullptr,
                         double* theta = nullptr);

// The same options' every Greek: field[f][j] (GreekField, the price's
// column included) and psi[j] = dV/dq for which[j], in the spot itself.
void priceEuropeanSubsetGreeks(Payoff payoff, const KouModel& model, const OptionColumns& book,
                               const double* q, const std::vector<std::size_t>& which,
                               double* const field[kGreekFields], double* psi,
                               std::size_t workers, const std::function<void()>& poll);

}  // namespace jdpricer
