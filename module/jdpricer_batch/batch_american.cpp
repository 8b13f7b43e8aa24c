// American options of jdpricer_batch: argument handling and the
// interpreter lock; the pricing is the American book's.
#include "pypy39_compat.hpp"  // must precede pybind11

#include "batch_american.hpp"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "batch/american_book.hpp"
#include "batch_arguments.hpp"
#include "batch_docstrings.hpp"

namespace py = pybind11;

namespace {

using jdpricer_module::ArrayLike;

// The AmericanGreeks named tuple, created once at registration (a lookup
// through the module's import costs PyPy microseconds a call).
py::object& americanGreeksType() {
  static py::object* type = new py::object();  // lives as long as the interpreter
  return *type;
}
using jdpricer_module::Workers;

// An accuracy the solver can reach: from 1e-10 to 0.1 of the strike.
double checkedAccuracy(double accuracy) {
  if (!(accuracy >= 1e-10 && accuracy <= 0.1)) {
    throw py::value_error("accuracy must be between 1e-10 and 0.1 (units of the strike), not " +
                          py::repr(py::float_(accuracy)).cast<std::string>());
  }
  return accuracy;
}

template <jdpricer::AmericanKind kKind>
py::array_t<double> americanPrices(const ArrayLike& T, const ArrayLike& K, const ArrayLike& S,
                                   const ArrayLike& r, double sigma, double lam, double p,
                                   double eta1, double eta2, const ArrayLike& q, double accuracy,
                                   const Workers& workers) {
  const double tolerance = checkedAccuracy(accuracy);
  const std::size_t threads = jdpricer_module::workerCount(workers);
  const jdpricer_module::BroadcastColumns columns =
      jdpricer_module::broadcastColumns({{T, "T"}, {K, "K"}, {S, "S"}, {r, "r"}, {q, "q"}});
  const jdpricer::AmericanModel model{sigma, lam, p, eta1, eta2};
  py::array_t<double> price = jdpricer_module::newResult<double>(columns.shape);
  double* out = price.mutable_data();
  jdpricer_module::priceWithInterrupts([&](const std::function<void()>& poll) {
    jdpricer::priceAmericanBook(kKind, model, {columns.book(), columns.dividendYield()},
                                tolerance, out, threads, poll);
  });
  return price;
}

// The AmericanGreeks fields, in the tuple's order.
enum AmericanField {
  kPrice, kDelta, kGamma, kVega, kTheta, kRho, kDualDelta, kDLam, kDP, kDEta1, kDEta2, kPsi,
  kAmericanFields
};

template <jdpricer::AmericanKind kKind>
py::object americanGreeks(const ArrayLike& T, const ArrayLike& K, const ArrayLike& S,
                          const ArrayLike& r, double sigma, double lam, double p, double eta1,
                          double eta2, const ArrayLike& q, double accuracy,
                          const Workers& workers, bool modelGreeks) {
  const double tolerance = checkedAccuracy(accuracy);
  const std::size_t threads = jdpricer_module::workerCount(workers);
  const jdpricer_module::BroadcastColumns columns =
      jdpricer_module::broadcastColumns({{T, "T"}, {K, "K"}, {S, "S"}, {r, "r"}, {q, "q"}});
  const jdpricer::AmericanModel model{sigma, lam, p, eta1, eta2};
  std::vector<py::array_t<double>> fields;
  double* at[kAmericanFields];
  for (int f = 0; f < kAmericanFields; ++f) {
    fields.push_back(jdpricer_module::newResult<double>(columns.shape));
    at[f] = fields.back().mutable_data();
  }
  const std::size_t count = columns.book().count;
  if (!modelGreeks) {
    for (const int f : {kVega, kRho, kPsi, kDLam, kDP, kDEta1, kDEta2}) {
      std::fill(at[f], at[f] + count, std::numeric_limits<double>::quiet_NaN());
    }
  }
  const jdpricer::AmericanGreeksColumns greeks{
      at[kDelta],
      at[kGamma],
      at[kTheta],
      at[kDualDelta],
      modelGreeks ? at[kVega] : nullptr,
      at[kRho],
      at[kPsi],
      at[kDLam],
      at[kDP],
      at[kDEta1],
      at[kDEta2]};
  jdpricer_module::priceWithInterrupts([&](const std::function<void()>& poll) {
    jdpricer::priceAmericanBook(kKind, model, {columns.book(), columns.dividendYield()},
                                tolerance, at[kPrice], threads, poll, &greeks);
  });
  py::tuple values(static_cast<std::size_t>(kAmericanFields));
  for (int f = 0; f < kAmericanFields; ++f) values[f] = std::move(fields[f]);
  return americanGreeksType()(*values);
}

py::array_t<double> exerciseBoundary(const ArrayLike& tau, double K, double r, double sigma,
                                     double lam, double p, double eta1, double eta2,
                                     const std::string& kind, double q, double accuracy) {
  if (kind != "put" && kind != "call") {
    throw py::value_error("kind must be \"put\" or \"call\", not \"" + kind + "\"");
  }
  const double tolerance = checkedAccuracy(accuracy);
  const jdpricer_module::BroadcastColumns columns =
      jdpricer_module::broadcastColumns({{tau, "tau"}});
  py::array_t<double> result = jdpricer_module::newResult<double>(columns.shape);
  double* out = result.mutable_data();
  {
    py::gil_scoped_release released;
    jdpricer::americanExerciseBoundary(
        kind == "call" ? jdpricer::AmericanKind::kCall : jdpricer::AmericanKind::kPut,
        {sigma, lam, p, eta1, eta2}, K, r, q, tolerance, columns.columns[0],
        columns.book().count, out);
  }
  return result;
}

py::array_t<double> perpetualPutPrices(const ArrayLike& K, const ArrayLike& S, double r,
                                       double sigma, double lam, double p, double eta1,
                                       double eta2, double q) {
  const jdpricer_module::BroadcastColumns columns =
      jdpricer_module::broadcastColumns({{K, "K"}, {S, "S"}});
  py::array_t<double> result = jdpricer_module::newResult<double>(columns.shape);
  jdpricer::perpetualAmericanPuts({sigma, lam, p, eta1, eta2}, r, q, columns.columns[0],
                                  columns.columns[1], columns.book().count,
                                  result.mutable_data());
  return result;
}

}  // namespace

