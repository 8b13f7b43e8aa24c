"""Reference values for American puts and calls under Kou's model, to about
1e-8 of the strike, by a method that shares nothing with a finite-difference
PIDE solver.

Writes ``data/american_references.json`` next to this script.  Runs with NumPy
alone (the standard library's ``multiprocessing`` spreads the cases over two
processes); a full run takes about a quarter of an hour on two cores.  With
``--refit`` it only extrapolates again from the Bermudan prices stored in
the data.

Method
------
Bermudan puts by the Fourier-cosine (COS) method of Fang and Oosterlee
(Numer. Math. 114, 2009), then Richardson extrapolation in the number of
exercise dates to the American price.

Work in x = ln(S/K) with the strike scaled to 1.  Over one step dt = T/M the
log-price moves by an increment with characteristic function

    phi(u) = exp(dt (i u mu - sigma^2 u^2/2 + lam (p eta1/(eta1 - i u) + (1-p) eta2/(eta2 + i u) - 1))),
    mu     = r - q - sigma^2/2 - lam zeta,
    zeta   = p eta1/(eta1 - 1) + (1-p) eta2/(eta2 + 1) - 1.

On a truncation range [a, b], w = pi/(b - a), a value function V(., t_{m+1})
is held by its cosine coefficients V_k = 2/(b-a) int_a^b V(y) cos(k w (y-a)) dy,
k < N, and the continuation value is

    c(x) = e^{-r dt} Re sum'_k phi(k w) V_k e^{i k w (x - a)}     (first term halved).

Exercise point.  The put is exercised below the root x* of c(x) = 1 - e^x,
found by Newton's method (bracketed, bisecting when a step leaves the
bracket) from the previous date's root.  The new coefficients are exact
integrals once x* is known: the payoff's on [a, x*] in closed form, and the
continuation's on [x*, b]

    C_k = e^{-r dt}/(b-a) Re sum'_j u_j (I(j+k) + I(j-k)),  u_j = phi(j w) V_j,
    I(n) = int_{x*}^b e^{i n w (x-a)} dx,

a Hankel plus a Toeplitz matrix times a vector.  With I(-n) = conj I(n) the
real part folds both into one correlation, Re sum_{|m|<N} v_m I(k+m) with
v_m = u_m, v_{-m} = conj u_m, v_0 = 2 Re u_0, done by one FFT convolution of
length 4N: O(N log N) a date, where a dense product would be O(N^2).

An error in x* moves the coefficients only to second order (the payoff and
the continuation meet there), so x* is solved to ~1e-11 only.

Truncation.  The cosine series folds the increment's density back into
[a, b] (an even reflection at each end); mass folded across a from depth d
below it changes the put payoff by up to e^{2a} e^{d}, weighted by the tail
e^{-eta2 d} of the downward jumps, so a sits (32/(eta2 + 1) or at least ten
cumulant standard deviations, c2 + sqrt(c4)) below both the spot and the
strike; b likewise above them, by 20/eta1 (the put is negligible there).

Terms.  The coefficients decay with |phi(k w)| <= e^{-sigma^2 dt (k w)^2/2}
(the jump factor is bounded); N, a power of two, makes that e^{-32} at k = N.
The diffusion is what keeps this finite: short steps need many terms
(up to 2^15 here).

Extrapolation.  A Bermudan with M dates misses the American by
a/M + b/M^1.5 + c/M^2 + ... (the early-exercise boundary converges like
M^-1/2, which brings in the half powers).  Prices at M = 2^5 .. 2^11 are fitted
by least squares to P_am + a/M (+ b/M^1.5 (+ c/M^2)) over windows M >= 2^6
.. 2^9, and the fit with the smallest residual is taken (see `extrapolate`:
spots near the exercise boundary carry a transient at small M, and there only
the top window fits).  The error estimate is the largest of the fit's
residual (times its weights), the distance to the runner-up fit, the COS
truncation checked at M = 2^8 with twice the terms and a 1.5 times wider
range (times the weights), and the amount by which any Bermudan exceeds the
extrapolated American (it never should).

Calls.  By put-call symmetry, C(S, K, r, q; model) = P(K, S, q, r; dual) with
the dual Kou model lam* = lam (zeta + 1), p* = (1-p) eta2/(eta2 + 1)/(zeta + 1),
eta1* = eta2 + 1, eta2* = eta1 - 1, sigma* = sigma: the measure change with
the stock as numeraire and the reciprocal price.  The script checks it on
Europeans (a COS call against the COS put of the dual) before using it.

Checks recorded in the data: Toivanen's American puts (10.005071, 2.807879,
0.5618766 at S = 90, 100, 110) are reproduced; lam = 0 rows are cross-checked
by a Leisen-Reimer binomial tree (n = 8001 .. 32001 steps, Richardson in 1/n);
and the COS Europeans match the Black-Scholes formula at lam = 0.
"""
import json
import math
import multiprocessing
import pathlib
import sys
import time

