"""Unbiased Monte Carlo of Kou's model for continuously monitored products.

Touches, barrier calls and puts (all four kinds, with and without rebate) and
the running maximum and minimum (lookbacks) by simulation, against
jdpricer_batch. Not a test: a one-off cross-check whose table goes into the
documentation. Usage: python bench/monte_carlo_path_dependent.py

The simulation has no discretisation bias. Under the risk-neutral measure the
log-price is X_t = mu t + sigma W_t + sum of the jumps, with
mu = r - q - sigma^2/2 - lam*zeta. For every path we draw the number of jumps
(Poisson), their times (sorted uniforms), their sizes and the Gaussian moves
between them: that skeleton (the values just after and just before every
jump, and X_T) has exactly the model's law. Between two jumps the path is a
Brownian bridge with known endpoints a, b over a time dt, and everything
continuous monitoring needs is known in closed form for it:
  - P(bridge reaches h) = exp(-2 (h - a)(h - b) / (sigma^2 dt)) for h above
    both ends (the reflection principle);
  - its maximum, drawn exactly as (a + b + sqrt((b - a)^2 - 2 sigma^2 dt ln U))/2,
    the minimum likewise (the inverse of that probability);
  - the first time it reaches h: writing the bridge as
    a(1-x) + b x + sigma sqrt(dt) (1-x) W(x/(1-x)), x = s/dt, it reaches h when
    W(u) first meets the line c + d u, c = (h-a)/(sigma sqrt dt),
    d = (h-b)/(sigma sqrt dt), i.e. when a Brownian motion with drift -d first
    reaches c. Given that it does, that time u is inverse Gaussian with mean
    c/|d| and shape c^2, and s = dt u/(1 + u).
The pieces of a path are independent given the skeleton. So instead of
drawing each piece's maximum and testing it against the barrier, the barrier
products use their conditional expectation given the skeleton:
P(no hit) = prod over pieces of (1 - P(piece reaches h)) times 0 if a jump lands
beyond h, and E[exp(-r tau); tau <= T] = sum over pieces of P(no hit before the
piece) times [P(piece reaches h) exp(-r t_start) E exp(-r s) + P(it does not)
1{the jump ending it lands beyond h} exp(-r t_jump)], the inner E exp(-r s) by
one exact draw of s. Still unbiased (the tower property), and far less
variance than an indicator. The running maximum and minimum are drawn (each
piece's, independently for max and min: every product here uses one of
them, never both, so only their marginal laws matter).

Control variates: the discounted stock (mean S exp(-qT)) and the vanilla call
or put of the same strike (or at the barrier, for touches), with means from
jdpricer_batch.robust_call_prices / robust_put_prices (the closed form where
its error bound is below 1e-10, the Fourier method elsewhere). The
coefficients are fitted on an independent pilot sample and then held fixed,
so the estimator stays unbiased (a coefficient fitted on the same paths
would leave an O(1/n) bias).

Before the main table a check of the simulator itself: with lam = 0 against
the closed-form Brownian first passage (touches at expiry and at the hit, a
down-and-in call).

References for the lookbacks: jdpricer has no lookback, but the running
maximum's law is the one-touch's, P(max S >= H) = exp(rT) * one-touch at
expiry(H), so e^{-rT} E[(max - K)+] = e^{-rT} (S - K)+ + integral over H >= max(S, K)
of touch_prices(H, at="expiry") dH, the minimum likewise with down touches.
Those integrals are taken by Gauss-Legendre quadrature in log H.
"""
import math
import os
import platform
import time

import numpy as np

import jdpricer_batch as batch

S0 = 100.0
MODELS = {
    "ref": dict(r=0.05, q=0.0, sigma=0.16, lam=1.0, p=0.4, eta1=10.0, eta2=5.0),
    "heavy": dict(r=0.05, q=0.02, sigma=0.3, lam=3.0, p=0.3, eta1=25.0, eta2=3.0),
}
MATURITIES = (0.25, 1.0)
STRIKES = (95.0, 105.0)
DOWN, UP, FAR_UP = 90.0, 110.0, 125.0
REBATE = 3.0
SEED = 20240611
BATCH = 100_000
BATCHES = 20          # 2 x 10^6 paths a maturity, 4 x 10^6 a model
PILOT = 200_000       # paths for the control-variate coefficients (not reused)
CHECK_BATCHES = 10    # lam = 0 check: 10^6 paths a case


