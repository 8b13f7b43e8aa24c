"""How many Poisson terms does the closed form need, and how close does it get?

For a handful of regimes this prints, as markdown, the absolute error of the
closed-form call price against the Fourier (Lewis) reference price from
tests/python/kou_fourier.py at several series lengths n, and then the a-priori
truncation bound for the same n.

Two things limit the closed form:

* Truncation. The series sums the first n Poisson terms; what is cut off is
  at most S*P(N1 > n) + K*exp(-r*T)*P(N2 > n), N1 ~ Poisson(lam*(1+zeta)*T)
  and N2 ~ Poisson(lam*T). So n has to grow with lam*T.
* Rounding. Rounding errors come back multiplied by up to exp(G),
  G = max(eta1^2 s^2/2 - eta1 c, eta2^2 s^2/2 + eta2 c) over both series,
  s = sigma*sqrt(T) and c = log(K/S) - mu*T (see
  tests/python/test_fourier_validation.py). Once truncation no longer
  matters the error levels off, however large n is, at a floor below
  about max(1e-12, 1e-17 * exp(G)). Large eta*s (eta*s meaning
  max(eta1, eta2)*s) also makes the partial sums overshoot: from about 8
  on, moderate n can be off by far more than the price and the floor,
  reached late, is near 1e-4; from about 25 on even the floor is the size
  of the price, and from 37.7 on exp(eta^2 s^2/2) overflows: NaN.

The put is priced from the call by parity and has the same absolute error.

Run with a Python that has jdpricer and mpmath (CPython or PyPy):
    .venv-cpython/bin/python examples/accuracy_map.py
With --scan COUNT it instead prices COUNT random contracts over the ranges
the validation test covers and prints the largest error at n = 40 per band
of G (about 0.1 s a contract on CPython).
"""
import argparse
import math
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "python"))

import jdpricer  # noqa: E402
from kou_fourier import kou_call_fourier  # noqa: E402

TERMS = (5, 10, 20, 30, 40, 50, 100, 170)

# name: (T, K, S, r, sigma, lam, p, eta1, eta2)
REFERENCE = (0.5, 98.0, 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0)
REGIMES = [
    ("reference contract", REFERENCE),
    ("short maturity T=0.02", (0.02, 98.0, 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0)),
    ("deep ITM K=60", (0.5, 60.0, 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0)),
    ("deep OTM K=140", (0.5, 140.0, 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0)),
    ("high intensity lam=10", (0.5, 98.0, 100.0, 0.05, 0.16, 10.0, 0.4, 10.0, 5.0)),
    ("long maturity T=5", (5.0, 98.0, 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0)),
    ("lam*T=20", (1.0, 98.0, 100.0, 0.05, 0.16, 20.0, 0.4, 10.0, 5.0)),
    ("lam*T=50", (1.0, 98.0, 100.0, 0.05, 0.16, 50.0, 0.4, 10.0, 5.0)),
    ("eta=30, sigma=0.16", (0.5, 98.0, 100.0, 0.05, 0.16, 1.0, 0.4, 30.0, 30.0)),
    ("eta=50, sigma=0.1, T=1", (1.0, 98.0, 100.0, 0.05, 0.1, 1.0, 0.4, 50.0, 50.0)),
    ("eta=25, sigma=0.3, T=1", (1.0, 98.0, 100.0, 0.05, 0.3, 1.0, 0.4, 25.0, 25.0)),
    ("eta=20, sigma=0.5, T=2", (2.0, 100.0, 100.0, 0.05, 0.5, 1.0, 0.4, 20.0, 20.0)),
    ("eta=50, sigma=0.5, T=5", (5.0, 100.0, 100.0, 0.05, 0.5, 1.0, 0.4, 50.0, 50.0)),
]


def zeta_of(p, eta1, eta2):
    return p * eta1 / (eta1 - 1.0) + (1.0 - p) * eta2 / (eta2 + 1.0) - 1.0


def rounding_exponent(T, K, S, r, sigma, lam, p, eta1, eta2):
    """G: the closed form's rounding errors are amplified by about exp(G)."""
    s2 = sigma * sigma * T
    zeta = zeta_of(p, eta1, eta2)
    exponent = -math.inf
    for up, down, mu in (
        (eta1, eta2, r - 0.5 * sigma * sigma - lam * zeta),
        (eta1 - 1.0, eta2 + 1.0, r + 0.5 * sigma * sigma - lam * zeta),
    ):
        c = math.log(K / S) - mu * T
        exponent = max(exponent, 0.5 * up * up * s2 - up * c, 0.5 * down * down * s2 + down * c)
    return exponent


