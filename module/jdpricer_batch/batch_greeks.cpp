// call_greeks and put_greeks of jdpricer_batch: argument handling and the
// interpreter lock; the pricing is the Greeks book pricer's.
#include "pypy39_compat.hpp"  // must precede pybind11

#include "batch_greeks.hpp"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "batch/dividend_yield.hpp"
#include "batch/greeks_book.hpp"
#include "batch_arguments.hpp"
#include "batch_docstrings.hpp"

namespace py = pybind11;
namespace docs = jdpricer_module::docs;

namespace {

using jdpricer::Payoff;
using jdpricer_module::ArrayLike;
using jdpricer_module::SeriesLength;
using jdpricer_module::Workers;

constexpr const char* kFieldNames =
    "price delta gamma vega theta rho dual_delta dlam dp deta1 deta2 psi";

template <Payoff kPayoff>
py::object greeks(const ArrayLike& T, const ArrayLike& K, const ArrayLike& S, const ArrayLike& r,
                  double sigma, double lam, double p, double eta1, double eta2,
                  const SeriesLength& n, const Workers& workers, const ArrayLike& q) {
  const jdpricer::KouModel model = jdpricer_module::kouModel(sigma, lam, p, eta1, eta2, n);
  const std::size_t threads = jdpricer_module::workerCount(workers);
  const auto columns = jdpricer_module::broadcastColumns(T, K, S, r, q);
  // The engine's fields, then psi, the yield's own.
  py::tuple fields(static_cast<py::size_t>(jdpricer::kGreekFields + 1));
  jdpricer::GreeksColumns out;
  double* psi = nullptr;
  for (int f = 0; f <= jdpricer::kGreekFields; ++f) {
    py::array_t<double> column = jdpricer_module::newResult<double>(columns.shape);
    (f < jdpricer::kGreekFields ? out.field[f] : psi) = column.mutable_data();
    fields[f] = std::move(column);
  }
  jdpricer_module::priceWithInterrupts(
      [&](const std::function<void()>& poll) {
        const jdpricer_module::NetOfDividends net(columns);
        jdpricer::priceGreeksBook(kPayoff, model, net.book, out, threads, poll);
        jdpricer::applyDividendYieldToGreeks(net.book, columns.dividendYield(), out.field, psi);
      },
      jdpricer_module::smallClosedFormCall(model, columns.book()));
  return py::module_::import("jdpricer_batch").attr("Greeks")(*fields);
}

}  // namespace

void registerGreeks(py::module_& m) {
  m.attr("Greeks") = py::module_::import("collections")
                         .attr("namedtuple")("Greeks", kFieldNames,
                                             py::arg("module") = "jdpricer_batch");
  py::object greeksTuple = m.attr("Greeks");
  greeksTuple.attr("__doc__") = docs::kGreeks;
  const py::tuple fieldNames = greeksTuple.attr("_fields");
  for (std::size_t i = 0; i < fieldNames.size(); ++i) {
    greeksTuple.attr(fieldNames[i]).attr("__doc__") = docs::kGreeksFields[i];
  }
  const auto defineGreeks = [&m](const char* name, auto function, const std::string& doc) {
    m.def(name, function, doc.c_str(), py::arg("T"), py::arg("K"), py::arg("S"), py::arg("r"),
          py::arg("sigma"), py::arg("lam"), py::arg("p"), py::arg("eta1"), py::arg("eta2"),
          py::arg("n"), py::arg("workers") = 1, py::kw_only(), py::arg("q") = 0.0);
  };
  defineGreeks("call_greeks", &greeks<Payoff::kCall>, docs::callGreeks());
  defineGreeks("put_greeks", &greeks<Payoff::kPut>, docs::putGreeks());
}