void registerAmericanPricing(py::module_& m) {
  namespace docs = jdpricer_module::docs;
  m.attr("AmericanGreeks") =
      py::module_::import("collections")
          .attr("namedtuple")("AmericanGreeks",
                              "price delta gamma vega theta rho dual_delta dlam dp deta1 deta2 psi",
                              py::arg("module") = "jdpricer_batch");
  py::object tuple = m.attr("AmericanGreeks");
  americanGreeksType() = tuple;
  tuple.attr("__doc__") = docs::kAmericanGreeks;
  const py::tuple fieldNames = tuple.attr("_fields");
  for (std::size_t i = 0; i < fieldNames.size(); ++i) {
    tuple.attr(fieldNames[i]).attr("__doc__") = docs::kAmericanGreeksFields[i];
  }
  const auto define = [&m](const char* name, auto function, const std::string& doc,
                           auto... more) {
    m.def(name, function, doc.c_str(), py::arg("T"), py::arg("K"), py::arg("S"), py::arg("r"),
          py::arg("sigma"), py::arg("lam"), py::arg("p"), py::arg("eta1"), py::arg("eta2"),
          py::arg("q") = 0.0, py::arg("accuracy") = 1e-6, py::arg("workers") = 1, more...);
  };
  using jdpricer::AmericanKind;
  define("american_put_prices", &americanPrices<AmericanKind::kPut>, docs::americanPutPrices());
  define("american_call_prices", &americanPrices<AmericanKind::kCall>,
         docs::americanCallPrices());
  define("american_put_greeks", &americanGreeks<AmericanKind::kPut>, docs::americanPutGreeks(),
         py::kw_only(), py::arg("model_greeks") = true);
  define("american_call_greeks", &americanGreeks<AmericanKind::kCall>,
         docs::americanCallGreeks(), py::kw_only(), py::arg("model_greeks") = true);
  m.def("american_exercise_boundary", &exerciseBoundary, docs::americanExerciseBoundary().c_str(),
        py::arg("tau"), py::arg("K"), py::arg("r"), py::arg("sigma"), py::arg("lam"),
        py::arg("p"), py::arg("eta1"), py::arg("eta2"), py::arg("kind") = "put",
        py::arg("q") = 0.0, py::arg("accuracy") = 1e-6);
  m.def("perpetual_american_put_prices", &perpetualPutPrices,
        docs::perpetualAmericanPutPrices().c_str(), py::arg("K"), py::arg("S"), py::arg("r"),
        py::arg("sigma"), py::arg("lam"), py::arg("p"), py::arg("eta1"), py::arg("eta2"),
        py::arg("q") = 0.0);
}
