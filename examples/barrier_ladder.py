"""Barrier ladders under a calibrated Kou model -> docs/barrier_ladder.png.

A desk that sells barrier options first fits its model to the vanillas, then
prices the exotics with it. This script does both.

Calibration. The market is the surface of calibrate_surface.py (maturities 1
month to 1 year, strikes 75 to 125, S = 100, r = 0.05), made from known Kou
parameters and quoted as implied volatilities with a little seeded Gaussian
noise, then shown as listed markets trade it: puts below the spot, calls at
and above it. scipy's least_squares fits sigma, lam, p, eta1 and eta2 to the
quotes with residuals (model - quote) / vega, one jdpricer_batch.put_prices
and one call_prices call per evaluation and the exact Greeks of put_greeks
and call_greeks as the Jacobian. Every series length is n = "auto": each
maturity gets the length that leaves nothing to truncate for the trial
model, so no length has to be chosen for the whole box; a trial point that
moves a length moves the prices by less than their last bit.

Ladder. With the fitted model, up-and-out calls (K = 100, barriers 105 to
150) and down-and-out puts (K = 100, barriers 95 to 50), T = 0.5, each with
its delta and gamma from barrier_call_greeks / barrier_put_greeks, beside
Black-Scholes with the same total variance per year,
sigma^2 + lam*(2p/eta1^2 + 2(1-p)/eta2^2), priced by Reiner and Rubinstein's
continuous-barrier formulas (written out below, with delta and gamma by
central differences). Equal variance makes the comparison about the shape of
the law, not its width. The fitted model puts most of the variance into
rare jumps and leaves the diffusion at sigma of about 0.16: barriers near the
spot, which the diffusion reaches, are crossed far less often than under
Black-Scholes with that variance, while the large downward jumps (mean log
size 1/eta2, about 0.2) reach down barriers far away that a diffusion of
that variance almost never reaches.

Picture. Price and delta of the up-and-out call (K = 100, H = 120) and of a
one-touch at H = 120 paid at the hit, for spots from 80 to just below the
barrier, Kou against Black-Scholes. Towards the barrier the up-and-out
call's delta turns negative and steepens: the value must fall to 0 at the
barrier, under Kou from a peak more than twice Black-Scholes's.

The Black-Scholes formulas are checked against jdpricer_batch at lam = 0
(the same products without jumps) before anything is printed.

CPython, needs the examples extra (scipy, vollib, matplotlib):
    .venv-cpython/bin/python examples/barrier_ladder.py
"""
import argparse
import math
import os
import time
from typing import NamedTuple

import numpy as np
from scipy.optimize import least_squares
from scipy.special import ndtr

import jdpricer_batch
from calibrate_surface import (
    IV_NOISE,
    LOWER,
    MATURITIES,
    RATE,
    SEED,
    SPOT,
    START_PARAMS,
    STRIKES,
    TRUE_PARAMS,
    UPPER,
    KouParams,
    check_accuracy_box,
    make_market,
)

HERE = os.path.dirname(os.path.abspath(__file__))
PICTURE = os.path.join(HERE, "..", "docs", "barrier_ladder.png")

T_LADDER, STRIKE = 0.5, 100.0
CALL_BARRIERS = np.arange(105.0, 150.1, 5.0)  # up-and-out calls
PUT_BARRIERS = np.arange(95.0, 49.9, -5.0)  # down-and-out puts
PICTURE_BARRIER = 120.0
PICTURE_SPOTS = np.linspace(80.0, 119.8, 200)


# ---------------------------------------------------------------- calibration


class Quotes(NamedTuple):
    maturities: np.ndarray
    strikes: np.ndarray
    calls: np.ndarray  # True where the quote is a call (K >= S), a put otherwise
    vols: np.ndarray  # quoted implied volatilities
    prices: np.ndarray  # their Black-Scholes prices, call or put
    vegas: np.ndarray


def make_quotes(params, iv_noise, seed, maturities=MATURITIES, strikes=STRIKES):
    """calibrate_surface's noisy surface, quoted out of the money."""
    market = make_market(params, maturities, strikes, iv_noise, seed, n="auto")
    calls = np.broadcast_to(strikes[None, :] >= SPOT, market.prices.shape)
    # A put of the same implied volatility by parity; the vega is the call's.
    puts = market.prices - SPOT + strikes[None, :] * np.exp(-RATE * maturities[:, None])
    return Quotes(maturities, strikes, calls, market.vols, np.where(calls, market.prices, puts), market.vegas)


def kou_otm_surface(params, maturities, strikes):
    """Out-of-the-money prices: one put_prices and one call_prices call."""
    T, K = maturities[:, None], strikes[None, :]
    calls = jdpricer_batch.call_prices(T, K, SPOT, RATE, *params, "auto")
    puts = jdpricer_batch.put_prices(T, K, SPOT, RATE, *params, "auto")
    return np.where(K >= SPOT, calls, puts)


