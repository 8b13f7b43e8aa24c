#include "batch/european_subset.hpp"

#include "batch/dividend_yield.hpp"
#include "batch/greeks_book.hpp"

namespace jdpricer {

void priceEuropeanSubset(Payoff payoff, const KouModel& model, const OptionColumns& book,
                         const double* q, const std::vector<std::size_t>& which, double* prices,
                         std::size_t workers, const std::function<void()>& poll, double* delta,
                         double* gamma, double* theta) {
  const std::size_t count = which.size();
  if (count == 0) return;
  std::vector<double> T(count), K(count), S(count), r(count), yields(count);
  for (std::size_t j = 0; j < count; ++j) {
    const std::size_t i = which[j];
    T[j] = book.T[i];
    K[j] = book.K[i];
    S[j] = book.S[i];
    r[j] = book.r[i];
    yields[j] = q[i];
  }
  std::vector<double> netSpots;
  const OptionColumns net = spotsNetOfDividends(
      OptionColumns{T.data(), K.data(), S.data(), r.data(), count}, yields.data(), netSpots);
  priceBook(payoff, model, net, prices, workers, poll);
  if (delta == nullptr) return;
  std::vector<std::vector<double>> fields(kGreekFields, std::vector<double>(count));
  std::vector<double> psi(count);
  GreeksColumns greeks;
  for (int f = 0; f < kGreekFields; ++f) greeks.field[f] = fields[f].data();
  priceGreeksBook(payoff, model, net, greeks, workers, poll);
  applyDividendYieldToGreeks(net, yields.data(), greeks.field, psi.data());
  for (std::size_t j = 0; j < count; ++j) {
    delta[j] = fields[kDelta][j];
    gamma[j] = fields[kGamma][j];
    if (theta != nullptr) theta[j] = fields[kTheta][j];
  }
}

}  // namespace jdpricer
