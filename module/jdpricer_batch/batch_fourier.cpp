// fourier_call_prices and fourier_put_prices of jdpricer_batch: argument
// handling and the interpreter lock; the pricing is the Fourier book pricer's.
#include "pypy39_compat.hpp"  // must precede pybind11

#include "batch_fourier.hpp"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "batch/bound_book.hpp"
#include "batch_arguments.hpp"
#include "batch_docstrings.hpp"

namespace py = pybind11;

namespace {

using jdpricer::Payoff;

// Prices the broadcast book on `workers` threads with the interpreter lock
// released (see priceWithInterrupts).
template <Payoff kPayoff>
py::array_t<double> fourierPrices(const jdpricer_module::ArrayLike& T,
                                  const jdpricer_module::ArrayLike& K,
                                  const jdpricer_module::ArrayLike& S,
                                  const jdpricer_module::ArrayLike& r, double sigma, double lam,
                                  double p, double eta1, double eta2,
                                  const jdpricer_module::Workers& workers,
                                  const jdpricer_module::ArrayLike& q) {
  const std::size_t threads = jdpricer_module::workerCount(workers);
  const jdpricer_module::BroadcastColumns columns =
      jdpricer_module::broadcastColumns(T, K, S, r, q);
  py::array_t<double> prices = jdpricer_module::newResult<double>(columns.shape);
  double* out = prices.mutable_data();
  jdpricer_module::priceWithInterrupts([&](const std::function<void()>& poll) {
    const jdpricer_module::NetOfDividends net(columns);
    jdpricer::priceFourierBook(kPayoff, jdpricer::FourierModel{sigma, lam, p, eta1, eta2},
                               net.book, out, threads, poll);
  });
  return prices;
}

}  // namespace

void registerFourierPricing(py::module_& m) {
  const auto definePricer = [&m](const char* name, auto function, const std::string& doc) {
    m.def(name, function, doc.c_str(), py::arg("T"), py::arg("K"), py::arg("S"), py::arg("r"),
          py::arg("sigma"), py::arg("lam"), py::arg("p"), py::arg("eta1"), py::arg("eta2"),
          py::arg("workers") = 1, py::kw_only(), py::arg("q") = 0.0);
  };
  definePricer("fourier_call_prices", &fourierPrices<Payoff::kCall>,
               jdpricer_module::docs::fourierCallPrices());
  definePricer("fourier_put_prices", &fourierPrices<Payoff::kPut>,
               jdpricer_module::docs::fourierPutPrices());
}
