// The path-dependent options of jdpricer_batch priced through first passage:
// touches, barrier options and lookbacks.
#pragma once

namespace pybind11 {
class module_;
}

// Adds the touch, barrier and lookback prices and greeks to the module.
void registerFirstPassagePricing(pybind11::module_& m);
