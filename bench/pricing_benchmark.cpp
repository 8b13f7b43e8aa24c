// Cost of one call price against the series length n, beside a Black-Scholes
// price (the yardstick: two erfc and an exp) and the word-for-word evaluation
// of the closed form that the tests keep (recursive Hh, nothing reused).
#include <benchmark/benchmark.h>

#include <cmath>

#include "pricing/options.hpp"
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

}  // namespace

BENCHMARK_MAIN();
