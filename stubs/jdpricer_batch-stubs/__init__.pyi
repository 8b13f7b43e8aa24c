# Type information for the compiled module jdpricer_batch (Kou jump-diffusion
# European prices of whole books, bit for bit those of jdpricer, and by the
# cosine-series Fourier method).
#
# T, K, S and r are array-likes broadcast together by NumPy's rules; the
# model numbers are scalars converted as jdpricer converts them, and n is a
# C int (SupportsIndex, which excludes float).
from typing import NamedTuple, SupportsFloat, SupportsIndex

import numpy as np
from numpy.typing import ArrayLike, NDArray
from typing_extensions import TypeAlias

_Real: TypeAlias = SupportsFloat | SupportsIndex

def call_prices(
    T: ArrayLike,
    K: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    n: SupportsIndex,
) -> NDArray[np.float64]:
    """Call prices of the broadcast book, each bit for bit
    create_european_call(T, K).priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1, eta2, n)."""

def put_prices(
    T: ArrayLike,
    K: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    n: SupportsIndex,
) -> NDArray[np.float64]:
    """Put prices of the broadcast book, each bit for bit
    create_european_put(T, K).priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1, eta2, n)."""

def fourier_call_prices(
    T: ArrayLike,
    K: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
) -> NDArray[np.float64]:
    """Call prices of the broadcast book by the cosine-series Fourier method,
    within 1e-14*(S + K) of the exact price; NaN outside the model's domain."""

def fourier_put_prices(
    T: ArrayLike,
    K: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
) -> NDArray[np.float64]:
    """Put prices of the broadcast book by the cosine-series Fourier method,
    within 1e-14*(S + K) of the exact price; NaN outside the model's domain."""

def call_error_bounds(
    T: ArrayLike,
    K: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    n: SupportsIndex,
) -> NDArray[np.float64]:
    """Bounds on |call_prices(...) - true price|, option by option: the Poisson
    truncation plus a running bound on the rounding; inf outside the model's
    domain or where the price is not finite."""

def put_error_bounds(
    T: ArrayLike,
    K: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    n: SupportsIndex,
) -> NDArray[np.float64]:
    """Bounds on |put_prices(...) - true price|, as call_error_bounds."""

class RobustPrices(NamedTuple):
    prices: NDArray[np.float64]
    bounds: NDArray[np.float64]
    fourier: NDArray[np.bool_]

def robust_call_prices(
    T: ArrayLike,
    K: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    n: SupportsIndex,
    tolerance: _Real,
) -> RobustPrices:
    """Closed-form call prices where their error bound is within tolerance
    (bit for bit call_prices there), cosine-series prices elsewhere; with the
    bound of each price and where the cosine series priced."""

def robust_put_prices(
    T: ArrayLike,
    K: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    n: SupportsIndex,
    tolerance: _Real,
) -> RobustPrices:
    """As robust_call_prices, for puts."""

class Greeks(NamedTuple):
    """A book's prices and their Greeks, float64 arrays of the broadcast shape."""

    price: NDArray[np.float64]
    delta: NDArray[np.float64]
    gamma: NDArray[np.float64]
    vega: NDArray[np.float64]
    theta: NDArray[np.float64]
    rho: NDArray[np.float64]
    dual_delta: NDArray[np.float64]
    dlam: NDArray[np.float64]
    dp: NDArray[np.float64]
    deta1: NDArray[np.float64]
    deta2: NDArray[np.float64]

def call_greeks(
    T: ArrayLike,
    K: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    n: SupportsIndex,
) -> Greeks:
    """Call prices and all their Greeks for a broadcast book.

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
    """

def put_greeks(
    T: ArrayLike,
    K: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    n: SupportsIndex,
) -> Greeks:
    """Put prices and all their Greeks for a broadcast book.

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
    """
