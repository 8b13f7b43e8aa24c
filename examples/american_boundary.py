"""American puts under Kou's model and their exercise boundary -> docs/american_boundary.png.

Two models, K = 100, r = 0.05, no dividend yield: Toivanen's (sigma = 0.15,
lam = 0.1, p = 0.3445, eta1 = 3.0465, eta2 = 3.0775, T = 0.25; rare jumps of
about a third in log size either way) and a heavier one (sigma = 0.16,
lam = 1, p = 0.4, eta1 = 10, eta2 = 5, T = 1; a jump a year, mostly down and
larger down). For spots 80 to 120 the script prints the American put
(jdpricer_batch.american_put_greeks, with its delta, gamma, theta and vega), the
European put (put_prices, n = "auto") and the early-exercise premium, their
difference.

Boundary. american_exercise_boundary gives the critical spot, below which
the put is exercised, against the time to expiry tau from 0 to T. Beside it
is the boundary of Black-Scholes with the same variance of the log-return per
year, sigma_BS^2 = sigma^2 + lam*(2p/eta1^2 + 2(1-p)/eta2^2): that is
american_exercise_boundary itself with lam = 0 and sigma = sigma_BS, the same
solver with the jump integral gone, which is the Black-Scholes American put.
Because that comparison would not catch a fault the two share, one point of
the jump-free boundary (Toivanen's equivalent volatility, tau = T) is checked
against a Cox-Ross-Rubinstein binomial tree written here (see
binomial_check). As tau grows the boundary falls towards the perpetual
put's exercise level, drawn as a horizontal line: the largest spot where
perpetual_american_put_prices is the payoff K - S, found by bisection
(the function gives the price in closed form, not the level).

With the variance per year the same, Kou's boundary lies above
Black-Scholes's: waiting is worth less, and the holder exercises at a
higher spot. What waiting earns near the boundary is the put's curvature,
which sits just above the boundary (below it the put is its payoff, linear).
Diffusion spends its variance in small moves that collect that curvature
where it is; a jump spends the same variance on one large move, which lands
in the exercise region, where the payoff is linear and earns nothing, or far
above the boundary, where the put is nearly flat.

CPython, needs numpy and, for the picture, matplotlib:
    .venv-cpython/bin/python examples/american_boundary.py [--no-picture]
"""
import argparse
import math
import os
from typing import NamedTuple

import numpy as np

import jdpricer_batch

HERE = os.path.dirname(os.path.abspath(__file__))
PICTURE = os.path.join(HERE, "..", "docs", "american_boundary.png")


class KouParams(NamedTuple):
    sigma: float
    lam: float
    p: float
    eta1: float
    eta2: float


STRIKE, RATE = 100.0, 0.05
TOIVANEN = KouParams(0.15, 0.1, 0.3445, 3.0465, 3.0775)
HEAVY = KouParams(0.16, 1.0, 0.4, 10.0, 5.0)
CASES = (("Toivanen's model", TOIVANEN, 0.25), ("heavier jumps", HEAVY, 1.0))
SPOTS = np.arange(80.0, 120.1, 5.0)

# Accuracies in units of the strike. Prices to 1e-7 of it, 1e-5, leave the
# table's four decimals right. The boundary is a node of the solver's grid,
# so it asks for a finer grid than the prices need: at 1e-8 the cells near
# Toivanen's boundary are about 0.04 (in spot units).
PRICE_ACCURACY = 1e-7
BOUNDARY_ACCURACY = 1e-8

# The binomial check: Toivanen's equivalent Black-Scholes put at tau = T.
TREE_STEPS = 4000
SPOT_TOLERANCE = 0.1  # critical spots, 0.1% of the strike; see binomial_check
PRICE_TOLERANCE = 3e-4  # the tree's prices against the solver's and the payoff


def total_variance_vol(params):
    """Black-Scholes volatility with the Kou log-return's variance per year.

    A double-exponential log-jump has E[Y^2] = 2p/eta1^2 + 2(1-p)/eta2^2, and
    a compound Poisson process of rate lam adds lam*E[Y^2] a year to the
    diffusion's sigma^2.
    """
    sigma, lam, p, eta1, eta2 = params
    return math.sqrt(sigma**2 + lam * (2.0 * p / eta1**2 + 2.0 * (1.0 - p) / eta2**2))


