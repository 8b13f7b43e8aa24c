// Prints a fixed grid of inputs with their call and put prices, every number
// as a hexadecimal float: two builds (another compiler, -O3 -march=native,
// sanitizers) or the Python module must reproduce the file byte for byte.
// NaNs print as "nan": which NaN an operation propagates depends on the
// operand order a compiler picks for commutative operations.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "pricing/closed_form/options.hpp"
#include "support/bits.hpp"

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
  testing_bits::AwkwardDoubles gen(424242);
  for (int i = 0; i < count; ++i) {
    const double T = gen.draw(0.02, 5.0), K = gen.draw(40.0, 160.0), S = gen.draw(40.0, 160.0);
    const double r = gen.draw(-0.05, 0.15), sigma = gen.draw(0.02, 0.7), lam = gen.draw(0.0, 6.0);
    const double p = gen.draw(-0.3, 1.3), eta1 = gen.draw(0.5, 60.0), eta2 = gen.draw(0.0, 60.0);
    const int n = i % 7 == 0 ? gen.integer(-3, 172) : gen.integer(0, 40);
    const double call =
        jdpricer::EuropeanCall(T, K).priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1, eta2, n);
    const double put =
        jdpricer::EuropeanPut(T, K).priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1, eta2, n);
    std::printf("%a %a %a %a %a %a %a %a %a %d", T, K, S, r, sigma, lam, p, eta1, eta2, n);
    for (const double price : {call, put}) {
      if (std::isnan(price)) {
        std::printf(" nan");
      } else {
        std::printf(" %a", price);
      }
    }
    std::printf("\n");
  }
  return 0;
}
