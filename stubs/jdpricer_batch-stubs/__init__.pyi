# Type information for the compiled module jdpricer_batch, with its
# docstrings (tools/sync_stub_docstrings.py copies them from the module).
#
# T, K, S and r are array-likes broadcast together by NumPy's rules; the
# model numbers are scalars converted as jdpricer converts them, and n is a
# C int (SupportsIndex, which excludes float) or "auto".
"""Kou jump-diffusion prices of whole books of European options, in one call.

The underlying follows a geometric Brownian motion plus a compound Poisson
process of jumps whose log-sizes are exponential: upward with rate `eta1`
(probability `p`), downward with rate `eta2`, at intensity `lam`. Every
function takes the options' columns `T`, `K`, `S` and `r` as array-likes
broadcast together by NumPy's rules, and one model (`sigma`, `lam`, `p`,
`eta1`, `eta2`) as scalars, and returns a new float64 array of the
broadcast shape.

- `call_prices`, `put_prices`: Kou's closed form, each price bit for bit
  what :mod:`jdpricer` gives for that option, many times faster for books
  that share maturities.
- `call_error_bounds`, `put_error_bounds`: a bound on the error of each
  closed-form price.
- `fourier_call_prices`, `fourier_put_prices`: the cosine-series (Fourier)
  method, accurate where the closed form cancels.
- `robust_call_prices`, `robust_put_prices`: the closed form where its
  bound is within a tolerance, the Fourier method elsewhere, as a
  `RobustPrices`.
- `call_greeks`, `put_greeks`: each price with its exact sensitivities to
  every input and model parameter, as a `Greeks`.

The interpreter lock is released while prices are computed, and every call
evaluates in round-to-nearest whatever floating-point environment the
calling thread has set.

Examples
--------
>>> import numpy as np
>>> import jdpricer_batch
>>> T = np.array([[0.25], [0.5], [1.0]])    # maturities as a column
>>> K = np.linspace(80.0, 120.0, 9)         # strikes as a row
>>> calls = jdpricer_batch.call_prices(T, K, 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 20)
>>> calls.shape
(3, 9)
>>> float(calls[1, 4])
7.959429202982072
"""

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
    *,
    q: ArrayLike = 0.0,
) -> NDArray[np.float64]:
    """Call prices of a book under one Kou model, by the closed form.

    Each price is bit for bit
    ``jdpricer.create_european_call(T, K).priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1, eta2, n)``
    for that option's `T`, `K`, `S` and `r`.

    Parameters
    ----------
    T, K, S, r : array_like
        Maturity in years, strike, spot price and continuously compounded
        risk-free rate per year, option by option: NumPy arrays of any real
        dtype, strides or memory order, sequences or scalars, broadcast
        together by NumPy's rules. Objects in an object array are converted one
        by one as ``float()`` would.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    n : int or "auto"
        Number of terms of the Poisson series, an int in the 32-bit range
        (a float is refused). 0 to 170 are meaningful: ``n <= 0`` keeps the
        jump-free terms only and ``n >= 171`` gives NaN. ``"auto"`` gives each
        maturity its own length, `series_lengths` of it: every result is bit
        for bit the one at that explicit n.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (keyword only; default 0). A result with `q` is the one
        without it at the spot net of dividends, ``S * exp(-q * T)`` (evaluated
        in that order with the C library's ``exp``): for a price, bit for bit.
        Where `q` is 0 the spot is `S` itself, so ``q=0`` changes no bit.

    Returns
    -------
    numpy.ndarray of float64
        A new C-contiguous array of the broadcast shape: 0-d when every column
        is a scalar, empty when an axis is.

    Raises
    ------
    TypeError
        When a model number cannot be converted to float, ``n`` is neither an
        int in the 32-bit range nor ``"auto"``, `workers` is not an int, or a
        column (or `q`) holds ``None``, strings, complex numbers or dates.
    ValueError
        When the columns' and `q`'s shapes do not broadcast (NumPy's error), or
        `workers` is 0 or wraps below 1.
    KeyboardInterrupt
        Or whatever else a signal handler raises: long calls run the handlers
        between chunks of a few milliseconds, so Ctrl-C stops them promptly.

    See Also
    --------
    put_prices : The same for puts.
    call_error_bounds : A bound on the error of each of these prices.
    robust_call_prices : These prices where their bound allows, Fourier prices elsewhere.

    Notes
    -----
    Method: Kou's closed form, a Poisson series cut after `n` terms, evaluated
    in IEEE double precision in one fixed order of operations. What depends on
    the model alone (the jump coefficients, O(n^3)) is computed once per call,
    what depends on the maturity once per distinct maturity, the rest per
    option, eight options side by side. The interpreter lock is released while
    the prices are computed.

    Accuracy: the terms left out cost at most
    ``S*P(N1 > n) + K*exp(-r*T)*P(N2 > n)`` with ``N1 ~ Poisson(lam*(1+zeta)*T)``
    and ``N2 ~ Poisson(lam*T)``, where
    ``zeta = p*eta1/(eta1-1) + (1-p)*eta2/(eta2+1) - 1`` is the mean relative
    jump; ``n >= m + 8*sqrt(m) + 12`` with
    ``m = lam*T*max(1, 1 + zeta)`` puts that below 1e-16*(S + K). Rounding
    leaves 1e-15 to 1e-12 in ordinary regimes, but the closed form cancels once
    ``max(eta1, eta2)*sigma*sqrt(T)`` passes about 6, and from about 37.7 the
    price is NaN: `call_error_bounds` says how far each price can be off, and
    `robust_call_prices` switches to the Fourier method where it is too far.

    Bits: every price is bit for bit what :mod:`jdpricer` gives for that option,
    on every build, thread and interpreter, whatever rounding mode,
    flush-to-zero setting or floating-point traps the calling thread has set
    (they are restored on return). Nothing is validated: NaN, infinities,
    signed zeros and inputs outside the model's domain give the same float as
    :mod:`jdpricer`, never an exception.

    Examples
    --------
    A surface: maturities as a column, strikes as a row.

    >>> import numpy as np
    >>> import jdpricer, jdpricer_batch
    >>> T = np.array([[0.25], [0.5]])
    >>> K = [90.0, 100.0, 110.0]
    >>> calls = jdpricer_batch.call_prices(T, K, 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 20)
    >>> calls.round(6).tolist()
    [[12.494359, 5.091171, 1.422437], [14.811891, 7.959429, 3.59965]]

    Each is the single option's price to the bit:

    >>> call = jdpricer.create_european_call(0.5, 100.0)
    >>> float(calls[1, 1]) == call.priceByKouJumpDiffusion(100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 20)
    True

    Scalars give a 0-d array:

    >>> float(jdpricer_batch.call_prices(0.5, 98.0, 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 20))
    9.147317303936923
    """

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
    *,
    q: ArrayLike = 0.0,
) -> NDArray[np.float64]:
    """Put prices of a book under one Kou model, by the closed form.

    Each price is bit for bit
    ``jdpricer.create_european_put(T, K).priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1, eta2, n)``
    for that option's `T`, `K`, `S` and `r`: the call of the same contract
    by parity, ``(exp(-r*T)*K + C) - S``.

    Parameters
    ----------
    T, K, S, r : array_like
        Maturity in years, strike, spot price and continuously compounded
        risk-free rate per year, option by option: NumPy arrays of any real
        dtype, strides or memory order, sequences or scalars, broadcast
        together by NumPy's rules. Objects in an object array are converted one
        by one as ``float()`` would.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    n : int or "auto"
        Number of terms of the Poisson series, an int in the 32-bit range
        (a float is refused). 0 to 170 are meaningful: ``n <= 0`` keeps the
        jump-free terms only and ``n >= 171`` gives NaN. ``"auto"`` gives each
        maturity its own length, `series_lengths` of it: every result is bit
        for bit the one at that explicit n.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (keyword only; default 0). A result with `q` is the one
        without it at the spot net of dividends, ``S * exp(-q * T)`` (evaluated
        in that order with the C library's ``exp``): for a price, bit for bit.
        Where `q` is 0 the spot is `S` itself, so ``q=0`` changes no bit.

    Returns
    -------
    numpy.ndarray of float64
        A new C-contiguous array of the broadcast shape: 0-d when every column
        is a scalar, empty when an axis is.

    Raises
    ------
    TypeError
        When a model number cannot be converted to float, ``n`` is neither an
        int in the 32-bit range nor ``"auto"``, `workers` is not an int, or a
        column (or `q`) holds ``None``, strings, complex numbers or dates.
    ValueError
        When the columns' and `q`'s shapes do not broadcast (NumPy's error), or
        `workers` is 0 or wraps below 1.
    KeyboardInterrupt
        Or whatever else a signal handler raises: long calls run the handlers
        between chunks of a few milliseconds, so Ctrl-C stops them promptly.

    See Also
    --------
    call_prices : The same for calls, with the method in full.
    put_error_bounds : A bound on the error of each of these prices.
    robust_put_prices : These prices where their bound allows, Fourier prices elsewhere.

    Notes
    -----
    Method, accuracy and bits are those of `call_prices`: the put is priced
    from the call by parity, so it has the call's absolute error, and every
    price is bit for bit :mod:`jdpricer`'s on every build, thread and
    interpreter and under any floating-point environment of the caller.

    Examples
    --------
    >>> import jdpricer, jdpricer_batch
    >>> puts = jdpricer_batch.put_prices(T=0.5, K=[90.0, 98.0], S=100.0, r=0.05, sigma=0.16,
    ...                                  lam=1.0, p=0.4, eta1=10.0, eta2=5.0, n=20)
    >>> puts.round(6).tolist()
    [2.589783, 4.727689]

    Keyword arguments work as positions do, and each price is the single
    option's to the bit:

    >>> put = jdpricer.create_european_put(0.5, 98.0)
    >>> float(puts[1]) == put.priceByKouJumpDiffusion(100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 20)
    True
    """

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
    *,
    q: ArrayLike = 0.0,
) -> NDArray[np.float64]:
    """Call prices of a book by the Fourier (cosine-series) method.

    Parameters
    ----------
    T, K, S, r : array_like
        Maturity in years, strike, spot price and continuously compounded
        risk-free rate per year, option by option: NumPy arrays of any real
        dtype, strides or memory order, sequences or scalars, broadcast
        together by NumPy's rules. Objects in an object array are converted one
        by one as ``float()`` would.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (keyword only; default 0). A result with `q` is the one
        without it at the spot net of dividends, ``S * exp(-q * T)`` (evaluated
        in that order with the C library's ``exp``): for a price, bit for bit.
        Where `q` is 0 the spot is `S` itself, so ``q=0`` changes no bit.

    Returns
    -------
    numpy.ndarray of float64
        A new C-contiguous array of the broadcast shape: 0-d when every column
        is a scalar, empty when an axis is.

    Raises
    ------
    TypeError
        When a model number cannot be converted to float, `workers` is not an
        int, or a column holds ``None``, strings, complex numbers or dates.
    ValueError
        When the columns' and `q`'s shapes do not broadcast (NumPy's error), or
        `workers` is 0 or wraps below 1.
    KeyboardInterrupt
        Or whatever else a signal handler raises between chunks of a long call.

    See Also
    --------
    fourier_put_prices : The same for puts.
    call_prices : The closed form, bit for bit :mod:`jdpricer`.
    robust_call_prices : The closed form where its bound allows, these prices elsewhere.

    Notes
    -----
    Method: the cosine series (COS) of the characteristic function of
    log(S_T/S). The put is summed from the series (its payoff is bounded), the
    call follows by parity. The range comes from a Chernoff bound on the
    cumulant generating function and the number of terms from the Gaussian
    decay of the characteristic function, so that truncation is below
    1e-16*K; what depends on the maturity and the model is computed once per
    distinct maturity. The work falls as eta*sigma*sqrt(T) grows (about 50
    terms at 14, 340 at the reference contract, 1,300 at 0.2): the method is
    cheap and accurate exactly where the closed form cancels. Without
    diffusion (``sigma = 0``) the characteristic function does not decay: the
    price is then a sum over the number of jumps of gamma-mixture
    probabilities (incomplete gamma functions). Where the series would need
    more than 65,536 terms (minutes to expiry, or sigma near 0), the closed
    form is well conditioned: it prices the option with its series length
    from the Poisson tails, and the price is kept only where its rigorous
    error bound is within the stated accuracy.

    Accuracy: within 1e-14*(S + K) of the exact price, calls and puts alike.
    This is measured, not proven (the worst on the test grid is
    5.7e-16*(S + K)); it is absolute, so a deep out-of-the-money price far below
    it keeps few correct digits.

    Bits: these are not the closed form's bits. Each price is deterministic
    for a given build of the maths library, in every thread and on every
    interpreter, and evaluated in round-to-nearest whatever floating-point
    environment the caller has set. NaN outside the model's domain
    (``sigma < 0``, ``T <= 0``, ``S <= 0``, ``K <= 0``, ``lam < 0``, `p`
    outside [0, 1], ``eta1 <= 1``, ``eta2 <= 0``, a non-finite input) and
    where neither method reaches the stated accuracy. The interpreter lock
    is released while the prices are computed.

    Examples
    --------
    Where the closed form is accurate, the two methods agree to about 1e-14:

    >>> import jdpricer_batch
    >>> model = (0.16, 1.0, 0.4, 10.0, 5.0)    # sigma, lam, p, eta1, eta2
    >>> fourier = jdpricer_batch.fourier_call_prices(0.5, [90.0, 98.0], 100.0, 0.05, *model)
    >>> closed = jdpricer_batch.call_prices(0.5, [90.0, 98.0], 100.0, 0.05, *model, 20)
    >>> bool(abs(fourier - closed).max() < 1e-12)
    True

    Where it cancels (max(eta1, eta2)*sigma*sqrt(T) = 14), only this method
    prices:

    >>> hard = (0.5, 1.0, 0.4, 20.0, 20.0)     # sigma, lam, p, eta1, eta2
    >>> round(float(jdpricer_batch.fourier_call_prices(2.0, 100.0, 100.0, 0.05, *hard)), 8)
    31.57234743
    """

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
    *,
    q: ArrayLike = 0.0,
) -> NDArray[np.float64]:
    """Put prices of a book by the Fourier (cosine-series) method.

    Parameters
    ----------
    T, K, S, r : array_like
        Maturity in years, strike, spot price and continuously compounded
        risk-free rate per year, option by option: NumPy arrays of any real
        dtype, strides or memory order, sequences or scalars, broadcast
        together by NumPy's rules. Objects in an object array are converted one
        by one as ``float()`` would.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (keyword only; default 0). A result with `q` is the one
        without it at the spot net of dividends, ``S * exp(-q * T)`` (evaluated
        in that order with the C library's ``exp``): for a price, bit for bit.
        Where `q` is 0 the spot is `S` itself, so ``q=0`` changes no bit.

    Returns
    -------
    numpy.ndarray of float64
        A new C-contiguous array of the broadcast shape: 0-d when every column
        is a scalar, empty when an axis is.

    Raises
    ------
    TypeError
        When a model number cannot be converted to float, `workers` is not an
        int, or a column holds ``None``, strings, complex numbers or dates.
    ValueError
        When the columns' and `q`'s shapes do not broadcast (NumPy's error), or
        `workers` is 0 or wraps below 1.
    KeyboardInterrupt
        Or whatever else a signal handler raises between chunks of a long call.

    See Also
    --------
    fourier_call_prices : The same for calls.
    put_prices : The closed form, bit for bit :mod:`jdpricer`.

    Notes
    -----
    Method: the cosine series (COS) of the characteristic function of
    log(S_T/S). The put is summed from the series (its payoff is bounded), the
    call follows by parity. The range comes from a Chernoff bound on the
    cumulant generating function and the number of terms from the Gaussian
    decay of the characteristic function, so that truncation is below
    1e-16*K; what depends on the maturity and the model is computed once per
    distinct maturity. The work falls as eta*sigma*sqrt(T) grows (about 50
    terms at 14, 340 at the reference contract, 1,300 at 0.2): the method is
    cheap and accurate exactly where the closed form cancels. Without
    diffusion (``sigma = 0``) the characteristic function does not decay: the
    price is then a sum over the number of jumps of gamma-mixture
    probabilities (incomplete gamma functions). Where the series would need
    more than 65,536 terms (minutes to expiry, or sigma near 0), the closed
    form is well conditioned: it prices the option with its series length
    from the Poisson tails, and the price is kept only where its rigorous
    error bound is within the stated accuracy.

    Accuracy: within 1e-14*(S + K) of the exact price, calls and puts alike.
    This is measured, not proven (the worst on the test grid is
    5.7e-16*(S + K)); it is absolute, so a deep out-of-the-money price far below
    it keeps few correct digits.

    Bits: these are not the closed form's bits. Each price is deterministic
    for a given build of the maths library, in every thread and on every
    interpreter, and evaluated in round-to-nearest whatever floating-point
    environment the caller has set. NaN outside the model's domain
    (``sigma < 0``, ``T <= 0``, ``S <= 0``, ``K <= 0``, ``lam < 0``, `p`
    outside [0, 1], ``eta1 <= 1``, ``eta2 <= 0``, a non-finite input) and
    where neither method reaches the stated accuracy. The interpreter lock
    is released while the prices are computed.

    Examples
    --------
    >>> import jdpricer_batch
    >>> model = (0.16, 1.0, 0.4, 10.0, 5.0)    # sigma, lam, p, eta1, eta2
    >>> round(float(jdpricer_batch.fourier_put_prices(0.5, 98.0, 100.0, 0.05, *model)), 10)
    4.7276886827
    >>> float(jdpricer_batch.fourier_put_prices(0.5, 98.0, 100.0, 0.05, -0.1, 1.0, 0.4, 10.0, 5.0))
    nan
    """

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
    *,
    q: ArrayLike = 0.0,
) -> NDArray[np.float64]:
    """Bounds on the error of each closed-form call price.

    For every option, a number B with ``abs(computed - true) <= B``, where
    computed is what `call_prices` returns for the same arguments and true is
    the model's exact price. With a dividend yield the true price is the one
    at the exact net spot ``S*exp(-q*T)``: the bound is the one at the computed
    net spot plus how far that spot's own rounding can move a price,
    ``(abs(q*T) + 3.01)*u*S*exp(-q*T)`` (the absolute delta is at most 1; u = 2**-53).

    Parameters
    ----------
    T, K, S, r : array_like
        Maturity in years, strike, spot price and continuously compounded
        risk-free rate per year, option by option: NumPy arrays of any real
        dtype, strides or memory order, sequences or scalars, broadcast
        together by NumPy's rules. Objects in an object array are converted one
        by one as ``float()`` would.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    n : int or "auto"
        Number of terms of the Poisson series, an int in the 32-bit range
        (a float is refused). 0 to 170 are meaningful: ``n <= 0`` keeps the
        jump-free terms only and ``n >= 171`` gives NaN. ``"auto"`` gives each
        maturity its own length, `series_lengths` of it: every result is bit
        for bit the one at that explicit n.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (keyword only; default 0). A result with `q` is the one
        without it at the spot net of dividends, ``S * exp(-q * T)`` (evaluated
        in that order with the C library's ``exp``): for a price, bit for bit.
        Where `q` is 0 the spot is `S` itself, so ``q=0`` changes no bit.

    Returns
    -------
    numpy.ndarray of float64
        The bounds, of the broadcast shape (0-d when every column is a scalar):
        ``inf`` outside the model's domain (``sigma <= 0``, ``T <= 0``,
        ``S <= 0``, ``K <= 0``, ``lam < 0``, `p` outside [0, 1], ``eta1 <= 1``,
        ``eta2 <= 0``, a non-finite input), for ``n >= 171`` and wherever the
        price is not finite.

    Raises
    ------
    TypeError
        When a model number cannot be converted to float, ``n`` is neither an
        int in the 32-bit range nor ``"auto"``, `workers` is not an int, or a
        column (or `q`) holds ``None``, strings, complex numbers or dates.
    ValueError
        When the columns' and `q`'s shapes do not broadcast (NumPy's error), or
        `workers` is 0 or wraps below 1.
    KeyboardInterrupt
        Or whatever else a signal handler raises: long calls run the handlers
        between chunks of a few milliseconds, so Ctrl-C stops them promptly.

    See Also
    --------
    call_prices : The prices these bounds are for.
    robust_call_prices : Bounds and prices at once, with the Fourier method where a bound is too large.

    Notes
    -----
    Method: the sum of two parts. Truncation: each Poisson mixture of
    probabilities cut after `n` terms misses at most
    ``S*P(M1 > n) + K*exp(-r*T)*P(M2 > n)``, ``M1 ~ Poisson((1 + zeta)*lam*T)``,
    ``M2 ~ Poisson(lam*T)``, ``zeta`` the mean relative jump (see
    `call_prices`). Rounding: the price is evaluated again in bounded
    arithmetic beside the closed form's own evaluation, maturity by maturity.
    Once the Hh values are formed the closed form is linear in them, so the
    errors of the unstable upward Hh recursion are carried through the
    recursion's adjoint against the maturity's weights, which keeps the signs
    with which later steps cancel them. Everything else is bounded by
    magnitudes along each term's own path, library functions at twice their
    published accuracy (glibc on x86-64).

    Accuracy: over the test grid (eta*sigma*sqrt(T) from 0.2 to 60, lam*T
    from 0.02 to 50) and on a grid of maturities up to 6 years the bound was
    never below the error against 30-digit prices. Where the closed form is
    well conditioned the worst bound of a maturity is within 20 to 71 times
    its worst error (a single option's bound at most about 230 times its own
    error, of one ulp); where the closed form cancels it is far larger than
    the error, and far above any useful tolerance. It costs about 2 to 3
    times the prices (O(n) per option beside the price's O(n^2)).

    Bits: the value carried through the bounded evaluation is the closed-form
    price to the bit, so each bound is about the very number `call_prices`
    returns. The interpreter lock is released while the bounds are computed.

    Examples
    --------
    >>> import jdpricer_batch
    >>> model = (0.16, 1.0, 0.4, 10.0, 5.0)    # sigma, lam, p, eta1, eta2
    >>> bounds = jdpricer_batch.call_error_bounds([0.25, 0.5], 98.0, 100.0, 0.05, *model, 20)
    >>> bool((bounds < 1e-12).all())
    True

    Too few terms show as truncation:

    >>> f"{float(jdpricer_batch.call_error_bounds(0.5, 98.0, 100.0, 0.05, *model, 5)):.1e}"
    '2.4e-03'

    Where the closed form cancels (max(eta1, eta2)*sigma*sqrt(T) = 14), the
    bound says the price is worthless; the Fourier method prices it:

    >>> hard = (0.5, 1.0, 0.4, 20.0, 20.0)
    >>> closed = float(jdpricer_batch.call_prices(2.0, 100.0, 100.0, 0.05, *hard, 26))
    >>> bound = float(jdpricer_batch.call_error_bounds(2.0, 100.0, 100.0, 0.05, *hard, 26))
    >>> round(float(jdpricer_batch.fourier_call_prices(2.0, 100.0, 100.0, 0.05, *hard)), 8)
    31.57234743
    >>> abs(closed - 31.57234743) <= bound
    True
    >>> bound > 1e6
    True
    """

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
    *,
    q: ArrayLike = 0.0,
) -> NDArray[np.float64]:
    """Bounds on the error of each closed-form put price.

    For every option, a number B with ``abs(computed - true) <= B``, where
    computed is what `put_prices` returns for the same arguments.

    Parameters
    ----------
    T, K, S, r : array_like
        Maturity in years, strike, spot price and continuously compounded
        risk-free rate per year, option by option: NumPy arrays of any real
        dtype, strides or memory order, sequences or scalars, broadcast
        together by NumPy's rules. Objects in an object array are converted one
        by one as ``float()`` would.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    n : int or "auto"
        Number of terms of the Poisson series, an int in the 32-bit range
        (a float is refused). 0 to 170 are meaningful: ``n <= 0`` keeps the
        jump-free terms only and ``n >= 171`` gives NaN. ``"auto"`` gives each
        maturity its own length, `series_lengths` of it: every result is bit
        for bit the one at that explicit n.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (keyword only; default 0). A result with `q` is the one
        without it at the spot net of dividends, ``S * exp(-q * T)`` (evaluated
        in that order with the C library's ``exp``): for a price, bit for bit.
        Where `q` is 0 the spot is `S` itself, so ``q=0`` changes no bit.

    Returns
    -------
    numpy.ndarray of float64
        The bounds, of the broadcast shape: ``inf`` outside the model's domain,
        for ``n >= 171`` and wherever the price is not finite, as in
        `call_error_bounds`.

    Raises
    ------
    TypeError
        When a model number cannot be converted to float, ``n`` is neither an
        int in the 32-bit range nor ``"auto"``, `workers` is not an int, or a
        column (or `q`) holds ``None``, strings, complex numbers or dates.
    ValueError
        When the columns' and `q`'s shapes do not broadcast (NumPy's error), or
        `workers` is 0 or wraps below 1.
    KeyboardInterrupt
        Or whatever else a signal handler raises: long calls run the handlers
        between chunks of a few milliseconds, so Ctrl-C stops them promptly.

    See Also
    --------
    put_prices : The prices these bounds are for.
    call_error_bounds : The same for calls, with the method in full.

    Notes
    -----
    Method, accuracy and bits are those of `call_error_bounds`: the call's
    bound plus the rounding of the parity step, for the very number
    `put_prices` returns.

    Examples
    --------
    >>> import jdpricer_batch
    >>> bound = jdpricer_batch.put_error_bounds(0.5, 98.0, 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 20)
    >>> bool(0.0 < bound < 1e-12)
    True
    >>> float(jdpricer_batch.put_error_bounds(0.5, 98.0, 100.0, 0.05, 0.0, 1.0, 0.4, 10.0, 5.0, 20))
    inf
    """

