"""Writes greeks_references.json: the Greeks of the n-term Kou series at 40
digits, each by mpmath.diff of an mpmath evaluation of the literal closed
form (Hh, I_n, the P and Q sums, both Upsilon series, the call and the put by
parity). Independent of the engine's derivations: nothing here is
differentiated by hand.

    python tests/python/make_greeks_references.py   (a few minutes)
"""
import functools
import json
import math
import pathlib

import mpmath as mp
from mpmath import mpf

DPS = 40
FIELDS = ("price", "delta", "gamma", "vega", "theta", "rho", "dual_delta",
          "dlam", "dp", "deta1", "deta2", "psi")
# The input each first-order field differentiates (theta with a minus).
INPUT_OF = dict(delta="S", vega="sigma", theta="T", rho="r", dual_delta="K",
                dlam="lam", dp="p", deta1="eta1", deta2="eta2", psi="q")
ARGS = ("T", "K", "S", "r", "sigma", "lam", "p", "eta1", "eta2", "q")

# Well-conditioned regimes (eta sigma sqrt(T) <= about 3): short and long
# maturities, deep in and out of the money, n from 1 to 60, dividend yields
# of both signs (the price with yield q is the one at the spot S exp(-qT)).
CASES = [
    dict(T=0.5, K=98, S=100, r=0.05, sigma=0.16, lam=1, p=0.4, eta1=10, eta2=5, n=1),
    dict(T=0.5, K=98, S=100, r=0.05, sigma=0.16, lam=1, p=0.4, eta1=10, eta2=5, n=10, q=0.02),
    dict(T=0.02, K=100, S=100, r=0.03, sigma=0.2, lam=3, p=0.3, eta1=25, eta2=10, n=5),
    dict(T=5.0, K=100, S=100, r=0.04, sigma=0.15, lam=0.5, p=0.5, eta1=6, eta2=4, n=20, q=0.03),
    dict(T=1.0, K=60, S=100, r=0.05, sigma=0.2, lam=2, p=0.35, eta1=8, eta2=6, n=15, q=0.1),
    dict(T=1.0, K=160, S=100, r=0.05, sigma=0.2, lam=2, p=0.35, eta1=8, eta2=6, n=15),
    dict(T=1.0, K=100, S=100, r=0.02, sigma=0.1, lam=20, p=0.45, eta1=30, eta2=25, n=60),
    dict(T=2.0, K=110, S=100, r=0.03, sigma=0.25, lam=5, p=0.3, eta1=8, eta2=6, n=40, q=-0.02),
    dict(T=0.25, K=95, S=100, r=0.01, sigma=0.3, lam=4, p=0.9, eta1=4, eta2=3, n=30),
    dict(T=0.1, K=120, S=100, r=0.0, sigma=0.3, lam=1.5, p=0.6, eta1=5, eta2=7, n=2),
    dict(T=3.0, K=90, S=100, r=-0.01, sigma=0.12, lam=0.8, p=0.2, eta1=15, eta2=3, n=12, q=0.01),
    dict(T=0.75, K=105, S=100, r=0.05, sigma=0.18, lam=8, p=0.5, eta1=20, eta2=15, n=60),
]


def normal_cdf(y):
    return 1 - mp.erfc(y / mp.sqrt(2)) / 2


def hh_table(count, x):
    """Hh_0(x) .. Hh_{count-1}(x) and Hh_{-1}(x) by the three-term recursion."""
    older = mp.exp(-x * x / 2)
    values = [normal_cdf(-x) * mp.sqrt(2 * mp.pi)]
    for m in range(1, count):
        newer = (older - x * values[-1]) / m
        older = values[-1]
        values.append(newer)
    return values


def integrals(count, c, alpha, beta, delta):
    """I_0 .. I_{count-1}(c; alpha, beta, delta), the closed form of both cases."""
    case_a = alpha != 0 and beta > 0
    case_b = beta < 0 and alpha < 0
    if not (case_a or case_b):
        return [mpf(0)] * count
    rho = beta / alpha
    e = beta * c - delta
    hh = hh_table(count, e)
    E = mp.exp(alpha * c)
    F = mp.exp(alpha * alpha / (2 * beta * beta) + delta * alpha / beta)
    G = mp.sqrt(2 * mp.pi) / beta
    out = []
    for n in range(count):
        S = sum(hh[i] * rho ** (n - i) for i in range(n + 1))
        if case_a:
            out.append(G * rho ** (n + 1) * F * normal_cdf(delta - c * beta + alpha / beta) - S * E / alpha)
        else:
            out.append(-(E / alpha) * S - G * rho ** (n + 1) * F * normal_cdf(beta * c - delta - alpha / beta))
    return out


