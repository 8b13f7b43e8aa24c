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
#include "batch_fourier.hpp"

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
                           double eta2, const SeriesLength& n, const Workers& workers) {
  const jdpricer::KouModel model = jdpricer_module::kouModel(sigma, lam, p, eta1, eta2, n);
  const std::size_t threads = jdpricer_module::workerCount(workers);
  const jdpricer_module::BroadcastColumns columns = jdpricer_module::broadcastColumns(T, K, S, r);
  py::array_t<double> result = jdpricer_module::newResult<double>(columns.shape);
  double* out = result.mutable_data();
  jdpricer_module::priceWithInterrupts(
      [&](const std::function<void()>& poll) {
        jdpricer::priceBook(kPayoff, model, columns.book(), out, threads, poll);
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

constexpr const char* kSeriesLengthsDoc = R"doc(Series length that leaves nothing to truncate, maturity by maturity.

For each maturity, the smallest ``n`` at which the part of both Upsilon
series that a series of ``n`` terms leaves out is below the rounding floor of
the price; this is the length that ``n="auto"`` uses.

Parameters
----------
T : array_like
    Maturities in years, converted like the columns of `call_prices`.
sigma, lam, p, eta1, eta2 : float
    The Kou model, converted like `call_prices`' arguments.

Returns
-------
numpy.ndarray of int32
    Of T's shape: each maturity's series length, in [0, 170].

Raises
------
TypeError
    If T holds something other than real numbers, or a model argument is
    not a real number.

Notes
-----
Each Upsilon is a Poisson mixture of probabilities in [0, 1]: cutting it
after ``n`` terms leaves out at most P(N1 > n) for the stock-measure series,
N1 ~ Poisson((1 + zeta) lam T), and P(N2 > n) for the risk-neutral one,
N2 ~ Poisson(lam T), zeta = p eta1/(eta1 - 1) + (1 - p) eta2/(eta2 + 1) - 1.
The price S U1 - K exp(-rT) U2 (and the put, by exact parity) therefore
misses at most (S + K exp(-rT)) max(P(N1 > n), P(N2 > n)).

The floor is 2**-54 (half the unit roundoff) on both tails: the truncation
is then at most half an ulp of S + K exp(-rT), below the rounding of the
subtraction that forms every price, so no longer series can move a price by
more than its own last bits. As a probability, the floor makes the length a
function of the maturity and the model only, never of strike, spot or rate.
The tails are the upper bounds that `call_error_bounds` uses; for each n the
largest mean that they allow is tabulated, so a length costs a search in a
table of 171 numbers, and the result is non-decreasing in T.

The length is capped at 170, the longest series whose factorials are finite;
beyond a mean of about 84 jumps the cap leaves a truncation error, which
`call_error_bounds` reports. T <= 0 or NaN (whose price is NaN for every
n) gives 0. An infinite T gives 170, and so does every T when the model is
outside its domain (sigma not finite and positive, lam negative or not
finite, p outside [0, 1], eta1 <= 1, eta2 <= 0 or not finite), where the
tails cannot be told.

Examples
--------
>>> import jdpricer_batch
>>> jdpricer_batch.series_lengths([0.025, 0.5, 1.0, 5.8], 0.16, 1.0, 0.4, 10.0, 5.0)
array([ 7, 14, 18, 35], dtype=int32)
)doc";

}  // namespace

PYBIND11_MODULE(jdpricer_batch, m) {
  const auto definePricer = [&m](const char* name, auto function) {
    m.def(name, function, py::arg("T"), py::arg("K"), py::arg("S"), py::arg("r"),
          py::arg("sigma"), py::arg("lam"), py::arg("p"), py::arg("eta1"), py::arg("eta2"),
          py::arg("n"), py::arg("workers") = 1);
  };
  definePricer("call_prices", &prices<jdpricer::Payoff::kCall>);
  definePricer("put_prices", &prices<jdpricer::Payoff::kPut>);
  m.def("_shutdown_workers", [] {
    py::gil_scoped_release released;
    jdpricer::shutdownWorkerPool();
  });
  m.def("_worker_threads", &jdpricer::workerPoolThreads);
  // The pool's threads are joined before the interpreter finalises.
  py::module_::import("atexit").attr("register")(m.attr("_shutdown_workers"));
  m.def("series_lengths", &seriesLengths, kSeriesLengthsDoc, py::arg("T"), py::arg("sigma"),
        py::arg("lam"), py::arg("p"), py::arg("eta1"), py::arg("eta2"));
  registerFourierPricing(m);
  registerErrorBounds(m);
}