def black_scholes_params(params):
    """The jump-free model of the same variance (p, eta1, eta2 then play no part)."""
    return KouParams(total_variance_vol(params), 0.0, params.p, params.eta1, params.eta2)


# ---------------------------------------------------------------- the table


class Row(NamedTuple):
    spot: float
    american: float
    european: float
    premium: float
    delta: float
    gamma: float
    theta: float
    vega: float


def premium_table(params, T, spots=SPOTS, K=STRIKE, r=RATE):
    g = jdpricer_batch.american_put_greeks(T, K, spots, r, *params, accuracy=PRICE_ACCURACY)
    european = jdpricer_batch.put_prices(T, K, spots, r, *params, "auto")
    return [Row(float(s), float(a), float(e), float(a - e), float(d), float(gm), float(th),
                float(v))
            for s, a, e, d, gm, th, v in zip(spots, g.price, european, g.delta, g.gamma, g.theta,
                                             g.vega)]


def print_table(title, rows):
    print(title)
    print(f"{'S':>6} {'American':>9} {'European':>9} {'premium':>8} {'delta':>8} {'gamma':>8} {'theta':>8}"
          f" {'vega':>8}")
    for w in rows:
        # Rounded, then + 0.0: a -0.0 (or a rounding error's -1e-17) where
        # the put is exercised would print as "-0.00000".
        gamma, theta = round(w.gamma, 5) + 0.0, round(w.theta, 4) + 0.0
        vega = round(w.vega, 4) + 0.0
        print(f"{w.spot:6.1f} {w.american:9.4f} {w.european:9.4f} {w.premium:8.4f} {w.delta:+8.4f} "
              f"{gamma:8.5f} {theta:+8.4f} {vega:8.4f}")


# ---------------------------------------------------------------- the boundary


def exercise_boundary(params, taus, K=STRIKE, r=RATE):
    return jdpricer_batch.american_exercise_boundary(taus, K, r, *params, accuracy=BOUNDARY_ACCURACY)


def perpetual_level(params, K=STRIKE, r=RATE):
    """The perpetual put's exercise level: the largest S where its value is K - S.

    Below the level the value is the payoff, above it more (the put is worth
    waiting for), so bisection on "value <= payoff" brackets it. The value
    meets the payoff smoothly, so just above the level the two differ by
    about gamma/2 (S - level)^2, which drops under the payoff's rounding
    within about 1e-7 of the level: the level is good to that, far below
    what the picture shows.
    """
    def exercised(S):
        return float(jdpricer_batch.perpetual_american_put_prices(K, S, r, *params)) <= K - S

    lo, hi = 1e-6 * K, K  # exercised at lo, held at the strike (r > 0)
    if not exercised(lo) or exercised(hi):
        raise ValueError("no exercise level in (0, K)")
    while hi - lo > 1e-12 * K:
        mid = 0.5 * (lo + hi)
        if exercised(mid):
            lo = mid
        else:
            hi = mid
    return lo


# ---------------------------------------------------------------- the binomial tree


def binomial_put_row(tau, K, r, vol, steps, centre, half):
    """American put values of a Cox-Ross-Rubinstein tree at time to expiry tau.

    u = exp(vol sqrt(dt)), up with probability (e^(r dt) - d)/(u - d). The
    tree is run back from expiry over a band of nodes wide enough that after
    `steps` steps 2*half + 1 nodes remain, centre*u^(2j) for j = -half..half
    (half = 0: the ordinary tree rooted at `centre`). Returns those spots,
    the values and whether each node is exercised at tau.
    """
    dt = tau / steps
    u = math.exp(vol * math.sqrt(dt))
    d = 1.0 / u
    up = (math.exp(r * dt) - d) / (u - d)
    disc = math.exp(-r * dt)
    powers = np.arange(-(steps + 2 * half), steps + 2 * half + 1, 2)
    value = np.maximum(K - centre * u ** powers.astype(float), 0.0)
    for _ in range(steps):
        powers = powers[:-1] + 1
        spots = centre * u ** powers.astype(float)
        held = disc * (up * value[1:] + (1.0 - up) * value[:-1])
        exercised = held <= K - spots
        value = np.where(exercised, K - spots, held)
    return spots, value, exercised


