// The Python module jdpricer: registration of the option classes, their one
// pricing method and the two factories. No logic of its own; pybind11 does
// argument conversion, dispatch, ownership and error reporting.
#include "pypy39_compat.hpp"  // must precede pybind11

#include <pybind11/pybind11.h>

#include <memory>

#include "pricing/options.hpp"

namespace py = pybind11;

namespace {

std::unique_ptr<jdpricer::EuropeanCall> createEuropeanCall(double T, double K) {
  return std::make_unique<jdpricer::EuropeanCall>(T, K);
}

std::unique_ptr<jdpricer::EuropeanPut> createEuropeanPut(double T, double K) {
  return std::make_unique<jdpricer::EuropeanPut>(T, K);
}

}  // namespace

PYBIND11_MODULE(jdpricer, m) {
  using jdpricer::EuropeanCall;
  using jdpricer::EuropeanOption;
  using jdpricer::EuropeanPut;
  using jdpricer::Option;

  py::class_<Option>(m, "Option");

  py::class_<EuropeanOption, Option>(m, "EuropeanOption")
      .def("priceByKouJumpDiffusion", &EuropeanOption::priceByKouJumpDiffusion, py::arg("S"),
           py::arg("r"), py::arg("sigma"), py::arg("lam"), py::arg("p"), py::arg("eta1"),
           py::arg("eta2"), py::arg("n"));

  py::class_<EuropeanCall, EuropeanOption>(m, "KouEuropeanCall").def(py::init<double, double>());

  py::class_<EuropeanPut, EuropeanOption>(m, "KouEuropeanPut").def(py::init<double, double>());

  m.def("create_european_call", &createEuropeanCall, py::arg("T"), py::arg("K"));
  m.def("create_european_put", &createEuropeanPut, py::arg("T"), py::arg("K"));
}
