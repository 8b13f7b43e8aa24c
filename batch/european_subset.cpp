#include "batch/european_subset.hpp"

#include "batch/dividend_yield.hpp"
#include "batch/greeks_book.hpp"

namespace jdpricer {

namespace {

// The options' columns gathered, with S net of dividends in `net`.
struct GatheredSubset {
  std::vector<double> T, K, S, r, yields, netSpots;
  OptionColumns net;
  GatheredSubset(const OptionColumns& book, const double* q, const std::vector<std::size_t>& which)
      : T(which.size()), K(which.size()), S(which.size()), r(which.size()), yields(which.size()) {
    for (std::size_t j = 0; j < which.size(); ++j) {
      const std::size_t i = which[j];
      T[j] = book.T[i];
      K[j] = book.K[i];
      S[j] = book.S[i];
      r[j] = book.r[i];
      yields[j] = q[i];
    }
    net = spotsNetOfDividends(OptionColumns{T.data(), K.data(), S.data(), r.data(), which.size()},
                              yields.data(), netSpots);
  }
};

}  // namespace

void priceEuropeanSubsetGreeks(Payoff payoff, const KouModel& model, const OptionColumns& book,
                               const double* q, const std::vector<std::size_t>& which,
                               double* const field[kGreekFields], double* psi,
                               std::size_t workers, const std::function<void()>& poll) {
  if (which.empty()) return;
  const GatheredSubset subset(book, q, which);
  GreeksColumns greeks;
  for (int f = 0; f < kGreekFields; ++f) greeks.field[f] = field[f];
  priceGreeksBook(payoff, model, subset.net, greeks, workers, poll);
  applyDividendYieldToGreeks(subset.net, subset.yields.data(), greeks.field, psi);
}

void priceEuropeanSubset(Payoff payoff, const KouModel& model, const OptionColumns& book,
                         const double* q, const std::vector<std::size_t>& which, double* prices,
                         std::size_t workers, const std::function<void()>& poll, double* delta,
                         double* gamma, double* theta) {
  const std::size_t count = which.size();
  if (count == 0) return;
  const GatheredSubset subset(book, q, which);
  priceBook(payoff, model, subset.net, prices, workers, poll);
  if (delta == nullptr) return;
  std::vector<std::vector<double>> fields(kGreekFields, std::vector<double>(count));
  std::vector<double> psi(count);
  double* columns[kGreekFields];
  for (int f = 0; f < kGreekFields; ++f) columns[f] = fields[f].data();
  priceEuropeanSubsetGreeks(payoff, model, book, q, which, columns, psi.data(), workers, poll);
  for (std::size_t j = 0; j < count; ++j) {
    delta[j] = fields[kDelta][j];
    gamma[j] = fields[kGamma][j];
    if (theta != nullptr) theta[j] = fields[kTheta][j];
  }
}

}  // namespace jdpricer
