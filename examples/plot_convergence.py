"""Absolute error of the closed-form call price against n -> docs/convergence.png.

Solid lines: |closed form - Fourier reference| for n = 1..170 in a few
regimes. Dashed lines: the a-priori truncation bound
S*P(N1 > n) + K*exp(-r*T)*P(N2 > n) for the same regime. Where the solid line
leaves the dashed one and goes flat, rounding (not truncation) limits the
accuracy. Exact agreement (error 0) is drawn at 1e-17.

Needs matplotlib (CPython):
    .venv-cpython/bin/python examples/plot_convergence.py
"""
import math
import os

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

from accuracy_map import call_errors, rounding_exponent, truncation_bound  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
OUTPUT = os.path.join(HERE, "..", "docs", "convergence.png")
FLOOR = 1e-17

# label: (T, K, S, r, sigma, lam, p, eta1, eta2)
REGIMES = [
    ("reference: T=0.5, lam=1", (0.5, 98.0, 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0)),
    ("lam*T=5 (lam=10)", (0.5, 98.0, 100.0, 0.05, 0.16, 10.0, 0.4, 10.0, 5.0)),
    ("lam*T=20", (1.0, 98.0, 100.0, 0.05, 0.16, 20.0, 0.4, 10.0, 5.0)),
    ("lam*T=50", (1.0, 98.0, 100.0, 0.05, 0.16, 50.0, 0.4, 10.0, 5.0)),
    ("eta=50, sigma=0.1, T=1", (1.0, 98.0, 100.0, 0.05, 0.1, 1.0, 0.4, 50.0, 50.0)),
    ("eta=20, sigma=0.5, T=2", (2.0, 100.0, 100.0, 0.05, 0.5, 1.0, 0.4, 20.0, 20.0)),
]


def main():
    terms = list(range(1, 171))
    fig, ax = plt.subplots(figsize=(9, 5.5))
    for index, (label, params) in enumerate(REGIMES):
        color = f"C{index}"
        T, K, S, r, sigma, lam, p, eta1, eta2 = params
        _, errs = call_errors(params, terms)
        shown = [(n, max(abs(e), FLOOR)) for n, e in zip(terms, errs) if not math.isnan(e)]
        eta_s = max(eta1, eta2) * sigma * math.sqrt(T)
        g = rounding_exponent(*params)
        ax.plot(
            [n for n, _ in shown],
            [e for _, e in shown],
            color=color,
            lw=1.6,
            label=f"{label}  (eta*s={eta_s:.1f}, G={g:.0f})",
        )
        bound = [(n, truncation_bound(n, *params)) for n in terms]
        bound = [(n, b) for n, b in bound if b > 0.0]
        ax.plot([n for n, _ in bound], [b for _, b in bound], color=color, lw=1.0, ls="--", alpha=0.7)
    ax.set_yscale("log")
    ax.set_ylim(FLOOR / 2, 1e9)
    ax.set_xlim(0, 171)
    ax.axhline(1e-9, color="grey", lw=0.8, ls=":")
    ax.text(172, 1e-9, "1e-9", va="center", fontsize=8, color="grey")
    ax.set_xlabel("n (Poisson terms)")
    ax.set_ylabel("|closed form - Fourier| (call, S=100)")
    ax.set_title("Kou closed form: error against n (solid) and truncation bound (dashed)")
    ax.grid(True, which="major", alpha=0.3)
    ax.legend(fontsize=8, loc="upper right")
    fig.tight_layout()
    fig.savefig(OUTPUT, dpi=110)
    print(f"wrote {os.path.normpath(OUTPUT)}")


if __name__ == "__main__":
    main()
