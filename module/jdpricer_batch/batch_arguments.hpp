// Argument handling shared by the functions of jdpricer_batch: the option
// columns T, K, S, r as array-likes broadcast together by NumPy's rules, and
// the check for interrupts between chunks of work.
#pragma once

#include "pypy39_compat.hpp"  // must precede pybind11

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <memory>
#include <utility>

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

using Column = pybind11::array_t<double, pybind11::array::c_style>;

// One array-like converted as broadcastColumns converts each column, into
// a C-contiguous float64 copy.
Column realColumn(pybind11::handle value, const char* name);

// The broadcast columns, each a C-contiguous float64 array of `count` values
// (copies, so the caller's arrays are never read while the lock is released).
struct BroadcastColumns {
  Column T, K, S, r;
  pybind11::tuple shape;
  std::size_t count;

  jdpricer::OptionColumns book() const {
    return {T.data(), K.data(), S.data(), r.data(), count};
  }
};

// Converts each argument with numpy.asarray (booleans, integers, floats and
// objects that float() accepts; strings, complex, dates and the like raise
// TypeError) and broadcasts them (NumPy's ValueError when shapes disagree).
BroadcastColumns broadcastColumns(pybind11::handle T, pybind11::handle K, pybind11::handle S,
                                  pybind11::handle r);

// Runs the signal handlers that are due, with the interpreter lock held;
// throws what they raise (KeyboardInterrupt for Ctrl-C).
void checkForInterrupts();

// Runs `step` (one chunk of a pricer's work, true while work remains) with
// the interpreter lock released, taking it back between chunks to run the
// signal handlers: an exception a handler raises ends the loop.
template <class Step>
void runReleased(Step step) {
  bool more = true;
  while (more) {
    {
      pybind11::gil_scoped_release released;
      more = step();
    }
    if (more) checkForInterrupts();
  }
}

// Builds a book pricer from `args` and runs its chunks, both with the lock
// released: a pricer's constructor does the model's work, the O(n^3) part.
template <class Pricer, class... Args>
void priceReleased(Args&&... args) {
  std::unique_ptr<Pricer> pricer;
  {
    pybind11::gil_scoped_release released;
    pricer = std::make_unique<Pricer>(std::forward<Args>(args)...);
  }
  const std::size_t chunk = pricer->suggestedChunk();
  runReleased([&] { return pricer->priceNext(chunk); });
}

// A new, uninitialised float64 array of the given shape.
pybind11::array_t<double> newResult(const pybind11::tuple& shape);

}  // namespace jdpricer_module

namespace pybind11::detail {
template <>
struct handle_type_name<jdpricer_module::ArrayLike> {
  static constexpr auto name = const_name("numpy.typing.ArrayLike");
};
template <>
struct handle_type_name<jdpricer_module::SeriesLength> {
  static constexpr auto name = const_name("typing.SupportsIndex | typing.Literal['auto']");
};
}  // namespace pybind11::detail