import numpy as np

OUT = pathlib.Path(__file__).resolve().parent / "data" / "american_references.json"
MS = [2 ** k for k in range(5, 12)]
TOIVANEN = dict(sigma=0.15, lam=0.1, p=0.3445, eta1=3.0465, eta2=3.0775)
TOIVANEN_PUTS = {90.0: 10.005071, 100.0: 2.807879, 110.0: 0.5618766}
MODEL_A = dict(sigma=0.2, lam=1.0, p=0.4, eta1=10.0, eta2=5.0)
MODEL_B = dict(sigma=0.3, lam=3.0, p=0.3, eta1=25.0, eta2=3.0)
NO_JUMPS = dict(sigma=0.25, lam=0.0, p=0.4, eta1=10.0, eta2=5.0)


def zeta_of(p, eta1, eta2):
    return p * eta1 / (eta1 - 1.0) + (1.0 - p) * eta2 / (eta2 + 1.0) - 1.0


def increment_cf(u, dt, r, q, sigma, lam, p, eta1, eta2):
    mu = r - q - 0.5 * sigma * sigma - lam * zeta_of(p, eta1, eta2)
    iu = 1j * u
    return np.exp(dt * (iu * mu - 0.5 * sigma * sigma * u * u
                        + lam * (p * eta1 / (eta1 - iu) + (1.0 - p) * eta2 / (eta2 + iu) - 1.0)))


def dual_model(sigma, lam, p, eta1, eta2):
    """The model of 1/S under the stock measure (put-call symmetry)."""
    z1 = zeta_of(p, eta1, eta2) + 1.0
    return dict(sigma=sigma, lam=lam * z1, p=(1.0 - p) * eta2 / (eta2 + 1.0) / z1,
                eta1=eta2 + 1.0, eta2=eta1 - 1.0)


def grid(T, x0, r, q, sigma, lam, p, eta1, eta2, widen=1.0):
    mu = r - q - 0.5 * sigma * sigma - lam * zeta_of(p, eta1, eta2)
    c1 = T * (mu + lam * (p / eta1 - (1 - p) / eta2))
    c2 = T * (sigma * sigma + 2 * lam * (p / eta1 ** 2 + (1 - p) / eta2 ** 2))
    c4 = T * 24 * lam * (p / eta1 ** 4 + (1 - p) / eta2 ** 4)
    sd = 10.0 * math.sqrt(c2 + math.sqrt(c4))
    a = min(x0, 0.0) + min(c1, 0.0) - widen * max(sd, 32.0 / (eta2 + 1.0) if lam > 0 else 0.0)
    b = max(x0, 0.0) + max(c1, 0.0) + widen * max(sd, 20.0 / eta1 if lam > 0 else 0.0)
    return a, b