def drift(m):
    zeta = m["p"] * m["eta1"] / (m["eta1"] - 1.0) + (1.0 - m["p"]) * m["eta2"] / (m["eta2"] + 1.0) - 1.0
    return m["r"] - m["q"] - 0.5 * m["sigma"] ** 2 - m["lam"] * zeta


def skeleton(rng, n, T, m):
    """The exact skeleton of n paths of log(S_t/S_0), padded to a rectangle.

    Piece k of a path runs from time t0[:, k] for dt[:, k], from a[:, k] (just
    after the jump that opened it) to b[:, k] (just before the jump that closes
    it). Paths with fewer jumps than the most of the batch get pieces of length
    0 at T, which change nothing (no move, no jump, a bridge of length 0)."""
    counts = rng.poisson(m["lam"] * T, n)
    width = int(counts.max()) if n else 0
    padding = np.arange(width)[None, :] >= counts[:, None]
    times = rng.uniform(0.0, T, (n, width))
    times[padding] = T
    times.sort(axis=1)
    edges = np.concatenate([np.zeros((n, 1)), times, np.full((n, 1), T)], axis=1)
    dt = np.diff(edges, axis=1)
    t0 = edges[:, :-1]
    upward = rng.random((n, width)) < m["p"]
    size = rng.standard_exponential((n, width))
    jumps = np.where(upward, size / m["eta1"], -size / m["eta2"])
    jumps[padding] = 0.0
    moves = drift(m) * dt + m["sigma"] * np.sqrt(dt) * rng.standard_normal((n, width + 1))
    a = np.zeros((n, width + 1))
    a[:, 1:] = np.cumsum(moves[:, :-1] + jumps, axis=1)
    b = a + moves
    return a, b, dt, t0


def bridge_extreme(rng, a, b, dt, sigma, sign):
    """One exact draw of each piece's maximum (sign +1) or minimum (sign -1),
    and their extreme over the path."""
    u = 1.0 - rng.random(a.shape)  # in (0, 1]: ln u finite
    spread = np.sqrt((b - a) ** 2 - 2.0 * sigma * sigma * dt * np.log(u))
    return (0.5 * (a + b + sign * spread)).max(axis=1) if sign > 0 else (0.5 * (a + b - spread)).min(axis=1)


def first_passage(rng, a, b, dt, t0, h, sigma, r):
    """Given the skeleton, P(the path never reaches h before T) and an
    unbiased draw of E[exp(-r tau); tau <= T | skeleton], tau the first time
    the log-price reaches h (up where h > 0, down where h < 0)."""
    if h < 0.0:  # a down barrier is an up barrier of -X
        a, b, h = -a, -b, -h
    n, pieces = a.shape
    with np.errstate(divide="ignore", invalid="ignore", over="ignore"):
        reach = np.exp(-2.0 * (h - a) * (h - b) / (sigma * sigma * dt))
    reach = np.where(np.maximum(a, b) >= h, 1.0, np.where(dt > 0.0, reach, 0.0))
    lands = np.zeros_like(reach)  # the jump closing a piece lands at or beyond h
    lands[:, :-1] = a[:, 1:] >= h
    stay = (1.0 - reach) * (1.0 - lands)
    alive = np.ones_like(reach)  # P(no hit before the piece)
    alive[:, 1:] = np.cumprod(stay[:, :-1], axis=1)
    never = alive[:, -1] * stay[:, -1]
    # the time within a piece of its bridge's first passage, given that there is one
    s = np.zeros_like(reach)
    sel = (reach > 0.0) & (alive > 0.0)
    if r != 0.0 and sel.any():
        root = sigma * np.sqrt(dt[sel])
        c = (h - a[sel]) / root
        d = np.abs(h - b[sel]) / root
        with np.errstate(divide="ignore", invalid="ignore", over="ignore"):
            u = rng.wald(np.minimum(c / d, 1e300), c * c)
            frac = np.where(np.isfinite(u), u / (1.0 + u), 1.0)
        s[sel] = dt[sel] * frac
    hit = alive * (reach * np.exp(-r * (t0 + s)) + (1.0 - reach) * lands * np.exp(-r * (t0 + dt)))
    return never, hit.sum(axis=1)


def vanilla(kind, T, K, m):
    """The exact mean of a control: robust prices (error bound below 1e-10)."""
    fn = batch.robust_call_prices if kind == "call" else batch.robust_put_prices
    res = fn(T, K, S0, m["r"], m["sigma"], m["lam"], m["p"], m["eta1"], m["eta2"], "auto", 1e-10, q=m["q"])
    return float(np.asarray(res.prices))


