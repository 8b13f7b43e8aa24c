// call_error_bounds, put_error_bounds, robust_call_prices and
// robust_put_prices of jdpricer_batch: argument handling and the interpreter
// lock; the pricing is the bounded and robust book pricers'.
#include "pypy39_compat.hpp"  // must precede pybind11

#include "batch_bounds.hpp"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "batch/bound_book.hpp"
#include "batch/dividend_yield.hpp"
#include "batch_arguments.hpp"
#include "batch_docstrings.hpp"

namespace py = pybind11;

namespace {

using jdpricer::Payoff;
namespace docs = jdpricer_module::docs;
using jdpricer_module::ArrayLike;
using jdpricer_module::SeriesLength;
using jdpricer_module::Workers;

template <Payoff kPayoff>
py::array_t<double> errorBounds(const ArrayLike& T, const ArrayLike& K, const ArrayLike& S,
                                const ArrayLike& r, double sigma, double lam, double p,
                                double eta1, double eta2, const SeriesLength& n,
                                const Workers& workers, const ArrayLike& q) {
  const jdpricer::KouModel model = jdpricer_module::kouModel(sigma, lam, p, eta1, eta2, n);
  const std::size_t threads = jdpricer_module::workerCount(workers);
  const auto columns = jdpricer_module::broadcastColumns(T, K, S, r, q);
  py::array_t<double> bounds = jdpricer_module::newResult<double>(columns.shape);
  double* out = bounds.mutable_data();
  jdpricer_module::priceWithInterrupts([&](const std::function<void()>& poll) {
    const jdpricer_module::NetOfDividends net(columns);
    std::vector<double> prices(columns.count);
    jdpricer::priceBoundedBook(kPayoff, model, net.book, prices.data(), out, threads, poll);
    jdpricer::addDividendRounding(net.book, columns.dividendYield(), out);
  });
  return bounds;
}

// The RobustPrices named tuple, created once at registration: looking it up
// through an import on every call cost PyPy some 5 to 7 us a call.
py::object& robustPricesType() {
  static py::object* type = new py::object();  // lives as long as the interpreter
  return *type;
}

template <Payoff kPayoff>
py::object robustPrices(const ArrayLike& T, const ArrayLike& K, const ArrayLike& S,
                        const ArrayLike& r, double sigma, double lam, double p, double eta1,
                        double eta2, const SeriesLength& n, double tolerance,
                        const Workers& workers, const ArrayLike& q) {
  const jdpricer::KouModel model = jdpricer_module::kouModel(sigma, lam, p, eta1, eta2, n);
  const std::size_t threads = jdpricer_module::workerCount(workers);
  const auto columns = jdpricer_module::broadcastColumns(T, K, S, r, q);
  py::array_t<double> prices = jdpricer_module::newResult<double>(columns.shape);
  py::array_t<double> bounds = jdpricer_module::newResult<double>(columns.shape);
  py::array_t<bool> fourier = jdpricer_module::newResult<bool>(columns.shape);
  double* pricesOut = prices.mutable_data();
  double* boundsOut = bounds.mutable_data();
  bool* fourierOut = fourier.mutable_data();
  jdpricer_module::priceWithInterrupts([&](const std::function<void()>& poll) {
    const jdpricer_module::NetOfDividends net(columns);
    std::vector<double> roundings;
    const bool yield = jdpricer::dividendRoundings(net.book, columns.dividendYield(), roundings);
    jdpricer::priceRobustBook(kPayoff, model, net.book, tolerance, pricesOut, boundsOut,
                              fourierOut, threads, poll, yield ? roundings.data() : nullptr);
  });
  return robustPricesType()(prices, bounds, fourier);
}

}  // namespace

void registerErrorBounds(py::module_& m) {
  m.attr("RobustPrices") = py::module_::import("collections")
                               .attr("namedtuple")("RobustPrices", "prices bounds fourier",
                                                   py::arg("module") = "jdpricer_batch");
  py::object robust = m.attr("RobustPrices");
  robustPricesType() = robust;
  robust.attr("__doc__") = docs::kRobustPrices;
  robust.attr("prices").attr("__doc__") = docs::kRobustPricesPrices;
  robust.attr("bounds").attr("__doc__") = docs::kRobustPricesBounds;
  robust.attr("fourier").attr("__doc__") = docs::kRobustPricesFourier;
  const auto defineBounds = [&m](const char* name, auto function, const std::string& doc) {
    m.def(name, function, doc.c_str(), py::arg("T"), py::arg("K"), py::arg("S"), py::arg("r"),
          py::arg("sigma"), py::arg("lam"), py::arg("p"), py::arg("eta1"), py::arg("eta2"),
          py::arg("n"), py::arg("workers") = 1, py::kw_only(), py::arg("q") = 0.0);
  };
  defineBounds("call_error_bounds", &errorBounds<Payoff::kCall>, docs::callErrorBounds());
  defineBounds("put_error_bounds", &errorBounds<Payoff::kPut>, docs::putErrorBounds());
  const auto defineRobust = [&m](const char* name, auto function, const std::string& doc) {
    m.def(name, function, doc.c_str(), py::arg("T"), py::arg("K"), py::arg("S"), py::arg("r"),
          py::arg("sigma"), py::arg("lam"), py::arg("p"), py::arg("eta1"), py::arg("eta2"),
          py::arg("n"), py::arg("tolerance"), py::arg("workers") = 1, py::kw_only(),
          py::arg("q") = 0.0);
  };
  defineRobust("robust_call_prices", &robustPrices<Payoff::kCall>, docs::robustCallPrices());
  defineRobust("robust_put_prices", &robustPrices<Payoff::kPut>, docs::robustPutPrices());
}