def put_payoff_coefficients(kw, a, c, d):
    """int_c^d (1 - e^y) cos(kw (y - a)) dy for each kw."""
    if d <= c:
        return np.zeros_like(kw)
    cd, cc = np.cos(kw * (d - a)), np.cos(kw * (c - a))
    sd, sc = np.sin(kw * (d - a)), np.sin(kw * (c - a))
    chi = (cd * math.exp(d) - cc * math.exp(c) + kw * (sd * math.exp(d) - sc * math.exp(c))) / (1.0 + kw * kw)
    psi = np.empty_like(kw)
    psi[0] = d - c
    psi[1:] = (sd[1:] - sc[1:]) / kw[1:]
    return psi - chi


def terms_for(T, M, sigma, a, b, more=1):
    need = (b - a) / math.pi * math.sqrt(2 * 32.0 / (sigma * sigma * T / M))
    return more * (1 << max(7, math.ceil(math.log2(need))))


def bermudan_put(T, K, S, r, q, model, M, more=1, widen=1.0, exercise=True):
    """Put exercisable at t_m = m T/M, m = 0..M (m = 0 only with `exercise`);
    with M = 1 and exercise=False, the European put."""
    x0 = math.log(S / K)
    a, b = grid(T, x0, r, q, **model, widen=widen)
    w = math.pi / (b - a)
    dt = T / M
    N = terms_for(T, M, model["sigma"], a, b, more)
    k = np.arange(N, dtype=float)
    kw = k * w
    phi = increment_cf(kw, dt, r, q, **model)
    disc = math.exp(-r * dt)
    n = np.arange(-(N - 1), 2 * N - 1, dtype=float)
    nz = n != 0
    nw = n[nz] * w
    sign = np.where(np.abs(n[nz]) % 2 == 0, 1.0, -1.0)  # e^{i n w (b - a)}
    size = 4 * N
    scale = 2.0 / (b - a)
    V = scale * put_payoff_coefficients(kw, a, a, 0.0)
    xs = 0.0
    for m in range(M - 1, -1, -1):
        u = phi * V
        u[0] *= 0.5
        # terms below 1e-19 of the largest cannot move c(x): drop them from point evaluations
        J = int(np.nonzero(np.abs(u) > 1e-19 * np.abs(u).max())[0][-1]) + 1
        uj, kj = u[:J], kw[:J]

        def continuation(x):
            ue = uj * np.exp(1j * kj * (x - a))
            return disc * ue.real.sum(), -disc * (kj * ue.imag).sum()

        if m == 0:
            value = continuation(x0)[0]
            return K * (max(value, 1.0 - math.exp(x0)) if exercise else value)
        lo, hi = a, min(0.0, b)
        if continuation(lo)[0] - (1.0 - math.exp(lo)) >= 0.0:
            xs = a  # never exercised on the range
        else:
            x = min(max(xs, lo), hi)
            for _ in range(200):
                c, dc = continuation(x)
                f = c - (1.0 - math.exp(x))
                if f < 0.0:
                    lo = x
                else:
                    hi = x
                df = dc + math.exp(x)
                xn = x - f / df if df != 0.0 else 0.5 * (lo + hi)
                if not lo < xn < hi:
                    xn = 0.5 * (lo + hi)
                done = abs(xn - x) < 1e-11 or hi - lo < 1e-13
                x = xn
                if done:
                    break
            xs = x
        I = np.empty(3 * N - 2, dtype=complex)
        I[nz] = (sign - np.exp(1j * nw * (xs - a))) / (1j * nw)
        I[~nz] = b - xs
        v = np.empty(2 * N - 1, dtype=complex)
        v[N:] = u[1:]
        v[:N - 1] = np.conj(u[1:])[::-1]
        v[N - 1] = 2.0 * u[0].real
        z = np.fft.ifft(np.fft.fft(v[::-1], size) * np.fft.fft(I, size))[2 * N - 2: 3 * N - 2]
        V = scale * put_payoff_coefficients(kw, a, a, xs) + disc / (b - a) * z.real
    raise AssertionError("unreachable")


def european_put(T, K, S, r, q, model):
    return bermudan_put(T, K, S, r, q, model, 1, more=4, exercise=False)