class Products:
    """Per-path discounted values of every product of one (model, T) case,
    with the controls each one uses and its reference value."""

    def __init__(self, m, T, check=False):
        self.m, self.T, self.check = m, T, check
        self.disc = math.exp(-m["r"] * T)
        self.forward = S0 * math.exp(-m["q"] * T)
        self.entries = []  # (label, controls, reference)
        self.control_means = {}
        strikes = sorted(set(STRIKES) | {DOWN, UP, S0})
        for K in strikes:
            self.control_means[f"call{K:g}"] = vanilla("call", T, K, m)
            self.control_means[f"put{K:g}"] = vanilla("put", T, K, m)
        if check:
            self._check_entries()
        else:
            self._entries()

    def _entries(self):
        m, T = self.m, self.T
        model = (m["sigma"], m["lam"], m["p"], m["eta1"], m["eta2"])
        add = self.entries.append
        add(("discounted stock", (), self.forward))
        for H in (DOWN, UP):
            side = "call" if H > S0 else "put"
            ctl = ("stock", f"{side}{H:g}")
            touch = lambda kind, at=None: float(batch.touch_prices(T, H, S0, m["r"], *model, kind, at=at, q=m["q"]))
            add((f"one-touch at expiry H={H:g}", ctl, touch("one-touch", "expiry")))
            add((f"one-touch at hit H={H:g}", ctl, touch("one-touch", "hit")))
            add((f"no-touch H={H:g}", ctl, touch("no-touch")))
        for side, fn in (("call", batch.barrier_call_prices), ("put", batch.barrier_put_prices)):
            for kind in ("down-and-out", "down-and-in", "up-and-out", "up-and-in"):
                barriers = [DOWN] if kind.startswith("down") else [UP]
                if side == "call" and kind == "up-and-out":
                    barriers.append(FAR_UP)
                for H in barriers:
                    for K in STRIKES:
                        for R in (0.0, REBATE):
                            ref = float(fn(T, K, H, S0, m["r"], *model, kind, rebate=R, q=m["q"]))
                            label = f"{kind} {side} K={K:g} H={H:g}" + (f" R={R:g}" if R else "")
                            add((label, ("stock", f"{side}{K:g}"), ref))
        for label, ctl, ref in self._lookback_references():
            add((label, ctl, ref))

    def _lookback_references(self):
        m, T = self.m, self.T
        model = (m["sigma"], m["lam"], m["p"], m["eta1"], m["eta2"])
        nodes, weights = np.polynomial.legendre.leggauss(12)

        def integral(lo, hi, up, panels=600):
            # integral of the one-touch at expiry over H, in x = |log(H/S)|
            edges = np.linspace(lo, hi, panels + 1)
            mid, half = 0.5 * (edges[1:] + edges[:-1]), 0.5 * np.diff(edges)
            x = (mid[:, None] + half[:, None] * nodes[None, :]).ravel()
            w = (half[:, None] * weights[None, :]).ravel()
            H = S0 * np.exp(x if up else -x)
            touch = batch.touch_prices(T, H, S0, m["r"], *model, "one-touch", at="expiry", q=m["q"])
            return float(np.sum(w * H * touch))

        out = []
        up_top, down_top = 6.0, 12.0
        for K in STRIKES:
            ref = self.disc * max(S0 - K, 0.0) + integral(math.log(max(K, S0) / S0), up_top, True)
            out.append((f"lookback call fixed K={K:g}", ("stock", f"call{K:g}"), ref))
        for K in STRIKES:
            ref = self.disc * max(K - S0, 0.0) + integral(math.log(S0 / min(K, S0)), down_top, False)
            out.append((f"lookback put fixed K={K:g}", ("stock", f"put{K:g}"), ref))
        out.append(("lookback put floating", ("stock", "call100"),
                    self.disc * S0 + integral(0.0, up_top, True) - self.forward))
        out.append(("lookback call floating", ("stock", "put100"),
                    self.forward - self.disc * S0 + integral(0.0, down_top, False)))
        return out

    def _check_entries(self):
        # lam = 0: closed-form Brownian first passage
        m, T = self.m, self.T
        mu, sig, r = drift(m), m["sigma"], m["r"]
        N = lambda z: 0.5 * math.erfc(-z / math.sqrt(2.0))
        add = self.entries.append
        for H in (DOWN, UP):
            h = math.log(H / S0)
            g, k = (mu, h) if h > 0 else (-mu, -h)
            st = sig * math.sqrt(T)
            prob = N((-k + g * T) / st) + math.exp(2 * g * k / sig ** 2) * N((-k - g * T) / st)
            nu = math.sqrt(g * g + 2 * r * sig * sig)
            at_hit = (math.exp((g - nu) * k / sig ** 2) * N((-k + nu * T) / st)
                      + math.exp((g + nu) * k / sig ** 2) * N((-k - nu * T) / st))
            side = "call" if H > S0 else "put"
            add((f"one-touch at expiry H={H:g}", ("stock", f"{side}{H:g}"), self.disc * prob))
            add((f"one-touch at hit H={H:g}", ("stock", f"{side}{H:g}"), at_hit))
            add((f"no-touch H={H:g}", ("stock", f"{side}{H:g}"), self.disc * (1.0 - prob)))
        for K in STRIKES:  # Merton / Reiner-Rubinstein, K >= H
            H, st = DOWN, sig * math.sqrt(T)
            lam_ = (r - m["q"] + 0.5 * sig * sig) / (sig * sig)
            y = math.log(H * H / (S0 * K)) / st + lam_ * st
            ref = (self.forward * (H / S0) ** (2 * lam_) * N(y)
                   - K * self.disc * (H / S0) ** (2 * lam_ - 2) * N(y - st))
            add((f"down-and-in call K={K:g} H={H:g}", ("stock", f"call{K:g}"), ref))

    def values(self, rng, n):
        """Per-path values of every entry (n,), and the centred controls."""
        m, T = self.m, self.T
        a, b, dt, t0 = skeleton(rng, n, T, m)
        ST = S0 * np.exp(b[:, -1])
        ctl = {"stock": self.disc * ST - self.forward}
        for key, mean in self.control_means.items():
            K = float(key[4:] if key.startswith("call") else key[3:])
            pay = np.maximum(ST - K, 0.0) if key.startswith("call") else np.maximum(K - ST, 0.0)
            ctl[key] = self.disc * pay - mean
        passage = {H: first_passage(rng, a, b, dt, t0, math.log(H / S0), m["sigma"], m["r"])
                   for H in (DOWN, UP, FAR_UP)}
        top = bottom = None
        if not self.check:
            top = S0 * np.exp(bridge_extreme(rng, a, b, dt, m["sigma"], +1))
            bottom = S0 * np.exp(bridge_extreme(rng, a, b, dt, m["sigma"], -1))
        out = {}
        for label, _, _ in self.entries:
            out[label] = self._value(label, ST, passage, top, bottom)
        return out, ctl

    def _value(self, label, ST, passage, top, bottom):
        disc = self.disc
        words = dict(w.split("=") for w in label.split() if "=" in w)
        K, H, R = (float(words[k]) if k in words else None for k in ("K", "H", "R"))
        R = R or 0.0
        if label == "discounted stock":
            return disc * ST
        if label.startswith("lookback"):
            if "floating" in label:
                return disc * top - self.forward if "put" in label else self.forward - disc * bottom
            return disc * (np.maximum(top - K, 0.0) if "call" in label else np.maximum(K - bottom, 0.0))
        never, hit = passage[H]
        if label.startswith("one-touch at expiry"):
            return disc * (1.0 - never)
        if label.startswith("one-touch at hit"):
            return hit
        if label.startswith("no-touch"):
            return disc * never
        side = "call" if " call " in label else "put"
        pay = disc * (np.maximum(ST - K, 0.0) if side == "call" else np.maximum(K - ST, 0.0))
        if "-out " in label:
            return pay * never + R * hit
        return pay * (1.0 - never) + R * disc * never


