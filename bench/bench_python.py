"""Cost of one pricing call and one option construction, seen from Python.

Run with the interpreter to measure, e.g. `.venv-pypy/bin/python bench/bench_python.py`.
Each figure is the best of several timing runs, per call, in microseconds.
The binding's own overhead shows in the call at n = 171, where the engine
answers NaN without summing anything, beside a pure-Python function of the
same eight arguments.
"""
import argparse
import platform
import sys
import timeit

import jdpricer

MARKET = (100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0)


def best_per_call(stmt, number, repeat):
    timer = timeit.Timer(stmt)
    return min(timer.repeat(repeat=repeat, number=number)) / number * 1e6


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--scale", type=float, default=1.0, help="multiply the loop counts")
    args = parser.parse_args()

    call = jdpricer.KouEuropeanCall(0.5, 98.0)
    price = call.priceByKouJumpDiffusion
    S, r, sigma, lam, p, eta1, eta2 = MARKET

    def python_noop(S, r, sigma, lam, p, eta1, eta2, n):
        return S

    def scaled(count):
        return max(1, int(count * args.scale))

    rows = [
        ("pure-Python function, 8 arguments", lambda: python_noop(S, r, sigma, lam, p, eta1, eta2, 171), scaled(200000)),
        ("price, n = 171 (binding overhead)", lambda: price(S, r, sigma, lam, p, eta1, eta2, 171), scaled(200000)),
        ("price, n = 0", lambda: price(S, r, sigma, lam, p, eta1, eta2, 0), scaled(100000)),
        ("price, n = 10", lambda: price(S, r, sigma, lam, p, eta1, eta2, 10), scaled(20000)),
        ("price, n = 30", lambda: price(S, r, sigma, lam, p, eta1, eta2, 30), scaled(2000)),
        ("price, n = 10, keywords", lambda: price(S=S, r=r, sigma=sigma, lam=lam, p=p, eta1=eta1, eta2=eta2, n=10), scaled(20000)),
        ("KouEuropeanCall(T, K)", lambda: jdpricer.KouEuropeanCall(0.5, 98.0), scaled(200000)),
        ("create_european_put(T, K)", lambda: jdpricer.create_european_put(0.5, 98.0), scaled(200000)),
    ]
    impl = platform.python_implementation()
    version = platform.python_version()
    if impl == "PyPy":
        version += " (PyPy %d.%d.%d)" % sys.pypy_version_info[:3]
    print(f"{impl} {version}")
    print(f"| {'operation':<36} | {'us per call':>11} |")
    print(f"|{'-' * 38}|{'-' * 12}:|")
    for label, stmt, number in rows:
        stmt()  # warm up (and let PyPy's JIT see the loop)
        print(f"| {label:<36} | {best_per_call(stmt, number, 7):>11.3f} |", flush=True)


if __name__ == "__main__":
    main()
