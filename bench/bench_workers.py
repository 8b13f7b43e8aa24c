"""workers: scaling of one call over threads, the cost of a small call, and
how fast Ctrl-C ends a multi-worker call.

Books (reference model sigma 0.16, lam 1, p 0.4, eta1 10, eta2 5; S = 100,
r = 0.05; calls):
  - 60,000 options with random maturities (0.05 to 3 years) and strikes,
  - the 9 x 21 surface of bench_batch.py,
  - a smile of 101 strikes at one maturity, and one of 20,000.
For each, the best time of several runs on 1 and 2 workers, measured side by
side, against the speed-up that two Python threads pricing a book each get
on this (shared) machine at the time. The serial part s is measured on one
worker: the same book at n = 171 (arguments, maturity sort and result, no
pricing) plus one option at n (the model's coefficients). With the rest
parallel, T(w) = s + (T1 - s) / w gives the speed-up on 16 to 64 cores,
1 / (f + (1 - f) / w) with f = s / T1 (no memory-bandwidth limit, no
duplicated slices: an upper bound).
Usage: python bench/bench_workers.py [--window SECONDS]
(--window: only the 60,000-option book on 1 and 2 workers, alternately for
SECONDS, the best time of each.)
"""
import os
import platform
import sys
import signal
import threading
import time

import numpy as np

import jdpricer
import jdpricer_batch
from bench_batch import best_time

MODEL = dict(sigma=0.16, lam=1.0, p=0.4, eta1=10.0, eta2=5.0)
S, R = 100.0, 0.05
CORES = (16, 32, 64)


def books():
    rng = np.random.default_rng(3)
    T = np.linspace(0.05, 3.0, 9)[:, None] + np.zeros(21)
    K = np.linspace(70.0, 130.0, 21) + np.zeros((9, 1))
    yield "60,000 options, random T and K", rng.uniform(0.05, 3.0, 60_000), rng.uniform(70.0, 130.0, 60_000)
    yield "surface 9 x 21", T.ravel(), K.ravel()
    yield "smile 1 x 101", np.full(101, 0.5), np.linspace(60.0, 140.0, 101)
    yield "one maturity x 20,000 strikes", np.full(20_000, 0.5), np.linspace(60.0, 140.0, 20_000)


def available_parallelism(n=20):
    """Two Python threads, each pricing its own book on one worker, against
    one thread pricing both: what this machine lets two threads do now
    (the cores are shared with other work)."""
    rng = np.random.default_rng(9)
    halves = [(rng.uniform(0.05, 3.0, 15_000), rng.uniform(70.0, 130.0, 15_000)) for _ in range(2)]
    price = lambda T, K: jdpricer_batch.call_prices(T, K, S, R, n=n, **MODEL)  # noqa: E731
    one = best_time(lambda: [price(T, K) for T, K in halves], 3)

    def two_threads():
        threads = [threading.Thread(target=price, args=half) for half in halves]
        for t in threads:
            t.start()
        for t in threads:
            t.join()

    two = best_time(two_threads, 3)
    print(f"\nTwo Python threads with a book each against one thread pricing both (n = {n}): "
          f"{one / two:.2f}x, the ceiling for 2 workers on this machine now.")
    return one / two


def cpu_split(fn, repeat):
    """(process CPU, calling thread's CPU) of the run with the least process
    CPU: on two workers the rest is the pool thread's."""
    best = None
    for _ in range(repeat):
        process, thread = time.process_time(), time.thread_time()
        fn()
        run = (time.process_time() - process, time.thread_time() - thread)
        best = run if best is None or run[0] < best[0] else best
    return best