def estimate(products, seed_seq, batches):
    """Pilot-fitted control-variate estimates: {label: (mean, stderr, gain)}."""
    pilot_seq, main_seq = seed_seq.spawn(2)
    values, ctl = products.values(np.random.default_rng(pilot_seq), PILOT)
    beta, shift = {}, {}
    for label, names, _ in products.entries:
        y = values[label]
        if names:
            C = np.stack([ctl[k] for k in names], axis=1)
            Cc = C - C.mean(axis=0)
            beta[label] = np.linalg.lstsq(Cc, y - y.mean(), rcond=None)[0]
        shift[label] = y.mean()  # only centres the sums below
    sums = {label: np.zeros(4) for label, _, _ in products.entries}
    count = 0
    for seq in main_seq.spawn(batches):
        values, ctl = products.values(np.random.default_rng(seq), BATCH)
        count += BATCH
        for label, names, _ in products.entries:
            y = values[label] - shift[label]
            z = y - (np.stack([ctl[k] for k in names], axis=1) @ beta[label] if names else 0.0)
            sums[label] += (z.sum(), (z * z).sum(), y.sum(), (y * y).sum())
    result = {}
    for label, _, _ in products.entries:
        sz, szz, sy, syy = sums[label]
        var_z = (szz - sz * sz / count) / (count - 1)
        var_y = (syy - sy * sy / count) / (count - 1)
        result[label] = (shift[label] + sz / count, math.sqrt(var_z / count),
                         var_y / var_z if var_z > 0 else float("inf"))
    return result, count


