// The cosine-series (Fourier) functions of jdpricer_batch.
#pragma once

namespace pybind11 {
class module_;
}

// Adds fourier_call_prices and fourier_put_prices to the module.
void registerFourierPricing(pybind11::module_& m);
