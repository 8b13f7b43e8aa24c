"""call_greeks against call_prices on the surface of bench_batch.py.

Side by side in one interpreter, the fastest of many interleaved calls: the 9 x 21
surface (maturities 0.05 to 3 years, strikes 70 to 130) under the reference
model S = 100, r = 0.05, sigma = 0.16, lam = 1, p = 0.4, eta1 = 10, eta2 = 5.
The cost of each group of fields is the
C++ benchmark's BM_BookSurfaceGreeks (build/release/bench/pricing_benchmark).
Usage: python bench/bench_greeks.py [n ...]
       python bench/bench_greeks.py --workers SECONDS
(--workers: a book of 60,000 options with random maturities (0.05 to 3
years) and strikes (70 to 130) at n = 20, call_greeks on 1 and 2 workers
alternately for SECONDS, the best time of each: a shared machine's cores
are free only now and then.)
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


def workers_window(seconds, n=20):
    rng = np.random.default_rng(3)
    book = (rng.uniform(0.05, 3.0, 60_000), rng.uniform(70.0, 130.0, 60_000))
    best = {1: float("inf"), 2: float("inf")}
    end = time.perf_counter() + seconds
    while time.perf_counter() < end:
        for w in best:
            start = time.perf_counter()
            jdpricer_batch.call_greeks(*book, S, R, n=n, workers=w, **MODEL)
            best[w] = min(best[w], time.perf_counter() - start)
    print(f"{platform.python_implementation()} {platform.python_version()}: call_greeks, 60,000 options, "
          f"random T and K, n = {n}, best over {seconds:g} s: 1 worker {best[1] * 1e3:.1f} ms, "
          f"2 workers {best[2] * 1e3:.1f} ms, {best[1] / best[2]:.2f}x")


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--workers":
        workers_window(float(sys.argv[2]))
        return
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