class RobustPrices(NamedTuple):
    """The result of `robust_call_prices` and `robust_put_prices`.

    A named tuple of three arrays of the book's broadcast shape.

    Attributes
    ----------
    prices : numpy.ndarray of float64
        The price of each option.
    bounds : numpy.ndarray of float64
        A bound on the error of each price: a rigorous bound within the
        tolerance where the closed form priced, or the Fourier method's stated
        accuracy, 1e-14*(S + K).
    fourier : numpy.ndarray of bool
        True where the Fourier method priced, False where the closed form did.

    Examples
    --------
    >>> import jdpricer_batch
    >>> model = (0.16, 1.0, 0.4, 10.0, 5.0)    # sigma, lam, p, eta1, eta2
    >>> result = jdpricer_batch.robust_call_prices(0.5, 98.0, 100.0, 0.05, *model, 20, 1e-9)
    >>> result._fields
    ('prices', 'bounds', 'fourier')
    >>> float(result.prices)
    9.147317303936923
    """

    prices: NDArray[np.float64]
    """The price of each option (float64)."""
    bounds: NDArray[np.float64]
    """A bound on the error of each price (float64): a rigorous bound within the tolerance where the closed form priced, or the Fourier method's stated accuracy, 1e-14*(S + K)."""
    fourier: NDArray[np.bool_]
    """Where the Fourier method priced (bool); False where the closed form did."""

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
    *,
    q: ArrayLike = 0.0,
) -> RobustPrices:
    """Call prices with error bounds, by the closed form or the Fourier method.

    The closed form where its error bound is within `tolerance`, the Fourier
    method elsewhere.

    Parameters
    ----------
    T, K, S, r : array_like
        Maturity in years, strike, spot price and continuously compounded
        risk-free rate per year, option by option: NumPy arrays of any real
        dtype, strides or memory order, sequences or scalars, broadcast
        together by NumPy's rules. Objects in an object array are converted one
        by one as ``float()`` would.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    n : int or "auto"
        Number of terms of the Poisson series, an int in the 32-bit range
        (a float is refused). 0 to 170 are meaningful: ``n <= 0`` keeps the
        jump-free terms only and ``n >= 171`` gives NaN. ``"auto"`` gives each
        maturity its own length, `series_lengths` of it: every result is bit
        for bit the one at that explicit n.
    tolerance : float
        The largest error bound at which a closed-form price is kept.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (keyword only; default 0). A result with `q` is the one
        without it at the spot net of dividends, ``S * exp(-q * T)`` (evaluated
        in that order with the C library's ``exp``): for a price, bit for bit.
        Where `q` is 0 the spot is `S` itself, so ``q=0`` changes no bit.

    Returns
    -------
    RobustPrices
        ``(prices, bounds, fourier)``, three arrays of the broadcast shape: the
        prices (float64), the bound on the error of each (float64) and where the
        Fourier method priced (bool).

    Raises
    ------
    TypeError
        When a model number cannot be converted to float, ``n`` is neither an
        int in the 32-bit range nor ``"auto"``, `workers` is not an int, or a
        column (or `q`) holds ``None``, strings, complex numbers or dates.
    ValueError
        When the columns' and `q`'s shapes do not broadcast (NumPy's error), or
        `workers` is 0 or wraps below 1.
    KeyboardInterrupt
        Or whatever else a signal handler raises: long calls run the handlers
        between chunks of a few milliseconds, so Ctrl-C stops them promptly.

    See Also
    --------
    robust_put_prices : The same for puts.
    call_prices, call_error_bounds, fourier_call_prices : The methods it combines.

    Notes
    -----
    Method: an option whose truncation alone (the Poisson terms past `n`)
    exceeds `tolerance` goes to the Fourier method at once, since no bound of
    the closed form can be lower. Every other option is priced by the closed
    form with a screen beside it, a rigorous bound cheaper and looser than
    ``call_error_bounds`` (each rounding by its magnitude; where that comes
    near `tolerance`, the Hh recursion's errors through its adjoint). Options
    whose screen is above `tolerance` get the full bound of
    ``call_error_bounds`` (at once, without the screen, where the tolerance is
    below 16 n u (S + K), u = 2**-53, which the screen hardly ever meets);
    those whose full bound is above it too (or not finite) are priced again by
    the Fourier method, whose stated accuracy, 1e-14*(S + K), becomes their
    bound. Near the money the Fourier method takes over once
    max(eta1, eta2)*sigma*sqrt(T) passes about 5 to 8, depending on `n` and the
    tolerance.

    Accuracy: each price is within its bound, rigorously where the closed form
    priced, by measurement where the Fourier method did. A closed-form bound is
    the screen's where that is within `tolerance`, so it may exceed the one
    ``call_error_bounds`` gives, never the tolerance. The cost where the screen
    settles every option is about 1.2 to 1.5 times the closed form's; options
    it does not settle add their full bounds (2 to 3 times a price) and their
    Fourier prices; options cut short by truncation cost their Fourier prices
    only.

    Dividend yield: every bound includes the rounding of the option's net spot
    (see `call_error_bounds`), and the closed form keeps an option only where
    its bound, that rounding included, is within `tolerance`.

    Bits: where ``fourier`` is False the price is bit for bit the closed
    form's (and so :mod:`jdpricer`'s); elsewhere it is the Fourier method's.
    The interpreter lock is released while prices are computed.

    Examples
    --------
    A tame maturity and one where the closed form cancels:

    >>> import jdpricer_batch
    >>> hard = (0.5, 1.0, 0.4, 20.0, 20.0)     # sigma, lam, p, eta1, eta2
    >>> robust = jdpricer_batch.robust_call_prices([0.02, 2.0], 100.0, 100.0, 0.05, *hard, 26, 1e-9)
    >>> robust.fourier.tolist()
    [False, True]
    >>> robust.prices.round(8).tolist()
    [2.89033347, 31.57234743]
    >>> bool((robust.bounds <= 1e-9).all())
    True
    """

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
    *,
    q: ArrayLike = 0.0,
) -> RobustPrices:
    """Put prices with error bounds, by the closed form or the Fourier method.

    The closed form where its error bound is within `tolerance`, the Fourier
    method elsewhere.

    Parameters
    ----------
    T, K, S, r : array_like
        Maturity in years, strike, spot price and continuously compounded
        risk-free rate per year, option by option: NumPy arrays of any real
        dtype, strides or memory order, sequences or scalars, broadcast
        together by NumPy's rules. Objects in an object array are converted one
        by one as ``float()`` would.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    n : int or "auto"
        Number of terms of the Poisson series, an int in the 32-bit range
        (a float is refused). 0 to 170 are meaningful: ``n <= 0`` keeps the
        jump-free terms only and ``n >= 171`` gives NaN. ``"auto"`` gives each
        maturity its own length, `series_lengths` of it: every result is bit
        for bit the one at that explicit n.
    tolerance : float
        The largest error bound at which a closed-form price is kept.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (keyword only; default 0). A result with `q` is the one
        without it at the spot net of dividends, ``S * exp(-q * T)`` (evaluated
        in that order with the C library's ``exp``): for a price, bit for bit.
        Where `q` is 0 the spot is `S` itself, so ``q=0`` changes no bit.

    Returns
    -------
    RobustPrices
        ``(prices, bounds, fourier)``, as `robust_call_prices` returns for calls.

    Raises
    ------
    TypeError
        When a model number cannot be converted to float, ``n`` is neither an
        int in the 32-bit range nor ``"auto"``, `workers` is not an int, or a
        column (or `q`) holds ``None``, strings, complex numbers or dates.
    ValueError
        When the columns' and `q`'s shapes do not broadcast (NumPy's error), or
        `workers` is 0 or wraps below 1.
    KeyboardInterrupt
        Or whatever else a signal handler raises: long calls run the handlers
        between chunks of a few milliseconds, so Ctrl-C stops them promptly.

    See Also
    --------
    robust_call_prices : The same for calls.
    put_prices, put_error_bounds, fourier_put_prices : The methods it combines.

    Notes
    -----
    Method: an option whose truncation alone (the Poisson terms past `n`)
    exceeds `tolerance` goes to the Fourier method at once, since no bound of
    the closed form can be lower. Every other option is priced by the closed
    form with a screen beside it, a rigorous bound cheaper and looser than
    ``call_error_bounds`` (each rounding by its magnitude; where that comes
    near `tolerance`, the Hh recursion's errors through its adjoint). Options
    whose screen is above `tolerance` get the full bound of
    ``call_error_bounds`` (at once, without the screen, where the tolerance is
    below 16 n u (S + K), u = 2**-53, which the screen hardly ever meets);
    those whose full bound is above it too (or not finite) are priced again by
    the Fourier method, whose stated accuracy, 1e-14*(S + K), becomes their
    bound. Near the money the Fourier method takes over once
    max(eta1, eta2)*sigma*sqrt(T) passes about 5 to 8, depending on `n` and the
    tolerance.

    Accuracy: each price is within its bound, rigorously where the closed form
    priced, by measurement where the Fourier method did. A closed-form bound is
    the screen's where that is within `tolerance`, so it may exceed the one
    ``call_error_bounds`` gives, never the tolerance. The cost where the screen
    settles every option is about 1.2 to 1.5 times the closed form's; options
    it does not settle add their full bounds (2 to 3 times a price) and their
    Fourier prices; options cut short by truncation cost their Fourier prices
    only.

    Dividend yield: every bound includes the rounding of the option's net spot
    (see `call_error_bounds`), and the closed form keeps an option only where
    its bound, that rounding included, is within `tolerance`.

    Bits: where ``fourier`` is False the price is bit for bit the closed
    form's (and so :mod:`jdpricer`'s); elsewhere it is the Fourier method's.
    The interpreter lock is released while prices are computed.

    Examples
    --------
    >>> import jdpricer_batch
    >>> model = (0.16, 1.0, 0.4, 10.0, 5.0)    # sigma, lam, p, eta1, eta2
    >>> robust = jdpricer_batch.robust_put_prices(0.5, 98.0, 100.0, 0.05, *model, 20, 1e-9)
    >>> prices, bounds, fourier = robust
    >>> float(prices) == float(jdpricer_batch.put_prices(0.5, 98.0, 100.0, 0.05, *model, 20))
    True
    >>> bool(fourier)
    False
    """

