// The Python module jdpricer_batch: European prices of whole books under one
// Kou model per call, each bit for bit what jdpricer gives for that option.
// Argument handling, the interpreter lock and interrupts live here; the
// pricing is the book pricer's.
#include "pypy39_compat.hpp"  // must precede pybind11

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>

#include "batch/book_pricer.hpp"
#include "batch/worker_pool.hpp"
#include "pricing/error_bound/series_length.hpp"
#include "batch_arguments.hpp"
#include "batch_bounds.hpp"
#include "batch_docstrings.hpp"
#include "batch_fourier.hpp"
#include "batch_greeks.hpp"
#include "batch_american.hpp"
#include "batch_first_passage.hpp"

namespace py = pybind11;

namespace {

using jdpricer_module::ArrayLike;
using jdpricer_module::SeriesLength;
using jdpricer_module::Workers;

// Prices the broadcast book with the interpreter lock released, the model
// built and the book priced on `workers` threads; every buffer is released
// on the way out of an interrupt.
template <jdpricer::Payoff kPayoff>
py::array_t<double> prices(const ArrayLike& T, const ArrayLike& K, const ArrayLike& S,
                           const ArrayLike& r, double sigma, double lam, double p, double eta1,
                           double eta2, const SeriesLength& n, const Workers& workers,
                           const ArrayLike& q) {
  const jdpricer::KouModel model = jdpricer_module::kouModel(sigma, lam, p, eta1, eta2, n);
  const std::size_t threads = jdpricer_module::workerCount(workers);
  const jdpricer_module::BroadcastColumns columns =
      jdpricer_module::broadcastColumns(T, K, S, r, q);
  py::array_t<double> result = jdpricer_module::newResult<double>(columns.shape);
  double* out = result.mutable_data();
  jdpricer_module::priceWithInterrupts(
      [&](const std::function<void()>& poll) {
        const jdpricer_module::NetOfDividends net(columns);
        jdpricer::priceBook(kPayoff, model, net.book, out, threads, poll);
      },
      jdpricer_module::smallClosedFormCall(model, columns.book()));
  return result;
}

py::array_t<std::int32_t> seriesLengths(const ArrayLike& T, double sigma, double lam, double p,
                                        double eta1, double eta2) {
  const jdpricer_module::Column maturities = jdpricer_module::realColumn(T, "T");
  py::array_t<std::int32_t> lengths(maturities.request().shape);
  const jdpricer::SeriesLengthRule rule(sigma, lam, p, eta1, eta2);
  const double* in = maturities.data();
  std::int32_t* out = lengths.mutable_data();
  for (py::ssize_t i = 0; i < maturities.size(); ++i) out[i] = rule(in[i]);
  return lengths;
}


}  // namespace

PYBIND11_MODULE(jdpricer_batch, m) {
  m.doc() = jdpricer_module::docs::kModule;
  const auto definePricer = [&m](const char* name, auto function, const std::string& doc) {
    m.def(name, function, doc.c_str(), py::arg("T"), py::arg("K"), py::arg("S"), py::arg("r"),
          py::arg("sigma"), py::arg("lam"), py::arg("p"), py::arg("eta1"), py::arg("eta2"),
          py::arg("n"), py::arg("workers") = 1, py::kw_only(), py::arg("q") = 0.0);
  };
  definePricer("call_prices", &prices<jdpricer::Payoff::kCall>,
               jdpricer_module::docs::callPrices());
  definePricer("put_prices", &prices<jdpricer::Payoff::kPut>,
               jdpricer_module::docs::putPrices());
  m.def("_shutdown_workers", [] {
    py::gil_scoped_release released;
    jdpricer::shutdownWorkerPool();
  });
  m.def("_worker_threads", &jdpricer::workerPoolThreads);
  // The pool's threads are joined before the interpreter finalises.
  py::module_::import("atexit").attr("register")(m.attr("_shutdown_workers"));
  m.def("series_lengths", &seriesLengths, jdpricer_module::docs::kSeriesLengths, py::arg("T"), py::arg("sigma"),
        py::arg("lam"), py::arg("p"), py::arg("eta1"), py::arg("eta2"));
  registerFourierPricing(m);
  registerErrorBounds(m);
  registerGreeks(m);
  registerFirstPassagePricing(m);
  registerAmericanPricing(m);
}
