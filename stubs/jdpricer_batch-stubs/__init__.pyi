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
    within 1e-14*(S + K) of the exact price. sigma = 0 is priced by sums over
    the jump counts; where the series would need too many terms (minutes to
    expiry, sigma near 0) by the closed form, kept only where its bound is
    within that accuracy. NaN outside the model's domain or where neither
    method reaches the accuracy."""

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
    within 1e-14*(S + K) of the exact price. sigma = 0 is priced by sums over
    the jump counts; where the series would need too many terms (minutes to
    expiry, sigma near 0) by the closed form, kept only where its bound is
    within that accuracy. NaN outside the model's domain or where neither
    method reaches the accuracy."""

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
    truncation plus a bound on the rounding in which the Hh recursion's errors
    keep their signs (within 100x of the error per maturity where the closed
    form is well conditioned); inf outside the model's domain or where the
    price is not finite."""

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
