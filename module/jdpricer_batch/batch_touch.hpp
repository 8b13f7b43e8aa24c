// The touch options of jdpricer_batch.
#pragma once

namespace pybind11 {
class module_;
}

// Adds touch_prices to the module.
void registerTouchPricing(pybind11::module_& m);