def kou_otm_jacobian(params, maturities, strikes):
    """d price / d (sigma, lam, p, eta1, eta2), one row per quote."""
    T, K = maturities[:, None], strikes[None, :]
    c = jdpricer_batch.call_greeks(T, K, SPOT, RATE, *params, "auto")
    p = jdpricer_batch.put_greeks(T, K, SPOT, RATE, *params, "auto")
    fields = ("vega", "dlam", "dp", "deta1", "deta2")
    otm = K >= SPOT
    return np.stack([np.where(otm, getattr(c, f), getattr(p, f)) for f in fields], axis=-1).reshape(-1, 5)


class Calibration(NamedTuple):
    params: KouParams
    rms_vol_error: float  # RMS of the vega-scaled residuals at the fit, in volatility
    seconds: float
    result: object  # scipy's OptimizeResult


def calibrate(quotes, start=START_PARAMS, lower=LOWER, upper=UPPER):
    check_accuracy_box(lower, upper, float(quotes.maturities.max()))

    def residuals(x):
        return ((kou_otm_surface(x, quotes.maturities, quotes.strikes) - quotes.prices) / quotes.vegas).ravel()

    def jacobian(x):
        return kou_otm_jacobian(x, quotes.maturities, quotes.strikes) / quotes.vegas.reshape(-1, 1)

    began = time.perf_counter()
    result = least_squares(
        residuals, np.array(start), jac=jacobian, bounds=(np.array(lower), np.array(upper)),
        x_scale="jac", xtol=1e-12, ftol=1e-12,
    )
    seconds = time.perf_counter() - began
    return Calibration(KouParams(*map(float, result.x)), float(np.sqrt(np.mean(result.fun**2))), seconds, result)


# ------------------------------------------------------ Black-Scholes barriers


def total_variance_vol(params):
    """Black-Scholes volatility with the Kou log-return's variance per year.

    A double-exponential jump has E[Y^2] = 2p/eta1^2 + 2(1-p)/eta2^2, and a
    compound Poisson process adds lam*E[Y^2] per year to the diffusion's
    sigma^2.
    """
    sigma, lam, p, eta1, eta2 = params
    return math.sqrt(sigma**2 + lam * (2.0 * p / eta1**2 + 2.0 * (1.0 - p) / eta2**2))


def reiner_rubinstein_out(kind, S, K, H, T, r, vol):
    """Continuously monitored knock-out, no rebate, no dividends.

    kind "up-and-out call" (needs K < H) or "down-and-out put" (K > H), the
    two cases where the barrier lies beyond the strike on the money side and
    the value is A - B + C - D in Reiner and Rubinstein's (1991) notation:
    A the vanilla, B the vanilla's paths that end beyond the barrier, C and
    D their reflections in it (the factors (H/S)^(2 mu) of the reflection
    principle with drift). 0 where the spot is at or beyond the barrier.
    """
    phi, eta = {"up-and-out call": (1.0, -1.0), "down-and-out put": (-1.0, 1.0)}[kind]
    S = np.asarray(S, dtype=float)
    s = vol * math.sqrt(T)
    mu = (r - 0.5 * vol * vol) / (vol * vol)
    disc = math.exp(-r * T)
    x1 = np.log(S / K) / s + (1.0 + mu) * s
    x2 = np.log(S / H) / s + (1.0 + mu) * s
    y1 = np.log(H * H / (S * K)) / s + (1.0 + mu) * s
    y2 = np.log(H / S) / s + (1.0 + mu) * s
    up_stock, up_cash = (H / S) ** (2.0 * (mu + 1.0)), (H / S) ** (2.0 * mu)
    A = phi * (S * ndtr(phi * x1) - K * disc * ndtr(phi * (x1 - s)))
    B = phi * (S * ndtr(phi * x2) - K * disc * ndtr(phi * (x2 - s)))
    C = phi * (S * up_stock * ndtr(eta * y1) - K * disc * up_cash * ndtr(eta * (y1 - s)))
    D = phi * (S * up_stock * ndtr(eta * y2) - K * disc * up_cash * ndtr(eta * (y2 - s)))
    alive = S < H if eta < 0 else S > H
    return np.where(alive, A - B + C - D, 0.0)