@functools.lru_cache(maxsize=None)
def binomials(N):
    """C(m, j) for 0 <= j <= m <= N, exact integers."""
    return [[math.comb(m, j) for j in range(m + 1)] for m in range(N + 1)]


@functools.lru_cache(maxsize=None)
def coefficients(N, p, eta1, eta2):
    """P[n][k], Q[n][k] for 1 <= k <= n <= N (mpf arguments, cached by value)."""
    q = 1 - p
    w = eta1 + eta2
    x, y = eta1 / w, eta2 / w
    C = binomials(N)
    xs, ys = [x ** j for j in range(N + 1)], [y ** j for j in range(N + 1)]
    ps, qs = [p ** j for j in range(N + 1)], [q ** j for j in range(N + 1)]
    P = [[mpf(0)] * (N + 1) for _ in range(N + 1)]
    Q = [[mpf(0)] * (N + 1) for _ in range(N + 1)]
    for n in range(1, N + 1):
        for k in range(1, n):
            m = n - k - 1
            P[n][k] = mp.fsum(C[n][i] * C[m][i - k] * xs[i - k] * ys[n - i] * qs[n - i] * ps[i]
                              for i in range(k, n))
            Q[n][k] = mp.fsum(C[n][i] * C[m][i - k] * xs[n - i] * ys[i - k] * ps[n - i] * qs[i]
                              for i in range(k, n))
        P[n][n] = ps[n]
        Q[n][n] = qs[n]
    return P, Q


def upsilon(N, mu, sigma, lam, p, eta1, eta2, a, T):
    c = a - mu * T
    s = sigma * mp.sqrt(T)
    value = mp.exp(-lam * T) * normal_cdf(-c / s)
    if N <= 0:
        return value
    P, Q = coefficients(N, p, eta1, eta2)
    up = integrals(N, c, -eta1, -1 / s, -s * eta1)
    down = integrals(N, c, eta2, 1 / s, -s * eta2)
    SP = SQ = mpf(0)
    for n in range(1, N + 1):
        pin = mp.exp(-lam * T) * (lam * T) ** n / mp.factorial(n)
        SP += pin * sum(up[k - 1] * (eta1 * s) ** k * P[n][k] for k in range(1, n + 1))
        SQ += pin * sum(down[k - 1] * (eta2 * s) ** k * Q[n][k] for k in range(1, n + 1))
    D = s * mp.sqrt(2 * mp.pi)
    return value + mp.exp((eta1 * s) ** 2 / 2) / D * SP + mp.exp((eta2 * s) ** 2 / 2) / D * SQ


def call(T, K, S, r, sigma, lam, p, eta1, eta2, n, q=0):
    S = S * mp.exp(-q * T)
    zeta = p * eta1 / (eta1 - 1) + (1 - p) * eta2 / (eta2 + 1) - 1
    a = mp.log(K / S)
    U1 = upsilon(n, r + sigma ** 2 / 2 - lam * zeta, sigma, (1 + zeta) * lam,
                 p / (1 + zeta) * eta1 / (eta1 - 1), eta1 - 1, eta2 + 1, a, T)
    U2 = upsilon(n, r - sigma ** 2 / 2 - lam * zeta, sigma, lam, p, eta1, eta2, a, T)
    return S * U1 - K * mp.exp(-r * T) * U2


def put(T, K, S, r, sigma, lam, p, eta1, eta2, n, q=0):
    return mp.exp(-r * T) * K + call(T, K, S, r, sigma, lam, p, eta1, eta2, n, q) - S * mp.exp(-q * T)


def greeks(price, case):
    args = {name: mpf(case.get(name, 0)) for name in ARGS}
    n = case["n"]

    def along(name):
        return lambda x: price(n=n, **{**args, name: x})

    out = {"price": price(n=n, **args)}
    for field, name in INPUT_OF.items():
        d = mp.diff(along(name), args[name])
        out[field] = -d if field == "theta" else d
    out["gamma"] = mp.diff(along("S"), args["S"], 2)
    return [mp.nstr(out[f], 30) for f in FIELDS]


def main():
    mp.mp.dps = DPS
    table = []
    for case in CASES:
        for kind, price in (("call", call), ("put", put)):
            table.append({"kind": kind, "case": case, "greeks": greeks(price, case)})
            print(kind, case, flush=True)
    path = pathlib.Path(__file__).with_name("greeks_references.json")
    path.write_text(json.dumps({"fields": FIELDS, "digits": 30, "rows": table}, indent=1) + "\n")


if __name__ == "__main__":
    main()
