"""Price one book on every core of one machine with a thread pool.

jdpricer_batch releases the interpreter lock while it computes, so Python
threads, each pricing its own chunk of the book's columns, run at the same
time. Chunks are slices of the columns (views, no copies); each thread
writes its chunk's prices into the slice of one output array. Every price is
computed from its own row alone, so the result is bit for bit the one-call
result, whatever the chunking and the thread count.

    .venv-cpython/bin/python examples/price_book_threads.py
"""
import argparse
import math
import os
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np

import jdpricer_batch

MODEL = (0.16, 1.0, 0.4, 10.0, 5.0)  # sigma, lam, p, eta1, eta2
N_TERMS = 26  # the truncation rule at T = 2 (zeta < 0 here): m = lam*T = 2, n >= m + 8 sqrt(m) + 12
EXPIRIES = np.array([7, 14, 30, 61, 91, 182, 273, 365, 547, 730]) / 365.0


def make_book(rows, seed=1):
    """Call columns (T, K, S, r): listed expiries, strikes around the spot."""
    rng = np.random.default_rng(seed)
    T = rng.choice(EXPIRIES, rows)
    S = rng.uniform(95.0, 105.0, rows)
    K = np.round(S * np.exp(0.25 * np.sqrt(T) * rng.uniform(-3.0, 3.0, rows)))
    r = rng.choice([0.03, 0.04, 0.05], rows)
    return T, K, S, r


def price_with_threads(columns, threads, chunks_per_thread=4, model=MODEL, n=N_TERMS):
    """Call prices of the book, chunks priced concurrently by `threads` threads.

    A few chunks per thread let a thread that finishes early take another."""
    rows = len(columns[0])
    prices = np.empty(rows)
    bounds = np.linspace(0, rows, threads * chunks_per_thread + 1).astype(int)

    def price_chunk(start, stop):
        prices[start:stop] = jdpricer_batch.call_prices(*(c[start:stop] for c in columns), *model, n)

    with ThreadPoolExecutor(max_workers=threads) as pool:
        for future in [pool.submit(price_chunk, a, b) for a, b in zip(bounds[:-1], bounds[1:])]:
            future.result()  # re-raises a chunk's exception
    return prices


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rows", type=int, default=400_000, help="options in the book (default %(default)s)")
    parser.add_argument("--threads", type=int, nargs="+", default=[1, 2], help="pool sizes (default 1 2)")
    parser.add_argument("--repeat", type=int, default=3, help="timed runs per setting, best kept (default %(default)s)")
    args = parser.parse_args()

    columns = make_book(args.rows)
    began = time.perf_counter()
    one_call = jdpricer_batch.call_prices(*columns, *MODEL, N_TERMS)
    print(f"book: {args.rows} calls, n = {N_TERMS}, {os.cpu_count()} cores; one call: {time.perf_counter() - began:.2f} s")
    baseline = None
    for threads in args.threads:
        best = math.inf
        for _ in range(args.repeat):
            began = time.perf_counter()
            prices = price_with_threads(columns, threads)
            best = min(best, time.perf_counter() - began)
        identical = np.array_equal(prices.view(np.uint64), one_call.view(np.uint64))
        baseline = baseline or best
        print(
            f"{threads} thread{'s' if threads > 1 else ' '}: {best:.2f} s, {args.rows / best:,.0f} options/s, "
            f"speed-up {baseline / best:.2f}; {'bit for bit the one call' if identical else 'DIFFERENT from the one call'}"
        )
        if not identical:
            raise SystemExit(1)


if __name__ == "__main__":
    main()
