#include "batch_arguments.hpp"

#include <pybind11/eval.h>

#include <algorithm>
#include <cstring>
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
bool fastColumns(py::handle T, py::handle K, py::handle S, py::handle r, py::handle q,
                 BroadcastColumns& out) {
  const FastColumn in[5] = {readFast(T), readFast(K), readFast(S), readFast(r), readFast(q)};
  const std::vector<py::ssize_t>* shape = nullptr;
  for (const FastColumn& column : in) {
    if (!column.ok) return false;
    if (column.scalar) continue;
    if (shape != nullptr && *shape != column.shape) return false;
    shape = &column.shape;
  }
  std::size_t count = 1;
  if (shape != nullptr) {
    out.shape = *shape;
    for (py::ssize_t d : out.shape) count *= static_cast<std::size_t>(d);
  }
  out.count = count;
  out.copies.resize(5 * count);
  for (int c = 0; c < 5; ++c) {
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

BroadcastColumns broadcastColumns(py::handle T, py::handle K, py::handle S, py::handle r,
                                  py::handle q, const char* strikeName) {
  BroadcastColumns out;
  if (fastColumns(T, K, S, r, q, out)) return out;
  const py::module_ numpy = py::module_::import("numpy");
  py::tuple columns = numpy.attr("broadcast_arrays")(
      asRealArray(numpy, T, "T"), asRealArray(numpy, K, strikeName), asRealArray(numpy, S, "S"),
      asRealArray(numpy, r, "r"), asRealArray(numpy, q, "q"));
  auto contiguous = [&](py::handle column) {
    return numpy.attr("ascontiguousarray")(column).cast<Column>();
  };
  out.T = contiguous(columns[0]);
  out.K = contiguous(columns[1]);
  out.S = contiguous(columns[2]);
  out.r = contiguous(columns[3]);
  out.q = contiguous(columns[4]);
  out.columns[0] = out.T.data();
  out.columns[1] = out.K.data();
  out.columns[2] = out.S.data();
  out.columns[3] = out.r.data();
  out.columns[4] = out.q.data();
  for (py::handle d : columns[0].attr("shape")) out.shape.push_back(d.cast<py::ssize_t>());
  out.count = static_cast<std::size_t>(out.T.size());
  return out;
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
