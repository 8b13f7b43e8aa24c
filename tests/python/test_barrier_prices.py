"""barrier_call_prices and barrier_put_prices: lam = 0 against the
Black-Scholes continuous-barrier formulas, in-out parity against the closed
form, rebates against the touches, the conventions at the edges, the same
bits for every worker count, and bad input."""
import math

import numpy as np
import pytest

import jdpricer_batch as batch

MODEL = dict(sigma=0.16, lam=1.0, p=0.4, eta1=10.0, eta2=5.0)


def black_scholes(kind, T, K, S, r, q, sigma):
    cdf = lambda x: 0.5 * math.erfc(-x / math.sqrt(2.0))
    d1 = (math.log(S / K) + (r - q + sigma * sigma / 2) * T) / (sigma * math.sqrt(T))
    d2 = d1 - sigma * math.sqrt(T)
    call = S * math.exp(-q * T) * cdf(d1) - K * math.exp(-r * T) * cdf(d2)
    return call if kind == "call" else call - S * math.exp(-q * T) + K * math.exp(-r * T)


def image_knock_out(kind, T, K, H, S, r, q, sigma):
    """Down-and-out call with K >= H, up-and-out put with K <= H: the
    vanilla less its image through the barrier (method of images)."""
    power = 2 * (r - q - sigma * sigma / 2) / (sigma * sigma)
    return (black_scholes(kind, T, K, S, r, q, sigma)
            - (H / S) ** power * black_scholes(kind, T, K, H * H / S, r, q, sigma))


@pytest.mark.parametrize("T", [0.05, 0.5, 3.0])
def test_without_jumps_knock_outs_are_black_scholes(T):
    model = dict(MODEL, lam=0.0, sigma=0.25)
    for r, q in ((0.05, 0.0), (0.02, 0.04)):
        for K, H in ((100.0, 90.0), (95.0, 80.0), (110.0, 95.0)):
            want = image_knock_out("call", T, K, H, 100.0, r, q, 0.25)
            got = batch.barrier_call_prices(T, K, H, 100.0, r, **model, barrier="down-and-out", q=q)
            assert float(got) == pytest.approx(want, abs=1e-11), (K, H, r, q)
        for K, H in ((100.0, 110.0), (105.0, 120.0), (90.0, 105.0)):
            want = image_knock_out("put", T, K, H, 100.0, r, q, 0.25)
            got = batch.barrier_put_prices(T, K, H, 100.0, r, **model, barrier="up-and-out", q=q)
            assert float(got) == pytest.approx(want, abs=1e-11), (K, H, r, q)


@pytest.mark.parametrize("function, vanilla", [(batch.barrier_call_prices, batch.call_prices),
                                               (batch.barrier_put_prices, batch.put_prices)])
def test_in_and_out_add_up_to_the_closed_form(function, vanilla):
    T = np.array([[0.05], [0.25], [1.0], [3.0]])
    K = np.array([70.0, 85.0, 95.0, 100.0, 105.0, 120.0, 140.0])
    for model in (MODEL, dict(sigma=0.3, lam=4.0, p=0.6, eta1=6.0, eta2=8.0)):
        want = vanilla(T, K, 100.0, 0.03, **model, n="auto", q=0.01)
        for H, pair in ((120.0, ("up-and-out", "up-and-in")), (82.0, ("down-and-out", "down-and-in"))):
            out, knocked_in = (function(T, K, H, 100.0, 0.03, **model, barrier=b, q=0.01) for b in pair)
            assert np.all(out >= 0) and np.all(knocked_in >= 0)
            error = np.abs(out + knocked_in - want) / (100.0 + K)
            assert error.max() < 1e-10, (H, error.max(), np.unravel_index(error.argmax(), error.shape))


def test_rebates_are_touches():
    T, K, S, r = np.array([0.1, 0.5, 2.0]), 100.0, 100.0, 0.04
    for H, out, into in ((115.0, "up-and-out", "up-and-in"), (88.0, "down-and-out", "down-and-in")):
        hit = batch.touch_prices(T, H, S, r, **MODEL, kind="one-touch", q=0.02)
        never = batch.touch_prices(T, H, S, r, **MODEL, kind="no-touch", q=0.02)
        for function in (batch.barrier_call_prices, batch.barrier_put_prices):
            plain_out, plain_in = (function(T, K, H, S, r, **MODEL, barrier=b, q=0.02) for b in (out, into))
            np.testing.assert_allclose(function(T, K, H, S, r, **MODEL, barrier=out, rebate=3.0, q=0.02),
                                       plain_out + 3.0 * hit, rtol=0, atol=1e-12)
            np.testing.assert_allclose(function(T, K, H, S, r, **MODEL, barrier=into, rebate=3.0, q=0.02),
                                       plain_in + 3.0 * never, rtol=0, atol=1e-12)


