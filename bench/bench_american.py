"""American options: error against time for a few accuracies, and the cost of
strike ladders, single options, Greeks and a surface, side by side with the
European closed form.

Every figure of one run comes from the same interpreter, the functions
timed in turns, round after round, best round each (the machine is shared
and noisy). Errors are against the same solver at accuracy 1e-8 on
Toivanen's case (sigma 0.15, lam 0.1, p 0.3445, eta1 3.0465, eta2 3.0775,
K = 100, r = 0.05) at T = 0.25 and on the batch benchmark's model at T = 1,
in units of the strike.
Usage: python bench/bench_american.py [--quick]
"""
import platform
import sys
import time

import numpy as np

import jdpricer_batch as batch

TOIVANEN = (0.15, 0.1, 0.3445, 3.0465, 3.0775)
MODEL = (0.16, 1.0, 0.4, 10.0, 5.0)
K = np.linspace(70.0, 130.0, 21)
T_SURFACE = np.array([0.05, 0.1, 0.25, 0.5, 0.75, 1.0, 1.5, 2.0, 3.0]).reshape(-1, 1)


def best_time(function, rounds, seconds=0.02):
    best = float("inf")
    for _ in range(rounds):
        calls, start = 0, time.perf_counter()
        while True:
            function()
            calls += 1
            elapsed = time.perf_counter() - start
            if elapsed >= seconds:
                break
        best = min(best, elapsed / calls)
    return best


def main():
    rounds = 3 if "--quick" in sys.argv else 10
    print(f"{platform.python_implementation()} {platform.python_version()}, "
          f"{platform.processor() or platform.machine()}")
    print("error (units of K, worst over the 21 strikes 70..130, S = 100) against time:")
    for name, T, model in (("Toivanen, T = 0.25", 0.25, TOIVANEN), ("reference, T = 1", 1.0, MODEL)):
        exact = batch.american_put_prices(T, K, 100.0, 0.05, *model, accuracy=1e-8)
        european = best_time(lambda: batch.put_prices(T, K, 100.0, 0.05, *model, "auto"), rounds)
        print(f"  {name}: European closed form {european * 1e3:.3f} ms for the ladder")
        for accuracy in (1e-3, 1e-4, 1e-5, 1e-6, 1e-7):
            got = batch.american_put_prices(T, K, 100.0, 0.05, *model, accuracy=accuracy)
            error = np.max(np.abs(got - exact)) / 100.0
            ladder = best_time(lambda: batch.american_put_prices(T, K, 100.0, 0.05, *model,
                                                                 accuracy=accuracy), rounds)
            single = best_time(lambda: batch.american_put_prices(T, 100.0, 100.0, 0.05, *model,
                                                                 accuracy=accuracy), rounds)
            print(f"    accuracy {accuracy:.0e}: error {error:.1e}, ladder of 21 "
                  f"{ladder * 1e3:8.2f} ms, one option {single * 1e3:8.2f} ms")
    print("Greeks of the ladder at 1e-6 against its prices (one call each, timed in turns):")
    for name, T, model in (("Toivanen, T = 0.25", 0.25, TOIVANEN), ("reference, T = 1", 1.0, MODEL)):
        prices, spot, full = (
            best_time(lambda: batch.american_put_prices(T, K, 100.0, 0.05, *model), rounds),
            best_time(lambda: batch.american_put_greeks(T, K, 100.0, 0.05, *model,
                                                        model_greeks=False), rounds),
            best_time(lambda: batch.american_put_greeks(T, K, 100.0, 0.05, *model), rounds))
        print(f"  {name}: prices {prices * 1e3:.2f} ms, delta/gamma/theta/dual delta "
              f"{spot / prices:.2f}x, with the model's sensitivities {full / prices:.1f}x")
    for workers in (1, 2):
        surface = best_time(lambda: batch.american_put_prices(T_SURFACE, K, 100.0, 0.05, *MODEL,
                                                              workers=workers), max(2, rounds // 3))
        print(f"  9 x 21 surface at 1e-6, workers={workers}: {surface * 1e3:.1f} ms")


if __name__ == "__main__":
    main()
