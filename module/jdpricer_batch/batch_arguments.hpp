// Argument handling shared by the functions of jdpricer_batch: the option
// columns T, K, S, r as array-likes broadcast together by NumPy's rules, the
// series length and the worker count, the interpreter lock and the check
// for interrupts between chunks of work.
#pragma once

#include "pypy39_compat.hpp"  // must precede pybind11

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <vector>

#include "batch/book.hpp"
#include "batch/book_pricer.hpp"

namespace jdpricer_module {

// An option column: any object, converted by broadcastColumns; named so in
// the generated signatures.
class ArrayLike : public pybind11::object {
 public:
  PYBIND11_OBJECT_DEFAULT(ArrayLike, pybind11::object, [](PyObject*) { return true; })
};

// The series length n: a C int (any object with __index__, floats refused,
// as the scalar pricer converts it) or the string "auto"; named so in the
// generated signatures.
class SeriesLength : public pybind11::object {
 public:
  PYBIND11_OBJECT_DEFAULT(SeriesLength, pybind11::object, [](PyObject*) { return true; })
};

// The model of a call: n converted, or "auto" for each maturity's own
// length; anything else raises TypeError naming what is accepted.
jdpricer::KouModel kouModel(double sigma, double lam, double p, double eta1, double eta2,
                            const SeriesLength& n);

// workers: how many threads a call uses. 1 by default; a negative count
// wraps around os.cpu_count() (-1: every core); 0 and counts that wrap
// below 1 raise ValueError, anything but an integer TypeError.
class Workers : public pybind11::object {
 public:
  PYBIND11_OBJECT_DEFAULT(Workers, pybind11::object, [](PyObject*) { return true; })
};
std::size_t workerCount(const Workers& workers);

using Column = pybind11::array_t<double, pybind11::array::c_style>;

// One array-like converted as broadcastColumns converts each column, into
// a C-contiguous float64 copy.
Column realColumn(pybind11::handle value, const char* name);

// The broadcast columns, each `count` C-contiguous doubles: copies, so the
// caller's arrays are never read while the lock is released. The first
// five are T, K (or a barrier), S, r and the dividend yield q.
inline constexpr std::size_t kMostColumns = 8;
struct BroadcastColumns {
  std::vector<Column> arrays;           // the general conversion's arrays
  std::vector<double> copies;           // or the fast path's: the columns end to end
  const double* columns[kMostColumns];  // in one or the other, in the order given
  std::vector<pybind11::ssize_t> shape;
  std::size_t count;

  jdpricer::OptionColumns book() const {
    return {columns[0], columns[1], columns[2], columns[3], count};
  }
  // The dividend yield of each option.
  const double* dividendYield() const { return columns[4]; }
};

// An argument and its name in errors.
struct NamedColumn {
  pybind11::handle value;
  const char* name;
};

// The broadcast book at the spots net of dividends, S * exp(-q * T)
// (batch/dividend_yield.hpp), owning that column; to be formed with the
// lock released.
struct NetOfDividends {
  std::vector<double> spots;
  jdpricer::OptionColumns book;
  explicit NetOfDividends(const BroadcastColumns& columns);
  NetOfDividends(const NetOfDividends&) = delete;
  NetOfDividends& operator=(const NetOfDividends&) = delete;
};

// Converts each argument (T, K, S, r and the dividend yield q) with
// numpy.asarray (booleans, integers, floats and objects that float()
// accepts; strings, complex, dates and the like raise TypeError) and broadcasts them (NumPy's ValueError when shapes disagree).
// Exact floats, ints within 64 bits and C-contiguous float64 ndarrays of
// one shape are read directly, without a call into Python, to the same
// values.
// `strikeName` names the second column in errors (a touch's is the barrier).
BroadcastColumns broadcastColumns(pybind11::handle T, pybind11::handle K, pybind11::handle S,
                                  pybind11::handle r, pybind11::handle q,
                                  const char* strikeName = "K");
// The same for up to kMostColumns columns, in the order given.
BroadcastColumns broadcastColumns(std::initializer_list<NamedColumn> columns);

// Runs the signal handlers that are due, with the interpreter lock held;
// throws what they raise (KeyboardInterrupt for Ctrl-C).
void checkForInterrupts();

// Runs `price(poll)` with the interpreter lock released; poll, to be called
// between chunks of work on this thread, takes the lock back to run the
// signal handlers and throws what they raise. Every buffer is released on
// the way out of an interrupt.
// A call whose work is estimated below some tens of microseconds keeps the
// lock: handing it over and back costs more than it frees (on PyPy a good
// part of such a call).
template <class Price>
void priceWithInterrupts(Price price, bool keepLock = false) {
  const std::function<void()> poll = [] {
    pybind11::gil_scoped_acquire acquired;
    checkForInterrupts();
  };
  if (keepLock) {
    price(poll);
    return;
  }
  pybind11::gil_scoped_release released;
  price(poll);
}

// Whether the closed form of this book is a small call (see
// priceWithInterrupts): its coefficients, about (n + 1)^3 operations, and its
// options, about 8 (n + 1)^2 each, below some 60,000 such operations.
bool smallClosedFormCall(const jdpricer::KouModel& model, const jdpricer::OptionColumns& book);

// A new, uninitialised array of the given shape.
template <class Value>
pybind11::array_t<Value> newResult(const std::vector<pybind11::ssize_t>& shape) {
  return pybind11::array_t<Value>(shape);
}

}  // namespace jdpricer_module

namespace pybind11::detail {
template <>
struct handle_type_name<jdpricer_module::ArrayLike> {
  static constexpr auto name = const_name("numpy.typing.ArrayLike");
};
template <>
struct handle_type_name<jdpricer_module::Workers> {
  static constexpr auto name = const_name("typing.SupportsIndex");
};
template <>
struct handle_type_name<jdpricer_module::SeriesLength> {
  static constexpr auto name = const_name("typing.SupportsIndex | typing.Literal['auto']");
};
}  // namespace pybind11::detail