def scaling(n, ceiling):
    print(f"\n| book | n | 1 worker (ms) | 2 workers (ms) | speed-up (ceiling now {ceiling:.2f}x) | "
          f"CPU, 2 workers / 1 | 2 workers from CPU times | "
          f"serial part s (ms) | f = s / T1 | " + " | ".join(f"model, {c} cores" for c in CORES) + " |")
    print("|---|---|---|---|---|---|---|---|---|" + "---|" * len(CORES))
    for label, T, K in books():
        price = lambda w, n=n: jdpricer_batch.call_prices(T, K, S, R, n=n, workers=w, **MODEL)  # noqa: E731
        price(2)  # the pool's threads started
        repeat = 7 if T.size < 1000 else 5
        one, two = best_time(lambda: price(1), repeat), best_time(lambda: price(2), repeat)
        # Contention-proof: the CPU that each thread spent. On free cores the
        # wall time of two workers is the larger of the two threads' CPU.
        cpu_one = cpu_split(lambda: price(1), repeat)[0]
        cpu_two, caller = cpu_split(lambda: price(2), repeat)
        projected = cpu_one / max(caller, cpu_two - caller)
        # The serial part, measured on one worker: the same book at n = 171
        # (arguments, maturity sort, result; no pricing) and one option at n
        # (the model's coefficients, with one slice and one option's work).
        overhead = best_time(lambda: price(1, 171), repeat)
        model_work = best_time(lambda: jdpricer_batch.call_prices(T[0], K[0], S, R, n=n, **MODEL), repeat)
        serial = min(one, overhead + model_work)
        f = serial / one
        model = " | ".join(f"{1.0 / (f + (1.0 - f) / c):.1f}x" for c in CORES)
        print(f"| {label} | {n} | {one * 1e3:.3f} | {two * 1e3:.3f} | {one / two:.2f}x | "
              f"{cpu_two / cpu_one:.2f} | {projected:.2f}x | {serial * 1e3:.3f} | "
              f"{f:.4f} | {model} |")


def small_calls():
    print("\n| one option | n | priceByKouJumpDiffusion (us) | call_prices, scalars (us) | ratio | "
          "call_prices, float64 arrays (us) | ratio | call_prices, lists (general path, us) | ratio |")
    print("|---|---|---|---|---|---|---|---|---|")
    m = tuple(MODEL.values())
    option = jdpricer.create_european_call(0.5, 98.0)
    T, K = np.array([0.5]), np.array([98.0])
    for n in (10, 20, 100):
        single = best_time(lambda: option.priceByKouJumpDiffusion(S, R, *m, n), 7)
        scalars = best_time(lambda: jdpricer_batch.call_prices(0.5, 98.0, S, R, *m, n), 7)
        arrays = best_time(lambda: jdpricer_batch.call_prices(T, K, S, R, *m, n), 7)
        lists = best_time(lambda: jdpricer_batch.call_prices([0.5], [98.0], S, R, *m, n), 7)
        print(f"| one option | {n} | {single * 1e6:.2f} | {scalars * 1e6:.2f} | {scalars / single:.2f}x | "
              f"{arrays * 1e6:.2f} | {arrays / single:.2f}x | {lists * 1e6:.2f} | {lists / single:.2f}x |")


def interrupt_latency():
    K = np.linspace(60.0, 140.0, 40_000)
    latencies = []
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    try:
        for _ in range(10):
            sent = []
            timer = threading.Timer(0.1, lambda: (sent.append(time.perf_counter()),
                                                  os.kill(os.getpid(), signal.SIGINT)))
            timer.start()
            try:
                jdpricer_batch.call_prices(1.0, K, S, R, n=170, workers=2, **MODEL)
            except KeyboardInterrupt:
                latencies.append(time.perf_counter() - sent[0])
            timer.cancel()
    finally:
        signal.signal(signal.SIGINT, previous)
    print(f"\nCtrl-C during a two-worker call at n = 170: ended after {np.median(latencies) * 1e3:.1f} ms "
          f"(median of {len(latencies)}), at most {max(latencies) * 1e3:.1f} ms")


def window(seconds, n=20):
    """The 60,000-option book on 1 and 2 workers, alternately for `seconds`:
    the best of each, for a shared machine whose cores are free only now and
    then."""
    _, T, K = next(books())
    best = {1: float("inf"), 2: float("inf")}
    end = time.perf_counter() + seconds
    while time.perf_counter() < end:
        for w in best:
            start = time.perf_counter()
            jdpricer_batch.call_prices(T, K, S, R, n=n, workers=w, **MODEL)
            best[w] = min(best[w], time.perf_counter() - start)
    print(f"60,000 options, random T and K, n = {n}, best over {seconds:g} s: 1 worker "
          f"{best[1] * 1e3:.1f} ms, 2 workers {best[2] * 1e3:.1f} ms, {best[1] / best[2]:.2f}x")


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--window":
        window(float(sys.argv[2]))
        return
    print(f"{platform.python_implementation()} {platform.python_version()} on {platform.machine()}, "
          f"{os.cpu_count()} cores, numpy {np.__version__}, load average {os.getloadavg()[0]:.1f}")
    small_calls()
    ceiling = available_parallelism()
    for n in (20, 40):
        scaling(n, ceiling)
    interrupt_latency()


if __name__ == "__main__":
    main()
