// What every book pricer takes: the payoff and the options as columns.
#pragma once

#include <cstddef>

namespace jdpricer {

enum class Payoff { kCall, kPut };

// The options of a book as parallel columns of equal length.
struct OptionColumns {
  const double* T;
  const double* K;
  const double* S;
  const double* r;
  std::size_t count;
};

}  // namespace jdpricer
