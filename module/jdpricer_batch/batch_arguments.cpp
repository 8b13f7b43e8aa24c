#include "batch_arguments.hpp"

#include <pybind11/eval.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "batch/dividend_yield.hpp"

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

namespace {

// A column read without Python: an exact float, an exact int within 64
// bits (converted as NumPy converts int64), or a C-contiguous float64
// ndarray (not a subclass); anything else is left to the general path.
struct FastColumn {
  bool ok = false;
  bool scalar = false;
  double value = 0.0;
  const double* data = nullptr;
  std::vector<py::ssize_t> shape;
};

FastColumn readFast(py::handle h) {
  FastColumn column;
  PyObject* o = h.ptr();
  if (PyFloat_CheckExact(o)) {
    column = {true, true, PyFloat_AS_DOUBLE(o), nullptr, {}};
  } else if (PyLong_CheckExact(o)) {
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(o, &overflow);
    if (overflow == 0 && !(v == -1 && PyErr_Occurred())) {
      column = {true, true, static_cast<double>(v), nullptr, {}};
    }
    PyErr_Clear();
  } else if (Py_TYPE(o) == reinterpret_cast<PyTypeObject*>(
                              py::detail::npy_api::get().PyArray_Type_) &&
             Column::check_(h)) {
    const auto array = py::reinterpret_borrow<py::array>(h);
    column.ok = true;
    column.data = static_cast<const double*>(array.data());
    column.shape.assign(array.shape(), array.shape() + array.ndim());
  }
  return column;
}

// The fast path: every column fast, the arrays all of one shape.
bool fastColumns(const NamedColumn* named, std::size_t width, BroadcastColumns& out) {
  FastColumn in[kMostColumns];
  const std::vector<py::ssize_t>* shape = nullptr;
  for (std::size_t c = 0; c < width; ++c) {
    in[c] = readFast(named[c].value);
    if (!in[c].ok) return false;
    if (in[c].scalar) continue;
    if (shape != nullptr && *shape != in[c].shape) return false;
    shape = &in[c].shape;
  }
  std::size_t count = 1;
  if (shape != nullptr) {
    out.shape = *shape;
    for (py::ssize_t d : out.shape) count *= static_cast<std::size_t>(d);
  }
  out.count = count;
  out.copies.resize(width * count);
  for (std::size_t c = 0; c < width; ++c) {
    double* to = out.copies.data() + c * count;
    if (in[c].scalar) {
      std::fill(to, to + count, in[c].value);
    } else if (count > 0) {
      std::memcpy(to, in[c].data, count * sizeof(double));
    }
    out.columns[c] = to;
  }
  return true;
}

}  // namespace

BroadcastColumns broadcastColumns(std::initializer_list<NamedColumn> named) {
  const std::size_t width = named.size();
  if (width > kMostColumns) throw std::logic_error("too many columns");
  BroadcastColumns out;
  if (fastColumns(named.begin(), width, out)) return out;
  const py::module_ numpy = py::module_::import("numpy");
  py::tuple arrays(width);
  std::size_t c = 0;
  for (const NamedColumn& column : named) {
    arrays[c++] = asRealArray(numpy, column.value, column.name);
  }
  py::tuple columns = numpy.attr("broadcast_arrays")(*arrays);
  for (c = 0; c < width; ++c) {
    out.arrays.push_back(numpy.attr("ascontiguousarray")(columns[c]).cast<Column>());
    out.columns[c] = out.arrays.back().data();
  }
  for (py::handle d : columns[0].attr("shape")) out.shape.push_back(d.cast<py::ssize_t>());
  out.count = static_cast<std::size_t>(out.arrays[0].size());
  return out;
}

BroadcastColumns broadcastColumns(py::handle T, py::handle K, py::handle S, py::handle r,
                                  py::handle q, const char* strikeName) {
  return broadcastColumns({{T, "T"}, {K, strikeName}, {S, "S"}, {r, "r"}, {q, "q"}});
}

NetOfDividends::NetOfDividends(const BroadcastColumns& columns)
    : book(jdpricer::spotsNetOfDividends(columns.book(), columns.dividendYield(), spots)) {}

bool smallClosedFormCall(const jdpricer::KouModel& model, const jdpricer::OptionColumns& book) {
  constexpr double kSmallWork = 60000.0;
  if (book.count > 64) return false;
  const int longest = jdpricer::SeriesLengths(model).longest(book.T, book.count);
  if (longest > jdpricer::kMaxSeriesTerms) return true;  // NaN at once
  const double terms = longest > 0 ? longest + 1.0 : 1.0;
  return terms * terms * (terms + 8.0 * static_cast<double>(book.count)) < kSmallWork;
}

std::size_t workerCount(const Workers& workers) {
  py::detail::make_caster<int> caster;
  if (PyFloat_Check(workers.ptr()) || !caster.load(workers, true)) {
    PyErr_Clear();
    throw py::type_error(std::string("workers must be an integer in the range of a C int, not ") +
                         Py_TYPE(workers.ptr())->tp_name);
  }
  long long count = static_cast<int>(caster);
  if (count < 0) {
    const py::object cores = py::module_::import("os").attr("cpu_count")();
    count += (cores.is_none() ? 1 : cores.cast<long long>()) + 1;
    if (count < 1) {
      throw py::value_error("workers value out of range: " +
                            std::to_string(static_cast<int>(caster)) + " wraps below 1 core");
    }
  }
  if (count == 0) throw py::value_error("workers must not be 0");
  return static_cast<std::size_t>(count);
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

}  // namespace jdpricer_module
