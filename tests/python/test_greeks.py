"""call_greeks and put_greeks: each field against a 40-digit mpmath
derivative of the truncated series, Black-Scholes at lam = 0, the price
field's bits, parity, and hostile input."""
import json
import math
import pathlib
import random
import struct

import numpy as np
import pytest

import jdpricer_batch

FIELDS = jdpricer_batch.Greeks._fields
MODEL = dict(sigma=0.16, lam=1.0, p=0.4, eta1=10.0, eta2=5.0)
HOSTILE = [0.0, -0.0, -1.0, math.inf, -math.inf, math.nan, 1e-300, 1e300]


def bits(a):
    return np.asarray(a, dtype=np.float64).view(np.uint64)


def same_bits(a, b):
    a, b = np.asarray(a, dtype=np.float64), np.asarray(b, dtype=np.float64)
    return bool(np.all((bits(a) == bits(b)) | (np.isnan(a) & np.isnan(b))))


def test_fields_in_order():
    assert FIELDS == ("price", "delta", "gamma", "vega", "theta", "rho", "dual_delta",
                      "dlam", "dp", "deta1", "deta2", "psi")


def test_every_greek_matches_mpmath_derivatives_of_the_truncated_series():
    """References from make_greeks_references.py (mpmath.diff of the literal
    series at 40 digits). Each field's error is relative to its own value,
    with a floor of 1e-9 of the option's scale S + K for fields near zero."""
    data = json.loads(pathlib.Path(__file__).with_name("greeks_references.json").read_text())
    assert tuple(data["fields"]) == FIELDS
    worst = {f: 0.0 for f in FIELDS}
    for row in data["rows"]:
        case = dict(row["case"])
        n = case.pop("n")
        fn = jdpricer_batch.call_greeks if row["kind"] == "call" else jdpricer_batch.put_greeks
        got = fn(n=n, **case)
        floor = 1e-9 * (case["S"] + case["K"])
        for field, want in zip(FIELDS, row["greeks"]):
            want = float(want)
            error = abs(float(getattr(got, field)) - want) / max(abs(want), floor)
            worst[field] = max(worst[field], error)
    print("worst relative error per field:", {f: f"{e:.1e}" for f, e in worst.items()})
    assert max(worst.values()) < 1e-10, worst


def black_scholes(T, K, S, r, sigma):
    """Call price and Greeks in closed form (theta = -dV/dT)."""
    s = sigma * math.sqrt(T)
    d1 = (math.log(S / K) + (r + sigma * sigma / 2) * T) / s
    d2 = d1 - s
    cdf = lambda x: 0.5 * math.erfc(-x / math.sqrt(2))
    pdf = lambda x: math.exp(-x * x / 2) / math.sqrt(2 * math.pi)
    D = math.exp(-r * T)
    return dict(price=S * cdf(d1) - K * D * cdf(d2), delta=cdf(d1), gamma=pdf(d1) / (S * s),
                vega=S * pdf(d1) * math.sqrt(T),
                theta=-S * pdf(d1) * sigma / (2 * math.sqrt(T)) - r * K * D * cdf(d2),
                rho=K * T * D * cdf(d2), dual_delta=-D * cdf(d2))


@pytest.mark.parametrize("n", [-5, 0, 3, 40])
def test_lam_zero_gives_black_scholes(n):
    T = np.array([[0.05], [0.5], [4.0]])
    K = np.array([70.0, 95.0, 100.0, 130.0])
    got = jdpricer_batch.call_greeks(T, K, 100.0, 0.03, 0.25, 0.0, 0.4, 10.0, 5.0, n)
    for idx in np.ndindex(got.price.shape):
        want = black_scholes(float(T[idx[0], 0]), float(K[idx[1]]), 100.0, 0.03, 0.25)
        for field, value in want.items():
            assert float(getattr(got, field)[idx]) == pytest.approx(value, rel=1e-10, abs=1e-12), field
    # Without jumps the jump law moves nothing.
    for field in ("dp", "deta1", "deta2"):
        assert np.all(getattr(got, field) == 0.0)


@pytest.mark.parametrize("seed", range(4))
def test_price_field_bits_and_parity_with_hostile_values(seed):
    rng = random.Random(seed)

    def draw(lo, hi):
        return rng.choice(HOSTILE) if rng.random() < 0.1 else rng.uniform(lo, hi)

    model = dict(sigma=draw(0.05, 0.6), lam=draw(0.0, 5.0), p=draw(-0.2, 1.2),
                 eta1=draw(0.5, 40.0), eta2=draw(0.0, 40.0))
    n = rng.choice([-1, 0, 1, 7, 24, 171])
    T = np.array([[draw(0.02, 3.0)] for _ in range(3)])
    K = np.array([draw(50.0, 150.0) for _ in range(9)])
    S, r = draw(60.0, 140.0), draw(-0.02, 0.1)
    call = jdpricer_batch.call_greeks(T, K, S, r, n=n, **model)
    put = jdpricer_batch.put_greeks(T, K, S, r, n=n, **model)
    assert call.price.shape == (3, 9) and all(a.dtype == np.float64 for a in call)
    assert same_bits(call.price, jdpricer_batch.call_prices(T, K, S, r, n=n, **model))
    assert same_bits(put.price, jdpricer_batch.put_prices(T, K, S, r, n=n, **model))
    # The put is the call by parity, differentiated operation for operation.
    D = np.exp(-r * T)
    KD = K * D
    assert same_bits(put.delta, call.delta - 1.0)
    assert same_bits(put.theta, call.theta + r * KD)
    assert same_bits(put.rho, call.rho - T * KD)
    assert same_bits(put.dual_delta, call.dual_delta + D)
    for field in ("gamma", "vega", "dlam", "dp", "deta1", "deta2"):
        assert same_bits(getattr(put, field), getattr(call, field)), field
    if n >= 171:
        assert all(np.isnan(a).all() for a in call)


def test_nan_propagates_to_its_own_option_only():
    g = jdpricer_batch.call_greeks(0.5, [98.0, math.nan, 102.0], 100.0, 0.05, n=5, **MODEL)
    for field in FIELDS:
        values = getattr(g, field)
        assert np.isnan(values[1]) and np.isfinite(values[[0, 2]]).all(), field


@pytest.mark.parametrize("call, error", [
    (lambda b: b.call_greeks(0.5, "98", 100, 0.05, n=5, **MODEL), TypeError),
    (lambda b: b.call_greeks(0.5, 98, 100, 0.05, n=5.0, **MODEL), TypeError),
    (lambda b: b.put_greeks([0.5, 1.0], [98, 99, 100], 100, 0.05, n=5, **MODEL), ValueError),
    (lambda b: b.put_greeks(0.5, 98, 100, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0), TypeError),
])
def test_bad_input_raises(call, error):
    with pytest.raises(error):
        call(jdpricer_batch)