def binomial_critical_spot(tau, K, r, vol, steps):
    """The tree's exercise boundary at tau, within one of its cells.

    The lattice is laid about the strike, not about the solver's answer. The
    boundary lies between the highest exercised node and the next; smooth
    fit places it inside that cell: above the boundary the premium over the
    payoff grows as gamma/2 (S - S*)^2, so its square root is linear in S and
    the line through the first two held nodes meets 0 at S*.
    """
    half = int(math.ceil(math.log(2.0) / (2.0 * vol * math.sqrt(tau / steps))))  # down to K/2
    spots, value, exercised = binomial_put_row(tau, K, r, vol, steps, K, half)
    top = int(np.flatnonzero(exercised).max())
    s1, s2 = spots[top + 1], spots[top + 2]
    w1, w2 = math.sqrt(value[top + 1] - (K - s1)), math.sqrt(value[top + 2] - (K - s2))
    return float(s1 - w1 * (s2 - s1) / (w2 - w1))


def binomial_put_price(tau, K, S, r, vol, steps):
    _, value, _ = binomial_put_row(tau, K, r, vol, steps, S, 0)
    return float(value[0])


class TreeCheck(NamedTuple):
    tau: float
    vol: float
    solver_spot: float  # american_exercise_boundary, lam = 0, at tau
    tree_spot: float  # the tree's boundary with TREE_STEPS steps
    tree_spot_half: float  # with half as many: how far the tree still moves
    tree_at_solver_spot: float  # the tree's put at (solver_spot, tau)
    payoff_at_solver_spot: float  # K - solver_spot: the price on the boundary
    solver_at_strike: float  # american_put_prices at S = K, lam = 0
    tree_at_strike: float  # the tree's, the mean of TREE_STEPS and TREE_STEPS + 1 steps


