"""Touches and barrier options against European prices, side by side.

Every figure of one run comes from the same interpreter, the functions timed
in turns, round after round, best round each (the machine is shared and
noisy). Books:
  - the 9 x 21 surface of bench_batch.py (maturities 0.05 to 3, strikes 70
    to 130), an up-and-out call with H = 125 and a one-touch at H = 125;
  - the same surface with delta and gamma (barrier_call_greeks);
  - a ladder of 21 fixed-strike lookback calls at one maturity, and one alone;
  - one option alone (the cost of a maturity's slice and of a call);
  - the surface's cost split into its maturities' slices and its options,
    from a surface with one strike and one with 21.
Reference model: S = 100, r = 0.05, sigma = 0.16, lam = 1, p = 0.4, eta1 = 10,
eta2 = 5, n = "auto" for the European prices.
Usage: python bench/bench_first_passage.py
"""
import platform
import time

import numpy as np

import jdpricer_batch as batch

MODEL = dict(sigma=0.16, lam=1.0, p=0.4, eta1=10.0, eta2=5.0)
T = np.array([0.05, 0.1, 0.25, 0.5, 0.75, 1.0, 1.5, 2.0, 3.0]).reshape(-1, 1)
K = np.linspace(70.0, 130.0, 21)


def in_turns(functions, rounds=30, seconds=0.01):
    """Best time per call of each function, timed in turns."""
    best = {name: float("inf") for name in functions}
    for _ in range(rounds):
        for name, fn in functions.items():
            calls, start = 0, time.perf_counter()
            while True:
                fn()
                calls += 1
                elapsed = time.perf_counter() - start
                if elapsed >= seconds:
                    break
            best[name] = min(best[name], elapsed / calls)
    return best


def main():
    one_K = K[:1]
    functions = {
        "european call, surface": lambda: batch.call_prices(T, K, 100.0, 0.05, **MODEL, n="auto"),
        "up-and-out call, surface": lambda: batch.barrier_call_prices(
            T, K, 125.0, 100.0, 0.05, **MODEL, barrier="up-and-out"),
        "up-and-out call with delta and gamma, surface": lambda: batch.barrier_call_greeks(
            T, K, 125.0, 100.0, 0.05, **MODEL, barrier="up-and-out"),
        "up-and-out call, 9 maturities x 1 strike": lambda: batch.barrier_call_prices(
            T, one_K, 125.0, 100.0, 0.05, **MODEL, barrier="up-and-out"),
        "one-touch, surface": lambda: batch.touch_prices(T, 125.0 + 0 * K, 100.0, 0.05, **MODEL,
                                                         kind="one-touch"),
        "up-and-out call, one option": lambda: batch.barrier_call_prices(
            1.0, 100.0, 125.0, 100.0, 0.05, **MODEL, barrier="up-and-out"),
        "lookback call, ladder of 21 strikes at T = 1": lambda: batch.lookback_call_prices(
            1.0, K, 100.0, 0.05, **MODEL),
        "lookback call, one option": lambda: batch.lookback_call_prices(
            1.0, 105.0, 100.0, 0.05, **MODEL),
        "european call, one option": lambda: batch.call_prices(1.0, 100.0, 100.0, 0.05, **MODEL,
                                                               n="auto"),
    }
    best = in_turns(functions)
    count = T.size * K.size
    print(f"{platform.python_implementation()} {platform.python_version()}, "
          f"{platform.processor() or platform.machine()}")
    for name, seconds in best.items():
        per = (count if "surface" in name else T.size if "x 1 strike" in name
               else K.size if "ladder" in name else 1)
        print(f"  {name:45s} {seconds * 1e6 / per:9.2f} us an option")
    surface = best["up-and-out call, surface"]
    slices = best["up-and-out call, 9 maturities x 1 strike"]
    per_option = (surface - slices) / (count - T.size)
    per_maturity = (slices - T.size * per_option) / T.size
    print(f"  barrier surface: {per_maturity * 1e6:.1f} us a maturity, {per_option * 1e6:.2f} us "
          f"an option; {surface / best['european call, surface']:.1f}x the European surface")


if __name__ == "__main__":
    main()