def fit(Ms, Ps, powers):
    A = np.array([[1.0] + [M ** -s for s in powers] for M in Ms])
    coef = np.linalg.lstsq(A, np.asarray(Ps), rcond=None)[0]
    weights = np.linalg.pinv(A)[0]  # P_am as a combination of the data
    return float(coef[0]), float(np.abs(A @ coef - Ps).max()), float(np.abs(weights).sum())


def extrapolate(Ps, truncation):
    """American price from the Bermudans at MS and the COS truncation check.

    Every least-squares fit P + a/M (+ b/M^1.5 (+ c/M^2)) over the dates
    M >= 2^6, 2^7, 2^8 or 2^9 that keeps at least one degree of freedom is a
    candidate; the one with the smallest residual is taken.  Near the
    exercise boundary the small-M Bermudans carry a transient that decays
    faster than any power of 1/M (the spot is within a few steps' diffusion
    of the discrete boundaries), so there only the largest-M windows fit;
    elsewhere the wider windows with more terms do.  The error estimate is the
    largest of: the chosen fit's residual times the sum of its weights, its
    distance to the runner-up fit, the truncation times those weights, and the
    amount by which any Bermudan exceeds the result.
    """
    candidates = []
    for start in (64, 128, 256, 512):
        i = MS.index(start)
        for powers in ([1], [1, 1.5], [1, 1.5, 2]):
            if len(MS) - i > len(powers) + 1:
                price, residual, gain = fit(MS[i:], Ps[i:], powers)
                candidates.append((residual, price, gain, start, powers))
    candidates.sort(key=lambda c: c[0])
    (residual, price, gain, start, powers), runner_up = candidates[0], candidates[1]
    above = max(0.0, max(Ps) - price)
    error = max(residual * gain, abs(runner_up[1] - price), truncation * gain, above)
    return price, error, dict(bermudan=Ps, cos_truncation=truncation, fit=dict(from_M=start, powers=powers),
                              fit_residual=residual, runner_up=runner_up[1] - price, bermudan_above=above)


def american_put(T, K, S, r, q, model):
    Ps = [bermudan_put(T, K, S, r, q, model, M) for M in MS]
    check = MS.index(256)
    truncation = max(abs(bermudan_put(T, K, S, r, q, model, 256, more=2) - Ps[check]),
                     abs(bermudan_put(T, K, S, r, q, model, 256, widen=1.5) - Ps[check]))
    return extrapolate(Ps, truncation)


def leisen_reimer_put(T, K, S, r, q, sigma, n):
    """American put on a Leisen-Reimer tree (Peizer-Pratt inversion 2), n odd."""
    dt = T / n
    d1 = (math.log(S / K) + (r - q + 0.5 * sigma * sigma) * T) / (sigma * math.sqrt(T))
    d2 = d1 - sigma * math.sqrt(T)

    def h(z):
        return 0.5 + math.copysign(0.5, z) * math.sqrt(
            1.0 - math.exp(-(z / (n + 1.0 / 3.0 + 0.1 / (n + 1))) ** 2 * (n + 1.0 / 6.0)))

    pu, pp = h(d2), h(d1)
    growth = math.exp((r - q) * dt)
    up = growth * pp / pu
    down = (growth - pu * up) / (1.0 - pu)
    disc = math.exp(-r * dt)
    j = np.arange(n + 1)
    prices = S * up ** j * down ** (n - j)
    value = np.maximum(K - prices, 0.0)
    for i in range(n - 1, -1, -1):
        prices = prices[:i + 1] / down
        value = np.maximum(disc * (pu * value[1:i + 2] + (1.0 - pu) * value[:i + 1]), K - prices)
    return float(value[0])


def tree_cross_check(T, K, S, r, q, sigma):
    steps = [8001, 16001, 32001]
    v = [leisen_reimer_put(T, K, S, r, q, sigma, n) for n in steps]
    return 2.0 * v[2] - v[1], dict(steps=steps, prices=v, richardson_previous=2.0 * v[1] - v[0])