def black_scholes_one_touch(S, H, T, r, vol):
    """One-touch paying 1 at the hit: E[exp(-r tau); tau <= T].

    The Laplace transform of a drifted Brownian first passage, cut at T:
    (H/S)^(mu +- lambda) with lambda = sqrt(mu^2 + 2r/vol^2) (Rubinstein and
    Reiner's binary barrier, case "cash at hit"). 1 at or beyond the barrier.
    """
    S = np.asarray(S, dtype=float)
    eta = np.where(H > S, -1.0, 1.0)  # -1: up barrier
    s = vol * math.sqrt(T)
    mu = (r - 0.5 * vol * vol) / (vol * vol)
    lam = math.sqrt(mu * mu + 2.0 * r / (vol * vol))
    z = np.log(H / S) / s + lam * s
    value = (H / S) ** (mu + lam) * ndtr(eta * z) + (H / S) ** (mu - lam) * ndtr(eta * z - 2.0 * eta * lam * s)
    return np.where(S == H, 1.0, value)


def central_differences(value, S, h):
    """(delta, gamma) of value(S) with step h: errors O(h^2)."""
    up, mid, down = value(S + h), value(S), value(S - h)
    return (up - down) / (2.0 * h), (up - 2.0 * mid + down) / (h * h)


def check_black_scholes_formulas(vol):
    """The formulas against jdpricer_batch without jumps: the largest difference."""
    no_jumps = (vol, 0.0, 0.5, 10.0, 5.0)
    spots = np.array([85.0, 100.0, 110.0])
    worst = 0.0
    for H in CALL_BARRIERS:
        engine = jdpricer_batch.barrier_call_prices(T_LADDER, STRIKE, H, spots, RATE, *no_jumps, "up-and-out")
        formula = reiner_rubinstein_out("up-and-out call", spots, STRIKE, H, T_LADDER, RATE, vol)
        worst = max(worst, float(np.max(np.abs(engine - formula))))
    for H in PUT_BARRIERS:
        engine = jdpricer_batch.barrier_put_prices(T_LADDER, STRIKE, H, 100.0, RATE, *no_jumps, "down-and-out")
        formula = reiner_rubinstein_out("down-and-out put", 100.0, STRIKE, H, T_LADDER, RATE, vol)
        worst = max(worst, float(np.max(np.abs(engine - formula))))
    engine = jdpricer_batch.touch_prices(T_LADDER, PICTURE_BARRIER, PICTURE_SPOTS, RATE, *no_jumps, "one-touch")
    formula = black_scholes_one_touch(PICTURE_SPOTS, PICTURE_BARRIER, T_LADDER, RATE, vol)
    return max(worst, float(np.max(np.abs(engine - formula))))


# ---------------------------------------------------------------- the ladder


class Rung(NamedTuple):
    barrier: float
    price: float
    delta: float
    gamma: float
    bs_price: float
    bs_delta: float
    bs_gamma: float


def ladder(params, kind, barriers, S=SPOT, T=T_LADDER, K=STRIKE, r=RATE):
    """One rung per barrier: the whole ladder is one Greeks call."""
    vol = total_variance_vol(params)
    if kind == "up-and-out call":
        g = jdpricer_batch.barrier_call_greeks(T, K, barriers, S, r, *params, "up-and-out")
    else:
        g = jdpricer_batch.barrier_put_greeks(T, K, barriers, S, r, *params, "down-and-out")
    rungs = []
    for i, H in enumerate(barriers):
        def bs(spot, H=H):
            return reiner_rubinstein_out(kind, spot, K, H, T, r, vol)

        bs_delta, bs_gamma = central_differences(bs, S, 1e-2)
        rungs.append(Rung(float(H), float(g.price[i]), float(g.delta[i]), float(g.gamma[i]),
                          float(bs(S)), float(bs_delta), float(bs_gamma)))
    return rungs


def print_ladder(title, rungs, vanilla, bs_vanilla):
    print(title)
    print(f"{'barrier':>8} {'Kou':>9} {'BS':>9} {'Kou/BS':>7} {'delta':>8} {'BS delta':>9} {'gamma':>9} {'BS gamma':>9}")
    for g in rungs:
        print(f"{g.barrier:8.0f} {g.price:9.4f} {g.bs_price:9.4f} {g.price / g.bs_price:7.3f} {g.delta:+8.4f} "
              f"{g.bs_delta:+9.4f} {g.gamma:+9.5f} {g.bs_gamma:+9.5f}")
    print(f"{'none':>8} {vanilla:9.4f} {bs_vanilla:9.4f} {vanilla / bs_vanilla:7.3f}")


# ---------------------------------------------------------------- the picture


