"""Cost of the error bounds and the robust prices against the prices, and
how tight the bounds are.

Run with the interpreter to measure, e.g.
`.venv-cpython/bin/python bench/bench_bounds.py` (the tightness table needs
tests/python on the path for the cached 30-digit references). Costs: calls of
the 9 x 21 surface at n = 20 and of the 12-maturity grid (0.025 to 5.8 years
x 13 strikes from 60 to 145) at n = 60, reference model; the functions take
turns, round after round, and each reports its best round, so that a burst of
load on a shared machine hits them all alike; rounds are short (about 10 ms)
so that some fall between PyPy's garbage collections. Robust prices at a
tolerance that keeps every option in closed form and at one that sends some
to the Fourier method, against the prices plus the Fourier prices of those
options.
"""
import json
import os
import pathlib
import platform
import time
import timeit

import numpy as np

import jdpricer_batch as jb

S, R = 100.0, 0.05
MODEL = (0.16, 1.0, 0.4, 10.0, 5.0)
SURFACE = np.meshgrid([0.1, 0.25, 0.5, 0.75, 1.0, 1.5, 2.0, 3.0, 5.0], np.linspace(70.0, 130.0, 21),
                      indexing="ij")
GRID = np.meshgrid([0.025, 0.1, 0.25, 0.5, 0.8, 1.2, 1.8, 2.4, 3.0, 3.8, 4.8, 5.8],
                   [60.0 + 85.0 * i / 12 for i in range(13)], indexing="ij")


def best_of_rounds(functions, seconds=4.0):
    """Each function's best time per call, the functions taking turns."""
    # autorange runs each for at least 0.2 s: a twentieth of that is a round.
    calls = {name: max(1, timeit.Timer(f).autorange()[0] // 20) for name, f in functions.items()}
    best = {name: float("inf") for name in functions}
    start = time.perf_counter()
    while time.perf_counter() - start < seconds:
        for name, f in functions.items():
            best[name] = min(best[name], timeit.timeit(f, number=calls[name]) / calls[name])
    return best


def costs(name, T, K, n, strict, loose):
    T, K = T.ravel(), K.ravel()
    args = (T, K, S, R, *MODEL)
    routed = jb.robust_call_prices(*args, n, tolerance=strict).fourier
    functions = {
        "prices": lambda: jb.call_prices(*args, n),
        "bounds": lambda: jb.call_error_bounds(*args, n),
        "robust": lambda: jb.robust_call_prices(*args, n, tolerance=loose),
        "robust_some": lambda: jb.robust_call_prices(*args, n, tolerance=strict),
    }
    if routed.any():
        functions["fourier_routed"] = lambda: jb.fourier_call_prices(T[routed], K[routed], S, R,
                                                                     *MODEL)
    best = best_of_rounds(functions)
    prices, fourier = best["prices"], best.get("fourier_routed", 0.0)
    us = 1e6 / len(T)
    print(f"| {name} | {prices * us:.2f} | {best['bounds'] / prices:.2f}x | "
          f"{best['robust'] / prices:.2f}x | {best['robust_some'] / prices:.2f}x ({routed.sum()} "
          f"to Fourier; prices + their Fourier prices: {(prices + fourier) / prices:.2f}x) |")


def tightness():
    data = json.loads((pathlib.Path(__file__).parent.parent / "tests" / "python" / "data"
                       / "long_grid_references.json").read_text())
    rows = data["rows"]
    T = np.array([row[0] for row in rows])
    K = np.array([row[1] for row in rows])
    print("\n| T | worst error | worst bound | worst bound / worst error | worst bound / error per option |")
    print("|---|---|---|---|---|")
    for side, column in (("call", 2), ("put", 3)):
        expected = np.array([float(row[column]) for row in rows])
        args = (T, K, data["S"], data["r"], *data["model"], 60)
        error = np.abs(getattr(jb, f"{side}_prices")(*args) - expected)
        bound = getattr(jb, f"{side}_error_bounds")(*args)
        assert (bound >= error).all()
        for t in np.unique(T):
            e, b = error[T == t], bound[T == t]
            floor = np.maximum(e, 1e-16 * (data["S"] + K[T == t]))
            print(f"| {t:g} ({side}) | {e.max():.1e} | {b.max():.1e} | "
                  f"{b.max() / max(e.max(), 1e-16 * data['S']):.0f} | {(b / floor).max():.0f} |")


def main():
    print(f"{platform.python_implementation()} {platform.python_version()}, "
          f"{os.cpu_count()} cores, {platform.machine()}")
    print("\n| book | prices, us/option | bounds | robust, all closed form | robust, some Fourier |")
    print("|---|---|---|---|---|")
    costs("9 x 21 surface, n = 20", *SURFACE, 20, strict=1e-9, loose=1e-3)
    costs("12 x 13 grid, n = 60", *GRID, 60, strict=1e-11, loose=1e-6)
    tightness()


if __name__ == "__main__":
    main()
