"""Cost per option of the Fourier (cosine-series) prices against the closed form.

Run with the interpreter to measure, e.g. `.venv-cpython/bin/python bench/bench_fourier.py`.
Every figure comes from this one run: books of calls priced through
jdpricer_batch by fourier_call_prices and by call_prices at n = 20 and
n = 100, best of several timings, in microseconds per option. "one T" books
share one maturity (one cosine slice for all strikes); "all T differ" books
give every option its own maturity, so each pays for its own slice.
"""
import argparse
import os
import platform
import timeit

import numpy as np

import jdpricer_batch

S, R = 100.0, 0.05
# name, T, sigma, lam, p, eta1, eta2
REGIMES = [
    ("reference contract", 0.5, 0.16, 1.0, 0.4, 10.0, 5.0),
    ("eta*s = 14 (T=2, sigma=0.5, eta=20)", 2.0, 0.5, 1.0, 0.4, 20.0, 20.0),
    ("lam*T = 50 (T=50)", 50.0, 0.16, 1.0, 0.4, 10.0, 5.0),
    ("eta*s = 0.2 (T=0.25, sigma=0.08, eta=5)", 0.25, 0.08, 1.0, 0.5, 5.0, 4.0),
]


def machine():
    name = platform.processor() or platform.machine()
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    name = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return f"{name}, {os.cpu_count()} cores, {platform.platform()}"


def per_option(price, count, repeat):
    return min(timeit.repeat(price, number=1, repeat=repeat)) / count * 1e6


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--options", type=int, default=400, help="options per book")
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()
    impl = platform.python_implementation()
    print(f"machine: {machine()}")
    print(f"interpreter: {impl} {platform.python_version()}")
    print(f"{args.options} calls per book, strikes 60 to 140, best of {args.repeat}; us per option\n")
    header = ("regime", "book", "Fourier", "n = 20", "n = 100", "n=20 / Fourier", "n=100 / Fourier")
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    K = np.linspace(60.0, 140.0, args.options)
    for name, T, sigma, lam, p, eta1, eta2 in REGIMES:
        model = (sigma, lam, p, eta1, eta2)
        for book, maturities in (("one T", T), ("all T differ", T * np.linspace(1.0, 1.001, args.options))):
            fourier = per_option(lambda: jdpricer_batch.fourier_call_prices(maturities, K, S, R, *model),
                                 args.options, args.repeat)
            closed20 = per_option(lambda: jdpricer_batch.call_prices(maturities, K, S, R, *model, 20),
                                  args.options, args.repeat)
            # n = 100 costs about half a millisecond an option: a quarter of the book.
            few = max(1, args.options // 4)
            closed100 = per_option(
                lambda: jdpricer_batch.call_prices(maturities if np.ndim(maturities) == 0 else maturities[:few],
                                                   K[:few], S, R, *model, 100),
                few, max(1, args.repeat // 2))
            print(f"| {name} | {book} | {fourier:.3g} | {closed20:.3g} | {closed100:.3g} "
                  f"| {closed20 / fourier:.1f} | {closed100 / fourier:.0f} |")


if __name__ == "__main__":
    main()
