// The error bounds and the robust prices of jdpricer_batch.
#pragma once

namespace pybind11 {
class module_;
}

// Adds call_error_bounds, put_error_bounds, robust_call_prices,
// robust_put_prices and the RobustPrices result type to the module.
void registerErrorBounds(pybind11::module_& m);
