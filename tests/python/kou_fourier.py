"""Independent Fourier-inversion reference prices for Kou's jump-diffusion.

The test suite uses this module to check the closed-form series pricer
against a price obtained along an entirely different route: numerical
inversion of the characteristic function, in pure Python on mpmath (runs on
CPython and PyPy, no compiled dependencies).

Model (risk-neutral)::

    log S_T = log S + mu*T + sigma*W_T + sum_{i <= M_T} Y_i,

M Poisson with intensity ``lam``; Y ~ +Exp(eta1) with probability ``p`` and
Y ~ -Exp(eta2) with probability ``1 - p``;
``mu = r - sigma**2/2 - lam*zeta``,
``zeta = p*eta1/(eta1 - 1) + (1 - p)*eta2/(eta2 + 1) - 1`` (needs eta1 > 1).
X = log(S_T/S) has characteristic function

    phi(u) = exp(T*(i*u*mu - sigma**2*u**2/2
                    + lam*(p*eta1/(eta1 - i*u) + (1-p)*eta2/(eta2 + i*u) - 1)))

so phi(-i) = exp(r*T): phi already contains the rate drift.

Method: Lewis's formula on the contour Im = -1/2.  Writing the call payoff
as K*(e^(x+X) - 1)^+ with x = log(S/K), inverting its generalised Fourier
transform on Im z = 1/2 + c (c > 1/2) and moving the contour down to
Im z = 1/2 picks up the residue at z = i, which is the spot S:

    C = S - sqrt(S*K)*exp(-r*T)/pi * int_0^inf Re[e^(i*u*x) phi(u - i/2)]
                                              / (u**2 + 1/4) du.

(With the drift convention above, x is log(S/K) and the discount factor is
exp(-r*T); the textbook variant with k = log(S/K) + r*T and exp(-r*T/2)
assumes a cf of X - r*T and is the same thing.)  The put uses the same
integral, P = K*exp(-r*T) - sqrt(S*K)*exp(-r*T)/pi * I, which is put-call
parity carried out at working precision.

The integrand is evaluated in real arithmetic:
``exp(A(u)) * cos(B(u) + u*x) / (u**2 + 1/4)``, with A, B the real and
imaginary parts of log phi(u - i/2).  A(u) <= A(0) - sigma**2*T*u**2/2, so
the range is truncated at U with sigma**2*T*U**2/2 = (dps + 3)*ln 10, a
relative tail below 10**-(dps+3).  [0, U] is split into Gauss-Legendre
panels: geometric 0, 1/2, 1, 2, ... up to the panel width h (the factor
1/(u**2 + 1/4) has poles at +-i/2), then uniform panels of width
h = min(1/(sigma*sqrt(T)), 2*pi/|w|), where w = x + T*(r - lam*zeta) is the
asymptotic oscillation frequency.  Each panel goes to mpmath.quad.  If the
quadrature's own error estimate is not far below 10**-dps the panels are
halved and the integral redone; after a few failures ArithmeticError is
raised rather than a doubtful number returned.

Numerical caveats:

* sigma must be positive.  The integrand decays like exp(-sigma**2*T*u**2/2);
  with sigma = 0 the atom at "no jumps" leaves only 1/u**2 decay and the
  truncation above is invalid, so sigma <= 0 is rejected.  Small sigma*sqrt(T)
  together with a large |log(S/K)| means a long, fast-oscillating integrand
  and many panels (slow, but still accurate).
* The price is a difference S - (...) (or K*exp(-r*T) - (...)), so
  log10(S/price) digits cancel.  When fewer than about 16 significant digits
  would be left (judged from the quadrature error estimate), the
  computation is redone with enough extra guard digits; prices below about
  10**-(dps+20) of the spot raise ArithmeticError (pass a larger ``dps``).
* Inputs are converted with mpmath.mpf, so Python floats are taken at their
  exact binary value (0.05 is not exactly 1/20).  Compare with a pricer that
  is fed the same floats.
* eta1 > 1 is required (for the martingale correction); eta2 > 0.

Results are returned as mpmath ``mpf`` rounded to ``dps`` digits; callers
convert with ``float()`` as needed.  mp.workdps changes the global mpmath
context for the duration of a call (not thread-safe, like all of mpmath).
"""

import mpmath as mp
from mpmath import mpf

