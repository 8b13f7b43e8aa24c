// touch_prices, touch_greeks and the barrier prices and greeks of
// jdpricer_batch: argument handling and the interpreter lock; the pricing
// is the touch and barrier book pricers'.
#include "pypy39_compat.hpp"  // must precede pybind11

#include "batch_first_passage.hpp"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "batch/barrier_book.hpp"
#include "batch/lookback_book.hpp"
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

// The named tuple SpotGreeks(price, delta, gamma) of three new arrays of
// `shape`, and pointers to their data.
struct SpotGreeksResult {
  py::array_t<double> price, delta, gamma;
  explicit SpotGreeksResult(const std::vector<py::ssize_t>& shape)
      : price(jdpricer_module::newResult<double>(shape)),
        delta(jdpricer_module::newResult<double>(shape)),
        gamma(jdpricer_module::newResult<double>(shape)) {}
  py::object tuple() const {
    return py::module_::import("jdpricer_batch").attr("SpotGreeks")(price, delta, gamma);
  }
};

struct TouchCall {
  jdpricer::TouchKind kind;
  std::size_t threads;
  jdpricer_module::BroadcastColumns columns;
};

TouchCall touchCall(const ArrayLike& T, const ArrayLike& H, const ArrayLike& S, const ArrayLike& r,
                    const std::string& kind, const py::object& at, const ArrayLike& q,
                    const Workers& workers) {
  // A no-touch pays at expiry whatever `at` defaults to.
  const std::string when = at.is_none() ? (kind == "no-touch" ? "expiry" : "hit")
                                        : at.cast<std::string>();
  const jdpricer::TouchKind touch = touchKind(kind, when);
  const std::size_t threads = jdpricer_module::workerCount(workers);
  return {touch, threads, jdpricer_module::broadcastColumns(T, H, S, r, q, "H")};
}

py::array_t<double> touchPrices(const ArrayLike& T, const ArrayLike& H, const ArrayLike& S,
                                const ArrayLike& r, double sigma, double lam, double p,
                                double eta1, double eta2, const std::string& kind,
                                const py::object& at, const ArrayLike& q,
                                const Workers& workers) {
  const TouchCall call = touchCall(T, H, S, r, kind, at, q, workers);
  py::array_t<double> values = jdpricer_module::newResult<double>(call.columns.shape);
  double* out = values.mutable_data();
  jdpricer_module::priceWithInterrupts([&](const std::function<void()>& poll) {
    jdpricer::priceTouchBook(call.kind, jdpricer::TouchModel{sigma, lam, p, eta1, eta2},
                             call.columns.book(), call.columns.dividendYield(), out,
                             call.threads, poll);
  });
  return values;
}

py::object touchGreeks(const ArrayLike& T, const ArrayLike& H, const ArrayLike& S,
                       const ArrayLike& r, double sigma, double lam, double p, double eta1,
                       double eta2, const std::string& kind, const py::object& at,
                       const ArrayLike& q, const Workers& workers) {
  const TouchCall call = touchCall(T, H, S, r, kind, at, q, workers);
  SpotGreeksResult result(call.columns.shape);
  double* price = result.price.mutable_data();
  double* delta = result.delta.mutable_data();
  double* gamma = result.gamma.mutable_data();
  jdpricer_module::priceWithInterrupts([&](const std::function<void()>& poll) {
    jdpricer::priceTouchBook(call.kind, jdpricer::TouchModel{sigma, lam, p, eta1, eta2},
                             call.columns.book(), call.columns.dividendYield(), price,
                             call.threads, poll, delta, gamma);
  });
  return result.tuple();
}

jdpricer::BarrierKind barrierKind(const std::string& barrier) {
  if (barrier == "down-and-out") return jdpricer::BarrierKind::kDownAndOut;
  if (barrier == "down-and-in") return jdpricer::BarrierKind::kDownAndIn;
  if (barrier == "up-and-out") return jdpricer::BarrierKind::kUpAndOut;
  if (barrier == "up-and-in") return jdpricer::BarrierKind::kUpAndIn;
  throw py::value_error("barrier must be one of \"down-and-out\", \"down-and-in\", "
                        "\"up-and-out\" and \"up-and-in\", not \"" + barrier + "\"");
}

