// Cost of one call price against the series length n, beside a Black-Scholes
// price (the yardstick: two erfc and an exp) and the word-for-word evaluation
// of the closed form that the tests keep (recursive Hh, nothing reused).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>

#include <vector>

#include "batch/book_pricer.hpp"
#include "batch/greeks_book.hpp"
#include "pricing/common/fp_environment.hpp"
#include "pricing/closed_form/options.hpp"
#include "support/literal_kou.hpp"

namespace {

// T = 0.5, K = 98, S = 100, r = 0.05, sigma = 0.16, lam = 1, p = 0.4, eta1 = 10, eta2 = 5.
void BM_KouCall(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const jdpricer::EuropeanCall call(0.5, 98.0);
  double S = 100.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(S);
    benchmark::DoNotOptimize(call.priceByKouJumpDiffusion(S, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, n));
  }
}
BENCHMARK(BM_KouCall)->Arg(0)->Arg(1)->Arg(5)->Arg(10)->Arg(20)->Arg(30)->Arg(50)->Arg(100)->Arg(170);

void BM_KouPut(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const jdpricer::EuropeanPut put(0.5, 98.0);
  double S = 100.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(S);
    benchmark::DoNotOptimize(put.priceByKouJumpDiffusion(S, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, n));
  }
}
BENCHMARK(BM_KouPut)->Arg(10);

// What every pricing entry point adds: saving, pinning and restoring the
// floating-point environment around one addition that raises inexact.
void BM_PinnedFloatingPoint(benchmark::State& state) {
  double x = 0.1;
  for (auto _ : state) {
    const jdpricer::PinnedFloatingPoint pinned;
    benchmark::DoNotOptimize(x);
    x = x + 1e-17;
    benchmark::DoNotOptimize(x);
  }
}
BENCHMARK(BM_PinnedFloatingPoint);

void BM_BlackScholesCall(benchmark::State& state) {
  double S = 100.0;
  const double T = 0.5, K = 98.0, r = 0.05, sigma = 0.16;
  for (auto _ : state) {
    benchmark::DoNotOptimize(S);
    const double sd = sigma * std::sqrt(T);
    const double d1 = (std::log(S / K) + (r + 0.5 * sigma * sigma) * T) / sd;
    const double d2 = d1 - sd;
    benchmark::DoNotOptimize(S * 0.5 * std::erfc(-d1 / std::sqrt(2.0)) -
                             K * std::exp(-r * T) * 0.5 * std::erfc(-d2 / std::sqrt(2.0)));
  }
}
BENCHMARK(BM_BlackScholesCall);

void BM_LiteralKouCall(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  double S = 100.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(S);
    benchmark::DoNotOptimize(literal_kou::call(0.5, 98.0, S, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, n));
  }
}
BENCHMARK(BM_LiteralKouCall)->Arg(10)->Arg(20)->Unit(benchmark::kMicrosecond);

// A surface of 9 maturities (0.05 to 3 years) x 21 strikes (70 to 130) under
// the reference model, priced as one book; the time is per option.
void BM_BookSurfaceCall(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<double> T, K, S, r;
  for (int i = 0; i < 9; ++i) {
    for (int j = 0; j < 21; ++j) {
      T.push_back(0.05 + (3.0 - 0.05) * i / 8.0);
      K.push_back(70.0 + 3.0 * j);
      S.push_back(100.0);
      r.push_back(0.05);
    }
  }
  std::vector<double> prices(T.size());
  for (auto _ : state) {
    jdpricer::BookPricer pricer(jdpricer::Payoff::kCall, {0.16, 1.0, 0.4, 10.0, 5.0, n},
                                {T.data(), K.data(), S.data(), r.data(), T.size()},
                                prices.data());
    while (pricer.priceNext(1 << 20)) {}
    benchmark::DoNotOptimize(prices.data());
  }
  state.counters["per_option"] = benchmark::Counter(
      static_cast<double>(state.iterations() * T.size()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BookSurfaceCall)
    ->Arg(10)->Arg(20)->Arg(40)->Arg(100)->Arg(170)
    ->ComputeStatistics("min", [](const std::vector<double>& v) {
      return *std::min_element(v.begin(), v.end());
    })
    ->Unit(benchmark::kMicrosecond);

// The same surface with its Greeks, by group of fields (second argument, a
// GreeksGroup mask): 0 the price with delta, rho and dual delta; 1 adds
// gamma and vega; 3 theta and dlam; 7 dp, deta1 and deta2 (every field).
void BM_BookSurfaceGreeks(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const unsigned groups = static_cast<unsigned>(state.range(1));
  std::vector<double> T, K, S, r;
  for (int i = 0; i < 9; ++i) {
    for (int j = 0; j < 21; ++j) {
      T.push_back(0.05 + (3.0 - 0.05) * i / 8.0);
      K.push_back(70.0 + 3.0 * j);
      S.push_back(100.0);
      r.push_back(0.05);
    }
  }
  std::vector<std::vector<double>> fields(jdpricer::kGreekFields, std::vector<double>(T.size()));
  jdpricer::GreeksColumns out;
  for (int f = 0; f < jdpricer::kGreekFields; ++f) out.field[f] = fields[f].data();
  for (auto _ : state) {
    jdpricer::GreeksBookPricer pricer(jdpricer::Payoff::kCall, {0.16, 1.0, 0.4, 10.0, 5.0, n},
                                      {T.data(), K.data(), S.data(), r.data(), T.size()}, out,
                                      groups);
    while (pricer.priceNext(1 << 20)) {}
    benchmark::DoNotOptimize(fields[0].data());
  }
  state.counters["per_option"] = benchmark::Counter(
      static_cast<double>(state.iterations() * T.size()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
// With repetitions, "min" is the figure to compare on a shared machine.
BENCHMARK(BM_BookSurfaceGreeks)
    ->ArgsProduct({{10, 20, 40}, {0, 1, 3, 7}})
    ->ComputeStatistics("min", [](const std::vector<double>& v) {
      return *std::min_element(v.begin(), v.end());
    })
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
