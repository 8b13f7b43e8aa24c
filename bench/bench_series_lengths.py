"""n="auto" against a fixed n: speed, the worst distance from the settled
price at n = 170, and the n chosen per maturity.

Grids (S = 100, r = 0.05, calls and puts):
  - 12 maturities from 0.025 to 5.8 years x 13 strikes from 60 to 145, for
    three models: the reference (sigma 0.16, lam 1, p 0.4, eta1 10, eta2 5),
    lam = 3 (sigma 0.2, p 0.3, eta1 12, eta2 6) and lam = 0.2 (sigma 0.25,
    p 0.5, eta1 3, eta2 2), against n = 60;
  - the 9 x 21 surface of bench_batch.py (0.05 to 3 years, 70 to 130), for
    the reference model, against n = 40.
Times are the best of several repetitions, measured side by side in one run.
Usage: python bench/bench_series_lengths.py
"""
import platform

import numpy as np

import jdpricer_batch
from bench_batch import best_time

S, R = 100.0, 0.05
MODELS = {
    "reference": dict(sigma=0.16, lam=1.0, p=0.4, eta1=10.0, eta2=5.0),
    "lam = 3": dict(sigma=0.2, lam=3.0, p=0.3, eta1=12.0, eta2=6.0),
    "lam = 0.2": dict(sigma=0.25, lam=0.2, p=0.5, eta1=3.0, eta2=2.0),
}
GRID_T = np.array([0.025, 0.05, 0.1, 0.25, 0.5, 0.75, 1.0, 1.5, 2.0, 3.0, 4.0, 5.8])
GRID_K = np.linspace(60.0, 145.0, 13)


def row(label, model, T, K, fixed_n):
    T, K = np.broadcast_arrays(T[:, None], K[None, :])
    price = lambda n: jdpricer_batch.call_prices(T, K, S, R, n=n, **model)  # noqa: E731
    auto_time = best_time(lambda: price("auto"))
    fixed_time = best_time(lambda: price(fixed_n))

    def worst(n):  # the largest |price - price at n = 170| / (S + K), calls and puts
        return max(np.max(np.abs(f(T, K, S, R, n=n, **model) - f(T, K, S, R, n=170, **model)) / (S + K))
                   for f in (jdpricer_batch.call_prices, jdpricer_batch.put_prices))
    print(f"| {label} | {T.shape[0]} x {T.shape[1]} | {auto_time * 1e3:.3f} | n = {fixed_n}: "
          f"{fixed_time * 1e3:.3f} | {fixed_time / auto_time:.2f}x | {worst('auto'):.1e} | {worst(fixed_n):.1e} |")


def main():
    print(f"{platform.python_implementation()} {platform.python_version()} on {platform.machine()}, "
          f"numpy {np.__version__}")
    print("| model | grid | auto (ms per call) | fixed n (ms per call) | speed-up | "
          "auto: worst difference from n = 170, / (S + K) | fixed n: same |")
    print("|---|---|---|---|---|---|---|")
    for label, model in MODELS.items():
        row(label, model, GRID_T, GRID_K, 60)
    surface_T = np.linspace(0.05, 3.0, 9)
    surface_K = np.linspace(70.0, 130.0, 21)
    row("reference, 9 x 21 surface", MODELS["reference"], surface_T, surface_K, 40)
    print()
    print("| model | " + " | ".join(f"T = {t:g}" for t in GRID_T) + " |")
    print("|---|" + "---|" * len(GRID_T))
    for label, model in MODELS.items():
        lengths = jdpricer_batch.series_lengths(GRID_T, **model)
        print(f"| {label} | " + " | ".join(str(n) for n in lengths) + " |")
    lengths = jdpricer_batch.series_lengths(surface_T, **MODELS["reference"])
    print("\n9 x 21 surface, reference model, T = " + ", ".join(f"{t:.4g}" for t in surface_T) +
          ": n = " + ", ".join(str(n) for n in lengths))


if __name__ == "__main__":
    main()