class Greeks(NamedTuple):
    """The result of `call_greeks` and `put_greeks`.

    A named tuple of twelve float64 arrays of the book's broadcast shape: the
    price and its exact derivatives, to rounding, of the n-term series that
    gives it.

    Attributes
    ----------
    price : numpy.ndarray of float64
        The price, bit for bit `call_prices` or `put_prices`.
    delta : numpy.ndarray of float64
        dV/dS.
    gamma : numpy.ndarray of float64
        d2V/dS2.
    vega : numpy.ndarray of float64
        dV/dsigma, per unit of sigma.
    theta : numpy.ndarray of float64
        -dV/dT, per year: the change of the value as time passes.
    rho : numpy.ndarray of float64
        dV/dr, per unit of rate.
    dual_delta : numpy.ndarray of float64
        dV/dK.
    dlam : numpy.ndarray of float64
        dV/dlam.
    dp : numpy.ndarray of float64
        dV/dp.
    deta1 : numpy.ndarray of float64
        dV/deta1.
    deta2 : numpy.ndarray of float64
        dV/deta2.
    psi : numpy.ndarray of float64
        dV/dq, per unit of dividend yield: ``-T * S * exp(-q*T) * delta0``,
        delta0 being the delta at the net spot. With a yield, delta and gamma
        are the net spot's times ``exp(-q*T)`` and its square, and theta gains
        ``q * S * exp(-q*T) * delta0`` (the net spot moves with T).

    Examples
    --------
    >>> import jdpricer_batch
    >>> g = jdpricer_batch.call_greeks(0.5, 98.0, 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 20)
    >>> g._fields[:4]
    ('price', 'delta', 'gamma', 'vega')
    >>> float(g.price) == float(jdpricer_batch.call_prices(0.5, 98.0, 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 20))
    True
    """

    price: NDArray[np.float64]
    """The price, bit for bit `call_prices` or `put_prices`."""
    delta: NDArray[np.float64]
    """dV/dS."""
    gamma: NDArray[np.float64]
    """d2V/dS2."""
    vega: NDArray[np.float64]
    """dV/dsigma, per unit of sigma."""
    theta: NDArray[np.float64]
    """-dV/dT, per year: the change of the value as time passes."""
    rho: NDArray[np.float64]
    """dV/dr, per unit of rate."""
    dual_delta: NDArray[np.float64]
    """dV/dK."""
    dlam: NDArray[np.float64]
    """dV/dlam."""
    dp: NDArray[np.float64]
    """dV/dp."""
    deta1: NDArray[np.float64]
    """dV/deta1."""
    deta2: NDArray[np.float64]
    """dV/deta2."""
    psi: NDArray[np.float64]
    """dV/dq, per unit of dividend yield."""

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
    n: _SeriesLength,
    workers: SupportsIndex = 1,
    *,
    q: ArrayLike = 0.0,
) -> Greeks:
    """Call prices and all their Greeks for a broadcast book.

    Every field is the exact derivative, to rounding, of the n-term closed-form
    series whose value is the price; the price is bit for bit ``call_prices``.

    Parameters
    ----------
    T, K, S, r : array_like
        Maturity in years, strike, spot price and continuously compounded
        risk-free rate per year, option by option: NumPy arrays of any real
        dtype, strides or memory order, sequences or scalars, broadcast
        together by NumPy's rules. Objects in an object array are converted one
        by one as ``float()`` would.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    n : int or "auto"
        Number of terms of the Poisson series, an int in the 32-bit range
        (a float is refused). 0 to 170 are meaningful: ``n <= 0`` keeps the
        jump-free terms only and ``n >= 171`` gives NaN. ``"auto"`` gives each
        maturity its own length, `series_lengths` of it: every result is bit
        for bit the one at that explicit n.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (keyword only; default 0). A result with `q` is the one
        without it at the spot net of dividends, ``S * exp(-q * T)`` (evaluated
        in that order with the C library's ``exp``): for a price, bit for bit.
        Where `q` is 0 the spot is `S` itself, so ``q=0`` changes no bit.

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
        When a model number cannot be converted to float, ``n`` is neither an
        int in the 32-bit range nor ``"auto"``, `workers` is not an int, or a
        column (or `q`) holds ``None``, strings, complex numbers or dates.
    ValueError
        When the columns' and `q`'s shapes do not broadcast (NumPy's error), or
        `workers` is 0 or wraps below 1.
    KeyboardInterrupt
        Or whatever else a signal handler raises: long calls run the handlers
        between chunks of a few milliseconds, so Ctrl-C stops them promptly.

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
    infinite inputs propagate. With ``n="auto"`` every field is bit for bit
    the one at its maturity's explicit length. The lock is released while
    pricing, with interrupt checks between chunks; the standard floating-point
    environment is pinned, so results are the same on CPython and PyPy. With
    several workers the model's work (the coefficients and their derivatives)
    stays on the calling thread and the maturities are shared out; every field
    keeps its bits.

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
    n: _SeriesLength,
    workers: SupportsIndex = 1,
    *,
    q: ArrayLike = 0.0,
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
        Maturity in years, strike, spot price and continuously compounded
        risk-free rate per year, option by option: NumPy arrays of any real
        dtype, strides or memory order, sequences or scalars, broadcast
        together by NumPy's rules. Objects in an object array are converted one
        by one as ``float()`` would.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    n : int or "auto"
        Number of terms of the Poisson series, an int in the 32-bit range
        (a float is refused). 0 to 170 are meaningful: ``n <= 0`` keeps the
        jump-free terms only and ``n >= 171`` gives NaN. ``"auto"`` gives each
        maturity its own length, `series_lengths` of it: every result is bit
        for bit the one at that explicit n.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (keyword only; default 0). A result with `q` is the one
        without it at the spot net of dividends, ``S * exp(-q * T)`` (evaluated
        in that order with the C library's ``exp``): for a price, bit for bit.
        Where `q` is 0 the spot is `S` itself, so ``q=0`` changes no bit.

    Returns
    -------
    Greeks
        A named tuple of float64 arrays of the broadcast shape, the fields of
        ``call_greeks`` in the same order and conventions.

    Raises
    ------
    TypeError
        When a model number cannot be converted to float, ``n`` is neither an
        int in the 32-bit range nor ``"auto"``, `workers` is not an int, or a
        column (or `q`) holds ``None``, strings, complex numbers or dates.
    ValueError
        When the columns' and `q`'s shapes do not broadcast (NumPy's error), or
        `workers` is 0 or wraps below 1.
    KeyboardInterrupt
        Or whatever else a signal handler raises: long calls run the handlers
        between chunks of a few milliseconds, so Ctrl-C stops them promptly.

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

def touch_prices(
    T: ArrayLike,
    H: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    kind: Literal["one-touch", "no-touch"],
    at: Literal["hit", "expiry"] | None = None,
    q: ArrayLike = 0.0,
    workers: SupportsIndex = 1,
) -> NDArray[np.float64]:
    """Touch options of a book under one Kou model, continuously monitored.

    A one-touch pays 1 when the spot first reaches the barrier `H` before `T`
    (at that moment, or at expiry); a no-touch pays 1 at expiry if it never
    does. The barrier is up where ``H > S`` and down where ``H < S``.

    Parameters
    ----------
    T, H, S, r : array_like
        Maturity in years, barrier, spot price and continuously compounded
        risk-free rate per year, option by option, converted and broadcast as
        the columns of `call_prices`.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    kind : {"one-touch", "no-touch"}
        The product.
    at : {"hit", "expiry"}, optional
        When a one-touch pays: at the hit (the default for a one-touch) or at
        expiry. A no-touch pays at expiry (the default for it; "hit" raises).
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (default 0). It lowers the risk-neutral drift of the
        log-price to ``r - q - sigma**2/2 - lam*zeta``; the product watches the
        spot S itself, so the price is not the one at a net spot.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.

    Returns
    -------
    numpy.ndarray of float64
        The values, of the broadcast shape (0-d when every column is a scalar).

    Raises
    ------
    ValueError
        For another `kind` or `at`, a no-touch paid at the hit, shapes that do
        not broadcast, or `workers` 0 or wrapping below 1.
    TypeError
        As for `call_prices`, for columns, model numbers and `workers`.

    Notes
    -----
    Values: with tau the first time the spot reaches `H`, the one-touch at the
    hit is ``E[exp(-r*tau); tau <= T]``, the one-touch at expiry
    ``exp(-r*T) * P(tau <= T)`` and the no-touch ``exp(-r*T) * (1 - P(tau <= T))``,
    under the risk-neutral measure with dividend yield `q`. So the
    first-passage probability ``P(tau <= T)`` is the one-touch at expiry times
    ``exp(r*T)``, for those who want exactly that (credit, insurance).

    Method: Kou and Wang's first-passage transform. Because the jumps are
    exponential, the overshoot past a level is again exponential and
    independent of the time of the crossing, so ``E exp(-alpha*tau)`` is in
    closed form through the two roots of ``G(x) = alpha`` with positive real part,
    G the exponent of the log-price; the inversion from alpha back to T is
    numerical, on Weideman and Trefethen's Talbot contour with 32 nodes. The
    roots are followed continuously along the contour from the real axis. The
    nodes and roots depend on T, r, q, the direction and the model only: the
    options of one maturity share them, and each option costs 16 pairs of
    complex exponentials. The interpreter lock is released.

    Accuracy: about 1e-14 absolute against 30-digit references for
    maturities of 0.05 to 3 years, barriers 5% to 25% from the spot and
    ordinary models; the error grows where the barrier is a hair from the spot
    (``abs(log(H/S))`` far below ``sigma*sqrt(T)``) or T is tiny.

    Conventions and limits: ``H == S`` is a barrier touched already: the
    one-touch pays 1 now (at the hit) or ``exp(-r*T)`` (at expiry), the no-touch
    0. ``T == 0`` otherwise gives 0 for a one-touch and 1 for a no-touch. NaN
    where an input is NaN, ``T < 0``, ``H <= 0`` or ``S <= 0``, and where
    ``sigma <= 0`` (the transform's quartic degenerates) or the model is out of
    its domain (``lam < 0``, `p` outside [0, 1], ``eta1 <= 1``, ``eta2 <= 0``).
    The values are the same bits for every `workers`.

    Examples
    --------
    >>> import jdpricer_batch
    >>> model = (0.16, 1.0, 0.4, 10.0, 5.0)
    >>> up = jdpricer_batch.touch_prices(0.5, 110.0, 100.0, 0.05, *model, "one-touch")
    >>> round(float(up), 10)
    0.5285348344
    >>> at_expiry = jdpricer_batch.touch_prices(0.5, 110.0, 100.0, 0.05, *model, "one-touch", at="expiry")
    >>> no_touch = jdpricer_batch.touch_prices(0.5, 110.0, 100.0, 0.05, *model, "no-touch")
    >>> abs(float(at_expiry + no_touch) - 2.718281828459045 ** -0.025) < 1e-15
    True
    """

def barrier_call_prices(
    T: ArrayLike,
    K: ArrayLike,
    H: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    barrier: Literal["down-and-out", "down-and-in", "up-and-out", "up-and-in"],
    rebate: ArrayLike = 0.0,
    q: ArrayLike = 0.0,
    workers: SupportsIndex = 1,
) -> NDArray[np.float64]:
    """Barrier call prices of a book under one Kou model, continuously monitored.

    Parameters
    ----------
    T, K, H, S, r : array_like
        Maturity in years, strike, barrier, spot price and continuously
        compounded risk-free rate per year, option by option, converted and
        broadcast as the columns of `call_prices`.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    barrier : {"down-and-out", "down-and-in", "up-and-out", "up-and-in"}
        The barrier's direction and what crossing it does.
    rebate : array_like, optional
        Paid at the hit for a knock-out, and at expiry if the barrier was never
        hit for a knock-in (default 0), option by option.
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (default 0). It lowers the risk-neutral drift of the
        log-price to ``r - q - sigma**2/2 - lam*zeta``; the product watches the
        spot S itself, so the price is not the one at a net spot.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.

    Returns
    -------
    numpy.ndarray of float64
        The prices, of the broadcast shape (0-d when every column is a scalar).

    Raises
    ------
    ValueError
        For another `barrier`, shapes that do not broadcast, or `workers` 0 or
        wrapping below 1.
    TypeError
        As for `call_prices`, for columns, model numbers and `workers`.

    Notes
    -----
    Monitoring is continuous. Under jumps the price may cross the barrier by a
    jump and overshoot it, so the Black-Scholes barrier formulas do not hold;
    here the overshoot is exact.

    Method: the Laplace transform in maturity of the joint law of the terminal
    log-price and the first passage, in closed form through the four roots of
    ``G(x) = alpha`` (G the exponent of the log-price): by the strong Markov
    property at the crossing, whose overshoot is 0 or exponential and
    independent of its time, the density after a crossing is the resolvent
    shifted to the barrier (Kou and Wang). The inversion from alpha back to T
    is on Weideman and Trefethen's Talbot contour at 32 nodes; the roots are
    followed continuously along it from the real axis. The nodes and roots
    depend on T, r, q, the direction and the model: the options of one
    maturity share them. The interpreter lock is released.

    Accuracy: about 1e-13 of ``S + K`` for maturities of 0.05 to 3 years,
    barriers 5% to 25% from the spot and ordinary models. Knock-in and
    knock-out are each computed from their own terms (neither as the vanilla
    less the other, which would cancel): ``in + out`` equals the closed-form
    vanilla plus the rebates' terms to about that accuracy.

    Conventions: a barrier already breached at the spot (down with
    ``S <= H``, up with ``S >= H``) counts as hit: a knock-out is worth its
    rebate, a knock-in is the European option (`call_prices` with each
    maturity's own series length, at the spot net of dividends). ``T == 0``
    otherwise gives the payoff for a knock-out and the rebate for a knock-in.
    NaN where an input is NaN, ``T < 0``, `K`, `H` or `S` is not positive, and
    where ``sigma <= 0`` or the model is out of its domain. The same bits for
    every `workers`.

    Examples
    --------
    An up-and-out call and its knock-in add up to the vanilla:

    >>> import jdpricer_batch
    >>> model = (0.16, 1.0, 0.4, 10.0, 5.0)
    >>> out = jdpricer_batch.barrier_call_prices(0.5, 100.0, 125.0, 100.0, 0.05, *model, "up-and-out")
    >>> round(float(out), 8)
    4.05418069
    >>> knocked_in = jdpricer_batch.barrier_call_prices(0.5, 100.0, 125.0, 100.0, 0.05, *model, "up-and-in")
    >>> vanilla = jdpricer_batch.call_prices(0.5, 100.0, 100.0, 0.05, *model, "auto")
    >>> abs(float(out + knocked_in - vanilla)) < 1e-11
    True
    """

def barrier_put_prices(
    T: ArrayLike,
    K: ArrayLike,
    H: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    barrier: Literal["down-and-out", "down-and-in", "up-and-out", "up-and-in"],
    rebate: ArrayLike = 0.0,
    q: ArrayLike = 0.0,
    workers: SupportsIndex = 1,
) -> NDArray[np.float64]:
    """Barrier put prices of a book under one Kou model, continuously monitored.

    Parameters
    ----------
    T, K, H, S, r : array_like
        Maturity in years, strike, barrier, spot price and continuously
        compounded risk-free rate per year, option by option, converted and
        broadcast as the columns of `call_prices`.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    barrier : {"down-and-out", "down-and-in", "up-and-out", "up-and-in"}
        The barrier's direction and what crossing it does.
    rebate : array_like, optional
        Paid at the hit for a knock-out, and at expiry if the barrier was never
        hit for a knock-in (default 0), option by option.
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (default 0). It lowers the risk-neutral drift of the
        log-price to ``r - q - sigma**2/2 - lam*zeta``; the product watches the
        spot S itself, so the price is not the one at a net spot.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.

    Returns
    -------
    numpy.ndarray of float64
        The prices, of the broadcast shape (0-d when every column is a scalar).

    Raises
    ------
    ValueError
        For another `barrier`, shapes that do not broadcast, or `workers` 0 or
        wrapping below 1.
    TypeError
        As for `call_prices`, for columns, model numbers and `workers`.

    Notes
    -----
    Monitoring is continuous. Under jumps the price may cross the barrier by a
    jump and overshoot it, so the Black-Scholes barrier formulas do not hold;
    here the overshoot is exact.

    Method: the Laplace transform in maturity of the joint law of the terminal
    log-price and the first passage, in closed form through the four roots of
    ``G(x) = alpha`` (G the exponent of the log-price): by the strong Markov
    property at the crossing, whose overshoot is 0 or exponential and
    independent of its time, the density after a crossing is the resolvent
    shifted to the barrier (Kou and Wang). The inversion from alpha back to T
    is on Weideman and Trefethen's Talbot contour at 32 nodes; the roots are
    followed continuously along it from the real axis. The nodes and roots
    depend on T, r, q, the direction and the model: the options of one
    maturity share them. The interpreter lock is released.

    Accuracy: about 1e-13 of ``S + K`` for maturities of 0.05 to 3 years,
    barriers 5% to 25% from the spot and ordinary models. Knock-in and
    knock-out are each computed from their own terms (neither as the vanilla
    less the other, which would cancel): ``in + out`` equals the closed-form
    vanilla plus the rebates' terms to about that accuracy.

    Conventions: a barrier already breached at the spot (down with
    ``S <= H``, up with ``S >= H``) counts as hit: a knock-out is worth its
    rebate, a knock-in is the European option (`call_prices` with each
    maturity's own series length, at the spot net of dividends). ``T == 0``
    otherwise gives the payoff for a knock-out and the rebate for a knock-in.
    NaN where an input is NaN, ``T < 0``, `K`, `H` or `S` is not positive, and
    where ``sigma <= 0`` or the model is out of its domain. The same bits for
    every `workers`.

    Examples
    --------
    A down-and-out put with a rebate of 2 paid at the hit:

    >>> import jdpricer_batch
    >>> model = (0.16, 1.0, 0.4, 10.0, 5.0)
    >>> price = jdpricer_batch.barrier_put_prices(1.0, 100.0, 85.0, 100.0, 0.05, *model, "down-and-out", rebate=2.0)
    >>> round(float(price), 8)
    1.22928522
    """

class SpotGreeks(NamedTuple):
    """The result of `touch_greeks`, `barrier_call_greeks` and `barrier_put_greeks`.

    A named tuple of three float64 arrays of the book's broadcast shape: the
    value and its exact first and second derivatives in the spot, to rounding,
    of the inverted transform that gives it.

    Attributes
    ----------
    price : numpy.ndarray of float64
        The value, bit for bit `touch_prices`, `barrier_call_prices` or
        `barrier_put_prices`.
    delta : numpy.ndarray of float64
        dV/dS.
    gamma : numpy.ndarray of float64
        d2V/dS2.

    Examples
    --------
    >>> import jdpricer_batch
    >>> g = jdpricer_batch.touch_greeks(0.5, 110.0, 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, "one-touch")
    >>> g._fields
    ('price', 'delta', 'gamma')
    """

    price: NDArray[np.float64]
    """The value, bit for bit the prices function's."""
    delta: NDArray[np.float64]
    """dV/dS."""
    gamma: NDArray[np.float64]
    """d2V/dS2."""

def touch_greeks(
    T: ArrayLike,
    H: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    kind: Literal["one-touch", "no-touch"],
    at: Literal["hit", "expiry"] | None = None,
    q: ArrayLike = 0.0,
    workers: SupportsIndex = 1,
) -> SpotGreeks:
    """Touch options' values with their delta and gamma, continuously monitored.

    The products and conventions of `touch_prices`, with the value's first and
    second derivatives in the spot.

    Parameters
    ----------
    T, H, S, r : array_like
        Maturity in years, barrier, spot price and continuously compounded
        risk-free rate per year, option by option, as for `touch_prices`.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    kind : {"one-touch", "no-touch"}
        The product.
    at : {"hit", "expiry"}, optional
        When a one-touch pays, as for `touch_prices`.
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (default 0). It lowers the risk-neutral drift of the
        log-price to ``r - q - sigma**2/2 - lam*zeta``; the product watches the
        spot S itself, so the price is not the one at a net spot.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.

    Returns
    -------
    SpotGreeks
        A named tuple of float64 arrays of the broadcast shape: ``price``,
        ``delta`` (dV/dS) and ``gamma`` (d2V/dS2).

    Raises
    ------
    ValueError, TypeError
        As for `touch_prices`.

    Notes
    -----
    Method: the value is the Laplace transform in maturity, inverted on a
    Talbot contour (see the prices function). The spot enters the transform
    only through the log-distances to the barrier and the strike and through
    the payoff's factor S, so the transform's derivatives in ``x = log(S)``
    are exact: each exponential ``exp(-beta*b)`` differentiates to
    ``-beta*exp(-beta*b)`` times the distance's own derivative (-1 for an up
    barrier, +1 for a down one). They are carried through the same sums, with
    the same nodes and weights (forward-mode, second order), and
    ``delta = V_x/S``, ``gamma = (V_xx - V_x)/S**2``. The price field is the
    value with the bits of the prices function. The cost is about three times
    the price's.

    Accuracy: the derivatives' sums have terms larger than the value's by the
    roots' size, so they keep a little less: about 1e-11 relative against
    central differences for ordinary inputs (maturities of 0.05 to 3 years,
    barriers 5% to 25% away), less for a barrier a hair from the spot or very
    short maturities. Near the barrier, gamma is large and changes fast, as the
    product's does.

    Conventions: delta and gamma are 0 wherever the value no longer moves with
    the spot: a barrier already touched or breached (a knock-out's rebate, a
    touch settled), and ``T == 0`` (but for the payoff of a knock-out, whose
    delta is that of the payoff: 1 or -1 in the money, 0 out of it). A breached
    knock-in has the European option's delta and gamma (`call_greeks`, each
    maturity's own series length, with the dividend yield's chain rule). The
    values are clipped to their range where the inversion's error would take
    them out of it; the derivatives are not. NaN wherever the value is NaN.
    The same bits for every `workers`.

    Examples
    --------
    A one-touch's delta against a central difference of its prices:

    >>> import jdpricer_batch
    >>> model = (0.16, 1.0, 0.4, 10.0, 5.0)
    >>> g = jdpricer_batch.touch_greeks(0.5, 110.0, 100.0, 0.05, *model, "one-touch")
    >>> up, down = (jdpricer_batch.touch_prices(0.5, 110.0, 100.0 + h, 0.05, *model, "one-touch") for h in (1e-3, -1e-3))
    >>> abs(float(g.delta) - float(up - down) / 2e-3) < 1e-7
    True
    >>> bool(g.delta > 0)
    True
    """

def barrier_call_greeks(
    T: ArrayLike,
    K: ArrayLike,
    H: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    barrier: Literal["down-and-out", "down-and-in", "up-and-out", "up-and-in"],
    rebate: ArrayLike = 0.0,
    q: ArrayLike = 0.0,
    workers: SupportsIndex = 1,
) -> SpotGreeks:
    """Barrier call prices with their delta and gamma, continuously monitored.

    The options and conventions of `barrier_call_prices`, with the price's
    first and second derivatives in the spot.

    Parameters
    ----------
    T, K, H, S, r : array_like
        Maturity in years, strike, barrier, spot price and continuously
        compounded risk-free rate per year, option by option, converted and
        broadcast as the columns of `call_prices`.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    barrier : {"down-and-out", "down-and-in", "up-and-out", "up-and-in"}
        The barrier's direction and what crossing it does.
    rebate : array_like, optional
        Paid at the hit for a knock-out, and at expiry if the barrier was never
        hit for a knock-in (default 0), option by option.
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (default 0). It lowers the risk-neutral drift of the
        log-price to ``r - q - sigma**2/2 - lam*zeta``; the product watches the
        spot S itself, so the price is not the one at a net spot.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.

    Returns
    -------
    SpotGreeks
        A named tuple of float64 arrays of the broadcast shape: ``price``,
        ``delta`` (dV/dS) and ``gamma`` (d2V/dS2).

    Raises
    ------
    ValueError, TypeError
        As for `barrier_call_prices`.

    Notes
    -----
    Method: the value is the Laplace transform in maturity, inverted on a
    Talbot contour (see the prices function). The spot enters the transform
    only through the log-distances to the barrier and the strike and through
    the payoff's factor S, so the transform's derivatives in ``x = log(S)``
    are exact: each exponential ``exp(-beta*b)`` differentiates to
    ``-beta*exp(-beta*b)`` times the distance's own derivative (-1 for an up
    barrier, +1 for a down one). They are carried through the same sums, with
    the same nodes and weights (forward-mode, second order), and
    ``delta = V_x/S``, ``gamma = (V_xx - V_x)/S**2``. The price field is the
    value with the bits of the prices function. The cost is about three times
    the price's.

    Accuracy: the derivatives' sums have terms larger than the value's by the
    roots' size, so they keep a little less: about 1e-11 relative against
    central differences for ordinary inputs (maturities of 0.05 to 3 years,
    barriers 5% to 25% away), less for a barrier a hair from the spot or very
    short maturities. Near the barrier, gamma is large and changes fast, as the
    product's does.

    Conventions: delta and gamma are 0 wherever the value no longer moves with
    the spot: a barrier already touched or breached (a knock-out's rebate, a
    touch settled), and ``T == 0`` (but for the payoff of a knock-out, whose
    delta is that of the payoff: 1 or -1 in the money, 0 out of it). A breached
    knock-in has the European option's delta and gamma (`call_greeks`, each
    maturity's own series length, with the dividend yield's chain rule). The
    values are clipped to their range where the inversion's error would take
    them out of it; the derivatives are not. NaN wherever the value is NaN.
    The same bits for every `workers`.

    Examples
    --------
    An up-and-out call loses value as the spot nears the barrier:

    >>> import jdpricer_batch
    >>> model = (0.16, 1.0, 0.4, 10.0, 5.0)
    >>> g = jdpricer_batch.barrier_call_greeks(0.5, 100.0, 125.0, [100.0, 120.0], 0.05, *model, "up-and-out")
    >>> bool(g.delta[0] > 0 > g.delta[1])
    True
    >>> bool(g.price[0] == jdpricer_batch.barrier_call_prices(0.5, 100.0, 125.0, 100.0, 0.05, *model, "up-and-out"))
    True
    """

def barrier_put_greeks(
    T: ArrayLike,
    K: ArrayLike,
    H: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    barrier: Literal["down-and-out", "down-and-in", "up-and-out", "up-and-in"],
    rebate: ArrayLike = 0.0,
    q: ArrayLike = 0.0,
    workers: SupportsIndex = 1,
) -> SpotGreeks:
    """Barrier put prices with their delta and gamma, continuously monitored.

    The options and conventions of `barrier_put_prices`, with the price's
    first and second derivatives in the spot.

    Parameters
    ----------
    T, K, H, S, r : array_like
        Maturity in years, strike, barrier, spot price and continuously
        compounded risk-free rate per year, option by option, converted and
        broadcast as the columns of `call_prices`.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    barrier : {"down-and-out", "down-and-in", "up-and-out", "up-and-in"}
        The barrier's direction and what crossing it does.
    rebate : array_like, optional
        Paid at the hit for a knock-out, and at expiry if the barrier was never
        hit for a knock-in (default 0), option by option.
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (default 0). It lowers the risk-neutral drift of the
        log-price to ``r - q - sigma**2/2 - lam*zeta``; the product watches the
        spot S itself, so the price is not the one at a net spot.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.

    Returns
    -------
    SpotGreeks
        A named tuple of float64 arrays of the broadcast shape: ``price``,
        ``delta`` (dV/dS) and ``gamma`` (d2V/dS2).

    Raises
    ------
    ValueError, TypeError
        As for `barrier_put_prices`.

    Notes
    -----
    Method: the value is the Laplace transform in maturity, inverted on a
    Talbot contour (see the prices function). The spot enters the transform
    only through the log-distances to the barrier and the strike and through
    the payoff's factor S, so the transform's derivatives in ``x = log(S)``
    are exact: each exponential ``exp(-beta*b)`` differentiates to
    ``-beta*exp(-beta*b)`` times the distance's own derivative (-1 for an up
    barrier, +1 for a down one). They are carried through the same sums, with
    the same nodes and weights (forward-mode, second order), and
    ``delta = V_x/S``, ``gamma = (V_xx - V_x)/S**2``. The price field is the
    value with the bits of the prices function. The cost is about three times
    the price's.

    Accuracy: the derivatives' sums have terms larger than the value's by the
    roots' size, so they keep a little less: about 1e-11 relative against
    central differences for ordinary inputs (maturities of 0.05 to 3 years,
    barriers 5% to 25% away), less for a barrier a hair from the spot or very
    short maturities. Near the barrier, gamma is large and changes fast, as the
    product's does.

    Conventions: delta and gamma are 0 wherever the value no longer moves with
    the spot: a barrier already touched or breached (a knock-out's rebate, a
    touch settled), and ``T == 0`` (but for the payoff of a knock-out, whose
    delta is that of the payoff: 1 or -1 in the money, 0 out of it). A breached
    knock-in has the European option's delta and gamma (`call_greeks`, each
    maturity's own series length, with the dividend yield's chain rule). The
    values are clipped to their range where the inversion's error would take
    them out of it; the derivatives are not. NaN wherever the value is NaN.
    The same bits for every `workers`.

    Examples
    --------
    >>> import jdpricer_batch
    >>> model = (0.16, 1.0, 0.4, 10.0, 5.0)
    >>> g = jdpricer_batch.barrier_put_greeks(1.0, 100.0, 85.0, 100.0, 0.05, *model, "down-and-out", rebate=2.0)
    >>> bool(g.delta < 0 and g.gamma > 0)
    True
    """

def lookback_call_prices(
    T: ArrayLike,
    K: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    running_max: ArrayLike | None = None,
    q: ArrayLike = 0.0,
    workers: SupportsIndex = 1,
) -> NDArray[np.float64]:
    """Fixed-strike lookback calls on the maximum under one Kou model, continuously monitored.

    Pays ``max(M, max of S_t over [0, T]) - K`` at T where positive, M the
    running maximum so far.

    Parameters
    ----------
    T, K, S, r : array_like
        Maturity in years, strike, spot price and continuously compounded
        risk-free rate per year, option by option, converted and broadcast as
        the columns of `call_prices`.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    running_max : array_like or None, optional
        The maximum of the spot observed so far, at least `S` (default None: the
        spot itself, a new option), option by option.
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (default 0). It lowers the risk-neutral drift of the
        log-price to ``r - q - sigma**2/2 - lam*zeta``; the product watches the
        spot S itself, so the price is not the one at a net spot.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.

    Returns
    -------
    numpy.ndarray of float64
        The prices, of the broadcast shape (0-d when every column is a scalar).

    Raises
    ------
    ValueError
        For shapes that do not broadcast, or `workers` 0 or wrapping below 1.
    TypeError
        As for `call_prices`, for columns, model numbers and `workers`.

    Notes
    -----
    Monitoring is continuous: the extremum is over every instant to T. Under
    jumps a new extremum may be set by a jump, overshooting the old one; here
    the overshoot is exact.

    Method: the running maximum of the log-price reaches a level y exactly when
    the first passage through y comes by T, so for a payoff f that grows with
    the maximum, ``E f(max) = f(M) + integral over y > log(M/S) of f'(y) P(tau_y <= T) dy``
    (the minimum is the maximum of the mirrored law). The first-passage
    probability is Kou and Wang's transform through the roots of
    ``G(x) = alpha``, a sum of two exponentials in y at each node of the
    inversion's Talbot contour (32 nodes), so the integral over levels is in
    closed form node by node. The nodes and roots depend on T, r, q, the
    direction and the model only: the options of one maturity share them,
    whatever their strikes, spots and extremes, and each option costs 16 pairs
    of complex exponentials. The interpreter lock is released.

    Accuracy: about 1e-14 of ``S + K`` against 30-digit references for
    maturities of 0.05 to 3 years and ordinary models; without jumps the
    Black-Scholes lookback formulas (Conze-Viswanathan, Goldman-Sosin-Gatto) to
    the same accuracy.

    Conventions: the running extremum is the one observed before today (None: a
    new option, the spot). A running maximum below the spot, or minimum above
    it, is not one: NaN, as for NaN inputs, ``T < 0``, a strike, spot or
    extremum not positive and finite, ``sigma <= 0`` (the transform's quartic
    degenerates) or a model out of its domain. ``T == 0`` gives the payoff at
    the running extremum. The values are the same bits for every `workers`.

    Examples
    --------
    >>> import jdpricer_batch
    >>> model = (0.16, 1.0, 0.4, 10.0, 5.0)
    >>> price = jdpricer_batch.lookback_call_prices(1.0, 105.0, 100.0, 0.05, *model)
    >>> vanilla = jdpricer_batch.call_prices(1.0, 105.0, 100.0, 0.05, *model, "auto")
    >>> bool(price > vanilla)
    True
    >>> seasoned = jdpricer_batch.lookback_call_prices(1.0, 105.0, 100.0, 0.05, *model, running_max=[100.0, 110.0])
    >>> bool(seasoned[1] > seasoned[0] == price)
    True
    """

def lookback_put_prices(
    T: ArrayLike,
    K: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    running_min: ArrayLike | None = None,
    q: ArrayLike = 0.0,
    workers: SupportsIndex = 1,
) -> NDArray[np.float64]:
    """Fixed-strike lookback puts on the minimum under one Kou model, continuously monitored.

    Pays ``K - min(m, min of S_t over [0, T])`` at T where positive, m the
    running minimum so far.

    Parameters
    ----------
    T, K, S, r : array_like
        Maturity in years, strike, spot price and continuously compounded
        risk-free rate per year, option by option, converted and broadcast as
        the columns of `call_prices`.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    running_min : array_like or None, optional
        The minimum of the spot observed so far, at most `S` (default None: the
        spot itself, a new option), option by option.
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (default 0). It lowers the risk-neutral drift of the
        log-price to ``r - q - sigma**2/2 - lam*zeta``; the product watches the
        spot S itself, so the price is not the one at a net spot.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.

    Returns
    -------
    numpy.ndarray of float64
        The prices, of the broadcast shape (0-d when every column is a scalar).

    Raises
    ------
    ValueError
        For shapes that do not broadcast, or `workers` 0 or wrapping below 1.
    TypeError
        As for `call_prices`, for columns, model numbers and `workers`.

    Notes
    -----
    Monitoring is continuous: the extremum is over every instant to T. Under
    jumps a new extremum may be set by a jump, overshooting the old one; here
    the overshoot is exact.

    Method: the running maximum of the log-price reaches a level y exactly when
    the first passage through y comes by T, so for a payoff f that grows with
    the maximum, ``E f(max) = f(M) + integral over y > log(M/S) of f'(y) P(tau_y <= T) dy``
    (the minimum is the maximum of the mirrored law). The first-passage
    probability is Kou and Wang's transform through the roots of
    ``G(x) = alpha``, a sum of two exponentials in y at each node of the
    inversion's Talbot contour (32 nodes), so the integral over levels is in
    closed form node by node. The nodes and roots depend on T, r, q, the
    direction and the model only: the options of one maturity share them,
    whatever their strikes, spots and extremes, and each option costs 16 pairs
    of complex exponentials. The interpreter lock is released.

    Accuracy: about 1e-14 of ``S + K`` against 30-digit references for
    maturities of 0.05 to 3 years and ordinary models; without jumps the
    Black-Scholes lookback formulas (Conze-Viswanathan, Goldman-Sosin-Gatto) to
    the same accuracy.

    Conventions: the running extremum is the one observed before today (None: a
    new option, the spot). A running maximum below the spot, or minimum above
    it, is not one: NaN, as for NaN inputs, ``T < 0``, a strike, spot or
    extremum not positive and finite, ``sigma <= 0`` (the transform's quartic
    degenerates) or a model out of its domain. ``T == 0`` gives the payoff at
    the running extremum. The values are the same bits for every `workers`.

    Examples
    --------
    >>> import jdpricer_batch
    >>> model = (0.16, 1.0, 0.4, 10.0, 5.0)
    >>> price = jdpricer_batch.lookback_put_prices(1.0, 95.0, 100.0, 0.05, *model, running_min=90.0)
    >>> bool(price > 0.0)
    True
    """

def lookback_call_greeks(
    T: ArrayLike,
    K: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    running_max: ArrayLike | None = None,
    q: ArrayLike = 0.0,
    workers: SupportsIndex = 1,
) -> SpotGreeks:
    """Fixed-strike lookback calls with their delta and gamma.

    The options and conventions of `lookback_call_prices`.

    Parameters
    ----------
    T, K, S, r : array_like
        Maturity in years, strike, spot price and continuously compounded
        risk-free rate per year, option by option, converted and broadcast as
        the columns of `call_prices`.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    running_max : array_like or None, optional
        The maximum of the spot observed so far, at least `S` (default None: the
        spot itself, a new option), option by option.
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (default 0). It lowers the risk-neutral drift of the
        log-price to ``r - q - sigma**2/2 - lam*zeta``; the product watches the
        spot S itself, so the price is not the one at a net spot.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.

    Returns
    -------
    SpotGreeks
        A named tuple of float64 arrays of the broadcast shape: ``price`` (bit
        for bit the prices function's), ``delta`` (dV/dS) and ``gamma``
        (d2V/dS2), the running extremum held: the exact derivatives of the
        inverted transform in the spot, carried through the same sums (as for
        `barrier_call_greeks`); at a running extremum equal to the spot the
        price's derivative in the extremum is 0, so holding it is the same
        there as moving it with the spot.

    Raises
    ------
    ValueError
        For shapes that do not broadcast, or `workers` 0 or wrapping below 1.
    TypeError
        As for `call_prices`, for columns, model numbers and `workers`.

    Notes
    -----
    Monitoring is continuous: the extremum is over every instant to T. Under
    jumps a new extremum may be set by a jump, overshooting the old one; here
    the overshoot is exact.

    Method: the running maximum of the log-price reaches a level y exactly when
    the first passage through y comes by T, so for a payoff f that grows with
    the maximum, ``E f(max) = f(M) + integral over y > log(M/S) of f'(y) P(tau_y <= T) dy``
    (the minimum is the maximum of the mirrored law). The first-passage
    probability is Kou and Wang's transform through the roots of
    ``G(x) = alpha``, a sum of two exponentials in y at each node of the
    inversion's Talbot contour (32 nodes), so the integral over levels is in
    closed form node by node. The nodes and roots depend on T, r, q, the
    direction and the model only: the options of one maturity share them,
    whatever their strikes, spots and extremes, and each option costs 16 pairs
    of complex exponentials. The interpreter lock is released.

    Accuracy: about 1e-14 of ``S + K`` against 30-digit references for
    maturities of 0.05 to 3 years and ordinary models; without jumps the
    Black-Scholes lookback formulas (Conze-Viswanathan, Goldman-Sosin-Gatto) to
    the same accuracy.

    Conventions: the running extremum is the one observed before today (None: a
    new option, the spot). A running maximum below the spot, or minimum above
    it, is not one: NaN, as for NaN inputs, ``T < 0``, a strike, spot or
    extremum not positive and finite, ``sigma <= 0`` (the transform's quartic
    degenerates) or a model out of its domain. ``T == 0`` gives the payoff at
    the running extremum. The values are the same bits for every `workers`.

    Examples
    --------
    >>> import jdpricer_batch
    >>> model = (0.16, 1.0, 0.4, 10.0, 5.0)
    >>> g = jdpricer_batch.lookback_call_greeks(1.0, 105.0, 100.0, 0.05, *model)
    >>> up, down = (jdpricer_batch.lookback_call_prices(1.0, 105.0, 100.0 + h, 0.05, *model, running_max=100.0 + 1e-3) for h in (1e-3, -1e-3))
    >>> abs(float(g.delta) - float(up - down) / 2e-3) < 1e-5
    True
    """

def lookback_put_greeks(
    T: ArrayLike,
    K: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    running_min: ArrayLike | None = None,
    q: ArrayLike = 0.0,
    workers: SupportsIndex = 1,
) -> SpotGreeks:
    """Fixed-strike lookback puts with their delta and gamma.

    The options and conventions of `lookback_put_prices`.

    Parameters
    ----------
    T, K, S, r : array_like
        Maturity in years, strike, spot price and continuously compounded
        risk-free rate per year, option by option, converted and broadcast as
        the columns of `call_prices`.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    running_min : array_like or None, optional
        The minimum of the spot observed so far, at most `S` (default None: the
        spot itself, a new option), option by option.
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (default 0). It lowers the risk-neutral drift of the
        log-price to ``r - q - sigma**2/2 - lam*zeta``; the product watches the
        spot S itself, so the price is not the one at a net spot.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.

    Returns
    -------
    SpotGreeks
        A named tuple of float64 arrays of the broadcast shape: ``price`` (bit
        for bit the prices function's), ``delta`` (dV/dS) and ``gamma``
        (d2V/dS2), the running extremum held: the exact derivatives of the
        inverted transform in the spot, carried through the same sums (as for
        `barrier_call_greeks`); at a running extremum equal to the spot the
        price's derivative in the extremum is 0, so holding it is the same
        there as moving it with the spot.

    Raises
    ------
    ValueError
        For shapes that do not broadcast, or `workers` 0 or wrapping below 1.
    TypeError
        As for `call_prices`, for columns, model numbers and `workers`.

    Notes
    -----
    Monitoring is continuous: the extremum is over every instant to T. Under
    jumps a new extremum may be set by a jump, overshooting the old one; here
    the overshoot is exact.

    Method: the running maximum of the log-price reaches a level y exactly when
    the first passage through y comes by T, so for a payoff f that grows with
    the maximum, ``E f(max) = f(M) + integral over y > log(M/S) of f'(y) P(tau_y <= T) dy``
    (the minimum is the maximum of the mirrored law). The first-passage
    probability is Kou and Wang's transform through the roots of
    ``G(x) = alpha``, a sum of two exponentials in y at each node of the
    inversion's Talbot contour (32 nodes), so the integral over levels is in
    closed form node by node. The nodes and roots depend on T, r, q, the
    direction and the model only: the options of one maturity share them,
    whatever their strikes, spots and extremes, and each option costs 16 pairs
    of complex exponentials. The interpreter lock is released.

    Accuracy: about 1e-14 of ``S + K`` against 30-digit references for
    maturities of 0.05 to 3 years and ordinary models; without jumps the
    Black-Scholes lookback formulas (Conze-Viswanathan, Goldman-Sosin-Gatto) to
    the same accuracy.

    Conventions: the running extremum is the one observed before today (None: a
    new option, the spot). A running maximum below the spot, or minimum above
    it, is not one: NaN, as for NaN inputs, ``T < 0``, a strike, spot or
    extremum not positive and finite, ``sigma <= 0`` (the transform's quartic
    degenerates) or a model out of its domain. ``T == 0`` gives the payoff at
    the running extremum. The values are the same bits for every `workers`.

    Examples
    --------
    >>> import jdpricer_batch
    >>> model = (0.16, 1.0, 0.4, 10.0, 5.0)
    >>> g = jdpricer_batch.lookback_put_greeks(1.0, 95.0, 100.0, 0.05, *model, running_min=90.0)
    >>> bool(g.delta < 0.0)
    True
    """

def floating_lookback_call_prices(
    T: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    running_min: ArrayLike | None = None,
    q: ArrayLike = 0.0,
    workers: SupportsIndex = 1,
) -> NDArray[np.float64]:
    """Floating-strike lookback calls under one Kou model, continuously monitored.

    Pays ``S_T - min(m, min of S_t over [0, T])`` at T, m the running minimum
    so far: the fixed-strike put's transform at the strike m, since
    ``E min = m - E (m - min)+``, priced as
    ``S*exp(-q*T) - exp(-r*T) * E min``.

    Parameters
    ----------
    T, S, r : array_like
        Maturity in years, spot price and continuously compounded risk-free
        rate per year, option by option, converted and broadcast as the columns
        of `call_prices`.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    running_min : array_like or None, optional
        The minimum of the spot observed so far, at most `S` (default None: the
        spot itself, a new option), option by option.
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (default 0). It lowers the risk-neutral drift of the
        log-price to ``r - q - sigma**2/2 - lam*zeta``; the product watches the
        spot S itself, so the price is not the one at a net spot.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.

    Returns
    -------
    numpy.ndarray of float64
        The prices, of the broadcast shape (0-d when every column is a scalar).

    Raises
    ------
    ValueError
        For shapes that do not broadcast, or `workers` 0 or wrapping below 1.
    TypeError
        As for `call_prices`, for columns, model numbers and `workers`.

    Notes
    -----
    Monitoring is continuous: the extremum is over every instant to T. Under
    jumps a new extremum may be set by a jump, overshooting the old one; here
    the overshoot is exact.

    Method: the running maximum of the log-price reaches a level y exactly when
    the first passage through y comes by T, so for a payoff f that grows with
    the maximum, ``E f(max) = f(M) + integral over y > log(M/S) of f'(y) P(tau_y <= T) dy``
    (the minimum is the maximum of the mirrored law). The first-passage
    probability is Kou and Wang's transform through the roots of
    ``G(x) = alpha``, a sum of two exponentials in y at each node of the
    inversion's Talbot contour (32 nodes), so the integral over levels is in
    closed form node by node. The nodes and roots depend on T, r, q, the
    direction and the model only: the options of one maturity share them,
    whatever their strikes, spots and extremes, and each option costs 16 pairs
    of complex exponentials. The interpreter lock is released.

    Accuracy: about 1e-14 of ``S + K`` against 30-digit references for
    maturities of 0.05 to 3 years and ordinary models; without jumps the
    Black-Scholes lookback formulas (Conze-Viswanathan, Goldman-Sosin-Gatto) to
    the same accuracy.

    Conventions: the running extremum is the one observed before today (None: a
    new option, the spot). A running maximum below the spot, or minimum above
    it, is not one: NaN, as for NaN inputs, ``T < 0``, a strike, spot or
    extremum not positive and finite, ``sigma <= 0`` (the transform's quartic
    degenerates) or a model out of its domain. ``T == 0`` gives the payoff at
    the running extremum. The values are the same bits for every `workers`.

    Examples
    --------
    A new floating call is the fixed-strike put at the spot, turned around:

    >>> import jdpricer_batch
    >>> model = (0.16, 1.0, 0.4, 10.0, 5.0)
    >>> floating = jdpricer_batch.floating_lookback_call_prices(1.0, 100.0, 0.05, *model)
    >>> fixed = jdpricer_batch.lookback_put_prices(1.0, 100.0, 100.0, 0.05, *model)
    >>> abs(float(floating - (100.0 - 100.0 * 2.718281828459045 ** -0.05 + fixed))) < 1e-12
    True
    """

def floating_lookback_put_prices(
    T: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    running_max: ArrayLike | None = None,
    q: ArrayLike = 0.0,
    workers: SupportsIndex = 1,
) -> NDArray[np.float64]:
    """Floating-strike lookback puts under one Kou model, continuously monitored.

    Pays ``max(M, max of S_t over [0, T]) - S_T`` at T, M the running maximum
    so far, priced as ``exp(-r*T) * E max - S*exp(-q*T)``.

    Parameters
    ----------
    T, S, r : array_like
        Maturity in years, spot price and continuously compounded risk-free
        rate per year, option by option, converted and broadcast as the columns
        of `call_prices`.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    running_max : array_like or None, optional
        The maximum of the spot observed so far, at least `S` (default None: the
        spot itself, a new option), option by option.
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (default 0). It lowers the risk-neutral drift of the
        log-price to ``r - q - sigma**2/2 - lam*zeta``; the product watches the
        spot S itself, so the price is not the one at a net spot.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.

    Returns
    -------
    numpy.ndarray of float64
        The prices, of the broadcast shape (0-d when every column is a scalar).

    Raises
    ------
    ValueError
        For shapes that do not broadcast, or `workers` 0 or wrapping below 1.
    TypeError
        As for `call_prices`, for columns, model numbers and `workers`.

    Notes
    -----
    Monitoring is continuous: the extremum is over every instant to T. Under
    jumps a new extremum may be set by a jump, overshooting the old one; here
    the overshoot is exact.

    Method: the running maximum of the log-price reaches a level y exactly when
    the first passage through y comes by T, so for a payoff f that grows with
    the maximum, ``E f(max) = f(M) + integral over y > log(M/S) of f'(y) P(tau_y <= T) dy``
    (the minimum is the maximum of the mirrored law). The first-passage
    probability is Kou and Wang's transform through the roots of
    ``G(x) = alpha``, a sum of two exponentials in y at each node of the
    inversion's Talbot contour (32 nodes), so the integral over levels is in
    closed form node by node. The nodes and roots depend on T, r, q, the
    direction and the model only: the options of one maturity share them,
    whatever their strikes, spots and extremes, and each option costs 16 pairs
    of complex exponentials. The interpreter lock is released.

    Accuracy: about 1e-14 of ``S + K`` against 30-digit references for
    maturities of 0.05 to 3 years and ordinary models; without jumps the
    Black-Scholes lookback formulas (Conze-Viswanathan, Goldman-Sosin-Gatto) to
    the same accuracy.

    Conventions: the running extremum is the one observed before today (None: a
    new option, the spot). A running maximum below the spot, or minimum above
    it, is not one: NaN, as for NaN inputs, ``T < 0``, a strike, spot or
    extremum not positive and finite, ``sigma <= 0`` (the transform's quartic
    degenerates) or a model out of its domain. ``T == 0`` gives the payoff at
    the running extremum. The values are the same bits for every `workers`.

    Examples
    --------
    >>> import jdpricer_batch
    >>> model = (0.16, 1.0, 0.4, 10.0, 5.0)
    >>> floating = jdpricer_batch.floating_lookback_put_prices(1.0, 100.0, 0.05, *model, running_max=110.0)
    >>> fixed = jdpricer_batch.lookback_call_prices(1.0, 100.0, 100.0, 0.05, *model, running_max=110.0)
    >>> abs(float(floating - (fixed + 100.0 * 2.718281828459045 ** -0.05 - 100.0))) < 1e-12
    True
    """

def floating_lookback_call_greeks(
    T: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    running_min: ArrayLike | None = None,
    q: ArrayLike = 0.0,
    workers: SupportsIndex = 1,
) -> SpotGreeks:
    """Floating-strike lookback calls with their delta and gamma.

    The options and conventions of `floating_lookback_call_prices`.

    Parameters
    ----------
    T, S, r : array_like
        Maturity in years, spot price and continuously compounded risk-free
        rate per year, option by option, converted and broadcast as the columns
        of `call_prices`.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    running_min : array_like or None, optional
        The minimum of the spot observed so far, at most `S` (default None: the
        spot itself, a new option), option by option.
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (default 0). It lowers the risk-neutral drift of the
        log-price to ``r - q - sigma**2/2 - lam*zeta``; the product watches the
        spot S itself, so the price is not the one at a net spot.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.

    Returns
    -------
    SpotGreeks
        A named tuple of float64 arrays of the broadcast shape: ``price`` (bit
        for bit the prices function's), ``delta`` (dV/dS) and ``gamma``
        (d2V/dS2), the running extremum held: the exact derivatives of the
        inverted transform in the spot, carried through the same sums (as for
        `barrier_call_greeks`); at a running extremum equal to the spot the
        price's derivative in the extremum is 0, so holding it is the same
        there as moving it with the spot.

    Raises
    ------
    ValueError
        For shapes that do not broadcast, or `workers` 0 or wrapping below 1.
    TypeError
        As for `call_prices`, for columns, model numbers and `workers`.

    Notes
    -----
    Monitoring is continuous: the extremum is over every instant to T. Under
    jumps a new extremum may be set by a jump, overshooting the old one; here
    the overshoot is exact.

    Method: the running maximum of the log-price reaches a level y exactly when
    the first passage through y comes by T, so for a payoff f that grows with
    the maximum, ``E f(max) = f(M) + integral over y > log(M/S) of f'(y) P(tau_y <= T) dy``
    (the minimum is the maximum of the mirrored law). The first-passage
    probability is Kou and Wang's transform through the roots of
    ``G(x) = alpha``, a sum of two exponentials in y at each node of the
    inversion's Talbot contour (32 nodes), so the integral over levels is in
    closed form node by node. The nodes and roots depend on T, r, q, the
    direction and the model only: the options of one maturity share them,
    whatever their strikes, spots and extremes, and each option costs 16 pairs
    of complex exponentials. The interpreter lock is released.

    Accuracy: about 1e-14 of ``S + K`` against 30-digit references for
    maturities of 0.05 to 3 years and ordinary models; without jumps the
    Black-Scholes lookback formulas (Conze-Viswanathan, Goldman-Sosin-Gatto) to
    the same accuracy.

    Conventions: the running extremum is the one observed before today (None: a
    new option, the spot). A running maximum below the spot, or minimum above
    it, is not one: NaN, as for NaN inputs, ``T < 0``, a strike, spot or
    extremum not positive and finite, ``sigma <= 0`` (the transform's quartic
    degenerates) or a model out of its domain. ``T == 0`` gives the payoff at
    the running extremum. The values are the same bits for every `workers`.

    Examples
    --------
    >>> import jdpricer_batch
    >>> model = (0.16, 1.0, 0.4, 10.0, 5.0)
    >>> g = jdpricer_batch.floating_lookback_call_greeks(1.0, 100.0, 0.05, *model, running_min=90.0)
    >>> bool(0.0 < g.delta < 1.0)
    True
    """

def floating_lookback_put_greeks(
    T: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    running_max: ArrayLike | None = None,
    q: ArrayLike = 0.0,
    workers: SupportsIndex = 1,
) -> SpotGreeks:
    """Floating-strike lookback puts with their delta and gamma.

    The options and conventions of `floating_lookback_put_prices`.

    Parameters
    ----------
    T, S, r : array_like
        Maturity in years, spot price and continuously compounded risk-free
        rate per year, option by option, converted and broadcast as the columns
        of `call_prices`.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    running_max : array_like or None, optional
        The maximum of the spot observed so far, at least `S` (default None: the
        spot itself, a new option), option by option.
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (default 0). It lowers the risk-neutral drift of the
        log-price to ``r - q - sigma**2/2 - lam*zeta``; the product watches the
        spot S itself, so the price is not the one at a net spot.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.

    Returns
    -------
    SpotGreeks
        A named tuple of float64 arrays of the broadcast shape: ``price`` (bit
        for bit the prices function's), ``delta`` (dV/dS) and ``gamma``
        (d2V/dS2), the running extremum held: the exact derivatives of the
        inverted transform in the spot, carried through the same sums (as for
        `barrier_call_greeks`); at a running extremum equal to the spot the
        price's derivative in the extremum is 0, so holding it is the same
        there as moving it with the spot.

    Raises
    ------
    ValueError
        For shapes that do not broadcast, or `workers` 0 or wrapping below 1.
    TypeError
        As for `call_prices`, for columns, model numbers and `workers`.

    Notes
    -----
    Monitoring is continuous: the extremum is over every instant to T. Under
    jumps a new extremum may be set by a jump, overshooting the old one; here
    the overshoot is exact.

    Method: the running maximum of the log-price reaches a level y exactly when
    the first passage through y comes by T, so for a payoff f that grows with
    the maximum, ``E f(max) = f(M) + integral over y > log(M/S) of f'(y) P(tau_y <= T) dy``
    (the minimum is the maximum of the mirrored law). The first-passage
    probability is Kou and Wang's transform through the roots of
    ``G(x) = alpha``, a sum of two exponentials in y at each node of the
    inversion's Talbot contour (32 nodes), so the integral over levels is in
    closed form node by node. The nodes and roots depend on T, r, q, the
    direction and the model only: the options of one maturity share them,
    whatever their strikes, spots and extremes, and each option costs 16 pairs
    of complex exponentials. The interpreter lock is released.

    Accuracy: about 1e-14 of ``S + K`` against 30-digit references for
    maturities of 0.05 to 3 years and ordinary models; without jumps the
    Black-Scholes lookback formulas (Conze-Viswanathan, Goldman-Sosin-Gatto) to
    the same accuracy.

    Conventions: the running extremum is the one observed before today (None: a
    new option, the spot). A running maximum below the spot, or minimum above
    it, is not one: NaN, as for NaN inputs, ``T < 0``, a strike, spot or
    extremum not positive and finite, ``sigma <= 0`` (the transform's quartic
    degenerates) or a model out of its domain. ``T == 0`` gives the payoff at
    the running extremum. The values are the same bits for every `workers`.

    Examples
    --------
    >>> import jdpricer_batch
    >>> model = (0.16, 1.0, 0.4, 10.0, 5.0)
    >>> g = jdpricer_batch.floating_lookback_put_greeks(1.0, 100.0, 0.05, *model, running_max=110.0)
    >>> bool(g.delta < 0.0)
    True
    """

class AmericanGreeks(NamedTuple):
    """The result of `american_put_greeks` and `american_call_greeks`.

    A named tuple of twelve float64 arrays of the book's broadcast shape, the
    fields of `Greeks` in its order. Delta, gamma, theta and dual delta come
    from the same solves as the price; vega, rho, psi and the jump law's from
    solves of the bumped model on the same grids (NaN when not asked for).

    Attributes
    ----------
    price : numpy.ndarray of float64
        The price, bit for bit the prices function's at the same accuracy.
    delta : numpy.ndarray of float64
        dV/dS.
    gamma : numpy.ndarray of float64
        d2V/dS2.
    vega : numpy.ndarray of float64
        dV/dsigma, per unit of sigma.
    theta : numpy.ndarray of float64
        -dV/dT, per year: the change of the value as time passes.
    rho : numpy.ndarray of float64
        dV/dr, per unit of rate.
    dual_delta : numpy.ndarray of float64
        dV/dK.
    dlam : numpy.ndarray of float64
        dV/dlam.
    dp : numpy.ndarray of float64
        dV/dp.
    deta1 : numpy.ndarray of float64
        dV/deta1.
    deta2 : numpy.ndarray of float64
        dV/deta2.
    psi : numpy.ndarray of float64
        dV/dq, per unit of dividend yield.

    Examples
    --------
    >>> import jdpricer_batch
    >>> g = jdpricer_batch.american_put_greeks(0.25, 100.0, 100.0, 0.05, 0.15, 0.1, 0.3445, 3.0465, 3.0775)
    >>> g._fields == jdpricer_batch.Greeks._fields
    True
    """

    price: NDArray[np.float64]
    """The price, bit for bit the prices function's at the same accuracy."""
    delta: NDArray[np.float64]
    """dV/dS."""
    gamma: NDArray[np.float64]
    """d2V/dS2."""
    vega: NDArray[np.float64]
    """dV/dsigma, per unit of sigma."""
    theta: NDArray[np.float64]
    """-dV/dT, per year: the change of the value as time passes."""
    rho: NDArray[np.float64]
    """dV/dr, per unit of rate."""
    dual_delta: NDArray[np.float64]
    """dV/dK."""
    dlam: NDArray[np.float64]
    """dV/dlam."""
    dp: NDArray[np.float64]
    """dV/dp."""
    deta1: NDArray[np.float64]
    """dV/deta1."""
    deta2: NDArray[np.float64]
    """dV/deta2."""
    psi: NDArray[np.float64]
    """dV/dq, per unit of dividend yield."""

def american_put_prices(
    T: ArrayLike,
    K: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    q: ArrayLike = 0.0,
    accuracy: _Real = 1e-6,
    workers: SupportsIndex = 1,
) -> NDArray[np.float64]:
    """American put prices of a book under one Kou model.

    Parameters
    ----------
    T, K, S, r : array_like
        Maturity in years, strike, spot price and continuously compounded
        risk-free rate per year, option by option, converted and broadcast as
        the columns of `call_prices`.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (default 0). It lowers the risk-neutral drift of the
        log-price to ``r - q - sigma**2/2 - lam*zeta``; the product watches the
        spot S itself, so the price is not the one at a net spot.
    accuracy : float, optional
        The absolute error accepted, in units of the strike (default 1e-6), from
        1e-10 to 0.1. The solver picks its grid from it.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.

    Returns
    -------
    numpy.ndarray of float64
        The prices, of the broadcast shape (0-d when every column is a scalar).

    Raises
    ------
    ValueError
        For an `accuracy` outside [1e-10, 0.1], shapes that do not broadcast,
        or `workers` 0 or wrapping below 1.
    TypeError
        As for `call_prices`, for columns, model numbers and `workers`.

    Notes
    -----
    Method: the put's partial integro-differential equation in ``x = log(S/K)``
    with ``K = 1``, the price being homogeneous of degree one in S and K: one
    solve per maturity, rate and dividend yield serves every strike and spot of
    the book that share them, and the solves are shared out over `workers`. The
    grid is stretched about the strike (``x = a sinh(xi)``), three-point
    differences; the jump integral costs O(N) a time step by two exponential
    recursions over the cells, exact for the piecewise-linear interpolant
    (Toivanen). Time steps grow away from expiry (``tau_m = T (m/M)**2``):
    two implicit Euler half steps, then variable-step BDF2. Each step is a
    linear complementarity problem, solved exactly by Brennan-Schwartz with the
    jump term iterated to a fixed point. Two resolutions, (h, k) and
    (h/2, k/2), are extrapolated (Richardson), and their difference, which
    estimates the finer one's error, must be within `accuracy` at every
    option, or the grid is refined again; the extrapolated price is returned.
    A call is a put by put-call symmetry under the dual Kou model (the jumps
    under the share measure, reflected: ``lam*(1 + zeta)``,
    ``p* = (1 - p) eta2/(eta2 + 1)/(1 + zeta)``, ``eta1* = eta2 + 1``,
    ``eta2* = eta1 - 1``, r and q exchanged). The interpreter lock is released.

    Where early exercise never pays (a call with ``q <= 0 <= r``, so with no
    dividend yield; a put with ``r <= 0 <= q``) the option is the European one,
    and the closed form is returned (`call_prices` with each maturity's own
    series length, at the spot net of dividends).

    A solved price is raised to the European price and to the payoff where the
    solver's error leaves it a hair below them.

    Accuracy: within `accuracy` of the strike against an independent reference
    (a Fourier Bermudan extrapolated in its number of exercise dates) in the
    documentation's regimes; in practice well within it. ``T == 0`` gives the
    payoff. NaN where an input is NaN, T, K or S is out of its domain, or the
    model is (``sigma <= 0``, ``lam < 0``, `p` outside [0, 1], ``eta1 <= 1``,
    ``eta2 <= 0``), and where the solver cannot reach the accuracy (a grid of
    more than 2**15 nodes). The same bits for every `workers`.

    Examples
    --------
    Toivanen's test case, whose reference value is 2.807879:

    >>> import jdpricer_batch
    >>> model = (0.15, 0.1, 0.3445, 3.0465, 3.0775)
    >>> price = jdpricer_batch.american_put_prices(0.25, 100.0, 100.0, 0.05, *model)
    >>> abs(float(price) - 2.807879) < 1e-4
    True
    >>> bool(price > jdpricer_batch.put_prices(0.25, 100.0, 100.0, 0.05, *model, "auto"))
    True
    """

def american_call_prices(
    T: ArrayLike,
    K: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    q: ArrayLike = 0.0,
    accuracy: _Real = 1e-6,
    workers: SupportsIndex = 1,
) -> NDArray[np.float64]:
    """American call prices of a book under one Kou model.

    Parameters
    ----------
    T, K, S, r : array_like
        Maturity in years, strike, spot price and continuously compounded
        risk-free rate per year, option by option, converted and broadcast as
        the columns of `call_prices`.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (default 0). It lowers the risk-neutral drift of the
        log-price to ``r - q - sigma**2/2 - lam*zeta``; the product watches the
        spot S itself, so the price is not the one at a net spot.
    accuracy : float, optional
        The absolute error accepted, in units of the strike (default 1e-6), from
        1e-10 to 0.1. The solver picks its grid from it.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.

    Returns
    -------
    numpy.ndarray of float64
        The prices, of the broadcast shape (0-d when every column is a scalar).

    Raises
    ------
    ValueError
        For an `accuracy` outside [1e-10, 0.1], shapes that do not broadcast,
        or `workers` 0 or wrapping below 1.
    TypeError
        As for `call_prices`, for columns, model numbers and `workers`.

    Notes
    -----
    Method: the put's partial integro-differential equation in ``x = log(S/K)``
    with ``K = 1``, the price being homogeneous of degree one in S and K: one
    solve per maturity, rate and dividend yield serves every strike and spot of
    the book that share them, and the solves are shared out over `workers`. The
    grid is stretched about the strike (``x = a sinh(xi)``), three-point
    differences; the jump integral costs O(N) a time step by two exponential
    recursions over the cells, exact for the piecewise-linear interpolant
    (Toivanen). Time steps grow away from expiry (``tau_m = T (m/M)**2``):
    two implicit Euler half steps, then variable-step BDF2. Each step is a
    linear complementarity problem, solved exactly by Brennan-Schwartz with the
    jump term iterated to a fixed point. Two resolutions, (h, k) and
    (h/2, k/2), are extrapolated (Richardson), and their difference, which
    estimates the finer one's error, must be within `accuracy` at every
    option, or the grid is refined again; the extrapolated price is returned.
    A call is a put by put-call symmetry under the dual Kou model (the jumps
    under the share measure, reflected: ``lam*(1 + zeta)``,
    ``p* = (1 - p) eta2/(eta2 + 1)/(1 + zeta)``, ``eta1* = eta2 + 1``,
    ``eta2* = eta1 - 1``, r and q exchanged). The interpreter lock is released.

    Where early exercise never pays (a call with ``q <= 0 <= r``, so with no
    dividend yield; a put with ``r <= 0 <= q``) the option is the European one,
    and the closed form is returned (`call_prices` with each maturity's own
    series length, at the spot net of dividends).

    A solved price is raised to the European price and to the payoff where the
    solver's error leaves it a hair below them.

    Accuracy: within `accuracy` of the strike against an independent reference
    (a Fourier Bermudan extrapolated in its number of exercise dates) in the
    documentation's regimes; in practice well within it. ``T == 0`` gives the
    payoff. NaN where an input is NaN, T, K or S is out of its domain, or the
    model is (``sigma <= 0``, ``lam < 0``, `p` outside [0, 1], ``eta1 <= 1``,
    ``eta2 <= 0``), and where the solver cannot reach the accuracy (a grid of
    more than 2**15 nodes). The same bits for every `workers`.

    Examples
    --------
    Without a dividend yield the American call is the European one:

    >>> import jdpricer_batch
    >>> model = (0.16, 1.0, 0.4, 10.0, 5.0)
    >>> american = jdpricer_batch.american_call_prices(1.0, 100.0, 100.0, 0.05, *model)
    >>> bool(american == jdpricer_batch.call_prices(1.0, 100.0, 100.0, 0.05, *model, "auto"))
    True
    >>> bool(jdpricer_batch.american_call_prices(1.0, 100.0, 100.0, 0.05, *model, q=0.08) > jdpricer_batch.call_prices(1.0, 100.0, 100.0, 0.05, *model, "auto", q=0.08))
    True
    """

def american_put_greeks(
    T: ArrayLike,
    K: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    q: ArrayLike = 0.0,
    accuracy: _Real = 1e-6,
    workers: SupportsIndex = 1,
    *,
    model_greeks: bool = True,
) -> AmericanGreeks:
    """American put prices with their Greeks.

    Parameters
    ----------
    T, K, S, r : array_like
        Maturity in years, strike, spot price and continuously compounded
        risk-free rate per year, option by option, converted and broadcast as
        the columns of `call_prices`.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (default 0). It lowers the risk-neutral drift of the
        log-price to ``r - q - sigma**2/2 - lam*zeta``; the product watches the
        spot S itself, so the price is not the one at a net spot.
    accuracy : float, optional
        The absolute error accepted, in units of the strike (default 1e-6), from
        1e-10 to 0.1. The solver picks its grid from it.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.
    model_greeks : bool, optional
        Whether to compute vega, rho, psi, dlam, dp, deta1 and deta2 (default
        True). They cost 14 further solves a maturity (two a parameter, on the
        grids the price's solve stopped at), about ten times the price's own;
        with False they are NaN and the call costs about what the prices cost.

    Returns
    -------
    AmericanGreeks
        A named tuple of float64 arrays of the broadcast shape, the fields of
        `Greeks`. ``price`` is bit for bit the prices function's. ``delta``,
        ``gamma``, ``theta`` and ``dual_delta`` come from the same solves: the
        solution's slope and curvature at the option's point and its time
        derivative at the last step, each extrapolated as the price is (the dual
        delta by the price's homogeneity in S and K). The model's sensitivities
        are central differences of solves of the bumped model on the grids that
        the price's solve stopped at, extrapolated alike, so that the difference
        is the price's change and not a change of grid (steps of 1e-2 of sigma,
        lam and the eta's, 1e-2 in p, 1e-3 in r and q; one-sided second-order
        differences where a step would leave the model's domain, as at
        ``lam == 0`` or ``p == 0``). They are good to about 1e-4 of their size
        at the money and 1e-3 near the exercise boundary at the default
        accuracy. Options that are European (see Notes) get
        the closed form's exact Greeks. At ``T == 0`` the payoff's slopes in S
        and K, and every other field 0.

    Raises
    ------
    ValueError
        For an `accuracy` outside [1e-10, 0.1], shapes that do not broadcast,
        or `workers` 0 or wrapping below 1.
    TypeError
        As for `call_prices`, for columns, model numbers and `workers`.

    Notes
    -----
    Method: the put's partial integro-differential equation in ``x = log(S/K)``
    with ``K = 1``, the price being homogeneous of degree one in S and K: one
    solve per maturity, rate and dividend yield serves every strike and spot of
    the book that share them, and the solves are shared out over `workers`. The
    grid is stretched about the strike (``x = a sinh(xi)``), three-point
    differences; the jump integral costs O(N) a time step by two exponential
    recursions over the cells, exact for the piecewise-linear interpolant
    (Toivanen). Time steps grow away from expiry (``tau_m = T (m/M)**2``):
    two implicit Euler half steps, then variable-step BDF2. Each step is a
    linear complementarity problem, solved exactly by Brennan-Schwartz with the
    jump term iterated to a fixed point. Two resolutions, (h, k) and
    (h/2, k/2), are extrapolated (Richardson), and their difference, which
    estimates the finer one's error, must be within `accuracy` at every
    option, or the grid is refined again; the extrapolated price is returned.
    A call is a put by put-call symmetry under the dual Kou model (the jumps
    under the share measure, reflected: ``lam*(1 + zeta)``,
    ``p* = (1 - p) eta2/(eta2 + 1)/(1 + zeta)``, ``eta1* = eta2 + 1``,
    ``eta2* = eta1 - 1``, r and q exchanged). The interpreter lock is released.

    Where early exercise never pays (a call with ``q <= 0 <= r``, so with no
    dividend yield; a put with ``r <= 0 <= q``) the option is the European one,
    and the closed form is returned (`call_prices` with each maturity's own
    series length, at the spot net of dividends).

    A solved price is raised to the European price and to the payoff where the
    solver's error leaves it a hair below them.

    Accuracy: within `accuracy` of the strike against an independent reference
    (a Fourier Bermudan extrapolated in its number of exercise dates) in the
    documentation's regimes; in practice well within it. ``T == 0`` gives the
    payoff. NaN where an input is NaN, T, K or S is out of its domain, or the
    model is (``sigma <= 0``, ``lam < 0``, `p` outside [0, 1], ``eta1 <= 1``,
    ``eta2 <= 0``), and where the solver cannot reach the accuracy (a grid of
    more than 2**15 nodes). The same bits for every `workers`.

    Examples
    --------
    >>> import jdpricer_batch
    >>> model = (0.15, 0.1, 0.3445, 3.0465, 3.0775)
    >>> g = jdpricer_batch.american_put_greeks(0.25, 100.0, [80.0, 100.0], 0.05, *model)
    >>> [round(float(d), 3) for d in g.delta]
    [-1.0, -0.438]
    >>> [round(float(v), 1) for v in g.vega]
    [0.0, 19.2]
    """

def american_call_greeks(
    T: ArrayLike,
    K: ArrayLike,
    S: ArrayLike,
    r: ArrayLike,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    q: ArrayLike = 0.0,
    accuracy: _Real = 1e-6,
    workers: SupportsIndex = 1,
    *,
    model_greeks: bool = True,
) -> AmericanGreeks:
    """American call prices with their Greeks.

    Parameters
    ----------
    T, K, S, r : array_like
        Maturity in years, strike, spot price and continuously compounded
        risk-free rate per year, option by option, converted and broadcast as
        the columns of `call_prices`.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    q : array_like, optional
        Continuous dividend yield per year, option by option, broadcast with
        the columns (default 0). It lowers the risk-neutral drift of the
        log-price to ``r - q - sigma**2/2 - lam*zeta``; the product watches the
        spot S itself, so the price is not the one at a net spot.
    accuracy : float, optional
        The absolute error accepted, in units of the strike (default 1e-6), from
        1e-10 to 0.1. The solver picks its grid from it.
    workers : int, optional
        Threads the call uses, scipy.fft's convention: 1 (the default) prices
        on the calling thread, a negative count wraps around ``os.cpu_count()``
        (-1: every core). The results are bit for bit the same for every count.
    model_greeks : bool, optional
        Whether to compute vega, rho, psi, dlam, dp, deta1 and deta2 (default
        True). They cost 14 further solves a maturity (two a parameter, on the
        grids the price's solve stopped at), about ten times the price's own;
        with False they are NaN and the call costs about what the prices cost.

    Returns
    -------
    AmericanGreeks
        A named tuple of float64 arrays of the broadcast shape, the fields of
        `Greeks`. ``price`` is bit for bit the prices function's. ``delta``,
        ``gamma``, ``theta`` and ``dual_delta`` come from the same solves: the
        solution's slope and curvature at the option's point and its time
        derivative at the last step, each extrapolated as the price is (the dual
        delta by the price's homogeneity in S and K). The model's sensitivities
        are central differences of solves of the bumped model on the grids that
        the price's solve stopped at, extrapolated alike, so that the difference
        is the price's change and not a change of grid (steps of 1e-2 of sigma,
        lam and the eta's, 1e-2 in p, 1e-3 in r and q; one-sided second-order
        differences where a step would leave the model's domain, as at
        ``lam == 0`` or ``p == 0``). They are good to about 1e-4 of their size
        at the money and 1e-3 near the exercise boundary at the default
        accuracy. Options that are European (see Notes) get
        the closed form's exact Greeks. At ``T == 0`` the payoff's slopes in S
        and K, and every other field 0.

    Raises
    ------
    ValueError
        For an `accuracy` outside [1e-10, 0.1], shapes that do not broadcast,
        or `workers` 0 or wrapping below 1.
    TypeError
        As for `call_prices`, for columns, model numbers and `workers`.

    Notes
    -----
    Method: the put's partial integro-differential equation in ``x = log(S/K)``
    with ``K = 1``, the price being homogeneous of degree one in S and K: one
    solve per maturity, rate and dividend yield serves every strike and spot of
    the book that share them, and the solves are shared out over `workers`. The
    grid is stretched about the strike (``x = a sinh(xi)``), three-point
    differences; the jump integral costs O(N) a time step by two exponential
    recursions over the cells, exact for the piecewise-linear interpolant
    (Toivanen). Time steps grow away from expiry (``tau_m = T (m/M)**2``):
    two implicit Euler half steps, then variable-step BDF2. Each step is a
    linear complementarity problem, solved exactly by Brennan-Schwartz with the
    jump term iterated to a fixed point. Two resolutions, (h, k) and
    (h/2, k/2), are extrapolated (Richardson), and their difference, which
    estimates the finer one's error, must be within `accuracy` at every
    option, or the grid is refined again; the extrapolated price is returned.
    A call is a put by put-call symmetry under the dual Kou model (the jumps
    under the share measure, reflected: ``lam*(1 + zeta)``,
    ``p* = (1 - p) eta2/(eta2 + 1)/(1 + zeta)``, ``eta1* = eta2 + 1``,
    ``eta2* = eta1 - 1``, r and q exchanged). The interpreter lock is released.

    Where early exercise never pays (a call with ``q <= 0 <= r``, so with no
    dividend yield; a put with ``r <= 0 <= q``) the option is the European one,
    and the closed form is returned (`call_prices` with each maturity's own
    series length, at the spot net of dividends).

    A solved price is raised to the European price and to the payoff where the
    solver's error leaves it a hair below them.

    Accuracy: within `accuracy` of the strike against an independent reference
    (a Fourier Bermudan extrapolated in its number of exercise dates) in the
    documentation's regimes; in practice well within it. ``T == 0`` gives the
    payoff. NaN where an input is NaN, T, K or S is out of its domain, or the
    model is (``sigma <= 0``, ``lam < 0``, `p` outside [0, 1], ``eta1 <= 1``,
    ``eta2 <= 0``), and where the solver cannot reach the accuracy (a grid of
    more than 2**15 nodes). The same bits for every `workers`.

    Examples
    --------
    >>> import jdpricer_batch
    >>> model = (0.16, 1.0, 0.4, 10.0, 5.0)
    >>> g = jdpricer_batch.american_call_greeks(1.0, 100.0, 100.0, 0.03, *model, q=0.06)
    >>> bool(0.0 < g.delta < 1.0 and g.gamma > 0.0)
    True
    """

def american_exercise_boundary(
    tau: ArrayLike,
    K: _Real,
    r: _Real,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    kind: Literal["put", "call"] = "put",
    q: _Real = 0.0,
    accuracy: _Real = 1e-6,
) -> NDArray[np.float64]:
    """The early-exercise boundary of an American put or call under one Kou model.

    The critical spot at each time to expiry: a put is exercised at or below
    it, a call at or above it.

    Parameters
    ----------
    tau : array_like
        Times to expiry in years, converted like the columns of `call_prices`.
    K : float
        The strike.
    r : float
        The continuously compounded risk-free rate per year.
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    kind : {"put", "call"}, optional
        The option (default "put").
    q : float, optional
        The continuously compounded dividend yield per year (default 0).
    accuracy : float, optional
        The absolute error accepted, in units of the strike (default 1e-6), from
        1e-10 to 0.1. The solver picks its grid from it.

    Returns
    -------
    numpy.ndarray of float64
        The critical spots, of tau's shape.

    Raises
    ------
    ValueError
        For another `kind` or an `accuracy` outside [1e-10, 0.1].

    Notes
    -----
    One solve to the longest tau, as for `american_put_prices` at `accuracy`
    (asked at the strike); the boundary at each time step is the last grid node
    where the option is exercised, so it is resolved to the grid's spacing
    there, and linear in tau between steps. ``tau == 0`` gives the strike. NaN
    for a negative tau, and where the option is never exercised early (the
    solve finds no exercised node) or the inputs are invalid.

    Examples
    --------
    >>> import jdpricer_batch
    >>> model = (0.15, 0.1, 0.3445, 3.0465, 3.0775)
    >>> b = jdpricer_batch.american_exercise_boundary([0.05, 0.25], 100.0, 0.05, *model)
    >>> bool(80.0 < b[1] < b[0] < 100.0)
    True
    """

def perpetual_american_put_prices(
    K: ArrayLike,
    S: ArrayLike,
    r: _Real,
    sigma: _Real,
    lam: _Real,
    p: _Real,
    eta1: _Real,
    eta2: _Real,
    q: _Real = 0.0,
) -> NDArray[np.float64]:
    """Perpetual American put prices under one Kou model, in closed form.

    The limit of the American put as T grows without bound (Kou and Wang).

    Parameters
    ----------
    K, S : array_like
        Strike and spot price, option by option, converted and broadcast like
        the columns of `call_prices`.
    r : float
        The continuously compounded risk-free rate per year (> 0).
    sigma : float
        Volatility of the diffusion, per square root of a year (> 0).
    lam : float
        Jump intensity, jumps per year (>= 0).
    p : float
        Probability that a jump is upward, in [0, 1].
    eta1 : float
        Rate of the exponential upward log-jump size, the mean upward jump
        being 1/eta1 (> 1: the stock's expectation is infinite otherwise).
    eta2 : float
        Rate of the exponential downward log-jump size (> 0).
    q : float, optional
        The continuously compounded dividend yield per year (default 0).

    Returns
    -------
    numpy.ndarray of float64
        The prices, of the broadcast shape.

    Notes
    -----
    Exercised when the spot first falls to a level S_b; the downward first
    passage is in closed form through the two positive roots of
    ``G(-x) = r`` (G the exponent of the log-price), the undershoot being 0 or
    exponential and independent of the time (the jumps are memoryless). S_b is
    where the value meets ``K - S`` smoothly: in closed form. Without jumps it
    is the Black-Scholes perpetual put. NaN for ``r <= 0`` (no finite exercise
    level), invalid models, and K or S not positive.

    Examples
    --------
    >>> import jdpricer_batch
    >>> model = (0.15, 0.1, 0.3445, 3.0465, 3.0775)
    >>> perpetual = jdpricer_batch.perpetual_american_put_prices(100.0, 100.0, 0.05, *model)
    >>> bool(perpetual > jdpricer_batch.american_put_prices(3.0, 100.0, 100.0, 0.05, *model))
    True
    """