__all__ = [
    "kou_call_fourier",
    "kou_put_fourier",
    "black_scholes_call",
    "black_scholes_put",
]

# Significant digits wanted in a returned price after cancellation.
_WANTED_DIGITS = 16
# Largest number of guard digits added for deep out-of-the-money prices.
_MAX_GUARD = 40
# Refinement rounds when the quadrature error estimate is too large.
_MAX_REFINE = 3


def _as_mpf(values):
    return [mpf(v) for v in values]


def _check_kou(T, K, S, sigma, lam, p, eta1, eta2):
    if not T > 0:
        raise ValueError("maturity T must be positive")
    if not (K > 0 and S > 0):
        raise ValueError("spot S and strike K must be positive")
    if not sigma > 0:
        raise ValueError("sigma must be positive (the inversion needs the "
                         "Gaussian decay of the characteristic function)")
    if not lam >= 0:
        raise ValueError("jump intensity lam must be non-negative")
    if not 0 <= p <= 1:
        raise ValueError("p must lie in [0, 1]")
    if not eta1 > 1:
        raise ValueError("eta1 must exceed 1")
    if not eta2 > 0:
        raise ValueError("eta2 must be positive")


def _lewis_integral(T, K, S, r, sigma, lam, p, eta1, eta2, dps):
    """Return (I, abs_err, prefactor) with the call = S - prefactor*I.

    abs_err is a (pessimistic) absolute error bound for I: the larger of
    the quadrature's estimate and 10**-(dps-3) times the integrand scale.

    Must be called inside a workdps(dps) block; all arguments are mpf.
    """
    half = mpf(1) / 2
    q = 1 - p
    zeta = p * eta1 / (eta1 - 1) + q * eta2 / (eta2 + 1) - 1
    mu = r - sigma**2 / 2 - lam * zeta
    x = mp.log(S / K)

    # log phi(u - i/2) = A(u) + i*B(u) with
    #   A = T*(mu/2 + sigma^2/8 - sigma^2 u^2/2
    #          + lam*(p eta1 a1/(a1^2+u^2) + q eta2 a2/(a2^2+u^2) - 1))
    #   B = T*u*(mu + sigma^2/2 + lam*(p eta1/(a1^2+u^2) - q eta2/(a2^2+u^2)))
    # where a1 = eta1 - 1/2, a2 = eta2 + 1/2.
    a1 = eta1 - half
    a2 = eta2 + half
    a1sq = a1 * a1
    a2sq = a2 * a2
    c1 = p * eta1
    c2 = q * eta2
    c1a1 = c1 * a1
    c2a2 = c2 * a2
    s2T_half = sigma**2 * T / 2
    lT = lam * T
    A0 = T * (mu / 2 + sigma**2 / 8) - lT
    B1 = T * (mu + sigma**2 / 2) + x
    quarter = half / 2
    exp, cos = mp.exp, mp.cos

    def integrand(u):
        u2 = u * u
        d1 = 1 / (a1sq + u2)
        d2 = 1 / (a2sq + u2)
        A = A0 - s2T_half * u2 + lT * (c1a1 * d1 + c2a2 * d2)
        B = u * (B1 + lT * (c1 * d1 - c2 * d2))
        return exp(A) * cos(B) / (u2 + quarter)

    # Truncation point: exp(A(u)) <= exp(A(0)) * exp(-sigma^2 T u^2 / 2).
    U = mp.sqrt((dps + 3) * mp.log(10) / s2T_half)
    gauss_scale = 1 / (sigma * mp.sqrt(T))
    w = abs(x + T * (r - lam * zeta))
    h = gauss_scale
    if w * h > 2 * mp.pi:
        h = 2 * mp.pi / w
    # Integrand scale, for judging the absolute quadrature error.
    scale = exp(A0 + lT * (c1a1 / a1sq + c2a2 / a2sq)) / quarter
    tol = scale * mpf(10) ** (-(dps - 8))

    for _ in range(_MAX_REFINE + 1):
        pts = [mpf(0)]
        b = half
        while b < h and b < U:
            pts.append(b)
            b *= 2
        n = int(mp.ceil((U - pts[-1]) / h))
        step = (U - pts[-1]) / n
        start = pts[-1]
        pts.extend(start + k * step for k in range(1, n + 1))
        I, err = mp.quad(integrand, pts, method="gauss-legendre", error=True)
        if err <= tol:
            abs_err = max(err, scale * mpf(10) ** (-(dps - 3)))
            return I, abs_err, mp.sqrt(S * K) * exp(-r * T) / mp.pi
        h /= 2
    raise ArithmeticError(
        "Lewis integral did not converge (estimated error %s, tolerance %s)"
        % (mp.nstr(err, 3), mp.nstr(tol, 3)))


