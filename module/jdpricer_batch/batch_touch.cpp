// touch_prices of jdpricer_batch: argument handling and the interpreter
// lock; the pricing is the touch book pricer's.
#include "pypy39_compat.hpp"  // must precede pybind11

#include "batch_touch.hpp"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>

#include "batch/touch_book.hpp"
#include "batch_arguments.hpp"
#include "batch_docstrings.hpp"

namespace py = pybind11;

namespace {

using jdpricer_module::ArrayLike;
using jdpricer_module::Workers;

jdpricer::TouchKind touchKind(const std::string& kind, const std::string& at) {
  if (kind != "one-touch" && kind != "no-touch") {
    throw py::value_error("kind must be \"one-touch\" or \"no-touch\", not \"" + kind + "\"");
  }
  if (at != "hit" && at != "expiry") {
    throw py::value_error("at must be \"hit\" or \"expiry\", not \"" + at + "\"");
  }
  if (kind == "no-touch") {
    if (at != "expiry") throw py::value_error("a no-touch pays at expiry: at must be \"expiry\"");
    return jdpricer::TouchKind::kNoTouch;
  }
  return at == "hit" ? jdpricer::TouchKind::kOneTouchAtHit
                     : jdpricer::TouchKind::kOneTouchAtExpiry;
}

py::array_t<double> touchPrices(const ArrayLike& T, const ArrayLike& H, const ArrayLike& S,
                                const ArrayLike& r, double sigma, double lam, double p,
                                double eta1, double eta2, const std::string& kind,
                                const py::object& at, const ArrayLike& q,
                                const Workers& workers) {
  // A no-touch pays at expiry whatever `at` defaults to.
  const std::string when = at.is_none() ? (kind == "no-touch" ? "expiry" : "hit")
                                        : at.cast<std::string>();
  const jdpricer::TouchKind touch = touchKind(kind, when);
  const std::size_t threads = jdpricer_module::workerCount(workers);
  const jdpricer_module::BroadcastColumns columns =
      jdpricer_module::broadcastColumns(T, H, S, r, q, "H");
  py::array_t<double> values = jdpricer_module::newResult<double>(columns.shape);
  double* out = values.mutable_data();
  jdpricer_module::priceWithInterrupts([&](const std::function<void()>& poll) {
    jdpricer::priceTouchBook(touch, jdpricer::TouchModel{sigma, lam, p, eta1, eta2},
                             columns.book(), columns.dividendYield(), out, threads, poll);
  });
  return values;
}

}  // namespace

void registerTouchPricing(py::module_& m) {
  m.def("touch_prices", &touchPrices, jdpricer_module::docs::touchPrices().c_str(), py::arg("T"),
        py::arg("H"), py::arg("S"), py::arg("r"), py::arg("sigma"), py::arg("lam"), py::arg("p"),
        py::arg("eta1"), py::arg("eta2"), py::arg("kind"), py::arg("at") = py::none(),
        py::arg("q") = 0.0, py::arg("workers") = 1);
}
