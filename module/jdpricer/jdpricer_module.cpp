// The Python module jdpricer: registration of the option classes, their one
// pricing method and the two factories. No logic of its own; pybind11 does
// argument conversion, dispatch, ownership and error reporting.
#include "pypy39_compat.hpp"  // must precede pybind11

#include <pybind11/pybind11.h>

#include <memory>
#include <string>

#include "pricing/closed_form/options.hpp"

namespace py = pybind11;

namespace {

std::unique_ptr<jdpricer::EuropeanCall> createEuropeanCall(double T, double K) {
  return std::make_unique<jdpricer::EuropeanCall>(T, K);
}

std::unique_ptr<jdpricer::EuropeanPut> createEuropeanPut(double T, double K) {
  return std::make_unique<jdpricer::EuropeanPut>(T, K);
}

bool isEuropeanOption(PyObject* object) {
  return py::isinstance<jdpricer::EuropeanOption>(py::handle(object));
}

// `self` of the pricing method: any instance of EuropeanOption, taken as the
// Python object (pybind11 checks the type and names it in the signature).
class EuropeanOptionSelf : public py::object {
 public:
  PYBIND11_OBJECT_DEFAULT(EuropeanOptionSelf, py::object, isEuropeanOption)
};

// The native object behind `self`. Python can make an instance whose native
// object was never constructed (cls.__new__(cls)), and converting such an
// instance to a C++ reference hands out fresh raw storage, so a virtual call
// through it would jump through a garbage vtable. It is refused instead as a
// failed argument conversion, for which pybind11 raises its usual TypeError.
const jdpricer::EuropeanOption& constructedOption(const EuropeanOptionSelf& self) {
  auto* instance = reinterpret_cast<py::detail::instance*>(self.ptr());
  if (!instance->get_value_and_holder().holder_constructed()) throw py::reference_cast_error();
  return self.cast<const jdpricer::EuropeanOption&>();
}

}  // namespace

namespace pybind11::detail {
template <>
struct handle_type_name<EuropeanOptionSelf> {
  static constexpr auto name = const_name("jdpricer.EuropeanOption");
};
}  // namespace pybind11::detail

PYBIND11_MODULE(jdpricer, m) {
  using jdpricer::EuropeanCall;
  using jdpricer::EuropeanOption;
  using jdpricer::EuropeanPut;
  using jdpricer::Option;

  // Options are not picklable. Refuse every protocol with CPython's own
  // words: protocols 0 and 1 would otherwise reach pybind11's base-type
  // constructor, which aborts the process, and PyPy would rebuild (and
  // copy.copy return) an instance whose native object was never made.
  py::class_<Option>(m, "Option").def("__reduce_ex__", [](py::handle self, py::handle) {
    throw py::type_error("cannot pickle '" +
                         py::type::of(self).attr("__name__").cast<std::string>() + "' object");
  });

  py::class_<EuropeanOption, Option>(m, "EuropeanOption")
      .def(
          "priceByKouJumpDiffusion",
          [](const EuropeanOptionSelf& self, double S, double r, double sigma, double lam, double p,
             double eta1, double eta2, int n) {
            // A virtual call: a call prices as a call, a put as a put.
            return constructedOption(self).priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1,
                                                                   eta2, n);
          },
          py::arg("S"), py::arg("r"), py::arg("sigma"), py::arg("lam"), py::arg("p"),
          py::arg("eta1"), py::arg("eta2"), py::arg("n"));

  py::class_<EuropeanCall, EuropeanOption>(m, "KouEuropeanCall").def(py::init<double, double>());

  py::class_<EuropeanPut, EuropeanOption>(m, "KouEuropeanPut").def(py::init<double, double>());

  m.def("create_european_call", &createEuropeanCall, py::arg("T"), py::arg("K"));
  m.def("create_european_put", &createEuropeanPut, py::arg("T"), py::arg("K"));
}