def _kou_price(is_call, T, K, S, r, sigma, lam, p, eta1, eta2, dps):
    dps = int(dps)
    if dps < 20:
        raise ValueError("dps below 20 leaves too few digits after the "
                         "cancellation in Lewis's formula")
    with mp.workdps(dps):
        args = _as_mpf((T, K, S, r, sigma, lam, p, eta1, eta2))
        _check_kou(args[0], args[1], args[2], args[4], args[5], args[6],
                   args[7], args[8])
    guard = 0
    while True:
        work = dps + guard
        with mp.workdps(work):
            T_, K_, S_, r_, sigma_, lam_, p_, eta1_, eta2_ = _as_mpf(
                (T, K, S, r, sigma, lam, p, eta1, eta2))
            I, I_err, pref = _lewis_integral(T_, K_, S_, r_, sigma_, lam_,
                                             p_, eta1_, eta2_, work)
            disc_K = K_ * mp.exp(-r_ * T_)
            lead = S_ if is_call else disc_K
            price = lead - pref * I
            # Significant digits left after the cancellation.
            abs_err = pref * I_err + max(S_, disc_K) * mpf(10) ** (-work)
            if price > 0:
                left = float(mp.log10(price / abs_err))
            else:
                left = -1.0
            if left >= _WANTED_DIGITS:
                with mp.workdps(dps):
                    return +price
            bound = abs(price) + abs_err
        need = guard + int(_WANTED_DIGITS - left) + 5 if left >= 0 \
            else guard + 15
        if need > _MAX_GUARD:
            raise ArithmeticError(
                "option price (below about %s) too small relative to the "
                "spot to resolve at dps=%d; increase dps"
                % (mp.nstr(bound, 3), dps))
        guard = need


def kou_call_fourier(T, K, S, r, sigma, lam, p, eta1, eta2, dps=30):
    """European call under Kou's model by Lewis-formula Fourier inversion.

    Arguments: maturity T, strike K, spot S, continuously compounded rate r,
    diffusion volatility sigma, jump intensity lam, up-jump probability p,
    up-jump rate eta1 (> 1), down-jump rate eta2.  Returns an mpmath mpf
    rounded to ``dps`` significant digits, of which at least about 16 are
    reliable (extra guard digits are used when cancellation demands it).
    """
    return _kou_price(True, T, K, S, r, sigma, lam, p, eta1, eta2, dps)


def kou_put_fourier(T, K, S, r, sigma, lam, p, eta1, eta2, dps=30):
    """European put under Kou's model; same arguments as kou_call_fourier.

    Uses the same Lewis integral as the call (put-call parity at working
    precision).  Returns an mpmath mpf.
    """
    return _kou_price(False, T, K, S, r, sigma, lam, p, eta1, eta2, dps)


def _bs_d1_d2(T, K, S, r, sigma):
    vol = sigma * mp.sqrt(T)
    d1 = (mp.log(S / K) + (r + sigma**2 / 2) * T) / vol
    return d1, d1 - vol


def black_scholes_call(T, K, S, r, sigma, dps=30):
    """Black-Scholes call (same argument order as the Kou functions), mpf."""
    with mp.workdps(dps):
        T, K, S, r, sigma = _as_mpf((T, K, S, r, sigma))
        d1, d2 = _bs_d1_d2(T, K, S, r, sigma)
        return S * mp.ncdf(d1) - K * mp.exp(-r * T) * mp.ncdf(d2)


def black_scholes_put(T, K, S, r, sigma, dps=30):
    """Black-Scholes put (same argument order as the Kou functions), mpf."""
    with mp.workdps(dps):
        T, K, S, r, sigma = _as_mpf((T, K, S, r, sigma))
        d1, d2 = _bs_d1_d2(T, K, S, r, sigma)
        return K * mp.exp(-r * T) * mp.ncdf(-d2) - S * mp.ncdf(-d1)