def black_scholes_put(T, K, S, r, q, sigma):
    cdf = lambda x: 0.5 * math.erfc(-x / math.sqrt(2.0))
    d1 = (math.log(S / K) + (r - q + sigma * sigma / 2) * T) / (sigma * math.sqrt(T))
    d2 = d1 - sigma * math.sqrt(T)
    return K * math.exp(-r * T) * cdf(-d2) - S * math.exp(-q * T) * cdf(-d1)


def case(regime, kind, T, K, S, r, q, model):
    return dict(regime=regime, type=kind, T=T, K=K, S=S, r=r, q=q, **model)


CASES = (
    [case("toivanen", "put", 0.25, 100.0, S, 0.05, 0.0, TOIVANEN) for S in (90.0, 100.0, 110.0)]
    + [case("put itm", "put", 1.0, 100.0, 80.0, 0.08, 0.0, TOIVANEN),
       case("put otm", "put", 1.0, 100.0, 120.0, 0.03, 0.0, TOIVANEN),
       case("put otm", "put", 3.0, 100.0, 110.0, 0.05, 0.02, TOIVANEN),
       case("put deep itm", "put", 0.1, 100.0, 80.0, 0.08, 0.0, MODEL_A),
       case("put itm", "put", 1.0, 100.0, 90.0, 0.03, 0.02, MODEL_A),
       case("put atm", "put", 0.1, 100.0, 100.0, 0.08, 0.0, MODEL_A),
       case("put atm", "put", 3.0, 100.0, 100.0, 0.08, 0.0, MODEL_A),
       case("put otm", "put", 1.0, 100.0, 110.0, 0.08, 0.02, MODEL_A),
       case("put otm", "put", 3.0, 100.0, 120.0, 0.03, 0.0, MODEL_A),
       case("put itm", "put", 1.0, 100.0, 80.0, 0.03, 0.0, MODEL_B),
       case("put itm", "put", 0.1, 100.0, 90.0, 0.03, 0.02, MODEL_B),
       case("put atm", "put", 1.0, 100.0, 100.0, 0.08, 0.0, MODEL_B),
       case("put otm", "put", 3.0, 100.0, 110.0, 0.08, 0.02, MODEL_B),
       case("put otm", "put", 0.1, 100.0, 120.0, 0.03, 0.0, MODEL_B),
       case("lam=0", "put", 1.0, 100.0, 90.0, 0.08, 0.0, NO_JUMPS),
       case("lam=0", "put", 0.25, 100.0, 100.0, 0.05, 0.02, NO_JUMPS),
       case("lam=0", "put", 3.0, 100.0, 120.0, 0.03, 0.0, NO_JUMPS),
       case("call", "call", 1.0, 100.0, 110.0, 0.03, 0.05, MODEL_A),
       case("call", "call", 0.25, 100.0, 100.0, 0.05, 0.02, TOIVANEN),
       case("call", "call", 3.0, 100.0, 120.0, 0.03, 0.08, MODEL_B),
       case("call", "call", 1.0, 100.0, 90.0, 0.08, 0.02, MODEL_B),
       case("call", "call", 0.1, 100.0, 100.0, 0.03, 0.08, MODEL_A)]
)


def model_of(c):
    return {key: c[key] for key in ("sigma", "lam", "p", "eta1", "eta2")}


def price_case(c):
    start = time.time()
    model = model_of(c)
    if c["type"] == "put":
        price, error, detail = american_put(c["T"], c["K"], c["S"], c["r"], c["q"], model)
    else:
        price, error, detail = american_put(c["T"], c["S"], c["K"], c["q"], c["r"], dual_model(**model))
    row = dict(case=c, price=repr(price), error_estimate=error)
    if c["lam"] == 0.0:
        tree, tree_detail = tree_cross_check(c["T"], c["K"], c["S"], c["r"], c["q"], c["sigma"])
        row["tree"] = dict(price=tree, difference=tree - price, **tree_detail)
    row["detail"] = detail
    print(f"priced {c['regime']} {c['type']} T={c['T']} S={c['S']} in {time.time() - start:.0f} s", flush=True)
    return row