def test_edges_follow_the_conventions():
    args = dict(MODEL, r=0.05)
    # Breached at the spot: the knock-out is its rebate, the knock-in the vanilla.
    assert float(batch.barrier_call_prices(0.5, 100.0, 95.0, 95.0, **args, barrier="down-and-out",
                                           rebate=1.5)) == 1.5
    vanilla = batch.put_prices(0.5, 100.0, 130.0, 0.05, **MODEL, n="auto", q=0.02)
    breached = batch.barrier_put_prices(0.5, 100.0, 120.0, 130.0, **args, barrier="up-and-in", q=0.02)
    assert breached.tobytes() == vanilla.tobytes()
    # At expiry: the payoff for a knock-out, the rebate for a knock-in.
    assert float(batch.barrier_call_prices(0.0, 90.0, 120.0, 100.0, **args, barrier="up-and-out")) == 10.0
    assert float(batch.barrier_call_prices(0.0, 90.0, 120.0, 100.0, **args, barrier="up-and-in",
                                           rebate=2.0)) == 2.0
    for T, K, H, S in ((-1.0, 100.0, 120.0, 100.0), (math.nan, 100.0, 120.0, 100.0),
                       (0.5, 0.0, 120.0, 100.0), (0.5, 100.0, -1.0, 100.0), (0.5, 100.0, 120.0, math.nan)):
        assert math.isnan(batch.barrier_call_prices(T, K, H, S, **args, barrier="up-and-out"))
    assert math.isnan(batch.barrier_call_prices(0.5, 100.0, 120.0, 100.0, **args, barrier="up-and-out",
                                                rebate=math.nan))
    no_diffusion = dict(args, sigma=0.0)
    assert math.isnan(batch.barrier_put_prices(0.5, 100.0, 80.0, 100.0, **no_diffusion, barrier="down-and-in"))


def test_every_worker_count_gives_the_same_bits():
    rng = np.random.default_rng(8)
    T = rng.choice([0.1, 0.5, 1.0], 300)
    K = rng.uniform(80.0, 120.0, 300)
    H = rng.uniform(70.0, 95.0, 300)
    one = batch.barrier_put_prices(T, K, H, 100.0, 0.03, **MODEL, barrier="down-and-in", rebate=1.0)
    for workers in (2, -1, 64):
        got = batch.barrier_put_prices(T, K, H, 100.0, 0.03, **MODEL, barrier="down-and-in", rebate=1.0,
                                       workers=workers)
        assert one.tobytes() == got.tobytes(), workers


@pytest.mark.parametrize("arguments, error, match", [
    (dict(barrier="down-and-out-call"), ValueError, "up-and-in"),
    (dict(barrier="down-and-out", rebate="1"), TypeError, "rebate"),
    (dict(barrier="down-and-out", H=[[80.0, 90.0, 95.0]], K=[90.0, 100.0]), ValueError, "broadcast"),
])
def test_bad_input_raises(arguments, error, match):
    call = dict(T=0.5, K=100.0, H=90.0, S=100.0, r=0.05, **MODEL)
    call.update(arguments)
    with pytest.raises(error, match=match):
        batch.barrier_call_prices(**call)


def test_barriers_match_the_30_digit_references():
    """Knock-out and knock-in of every row of data/barrier_references.json,
    30-digit mpmath values computed without the engine (see
    make_barrier_references.py), against the engine; the worst error in units
    of S + K is printed by regime."""
    import json
    import pathlib

    path = pathlib.Path(__file__).with_name("data") / "barrier_references.json"
    rows = json.loads(path.read_text())["rows"]
    assert len(rows) >= 40
    worst, failures = {}, []
    for row in rows:
        c = row["case"]
        assert c["direction"] == ("up" if c["H"] > c["S"] else "down")
        function = batch.barrier_call_prices if c["type"] == "call" else batch.barrier_put_prices
        model = {name: c[name] for name in ("sigma", "lam", "p", "eta1", "eta2")}
        for key, barrier in (("knock_out", c["direction"] + "-and-out"),
                             ("knock_in", c["direction"] + "-and-in")):
            got = float(function(c["T"], c["K"], c["H"], c["S"], c["r"], **model, barrier=barrier,
                                 rebate=c["rebate"], q=c["q"]))
            error = abs(got - float(row[key])) / (c["S"] + c["K"])
            if not error < 1e-10:
                failures.append((c, barrier, got, row[key], error))
            if not error <= worst.get(c["regime"], (-1.0,))[0]:
                worst[c["regime"]] = (error, barrier, c["T"], c["K"], c["H"])
    for regime, (error, barrier, T, K, H) in worst.items():
        print(f"{regime:>13}: worst {error:.1e} (S + K), {barrier} T={T} K={K} H={H}")
    assert not failures, failures
