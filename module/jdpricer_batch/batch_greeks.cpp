// call_greeks and put_greeks of jdpricer_batch: argument handling and the
// interpreter lock; the pricing is the Greeks book pricer's.
#include "pypy39_compat.hpp"  // must precede pybind11

#include "batch_greeks.hpp"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "batch/greeks_book.hpp"
#include "batch_arguments.hpp"

namespace py = pybind11;

namespace {

using jdpricer::Payoff;
using jdpricer_module::ArrayLike;

constexpr const char* kFieldNames =
    "price delta gamma vega theta rho dual_delta dlam dp deta1 deta2";

template <Payoff kPayoff>
py::object greeks(const ArrayLike& T, const ArrayLike& K, const ArrayLike& S, const ArrayLike& r,
                  double sigma, double lam, double p, double eta1, double eta2, int n) {
  const auto columns = jdpricer_module::broadcastColumns(T, K, S, r);
  py::tuple fields(static_cast<py::size_t>(jdpricer::kGreekFields));
  jdpricer::GreeksColumns out;
  for (int f = 0; f < jdpricer::kGreekFields; ++f) {
    py::array_t<double> column = jdpricer_module::newResult(columns.shape);
    out.field[f] = column.mutable_data();
    fields[f] = std::move(column);
  }
  jdpricer_module::priceReleased<jdpricer::GreeksBookPricer>(
      kPayoff, jdpricer::KouModel{sigma, lam, p, eta1, eta2, n}, columns.book(), out);
  return py::module_::import("jdpricer_batch").attr("Greeks")(*fields);
}

constexpr const char* kCallDoc = R"doc(Call prices and all their Greeks for a broadcast book.

Every field is the exact derivative, to rounding, of the n-term closed-form
series whose value is the price; the price is bit for bit ``call_prices``.

Parameters
----------
T, K, S, r : array_like
    Maturities (years), strikes, spots and continuously compounded rates,
    broadcast together by NumPy's rules.
sigma, lam, p, eta1, eta2 : float
    The Kou model: diffusion volatility, jump intensity (per year),
    probability of an upward jump, rates of the upward and downward
    exponential log-jump sizes.
n : int
    Poisson terms of the series (n <= 0: the jump-free term alone).

Returns
-------
Greeks
    A named tuple of float64 arrays of the broadcast shape: ``price``,
    ``delta`` (dV/dS), ``gamma`` (d2V/dS2), ``vega`` (dV/dsigma, per unit of
    sigma), ``theta`` (-dV/dT, per year: the value's change as time passes),
    ``rho`` (dV/dr, per unit of rate), ``dual_delta`` (dV/dK), ``dlam``,
    ``dp``, ``deta1``, ``deta2`` (dV/dlam, dV/dp, dV/deta1, dV/deta2).

Raises
------
TypeError
    If an argument is not a real number or array of real numbers, or n is
    not an integer.
ValueError
    If T, K, S and r cannot be broadcast together.

Notes
-----
Derivatives of the truncated series, not of the untruncated price and not
finite differences: a central difference of ``call_prices`` converges to
each field as its step shrinks, until rounding takes over. The model's work
(jump coefficients and their derivatives) is done once per call, the
maturity's once per maturity, the rest per option in lanes; all Greeks cost
about 1.5 times ``call_prices`` at n = 20. Accuracy: relative 1e-11 or better
in well-conditioned regimes, most fields 1e-12 (see the documentation's
accuracy table); as with the price, the sums cancel for large
eta * sigma * sqrt(T). n >= 171 gives NaN in every field; NaN and
infinite inputs propagate. The lock is
released while pricing, with interrupt checks between chunks; the standard
floating-point environment is pinned, so results are the same on CPython and
PyPy.

Examples
--------
>>> import jdpricer_batch
>>> g = jdpricer_batch.call_greeks(0.5, [90.0, 110.0], 100.0, 0.05,
...     sigma=0.16, lam=1.0, p=0.4, eta1=10.0, eta2=5.0, n=10)
>>> bool((g.price == jdpricer_batch.call_prices(0.5, [90.0, 110.0], 100.0,
...     0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 10)).all())
True
>>> [round(float(d), 4) for d in g.delta]
[0.854, 0.376]
)doc";

constexpr const char* kPutDoc = R"doc(Put prices and all their Greeks for a broadcast book.

The put is the call by put-call parity, P = (K exp(-rT) + C) - S, and its
Greeks are that parity differentiated exactly: delta is the call's minus 1,
theta the call's plus r K exp(-rT), rho the call's minus T K exp(-rT),
dual_delta the call's plus exp(-rT); gamma, vega, dlam, dp, deta1 and deta2
are the call's. The price is bit for bit ``put_prices``.

Parameters
----------
T, K, S, r : array_like
    Maturities (years), strikes, spots and rates, broadcast together.
sigma, lam, p, eta1, eta2 : float
    The Kou model, as for ``call_greeks``.
n : int
    Poisson terms of the series (n <= 0: the jump-free term alone).

Returns
-------
Greeks
    A named tuple of float64 arrays of the broadcast shape, the fields of
    ``call_greeks`` in the same order and conventions.

Raises
------
TypeError
    If an argument is not a real number or array of real numbers, or n is
    not an integer.
ValueError
    If T, K, S and r cannot be broadcast together.

Notes
-----
As ``call_greeks``. Where the put is far out of the money its delta, rho and
dual_delta are small differences of the call's and keep absolute, not
relative, accuracy, as the put's price does.

Examples
--------
>>> import jdpricer_batch
>>> m = dict(sigma=0.16, lam=1.0, p=0.4, eta1=10.0, eta2=5.0, n=10)
>>> c = jdpricer_batch.call_greeks(0.5, 98.0, 100.0, 0.05, **m)
>>> p = jdpricer_batch.put_greeks(0.5, 98.0, 100.0, 0.05, **m)
>>> float(p.delta - (c.delta - 1.0))
0.0
>>> float(p.gamma - c.gamma)
0.0
)doc";

}  // namespace

void registerGreeks(py::module_& m) {
  m.attr("Greeks") = py::module_::import("collections")
                         .attr("namedtuple")("Greeks", kFieldNames,
                                             py::arg("module") = "jdpricer_batch");
  const auto defineGreeks = [&m](const char* name, auto function, const char* doc) {
    m.def(name, function, doc, py::arg("T"), py::arg("K"), py::arg("S"), py::arg("r"),
          py::arg("sigma"), py::arg("lam"), py::arg("p"), py::arg("eta1"), py::arg("eta2"),
          py::arg("n"));
  };
  defineGreeks("call_greeks", &greeks<Payoff::kCall>, kCallDoc);
  defineGreeks("put_greeks", &greeks<Payoff::kPut>, kPutDoc);
}
