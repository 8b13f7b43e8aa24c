// Which European payoff a book holds.
#pragma once

namespace jdpricer {

enum class Payoff { kCall, kPut };

}  // namespace jdpricer