struct BarrierCall {
  jdpricer::BarrierKind kind;
  std::size_t threads;
  jdpricer_module::BroadcastColumns columns;
};

BarrierCall barrierCall(const ArrayLike& T, const ArrayLike& K, const ArrayLike& H,
                        const ArrayLike& S, const ArrayLike& r, const std::string& barrier,
                        const ArrayLike& rebate, const ArrayLike& q, const Workers& workers) {
  const jdpricer::BarrierKind kind = barrierKind(barrier);
  const std::size_t threads = jdpricer_module::workerCount(workers);
  return {kind, threads,
          jdpricer_module::broadcastColumns({{T, "T"}, {K, "K"}, {S, "S"}, {r, "r"}, {q, "q"},
                                             {H, "H"}, {rebate, "rebate"}})};
}

void priceBarriers(jdpricer::Payoff payoff, const BarrierCall& call,
                   const jdpricer::BarrierModel& model, double* out, double* delta,
                   double* gamma) {
  const jdpricer_module::BroadcastColumns& columns = call.columns;
  jdpricer_module::priceWithInterrupts([&](const std::function<void()>& poll) {
    jdpricer::priceBarrierBook(payoff, call.kind, model,
                               {columns.book(), columns.columns[5], columns.dividendYield(),
                                columns.columns[6]},
                               out, call.threads, poll, delta, gamma);
  });
}

template <jdpricer::Payoff kPayoff>
py::array_t<double> barrierPrices(const ArrayLike& T, const ArrayLike& K, const ArrayLike& H,
                                  const ArrayLike& S, const ArrayLike& r, double sigma,
                                  double lam, double p, double eta1, double eta2,
                                  const std::string& barrier, const ArrayLike& rebate,
                                  const ArrayLike& q, const Workers& workers) {
  const BarrierCall call = barrierCall(T, K, H, S, r, barrier, rebate, q, workers);
  py::array_t<double> prices = jdpricer_module::newResult<double>(call.columns.shape);
  priceBarriers(kPayoff, call, {sigma, lam, p, eta1, eta2}, prices.mutable_data(), nullptr,
                nullptr);
  return prices;
}

template <jdpricer::Payoff kPayoff>
py::object barrierGreeks(const ArrayLike& T, const ArrayLike& K, const ArrayLike& H,
                         const ArrayLike& S, const ArrayLike& r, double sigma, double lam,
                         double p, double eta1, double eta2, const std::string& barrier,
                         const ArrayLike& rebate, const ArrayLike& q, const Workers& workers) {
  const BarrierCall call = barrierCall(T, K, H, S, r, barrier, rebate, q, workers);
  SpotGreeksResult result(call.columns.shape);
  priceBarriers(kPayoff, call, {sigma, lam, p, eta1, eta2}, result.price.mutable_data(),
                result.delta.mutable_data(), result.gamma.mutable_data());
  return result.tuple();
}

// A lookback book: the running extremum defaults to the spot (a new
// option); floating strikes read the spot where the strike would be.
struct LookbackCall {
  std::size_t threads;
  jdpricer_module::BroadcastColumns columns;
};

LookbackCall lookbackCall(const ArrayLike& T, const ArrayLike* K, const ArrayLike& S,
                          const ArrayLike& r, const py::object& extremum, const char* extremumName,
                          const ArrayLike& q, const Workers& workers) {
  const std::size_t threads = jdpricer_module::workerCount(workers);
  const ArrayLike observed = extremum.is_none() ? S : ArrayLike(extremum);
  return {threads, jdpricer_module::broadcastColumns({{T, "T"},
                                                      {K != nullptr ? *K : S, "K"},
                                                      {S, "S"},
                                                      {r, "r"},
                                                      {q, "q"},
                                                      {observed, extremumName}})};
}