def table(rows, ref_name):
    head = f"{'product':38s} {'case':12s} {'MC':>12s} {'stderr':>10s} {ref_name:>12s} {'z':>7s} {'CV gain':>8s}"
    lines = [head, "-" * len(head)]
    for product, case, mc, se, ref, gain in rows:
        z = (ref - mc) / se if se > 0 else float("nan")
        lines.append(f"{product:38s} {case:12s} {mc:12.6f} {se:10.2e} {ref:12.6f} {z:7.2f} {gain:8.1f}")
    return "\n".join(lines)


def cpu_name():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or platform.machine()


def main():
    root = np.random.SeedSequence(SEED)
    check_seq, main_seq = root.spawn(2)
    start = time.perf_counter()

    check_rows = []
    seqs = iter(check_seq.spawn(len(MODELS) * len(MATURITIES)))
    for name, m in MODELS.items():
        m0 = dict(m, lam=0.0)
        for T in MATURITIES:
            prod = Products(m0, T, check=True)
            res, check_count = estimate(prod, next(seqs), CHECK_BATCHES)
            for label, _, ref in prod.entries:
                mc, se, gain = res[label]
                check_rows.append((label, f"{name}0 T={T:g}", mc, se, ref, gain))
    check_time = time.perf_counter() - start

    rows, timings = [], {}
    seqs = iter(main_seq.spawn(len(MODELS) * len(MATURITIES)))
    for name, m in MODELS.items():
        t = time.perf_counter()
        for T in MATURITIES:
            prod = Products(m, T)
            res, count = estimate(prod, next(seqs), BATCHES)
            for label, _, ref in prod.entries:
                mc, se, gain = res[label]
                rows.append((label, f"{name} T={T:g}", mc, se, ref, gain))
        timings[name] = time.perf_counter() - t
    total = time.perf_counter() - start

    zs = np.array([(ref - mc) / se for _, _, mc, se, ref, _ in rows if se > 0])
    print(f"Monte Carlo of Kou's model, exact simulation (jump skeleton and Brownian bridges, no "
          f"time step), {count:,} paths per model and maturity in batches of {BATCH:,} plus "
          f"{PILOT:,} independent pilot paths for the control-variate coefficients, seed {SEED} "
          f"(NumPy {np.__version__}, PCG64 streams from SeedSequence). Runtime "
          + ", ".join(f"{k} model {v:.0f} s" for k, v in timings.items())
          + f", lam = 0 check {check_time:.0f} s ({check_count:,} paths a case), total {total:.0f} s, "
          f"on one core of {cpu_name()} ({os.cpu_count()} cores), "
          f"{platform.python_implementation()} {platform.python_version()}. "
          f"Models: ref S=100 r=0.05 q=0 sigma=0.16 lam=1 p=0.4 eta1=10 eta2=5; heavy S=100 r=0.05 "
          f"q=0.02 sigma=0.3 lam=3 p=0.3 eta1=25 eta2=3. Rebates R={REBATE:g} (paid at the hit for a "
          f"knock-out, at expiry if never hit for a knock-in). z = (reference - MC)/stderr; CV gain "
          f"= variance without / with control variates. Over the {zs.size} rows of the main table: "
          f"mean z {zs.mean():+.2f}, sd {zs.std(ddof=1):.2f}, max |z| {np.abs(zs).max():.2f}, "
          f"{int((np.abs(zs) > 2).sum())} with |z| > 2, {int((np.abs(zs) > 4).sum())} with |z| > 4 "
          f"(the rows of one model and maturity share their paths, so their z are correlated: a "
          f"knock-in and its knock-out mirror each other, and so do the three touches of a barrier).")
    print()
    print("Simulator check, lam = 0 against closed-form Brownian first passage:")
    print(table(check_rows, "closed form"))
    print()
    print("Kou's model against jdpricer_batch (the discounted stock against its exact mean S exp(-qT); "
          "the lookbacks against a quadrature of touch_prices at expiry over the barrier):")
    print(table(rows, "jdpricer"))


if __name__ == "__main__":
    main()