def symmetry_check():
    """Put-call symmetry on Europeans: a call (by parity from the COS put) is
    the dual model's put with S and K, r and q swapped."""
    worst = 0.0
    for model in (TOIVANEN, MODEL_A, MODEL_B):
        for T, S, r, q in ((0.25, 90.0, 0.05, 0.0), (1.0, 110.0, 0.03, 0.05), (3.0, 120.0, 0.08, 0.02)):
            call = european_put(T, 100.0, S, r, q, model) + S * math.exp(-q * T) - 100.0 * math.exp(-r * T)
            dual = european_put(T, S, 100.0, q, r, dual_model(**model))
            worst = max(worst, abs(call - dual) / 100.0)
    for T, S, r, q in ((0.25, 90.0, 0.05, 0.0), (3.0, 120.0, 0.03, 0.02)):
        cos = european_put(T, 100.0, S, r, q, NO_JUMPS)
        worst = max(worst, abs(cos - black_scholes_put(T, 100.0, S, r, q, NO_JUMPS["sigma"])) / 100.0)
    assert worst < 1e-12, worst
    return worst


def finish(row):
    """Extrapolate a row's stored Bermudans and print its cross-checks."""
    price, error, detail = extrapolate(row["detail"]["bermudan"], row["detail"]["cos_truncation"])
    row.update(price=repr(price), error_estimate=error, detail=detail)
    if "tree" in row:
        row["tree"]["difference"] = row["tree"]["price"] - price
    c = row["case"]
    if c["regime"] == "toivanen":
        want = TOIVANEN_PUTS[c["S"]]
        row["toivanen"] = dict(price=want, difference=price - want)
    print(f"{c['regime']:>12} {c['type']} T={c['T']} S={c['S']} r={c['r']} q={c['q']}: {price:.10f} "
          f"+- {error:.1e} (fit from M={detail['fit']['from_M']}, powers {detail['fit']['powers']})"
          + (f"; Toivanen {row['toivanen']['price']}" if "toivanen" in row else "")
          + (f"; tree - COS {row['tree']['difference']:.1e}" if "tree" in row else ""))
    return row


def main(argv):
    """Without arguments: price every case and write the data.  With
    --refit: extrapolate again from the Bermudans stored in the data."""
    start = time.time()
    if argv[1:] == ["--refit"]:
        data = json.loads(OUT.read_text())
        rows = data["rows"]
    else:
        symmetry = symmetry_check()
        print(f"European put-call symmetry and lam = 0 closed form: worst {symmetry:.1e} K", flush=True)
        with multiprocessing.Pool(2) as pool:
            rows = pool.map(price_case, CASES, chunksize=1)
        data = dict(european_symmetry_worst=symmetry, seconds=round(time.time() - start))
    rows = [finish(row) for row in rows]
    data.update(
        method="Bermudan puts by the COS method (Fang-Oosterlee; continuation by the characteristic function, "
               "coefficients by one FFT correlation of the Hankel plus Toeplitz form, exercise point by Newton) at "
               "M = 2^5..2^11 exercise dates, Richardson to M = oo by the least-squares fit "
               "P + a/M (+ b/M^1.5 (+ c/M^2)) with the smallest residual over the windows M >= 2^6..2^9; "
               "error_estimate (absolute, in the price's units) = max(fit residual times its weights, distance to "
               "the runner-up fit, COS truncation at M = 256 (twice the terms, 1.5 times the range) times the "
               "weights, any Bermudan above the American). Calls by put-call symmetry with the dual Kou model "
               "(checked on Europeans: european_symmetry_worst, in units of K). Toivanen's puts reproduced "
               "(rows 'toivanen'); lam = 0 rows cross-checked by a Leisen-Reimer tree "
               "(n = 16001, 32001, Richardson in 1/n).",
        rows=rows,
    )
    OUT.write_text(json.dumps(data, indent=1) + "\n")
    print(f"wrote {len(rows)} rows to {OUT}")


if __name__ == "__main__":
    sys.exit(main(sys.argv))