void priceLookbacks(jdpricer::LookbackKind kind, const LookbackCall& call,
                    const jdpricer::LookbackModel& model, double* out, double* delta,
                    double* gamma) {
  const jdpricer_module::BroadcastColumns& columns = call.columns;
  jdpricer_module::priceWithInterrupts([&](const std::function<void()>& poll) {
    jdpricer::priceLookbackBook(kind, model,
                                {columns.book(), columns.columns[5], columns.dividendYield()},
                                out, call.threads, poll, delta, gamma);
  });
}

template <jdpricer::LookbackKind kKind>
constexpr const char* extremumName() {
  return kKind == jdpricer::LookbackKind::kFixedCall ||
                 kKind == jdpricer::LookbackKind::kFloatingPut
             ? "running_max"
             : "running_min";
}

template <jdpricer::LookbackKind kKind, bool kGreeks>
py::object fixedLookback(const ArrayLike& T, const ArrayLike& K, const ArrayLike& S,
                         const ArrayLike& r, double sigma, double lam, double p, double eta1,
                         double eta2, const py::object& extremum, const ArrayLike& q,
                         const Workers& workers) {
  const LookbackCall call =
      lookbackCall(T, &K, S, r, extremum, extremumName<kKind>(), q, workers);
  if constexpr (kGreeks) {
    SpotGreeksResult result(call.columns.shape);
    priceLookbacks(kKind, call, {sigma, lam, p, eta1, eta2}, result.price.mutable_data(),
                   result.delta.mutable_data(), result.gamma.mutable_data());
    return result.tuple();
  } else {
    py::array_t<double> prices = jdpricer_module::newResult<double>(call.columns.shape);
    priceLookbacks(kKind, call, {sigma, lam, p, eta1, eta2}, prices.mutable_data(), nullptr,
                   nullptr);
    return std::move(prices);
  }
}

template <jdpricer::LookbackKind kKind, bool kGreeks>
py::object floatingLookback(const ArrayLike& T, const ArrayLike& S, const ArrayLike& r,
                            double sigma, double lam, double p, double eta1, double eta2,
                            const py::object& extremum, const ArrayLike& q,
                            const Workers& workers) {
  const LookbackCall call =
      lookbackCall(T, nullptr, S, r, extremum, extremumName<kKind>(), q, workers);
  if constexpr (kGreeks) {
    SpotGreeksResult result(call.columns.shape);
    priceLookbacks(kKind, call, {sigma, lam, p, eta1, eta2}, result.price.mutable_data(),
                   result.delta.mutable_data(), result.gamma.mutable_data());
    return result.tuple();
  } else {
    py::array_t<double> prices = jdpricer_module::newResult<double>(call.columns.shape);
    priceLookbacks(kKind, call, {sigma, lam, p, eta1, eta2}, prices.mutable_data(), nullptr,
                   nullptr);
    return std::move(prices);
  }
}

}  // namespace

