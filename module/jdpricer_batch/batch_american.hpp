// American options of jdpricer_batch: prices, Greeks, the exercise boundary
// and the perpetual put.
#pragma once

namespace pybind11 {
class module_;
}

// Adds american_put_prices, american_call_prices, their greeks, the
// exercise boundary and perpetual_american_put_prices to the module.
void registerAmericanPricing(pybind11::module_& m);
