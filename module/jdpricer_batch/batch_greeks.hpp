// The sensitivities of jdpricer_batch: call_greeks, put_greeks and the
// named tuple Greeks.
#pragma once

namespace pybind11 {
class module_;
}

// Adds Greeks, call_greeks and put_greeks to the module.
void registerGreeks(pybind11::module_& m);