def poisson_tail(mean, n):
    """P(N > n) for N ~ Poisson(mean), summed term by term."""
    if mean == 0.0:
        return 0.0
    total = 0.0
    for k in range(n + 1, n + 1000):
        term = math.exp(k * math.log(mean) - mean - math.lgamma(k + 1.0))
        total += term
        if k > mean and term < 1e-30 * total:
            break
    return total


def truncation_bound(n, T, K, S, r, sigma, lam, p, eta1, eta2):
    stock_mean = lam * (1.0 + zeta_of(p, eta1, eta2)) * T
    return S * poisson_tail(stock_mean, n) + K * math.exp(-r * T) * poisson_tail(lam * T, n)


def call_errors(params, terms=TERMS):
    """(Fourier price as float, [closed form - Fourier for each n])."""
    T, K, S, r, sigma, lam, p, eta1, eta2 = params
    reference = kou_call_fourier(T, K, S, r, sigma, lam, p, eta1, eta2)
    option = jdpricer.KouEuropeanCall(T, K)
    errs = [float(option.priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1, eta2, n) - reference) for n in terms]
    return float(reference), errs


def fmt(x):
    if math.isnan(x):
        return "NaN"
    if x == 0.0:
        return "0"
    return f"{abs(x):.1e}"


def scan(count, seed, terms=40):
    """Largest |error| and |error|/exp(G) per band of G over random contracts."""
    rng = random.Random(seed)
    log_uniform = lambda a, b: math.exp(rng.uniform(math.log(a), math.log(b)))  # noqa: E731
    bands = {}
    done = 0
    while done < count:
        T = log_uniform(0.1, 5.0)
        K = 100.0 * math.exp(rng.uniform(-0.55, 0.35))
        sigma = rng.uniform(0.05, 0.5)
        lam = rng.uniform(0.0, 5.0) / T
        r = rng.uniform(0.0, 0.08)
        p = rng.uniform(0.1, 0.9)
        eta1, eta2 = log_uniform(3.0, 50.0), log_uniform(2.0, 50.0)
        # Past eta*s = 9 the error no longer follows G (see above).
        if max(eta1, eta2) * sigma * math.sqrt(T) > 9.0:
            continue
        params = (T, K, 100.0, r, sigma, lam, p, eta1, eta2)
        g = rounding_exponent(*params)
        _, (err,) = call_errors(params, (terms,))
        band = 2 * math.floor(g / 2)
        n, worst, ratio = bands.get(band, (0, 0.0, 0.0))
        bands[band] = (n + 1, max(worst, abs(err)), max(ratio, abs(err) / math.exp(g)))
        done += 1
    print(f"{count} random contracts (seed {seed}), eta*sigma*sqrt(T) <= 9, n = {terms}")
    print()
    print("| G | contracts | max abs error | max error / exp(G) |")
    print("|---|---|---|---|")
    for band in sorted(bands):
        n, worst, ratio = bands[band]
        print(f"| [{band}, {band + 2}) | {n} | {worst:.1e} | {ratio:.1e} |")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--scan", type=int, metavar="COUNT", help="random contracts instead of the regimes")
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    if args.scan:
        scan(args.scan, args.seed)
        return
    header = "| regime | lam*T | eta*sigma*sqrt(T) | G | price | " + " | ".join(f"n={n}" for n in TERMS) + " |"
    rule = "|" + "---|" * (5 + len(TERMS))
    print("Absolute error |closed form - Fourier| of the call price")
    print()
    print(header)
    print(rule)
    for name, params in REGIMES:
        T, K, S, r, sigma, lam, p, eta1, eta2 = params
        price, errs = call_errors(params)
        eta_s = max(eta1, eta2) * sigma * math.sqrt(T)
        g = rounding_exponent(*params)
        cells = [name, f"{lam * T:g}", f"{eta_s:.2f}", f"{g:.1f}", f"{price:.6f}"] + [fmt(e) for e in errs]
        print("| " + " | ".join(cells) + " |")
    print()
    print("A-priori truncation bound S*P(N1 > n) + K*exp(-r*T)*P(N2 > n)")
    print()
    print("| regime | " + " | ".join(f"n={n}" for n in TERMS) + " |")
    print("|" + "---|" * (1 + len(TERMS)))
    for name, params in REGIMES:
        cells = [name] + [fmt(truncation_bound(n, *params)) for n in TERMS]
        print("| " + " | ".join(cells) + " |")


if __name__ == "__main__":
    main()
