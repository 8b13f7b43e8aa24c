"""Black-Scholes implied volatility of Kou call prices -> docs/smile.png.

Contract and model: T = 0.5, S = 100, r = 0.05, sigma = 0.16, lam = 1,
p = 0.4, eta1 = 10, eta2 = 5; strikes 60..140; n = 40 Poisson terms (the
truncation bound is below 1e-50 here). Jumps, mostly downward and larger
downward (mean 1/5 against 1/10), fatten the left tail: the implied
volatility lies above the diffusion's flat 16% everywhere and rises towards
low strikes.

The implied volatilities come from vollib, Jaeckel's "Let's Be Rational"
(one rational guess and two Householder steps, accurate to machine precision
for every strike, deep in-the-money ones included, where vega is tiny).

Needs matplotlib and vollib (CPython, the examples extra):
    .venv-cpython/bin/python examples/plot_smile.py
"""
import math
import os

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

from vollib.black_scholes import black_scholes  # noqa: E402
from vollib.black_scholes.implied_volatility import implied_volatility  # noqa: E402

import jdpricer  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
OUTPUT = os.path.join(HERE, "..", "docs", "smile.png")

T = 0.5
S, r, sigma, lam, p, eta1, eta2 = 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0
N_TERMS = 40


def main():
    strikes = [60.0 + 1.0 * i for i in range(81)]
    vols = []
    for K in strikes:
        price = jdpricer.KouEuropeanCall(T, K).priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1, eta2, N_TERMS)
        vol = implied_volatility(price, S, K, T, r, "c")
        # The volatility must reproduce the price.
        assert abs(black_scholes("c", S, K, T, r, vol) - price) < 1e-9 * max(1.0, price), K
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