def plot(params, path):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    vol = total_variance_vol(params)
    S, H, T = PICTURE_SPOTS, PICTURE_BARRIER, T_LADDER
    uoc = jdpricer_batch.barrier_call_greeks(T, STRIKE, H, S, RATE, *params, "up-and-out")
    touch = jdpricer_batch.touch_greeks(T, H, S, RATE, *params, "one-touch")
    bs_uoc = lambda s: reiner_rubinstein_out("up-and-out call", s, STRIKE, H, T, RATE, vol)  # noqa: E731
    bs_touch = lambda s: black_scholes_one_touch(s, H, T, RATE, vol)  # noqa: E731
    # The step stays inside the spots' side of the barrier: 119.8 + 0.01 < 120.
    bs_uoc_delta, _ = central_differences(bs_uoc, S, 1e-2)
    bs_touch_delta, _ = central_differences(bs_touch, S, 1e-2)

    fig, axes = plt.subplots(2, 2, figsize=(8.4, 5.6), sharex=True)
    panels = [
        (axes[0, 0], uoc.price, bs_uoc(S), "up-and-out call K=100: price"),
        (axes[1, 0], uoc.delta, bs_uoc_delta, "up-and-out call: delta"),
        (axes[0, 1], touch.price, bs_touch(S), "one-touch, paid at the hit: value"),
        (axes[1, 1], touch.delta, bs_touch_delta, "one-touch: delta"),
    ]
    for ax, kou, bs, title in panels:
        ax.plot(S, kou, lw=1.8, label="Kou, calibrated")
        ax.plot(S, bs, lw=1.4, ls="--", color="grey", label=f"Black-Scholes, vol {vol:.1%} (same variance)")
        ax.axvline(H, color="C3", lw=0.8, ls=":", label=f"barrier {H:g}")
        ax.axhline(0.0, color="black", lw=0.5)
        ax.set_title(title, fontsize=9)
        ax.grid(True, alpha=0.3)
    for ax in axes[1]:
        ax.set_xlabel("spot S")
    axes[0, 0].legend(fontsize=7.5, loc="upper left")
    f = params
    fig.suptitle(
        f"Barrier H={H:g}, T={T}, r={RATE}; Kou sigma={f.sigma:.3f} lam={f.lam:.2f} p={f.p:.2f} "
        f"eta1={f.eta1:.1f} eta2={f.eta2:.2f}",
        fontsize=9,
    )
    fig.tight_layout()
    fig.savefig(path, dpi=80)
    plt.close(fig)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--noise", type=float, default=IV_NOISE, help="quote noise, in volatility (default %(default)s)")
    parser.add_argument("--seed", type=int, default=SEED)
    parser.add_argument("--no-picture", action="store_true", help=f"do not write {os.path.normpath(PICTURE)}")
    args = parser.parse_args()

    quotes = make_quotes(TRUE_PARAMS, args.noise, args.seed)
    fit = calibrate(quotes)
    params = fit.params
    puts = int(np.count_nonzero(~quotes.calls))
    print(
        f"surface: {len(quotes.maturities)} maturities x {len(quotes.strikes)} strikes = {quotes.prices.size} quotes "
        f"({puts} puts, {quotes.prices.size - puts} calls), noise {args.noise * 100:g} vol points (seed {args.seed}), "
        f"n = \"auto\""
    )
    print(f"{'':8}{'true':>10}{'fitted':>10}")
    for name, true, fitted in zip(KouParams._fields, TRUE_PARAMS, params):
        print(f"{name:8}{true:10.4f}{fitted:10.4f}")
    print(f"fit: RMS {fit.rms_vol_error * 100:.3g} vol points, {fit.result.nfev} evaluations, {fit.seconds:.3f} s")

    vol = total_variance_vol(params)
    worst = check_black_scholes_formulas(vol)
    if not worst < 1e-10:
        raise SystemExit(f"Black-Scholes formulas disagree with jdpricer_batch at lam = 0 by {worst:.2e}")
    print(f"Black-Scholes with the same variance: vol {vol:.4f} (diffusion alone {params.sigma:.4f}); "
          f"its formulas match jdpricer_batch at lam = 0 to {worst:.1e}")
    print()

    S, K, T = SPOT, STRIKE, T_LADDER
    call = float(jdpricer_batch.call_prices(T, K, S, RATE, *params, "auto"))
    put = float(jdpricer_batch.put_prices(T, K, S, RATE, *params, "auto"))
    forward_vol = vol * math.sqrt(T)
    d1 = (math.log(S / K) + RATE * T) / forward_vol + 0.5 * forward_vol
    bs_call = S * ndtr(d1) - K * math.exp(-RATE * T) * ndtr(d1 - forward_vol)
    bs_put = bs_call - S + K * math.exp(-RATE * T)
    print_ladder(f"up-and-out calls, K = {K:g}, S = {S:g}, T = {T}", ladder(params, "up-and-out call", CALL_BARRIERS),
                 call, bs_call)
    print()
    print_ladder(f"down-and-out puts, K = {K:g}, S = {S:g}, T = {T}",
                 ladder(params, "down-and-out put", PUT_BARRIERS), put, bs_put)
    if not args.no_picture:
        plot(params, PICTURE)
        print(f"wrote {os.path.normpath(PICTURE)}")


if __name__ == "__main__":
    main()
