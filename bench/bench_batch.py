"""jdpricer_batch against jdpricer's per-option method looped from Python.

Every figure of one run comes from the same interpreter, measured side by
side, best of several repetitions (the machine is shared and noisy):
  - a surface of 9 maturities (0.05 to 3 years) x 21 strikes (70 to 130),
  - one smile (1 maturity, 101 strikes),
  - a book of 10,000 options with random maturities and strikes,
  - two Python threads pricing separate books (12 listed expiries) against
    one thread pricing both.
Reference model: S = 100, r = 0.05, sigma = 0.16, lam = 1, p = 0.4, eta1 = 10,
eta2 = 5. Usage: python bench/bench_batch.py [n ...]
"""
import platform
import sys
import threading
import time

import numpy as np

import jdpricer
import jdpricer_batch

# Listed expiries, in years: a book shares maturities.
EXPIRIES = np.array([1, 2, 4, 8, 13, 26, 39, 52, 78, 104, 130, 156]) / 52.0
MODEL = dict(sigma=0.16, lam=1.0, p=0.4, eta1=10.0, eta2=5.0)
S, R = 100.0, 0.05


def best_time(fn, repeat=5, min_seconds=0.05):
    best = float("inf")
    for _ in range(repeat):
        runs, start = 0, time.perf_counter()
        while True:
            fn()
            runs += 1
            elapsed = time.perf_counter() - start
            if elapsed >= min_seconds:
                break
        best = min(best, elapsed / runs)
    return best


def per_option(T, K, n):
    m = MODEL
    for t, k in zip(T.ravel().tolist(), K.ravel().tolist()):
        jdpricer.create_european_call(t, k).priceByKouJumpDiffusion(
            S, R, m["sigma"], m["lam"], m["p"], m["eta1"], m["eta2"], n)


def batch(T, K, n):
    return jdpricer_batch.call_prices(T, K, S, R, n=n, **MODEL)


def compare(label, T, K, n):
    T, K = np.broadcast_arrays(T, K)
    count = T.size
    loop = best_time(lambda: per_option(T, K, n), repeat=3)
    fast = best_time(lambda: batch(T, K, n))
    print(f"| {label} | {n} | {count} | {loop / count * 1e6:.2f} | {fast / count * 1e6:.3f} "
          f"| {loop / fast:.1f}x |")


def threads(n):
    rng = np.random.default_rng(7)
    books = [(rng.choice(EXPIRIES, 20_000), rng.uniform(70, 130, 20_000)) for _ in range(2)]
    one = best_time(lambda: [batch(T, K, n) for T, K in books], repeat=3)

    def two_threads():
        workers = [threading.Thread(target=batch, args=(T, K, n)) for T, K in books]
        for w in workers:
            w.start()
        for w in workers:
            w.join()

    two = best_time(two_threads, repeat=3)
    print(f"| two threads, 2 x 20,000 options, 12 expiries | {n} | 40000 | {one / 40000 * 1e6:.3f} (1 thread) "
          f"| {two / 40000 * 1e6:.3f} (2 threads) | {one / two:.2f}x |")


def main():
    ns = [int(a) for a in sys.argv[1:]] or [10, 20, 40, 100, 170]
    impl = platform.python_implementation()
    print(f"{impl} {platform.python_version()} on {platform.machine()}, numpy {np.__version__}")
    print("| book | n | options | per option, looped (us) | batch (us per option) | speed-up |")
    print("|---|---|---|---|---|---|")
    surface_T = np.linspace(0.05, 3.0, 9)[:, None]
    surface_K = np.linspace(70.0, 130.0, 21)[None, :]
    for n in ns:
        compare("surface 9 x 21", surface_T, surface_K, n)
    for n in ns[:2]:
        compare("smile 1 x 101", np.array([0.5]), np.linspace(60.0, 140.0, 101), n)
    rng = np.random.default_rng(3)
    book_T, book_K = rng.uniform(0.05, 3.0, 10_000), rng.uniform(70.0, 130.0, 10_000)
    for n in ns[:2]:
        compare("book of 10,000, random T and K", book_T, book_K, n)
    for n in ns[:2]:
        threads(n)


if __name__ == "__main__":
    main()
