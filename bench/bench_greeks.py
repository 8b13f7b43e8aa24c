"""call_greeks against call_prices on the surface of bench_batch.py.

Side by side in one interpreter, the fastest of many interleaved calls: the 9 x 21
surface (maturities 0.05 to 3 years, strikes 70 to 130) under the reference
model S = 100, r = 0.05, sigma = 0.16, lam = 1, p = 0.4, eta1 = 10, eta2 = 5.
The cost of each group of fields is the
C++ benchmark's BM_BookSurfaceGreeks (build/release/bench/pricing_benchmark).
Usage: python bench/bench_greeks.py [n ...]
"""
import platform
import sys
import time

import numpy as np

import jdpricer_batch

MODEL = dict(sigma=0.16, lam=1.0, p=0.4, eta1=10.0, eta2=5.0)
S, R = 100.0, 0.05
T = np.linspace(0.05, 3.0, 9)[:, None]
K = np.linspace(70.0, 130.0, 21)[None, :]


def best_times(fns, rounds=300):
    """The fastest of `rounds` calls of each function, the calls interleaved
    so that a noisy neighbour slows all of them alike."""
    best = [float("inf")] * len(fns)
    for _ in range(rounds):
        for i, fn in enumerate(fns):
            start = time.perf_counter()
            fn()
            best[i] = min(best[i], time.perf_counter() - start)
    return best


def main():
    ns = [int(a) for a in sys.argv[1:]] or [10, 20, 40]
    print(f"{platform.python_implementation()} {platform.python_version()} on {platform.machine()}, "
          f"numpy {np.__version__}")
    print("| n | call_prices (us) | call_greeks (us) | ratio | put_greeks (us) | ratio |")
    print("|---|---|---|---|---|---|")
    for n in ns:
        prices, calls, puts = best_times([
            lambda: jdpricer_batch.call_prices(T, K, S, R, n=n, **MODEL),
            lambda: jdpricer_batch.call_greeks(T, K, S, R, n=n, **MODEL),
            lambda: jdpricer_batch.put_greeks(T, K, S, R, n=n, **MODEL),
        ])
        print(f"| {n} | {prices * 1e6:.0f} | {calls * 1e6:.0f} | {calls / prices:.2f}x "
              f"| {puts * 1e6:.0f} | {puts / prices:.2f}x |")


if __name__ == "__main__":
    main()
