// The path-dependent options of jdpricer_batch priced through first passage:
// touches and barrier options.
#pragma once

namespace pybind11 {
class module_;
}

// Adds touch_prices, barrier_call_prices and barrier_put_prices to the module.
void registerFirstPassagePricing(pybind11::module_& m);
