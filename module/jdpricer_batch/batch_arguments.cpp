#include "batch_arguments.hpp"

#include <pybind11/eval.h>

#include <cstring>
#include <string>

namespace py = pybind11;

namespace jdpricer_module {

namespace {

// numpy.asarray(value) as float64. Booleans, integers and floats convert as
// NumPy converts them. An object array (Decimal, Fraction, None, ...) is
// converted element by element exactly as the scalar pricer converts a
// number, so None is refused rather than read as NaN. Complex numbers (whose
// imaginary part would be dropped), strings (which NumPy would parse), dates
// and the like are refused.
py::object asRealArray(const py::module_& numpy, py::handle value, const char* name) {
  py::array array = numpy.attr("asarray")(value);
  const char kind = array.dtype().kind();
  if (kind == 'O') {
    py::array_t<double> converted(array.size());
    double* out = converted.mutable_data();
    for (py::handle item : array.attr("flat")) {
      py::detail::make_caster<double> caster;
      if (!caster.load(item, true)) {
        throw py::type_error(std::string(name) + " must be real numbers, not " +
                             py::repr(py::type::of(item)).cast<std::string>());
      }
      *out++ = static_cast<double>(caster);
    }
    return converted.attr("reshape")(array.attr("shape"));
  }
  if (std::strchr("biuf", kind) == nullptr) {
    throw py::type_error(std::string(name) + " must be real numbers, not an array of dtype " +
                         py::str(array.dtype()).cast<std::string>());
  }
  return array.attr("astype")(numpy.attr("float64"));
}

}  // namespace

jdpricer::KouModel kouModel(double sigma, double lam, double p, double eta1, double eta2,
                            const SeriesLength& n) {
  jdpricer::KouModel model{sigma, lam, p, eta1, eta2, 0};
  if (PyUnicode_Check(n.ptr())) {
    if (n.cast<std::string>() == "auto") {
      model.perMaturity = true;
      return model;
    }
  } else {
    // As a C int parameter converts (floats refused, __index__ honoured).
    py::detail::make_caster<int> caster;
    if (caster.load(n, true)) {
      model.n = static_cast<int>(caster);
      return model;
    }
    PyErr_Clear();
  }
  const std::string what = PyUnicode_Check(n.ptr()) ? std::string("another string")
                           : PyIndex_Check(n.ptr()) ? std::string("an integer out of that range")
                                                    : std::string(Py_TYPE(n.ptr())->tp_name);
  throw py::type_error("n must be an integer in the range of a C int or \"auto\", not " + what);
}

Column realColumn(py::handle value, const char* name) {
  const py::module_ numpy = py::module_::import("numpy");
  return asRealArray(numpy, value, name).cast<Column>();  // keeps a 0-d shape
}

BroadcastColumns broadcastColumns(py::handle T, py::handle K, py::handle S, py::handle r) {
  const py::module_ numpy = py::module_::import("numpy");
  py::tuple columns = numpy.attr("broadcast_arrays")(
      asRealArray(numpy, T, "T"), asRealArray(numpy, K, "K"), asRealArray(numpy, S, "S"),
      asRealArray(numpy, r, "r"));
  auto contiguous = [&](py::handle column) {
    return numpy.attr("ascontiguousarray")(column).cast<Column>();
  };
  BroadcastColumns out{contiguous(columns[0]), contiguous(columns[1]), contiguous(columns[2]),
                       contiguous(columns[3]), py::tuple(), 0};
  out.shape = columns[0].attr("shape");
  out.count = static_cast<std::size_t>(out.T.size());
  return out;
}

// PyPy runs signal handlers only from its interpreter loop, never from
// PyErr_CheckSignals, so there a trivial Python function is called to let
// the loop run them.
void checkForInterrupts() {
#if defined(PYPY_VERSION)
  static py::object* poll = [] {
    py::dict scope;
    py::exec("def poll():\n    for _ in range(2):\n        pass\n", scope);
    return new py::object(scope["poll"]);  // lives as long as the interpreter
  }();
  (*poll)();
#endif
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
}

py::array_t<double> newResult(const py::tuple& shape) {
  std::vector<py::ssize_t> dims;
  for (py::handle d : shape) dims.push_back(d.cast<py::ssize_t>());
  return py::array_t<double>(dims);
}

}  // namespace jdpricer_module
