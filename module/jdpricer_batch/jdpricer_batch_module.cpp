// The Python module jdpricer_batch: European prices of whole books under one
// Kou model per call, each bit for bit what jdpricer gives for that option.
// Argument handling, the interpreter lock and interrupts live here; the
// pricing is the book pricer's.
#include "pypy39_compat.hpp"  // must precede pybind11

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "batch/book_pricer.hpp"
#include "batch_arguments.hpp"
#include "batch_bounds.hpp"
#include "batch_docstrings.hpp"
#include "batch_fourier.hpp"
#include "batch_greeks.hpp"

namespace py = pybind11;

namespace {

using jdpricer_module::ArrayLike;

// Prices the broadcast book, the pricer built and run with the interpreter
// lock released; every buffer is released on the way out of an interrupt.
template <jdpricer::Payoff kPayoff>
py::array_t<double> prices(const ArrayLike& T, const ArrayLike& K, const ArrayLike& S,
                           const ArrayLike& r, double sigma, double lam, double p, double eta1,
                           double eta2, int n) {
  const jdpricer_module::BroadcastColumns columns = jdpricer_module::broadcastColumns(T, K, S, r);
  py::array_t<double> result = jdpricer_module::newResult(columns.shape);
  jdpricer_module::priceReleased<jdpricer::BookPricer>(
      kPayoff, jdpricer::KouModel{sigma, lam, p, eta1, eta2, n}, columns.book(),
      result.mutable_data());
  return result;
}

}  // namespace

PYBIND11_MODULE(jdpricer_batch, m) {
  m.doc() = jdpricer_module::docs::kModule;
  const auto definePricer = [&m](const char* name, auto function, const std::string& doc) {
    m.def(name, function, doc.c_str(), py::arg("T"), py::arg("K"), py::arg("S"), py::arg("r"),
          py::arg("sigma"), py::arg("lam"), py::arg("p"), py::arg("eta1"), py::arg("eta2"),
          py::arg("n"));
  };
  definePricer("call_prices", &prices<jdpricer::Payoff::kCall>,
               jdpricer_module::docs::callPrices());
  definePricer("put_prices", &prices<jdpricer::Payoff::kPut>,
               jdpricer_module::docs::putPrices());
  registerFourierPricing(m);
  registerErrorBounds(m);
  registerGreeks(m);
}
