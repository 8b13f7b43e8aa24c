"""Black-Scholes implied volatility of Kou call prices -> docs/smile.png.

Contract and model: T = 0.5, S = 100, r = 0.05, sigma = 0.16, lam = 1,
p = 0.4, eta1 = 10, eta2 = 5; strikes 60..140; n = 40 Poisson terms (the
truncation bound is below 1e-50 here). Jumps, mostly downward and larger
downward (mean 1/5 against 1/10), fatten the left tail: the implied
volatility lies above the diffusion's flat 16% everywhere and rises towards
low strikes.

The implied volatility solves BS(vol) = price by bisection on
[1e-6, 5]: the call price is increasing in vol, so the bracket never loses
the root, which matters for deep in-the-money strikes where vega is tiny and
Newton steps overshoot.

Needs matplotlib (CPython):
    .venv-cpython/bin/python examples/plot_smile.py
"""
import math
import os

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

import jdpricer  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
OUTPUT = os.path.join(HERE, "..", "docs", "smile.png")

T = 0.5
S, r, sigma, lam, p, eta1, eta2 = 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0
N_TERMS = 40
VOL_LOW, VOL_HIGH = 1e-6, 5.0


def norm_cdf(x):
    return 0.5 * math.erfc(-x / math.sqrt(2.0))


def black_scholes_call(vol, T, K, S, r):
    sd = vol * math.sqrt(T)
    d1 = (math.log(S / K) + (r + 0.5 * vol * vol) * T) / sd
    return S * norm_cdf(d1) - K * math.exp(-r * T) * norm_cdf(d1 - sd)


def implied_vol(price, T, K, S, r, low=VOL_LOW, high=VOL_HIGH):
    """Vol with BS(vol) = price by bisection; NaN outside the bracket's prices."""
    f_low = black_scholes_call(low, T, K, S, r) - price
    f_high = black_scholes_call(high, T, K, S, r) - price
    if f_low > 0.0 or f_high < 0.0:
        return math.nan
    # Halve until the bracket stops shrinking in double precision.
    while True:
        mid = 0.5 * (low + high)
        if mid <= low or mid >= high:
            return mid
        if black_scholes_call(mid, T, K, S, r) - price < 0.0:
            low = mid
        else:
            high = mid


def main():
    strikes = [60.0 + 1.0 * i for i in range(81)]
    vols = []
    for K in strikes:
        price = jdpricer.KouEuropeanCall(T, K).priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1, eta2, N_TERMS)
        vol = implied_vol(price, T, K, S, r)
        # The root must reproduce the price: guards the bracket logic.
        assert abs(black_scholes_call(vol, T, K, S, r) - price) < 1e-9 * max(1.0, price), K
        vols.append(vol)

    fig, ax = plt.subplots(figsize=(8, 5))
    ax.plot(strikes, [100.0 * v for v in vols], lw=2, label="Kou prices, implied Black-Scholes vol")
    ax.axhline(100.0 * sigma, color="grey", ls="--", lw=1.2, label=f"diffusion vol sigma = {sigma:.0%}")
    forward = S * math.exp(r * T)
    ax.axvline(forward, color="grey", ls=":", lw=1, label=f"forward {forward:.1f}")
    ax.set_xlabel("strike K")
    ax.set_ylabel("implied volatility (%)")
    ax.set_title(
        f"Kou smile: T={T}, S={S:g}, r={r}, sigma={sigma}, lam={lam:g}, p={p}, eta1={eta1:g}, eta2={eta2:g}",
        fontsize=9,
    )
    ax.set_xlim(strikes[0], strikes[-1])
    ax.set_ylim(0.0, max(100.0 * v for v in vols) * 1.1)
    ax.grid(True, alpha=0.3)
    ax.legend()
    fig.tight_layout()
    fig.savefig(OUTPUT, dpi=110)
    low = min(range(len(vols)), key=vols.__getitem__)
    print(f"wrote {os.path.normpath(OUTPUT)}")
    print(
        f"implied vol: {vols[0]:.4f} at K={strikes[0]:g}, minimum {vols[low]:.4f} at K={strikes[low]:g}, "
        f"{vols[-1]:.4f} at K={strikes[-1]:g}"
    )


if __name__ == "__main__":
    main()