void registerFirstPassagePricing(py::module_& m) {
  m.attr("SpotGreeks") = py::module_::import("collections")
                             .attr("namedtuple")("SpotGreeks", "price delta gamma",
                                                 py::arg("module") = "jdpricer_batch");
  py::object spotGreeks = m.attr("SpotGreeks");
  spotGreeks.attr("__doc__") = jdpricer_module::docs::kSpotGreeks;
  const py::tuple fieldNames = spotGreeks.attr("_fields");
  for (std::size_t i = 0; i < fieldNames.size(); ++i) {
    spotGreeks.attr(fieldNames[i]).attr("__doc__") = jdpricer_module::docs::kSpotGreeksFields[i];
  }
  const auto defineTouch = [&m](const char* name, auto function, const std::string& doc) {
    m.def(name, function, doc.c_str(), py::arg("T"), py::arg("H"), py::arg("S"), py::arg("r"),
          py::arg("sigma"), py::arg("lam"), py::arg("p"), py::arg("eta1"), py::arg("eta2"),
          py::arg("kind"), py::arg("at") = py::none(), py::arg("q") = 0.0,
          py::arg("workers") = 1);
  };
  defineTouch("touch_prices", &touchPrices, jdpricer_module::docs::touchPrices());
  defineTouch("touch_greeks", &touchGreeks, jdpricer_module::docs::touchGreeks());
  const auto defineBarrier = [&m](const char* name, auto function, const std::string& doc) {
    m.def(name, function, doc.c_str(), py::arg("T"), py::arg("K"), py::arg("H"), py::arg("S"),
          py::arg("r"), py::arg("sigma"), py::arg("lam"), py::arg("p"), py::arg("eta1"),
          py::arg("eta2"), py::arg("barrier"), py::arg("rebate") = 0.0, py::arg("q") = 0.0,
          py::arg("workers") = 1);
  };
  using jdpricer::Payoff;
  defineBarrier("barrier_call_prices", &barrierPrices<Payoff::kCall>,
                jdpricer_module::docs::barrierCallPrices());
  defineBarrier("barrier_put_prices", &barrierPrices<Payoff::kPut>,
                jdpricer_module::docs::barrierPutPrices());
  defineBarrier("barrier_call_greeks", &barrierGreeks<Payoff::kCall>,
                jdpricer_module::docs::barrierCallGreeks());
  defineBarrier("barrier_put_greeks", &barrierGreeks<Payoff::kPut>,
                jdpricer_module::docs::barrierPutGreeks());

  using jdpricer::LookbackKind;
  const auto defineFixed = [&m](const char* name, auto function, const char* extremum,
                                const std::string& doc) {
    m.def(name, function, doc.c_str(), py::arg("T"), py::arg("K"), py::arg("S"), py::arg("r"),
          py::arg("sigma"), py::arg("lam"), py::arg("p"), py::arg("eta1"), py::arg("eta2"),
          py::arg(extremum) = py::none(), py::arg("q") = 0.0, py::arg("workers") = 1);
  };
  const auto defineFloating = [&m](const char* name, auto function, const char* extremum,
                                   const std::string& doc) {
    m.def(name, function, doc.c_str(), py::arg("T"), py::arg("S"), py::arg("r"),
          py::arg("sigma"), py::arg("lam"), py::arg("p"), py::arg("eta1"), py::arg("eta2"),
          py::arg(extremum) = py::none(), py::arg("q") = 0.0, py::arg("workers") = 1);
  };
  namespace docs = jdpricer_module::docs;
  defineFixed("lookback_call_prices", &fixedLookback<LookbackKind::kFixedCall, false>,
              "running_max", docs::lookbackCallPrices());
  defineFixed("lookback_put_prices", &fixedLookback<LookbackKind::kFixedPut, false>,
              "running_min", docs::lookbackPutPrices());
  defineFixed("lookback_call_greeks", &fixedLookback<LookbackKind::kFixedCall, true>,
              "running_max", docs::lookbackCallGreeks());
  defineFixed("lookback_put_greeks", &fixedLookback<LookbackKind::kFixedPut, true>,
              "running_min", docs::lookbackPutGreeks());
  defineFloating("floating_lookback_call_prices",
                 &floatingLookback<LookbackKind::kFloatingCall, false>, "running_min",
                 docs::floatingLookbackCallPrices());
  defineFloating("floating_lookback_put_prices",
                 &floatingLookback<LookbackKind::kFloatingPut, false>, "running_max",
                 docs::floatingLookbackPutPrices());
  defineFloating("floating_lookback_call_greeks",
                 &floatingLookback<LookbackKind::kFloatingCall, true>, "running_min",
                 docs::floatingLookbackCallGreeks());
  defineFloating("floating_lookback_put_greeks",
                 &floatingLookback<LookbackKind::kFloatingPut, true>, "running_max",
                 docs::floatingLookbackPutGreeks());
}