def binomial_check(params=TOIVANEN, tau=0.25, K=STRIKE, r=RATE, steps=TREE_STEPS):
    """One point of the lam = 0 boundary against the tree.

    Critical spots, SPOT_TOLERANCE = 0.1 (0.1% of the strike). The solver
    places the boundary on a node of its grid, so it is off by up to a cell,
    about 0.04 here at BOUNDARY_ACCURACY. The tree's refined boundary is off
    by under 0.01 at 4000 steps (86.082, 86.067, 86.071, 86.065 at 1000 to
    8000 steps), and tree_spot - tree_spot_half reports how far it still
    moves. With a margin of two on the sum, 0.1 still tells a volatility
    wrong by 0.6% (2% moves this boundary by 0.33).

    Prices, PRICE_TOLERANCE = 3e-4. At the strike the tree's error is about
    0.25/N once the oscillation between N and N + 1 steps is averaged out
    (2.5e-4, 1.2e-4, 6e-5 at 1000, 2000, 4000 steps), the solver's within
    1e-6; 3e-4 leaves a margin of five. On the boundary the put is worth its
    payoff: if the solver's critical spot is above the tree's by d, the
    tree's value there exceeds K - S* by about gamma/2 d^2, with gamma about
    0.03 there: 1.5e-4 for a spot off by the whole SPOT_TOLERANCE.
    """
    bs = black_scholes_params(params)
    vol = bs.sigma
    solver_spot = float(jdpricer_batch.american_exercise_boundary(tau, K, r, *bs, accuracy=BOUNDARY_ACCURACY))
    tree_spot = binomial_critical_spot(tau, K, r, vol, steps)
    tree_spot_half = binomial_critical_spot(tau, K, r, vol, steps // 2)
    at_boundary = binomial_put_price(tau, K, solver_spot, r, vol, steps)
    solver_at_strike = float(jdpricer_batch.american_put_prices(tau, K, K, r, *bs, accuracy=BOUNDARY_ACCURACY))
    tree_at_strike = 0.5 * (binomial_put_price(tau, K, K, r, vol, steps)
                            + binomial_put_price(tau, K, K, r, vol, steps + 1))
    return TreeCheck(tau, vol, solver_spot, tree_spot, tree_spot_half, at_boundary, K - solver_spot,
                     solver_at_strike, tree_at_strike)


def check_failures(c):
    """What of the binomial check is out of tolerance (empty when it passes)."""
    failures = []
    if not abs(c.tree_spot - c.tree_spot_half) < 0.25 * SPOT_TOLERANCE:
        failures.append(f"the tree has not settled: {c.tree_spot_half:.4f} -> {c.tree_spot:.4f}")
    if not abs(c.solver_spot - c.tree_spot) < SPOT_TOLERANCE:
        failures.append(f"critical spot {c.solver_spot:.4f}, tree {c.tree_spot:.4f}")
    if not abs(c.tree_at_solver_spot - c.payoff_at_solver_spot) < PRICE_TOLERANCE:
        failures.append(f"tree value {c.tree_at_solver_spot:.6f} on the boundary, payoff {c.payoff_at_solver_spot:.6f}")
    if not abs(c.solver_at_strike - c.tree_at_strike) < PRICE_TOLERANCE:
        failures.append(f"price at the strike {c.solver_at_strike:.6f}, tree {c.tree_at_strike:.6f}")
    return failures


# ---------------------------------------------------------------- the picture


def plot(path, cases=CASES, check=None):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, axes = plt.subplots(1, len(cases), figsize=(9.0, 3.9))
    for ax, (name, params, T) in zip(np.atleast_1d(axes), cases):
        bs = black_scholes_params(params)
        taus = np.linspace(0.0, T, 201)
        ax.plot(taus, exercise_boundary(params, taus), lw=1.8, label="Kou")
        ax.plot(taus, exercise_boundary(bs, taus), lw=1.4, ls="--", color="grey",
                label=f"Black-Scholes, vol {bs.sigma:.1%}")
        ax.axhline(perpetual_level(params), color="C0", lw=0.9, ls=":", label="Kou, perpetual")
        ax.axhline(perpetual_level(bs), color="grey", lw=0.9, ls=":", label="Black-Scholes, perpetual")
        if check is not None and params == TOIVANEN:
            ax.plot([check.tau], [check.tree_spot], "x", color="C3", ms=7, clip_on=False,
                    label=f"binomial tree, {TREE_STEPS} steps")
        ax.set_title(f"{name}: sigma={params.sigma:g} lam={params.lam:g} p={params.p:g} "
                     f"eta1={params.eta1:g} eta2={params.eta2:g}", fontsize=8)
        ax.set_xlabel("time to expiry tau (years)")
        ax.set_xlim(0.0, T)
        ax.grid(True, alpha=0.3)
        ax.legend(fontsize=7, loc="center left", bbox_to_anchor=(0.02, 0.42))
    axes[0].set_ylabel("critical spot S*: exercise below")
    fig.suptitle(f"American put exercise boundary, K={STRIKE:g}, r={RATE}", fontsize=9)
    fig.tight_layout()
    fig.savefig(path, dpi=80)
    plt.close(fig)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--no-picture", action="store_true", help=f"do not write {os.path.normpath(PICTURE)}")
    args = parser.parse_args()

    for name, params, T in CASES:
        print_table(f"American put, {name}, T = {T}, K = {STRIKE:g}, r = {RATE}", premium_table(params, T))
        bs = black_scholes_params(params)
        taus = T * np.array([0.0, 0.1, 0.25, 0.5, 0.75, 1.0])
        kou, flat = exercise_boundary(params, taus), exercise_boundary(bs, taus)
        print("critical spot    tau: " + " ".join(f"{t:8.4f}" for t in taus) + "  perpetual")
        print("  Kou                 " + " ".join(f"{b:8.3f}" for b in kou) + f"  {perpetual_level(params):8.3f}")
        print(f"  Black-Scholes {bs.sigma:.3f} " + " ".join(f"{b:8.3f}" for b in flat)
              + f"  {perpetual_level(bs):8.3f}")
        print()

    check = binomial_check()
    print(f"binomial check, Black-Scholes vol {check.vol:.4f} (Toivanen's variance), tau = {check.tau}:")
    print(f"  critical spot: solver at lam = 0 {check.solver_spot:.4f}, tree {check.tree_spot:.4f} "
          f"({TREE_STEPS} steps; {check.tree_spot_half:.4f} with {TREE_STEPS // 2})")
    print(f"  tree value at the solver's critical spot {check.tree_at_solver_spot:.6f}, payoff "
          f"{check.payoff_at_solver_spot:.6f}")
    print(f"  price at S = K: solver {check.solver_at_strike:.6f}, tree {check.tree_at_strike:.6f}")
    failures = check_failures(check)
    if failures:
        raise SystemExit("the lam = 0 boundary disagrees with the binomial tree: " + "; ".join(failures))
    if not args.no_picture:
        plot(PICTURE, check=check)
        print(f"wrote {os.path.normpath(PICTURE)}")


if __name__ == "__main__":
    main()
