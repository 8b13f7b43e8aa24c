// touch_prices, barrier_call_prices and barrier_put_prices of
// jdpricer_batch: argument handling and the interpreter lock; the pricing is
// the touch and barrier book pricers'.
#include "pypy39_compat.hpp"  // must precede pybind11

#include "batch_first_passage.hpp"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>

#include "batch/barrier_book.hpp"
#include "batch/touch_book.hpp"
#include "batch_arguments.hpp"
#include "batch_docstrings.hpp"

namespace py = pybind11;

namespace {

using jdpricer_module::ArrayLike;
using jdpricer_module::Workers;

jdpricer::TouchKind touchKind(const std::string& kind, const std::string& at) {
  if (kind != "one-touch" && kind != "no-touch") {
    throw py::value_error("kind must be \"one-touch\" or \"no-touch\", not \"" + kind + "\"");
  }
  if (at != "hit" && at != "expiry") {
    throw py::value_error("at must be \"hit\" or \"expiry\", not \"" + at + "\"");
  }
  if (kind == "no-touch") {
    if (at != "expiry") throw py::value_error("a no-touch pays at expiry: at must be \"expiry\"");
    return jdpricer::TouchKind::kNoTouch;
  }
  return at == "hit" ? jdpricer::TouchKind::kOneTouchAtHit
                     : jdpricer::TouchKind::kOneTouchAtExpiry;
}

py::array_t<double> touchPrices(const ArrayLike& T, const ArrayLike& H, const ArrayLike& S,
                                const ArrayLike& r, double sigma, double lam, double p,
                                double eta1, double eta2, const std::string& kind,
                                const py::object& at, const ArrayLike& q,
                                const Workers& workers) {
  // A no-touch pays at expiry whatever `at` defaults to.
  const std::string when = at.is_none() ? (kind == "no-touch" ? "expiry" : "hit")
                                        : at.cast<std::string>();
  const jdpricer::TouchKind touch = touchKind(kind, when);
  const std::size_t threads = jdpricer_module::workerCount(workers);
  const jdpricer_module::BroadcastColumns columns =
      jdpricer_module::broadcastColumns(T, H, S, r, q, "H");
  py::array_t<double> values = jdpricer_module::newResult<double>(columns.shape);
  double* out = values.mutable_data();
  jdpricer_module::priceWithInterrupts([&](const std::function<void()>& poll) {
    jdpricer::priceTouchBook(touch, jdpricer::TouchModel{sigma, lam, p, eta1, eta2},
                             columns.book(), columns.dividendYield(), out, threads, poll);
  });
  return values;
}

jdpricer::BarrierKind barrierKind(const std::string& barrier) {
  if (barrier == "down-and-out") return jdpricer::BarrierKind::kDownAndOut;
  if (barrier == "down-and-in") return jdpricer::BarrierKind::kDownAndIn;
  if (barrier == "up-and-out") return jdpricer::BarrierKind::kUpAndOut;
  if (barrier == "up-and-in") return jdpricer::BarrierKind::kUpAndIn;
  throw py::value_error("barrier must be one of \"down-and-out\", \"down-and-in\", "
                        "\"up-and-out\" and \"up-and-in\", not \"" + barrier + "\"");
}

template <jdpricer::Payoff kPayoff>
py::array_t<double> barrierPrices(const ArrayLike& T, const ArrayLike& K, const ArrayLike& H,
                                  const ArrayLike& S, const ArrayLike& r, double sigma,
                                  double lam, double p, double eta1, double eta2,
                                  const std::string& barrier, const ArrayLike& rebate,
                                  const ArrayLike& q, const Workers& workers) {
  const jdpricer::BarrierKind kind = barrierKind(barrier);
  const std::size_t threads = jdpricer_module::workerCount(workers);
  const jdpricer_module::BroadcastColumns columns = jdpricer_module::broadcastColumns(
      {{T, "T"}, {K, "K"}, {S, "S"}, {r, "r"}, {q, "q"}, {H, "H"}, {rebate, "rebate"}});
  py::array_t<double> prices = jdpricer_module::newResult<double>(columns.shape);
  double* out = prices.mutable_data();
  jdpricer_module::priceWithInterrupts([&](const std::function<void()>& poll) {
    jdpricer::priceBarrierBook(kPayoff, kind, jdpricer::BarrierModel{sigma, lam, p, eta1, eta2},
                               {columns.book(), columns.columns[5], columns.dividendYield(),
                                columns.columns[6]},
                               out, threads, poll);
  });
  return prices;
}

}  // namespace

void registerFirstPassagePricing(py::module_& m) {
  m.def("touch_prices", &touchPrices, jdpricer_module::docs::touchPrices().c_str(), py::arg("T"),
        py::arg("H"), py::arg("S"), py::arg("r"), py::arg("sigma"), py::arg("lam"), py::arg("p"),
        py::arg("eta1"), py::arg("eta2"), py::arg("kind"), py::arg("at") = py::none(),
        py::arg("q") = 0.0, py::arg("workers") = 1);
  const auto defineBarrier = [&m](const char* name, auto function, const std::string& doc) {
    m.def(name, function, doc.c_str(), py::arg("T"), py::arg("K"), py::arg("H"), py::arg("S"),
          py::arg("r"), py::arg("sigma"), py::arg("lam"), py::arg("p"), py::arg("eta1"),
          py::arg("eta2"), py::arg("barrier"), py::arg("rebate") = 0.0, py::arg("q") = 0.0,
          py::arg("workers") = 1);
  };
  defineBarrier("barrier_call_prices", &barrierPrices<jdpricer::Payoff::kCall>,
                jdpricer_module::docs::barrierCallPrices());
  defineBarrier("barrier_put_prices", &barrierPrices<jdpricer::Payoff::kPut>,
                jdpricer_module::docs::barrierPutPrices());
}
