# Type information for the compiled module jdpricer_batch (Kou jump-diffusion
# European prices of whole books, bit for bit those of jdpricer, and by the
# cosine-series Fourier method).
#
# T, K, S and r are array-likes broadcast together by NumPy's rules; the
# model numbers are scalars converted as jdpricer converts them, and n is a
# C int (SupportsIndex, which excludes float) or "auto".
from typing import Literal, NamedTuple, SupportsFloat, SupportsIndex

import numpy as np
from numpy.typing import ArrayLike, NDArray
from typing_extensions import TypeAlias

_Real: TypeAlias = SupportsFloat | SupportsIndex
_SeriesLength: TypeAlias = SupportsIndex | Literal["auto"]

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
    n: _SeriesLength,
    workers: SupportsIndex = 1,
) -> NDArray[np.float64]:
    """Call prices of the broadcast book, each bit for bit
    create_european_call(T, K).priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1, eta2, n).

    n is the series length, or "auto": each maturity's series_lengths(T, sigma,
    lam, p, eta1, eta2), every price bit for bit the call at that n (any
    other string, None or a float raises TypeError).

    workers is the number of threads the call uses: 1 by default, a negative
    count wraps around os.cpu_count() (-1: every core); 0 (or a count that
    wraps below 1) raises ValueError, a non-integer TypeError. The prices
    are bit for bit the same for every count."""

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
    n: _SeriesLength,
    workers: SupportsIndex = 1,
) -> NDArray[np.float64]:
    """Put prices of the broadcast book, each bit for bit
    create_european_put(T, K).priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1, eta2, n).

    n is as in call_prices: a series length or "auto"; workers as there."""

def series_lengths(
    T: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
) -> NDArray[np.int32]:
    """Series length that leaves nothing to truncate, maturity by maturity.

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
    """

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
    workers: SupportsIndex = 1,
) -> NDArray[np.float64]:
    """Call prices of the broadcast book by the cosine-series Fourier method,
    within 1e-14*(S + K) of the exact price; NaN outside the model's domain.
    workers as in call_prices."""

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
    workers: SupportsIndex = 1,
) -> NDArray[np.float64]:
    """Put prices of the broadcast book by the cosine-series Fourier method,
    within 1e-14*(S + K) of the exact price; NaN outside the model's domain.
    workers as in call_prices."""

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
    n: _SeriesLength,
    workers: SupportsIndex = 1,
) -> NDArray[np.float64]:
    """Bounds on |call_prices(...) - true price|, option by option: the Poisson
    truncation plus a running bound on the rounding; inf outside the model's
    domain or where the price is not finite. n is as in call_prices: a series
    length or "auto" (each maturity's series_lengths, bounds bit for bit
    those at that n); workers as in call_prices."""

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
    n: _SeriesLength,
    workers: SupportsIndex = 1,
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
    n: _SeriesLength,
    tolerance: _Real,
    workers: SupportsIndex = 1,
) -> RobustPrices:
    """Closed-form call prices where their error bound is within tolerance
    (bit for bit call_prices there), cosine-series prices elsewhere; with the
    bound of each price and where the cosine series priced. n is as in
    call_prices: a series length or "auto", each result bit for bit that at
    the maturity's series_lengths; workers as in call_prices."""

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
    n: _SeriesLength,
    tolerance: _Real,
    workers: SupportsIndex = 1,
) -> RobustPrices:
    """As robust_call_prices, for puts."""
