"""The dividend yield q: every function prices at the spot net of dividends,
S * exp(-q * T) with the C library's exp (Python's math.exp is that exp), q = 0
changes no bit anywhere, the Greeks follow the chain rule (psi, delta's
parity), bounds stay above the net spot's own rounding, and bad q is refused."""
import math

import numpy as np
import pytest

import jdpricer_batch as batch

MODEL = dict(sigma=0.16, lam=1.0, p=0.4, eta1=10.0, eta2=5.0)
HOSTILE = [0.0, -0.0, -1.0, math.inf, -math.inf, math.nan, 1e-300, 1e300]


def same_bits(a, b):
    a, b = np.asarray(a, dtype=np.float64), np.asarray(b, dtype=np.float64)
    return a.shape == b.shape and bool(np.all((a.view(np.uint64) == b.view(np.uint64))
                                              | (np.isnan(a) & np.isnan(b))))


def book(seed, count=300):
    rng = np.random.default_rng(seed)
    T = rng.uniform(0.02, 3.0, count)
    T[:8] = HOSTILE
    q = rng.uniform(-0.05, 0.15, count)
    q[8:16] = HOSTILE
    q[16:40] = 0.0
    K = rng.uniform(60.0, 140.0, count)
    S = rng.uniform(80.0, 120.0, count)
    return T, K, S, 0.03, q


def c_exp(x):
    try:
        return math.exp(x)
    except OverflowError:  # where the C library's exp gives inf
        return math.inf


def net_spots(T, S, q):
    # Where q is 0 the spot stays S, even where -0 * T would be NaN.
    S = np.broadcast_to(S, np.shape(T))
    return np.array([s * c_exp(-y * t) if y != 0.0 else s for t, s, y in zip(T, S, q)])


@pytest.mark.parametrize("function", [batch.call_prices, batch.put_prices,
                                      batch.fourier_call_prices, batch.fourier_put_prices])
def test_prices_are_those_at_the_net_spot_bit_for_bit(function):
    T, K, S, r, q = book(1)
    n = {} if "fourier" in function.__name__ else {"n": 20}
    want = function(T, K, net_spots(T, S, q), r, **MODEL, **n)
    assert same_bits(function(T, K, S, r, **MODEL, **n, q=q), want)
    assert same_bits(function(T, K, S, r, **MODEL, **n, q=q.tolist(), workers=3), want)
    # q = 0 in any form keeps the bits of a call without it.
    plain = function(T, K, S, r, **MODEL, **n)
    for zero in (0, 0.0, -0.0, np.zeros_like(T)):
        assert same_bits(function(T, K, S, r, **MODEL, **n, q=zero), plain)


def test_greeks_follow_the_chain_rule():
    T, K, S, r, q = book(2)
    ok = (T > 1e-3) & (T < 10.0) & (np.abs(q) < 1.0)
    T, K, S, q = T[ok], K[ok], S[ok], q[ok]
    call = batch.call_greeks(T, K, S, r, **MODEL, n=30, q=q)
    put = batch.put_greeks(T, K, S, r, **MODEL, n=30, q=q)
    assert same_bits(call.price, batch.call_prices(T, K, S, r, **MODEL, n=30, q=q))
    # Parity C - P = S exp(-qT) - K exp(-rT), differentiated in S and q.
    carry = np.exp(-q * T)
    np.testing.assert_allclose(call.delta - put.delta, carry, rtol=1e-12, atol=1e-13)
    np.testing.assert_allclose(call.psi - put.psi, -T * S * carry, rtol=1e-11, atol=1e-11)
    np.testing.assert_allclose(call.gamma, put.gamma, rtol=1e-9, atol=1e-13)
    # Without a yield every field keeps its bits, and psi is -T S delta.
    plain = batch.call_greeks(T, K, S, r, **MODEL, n=30)
    zero = batch.call_greeks(T, K, S, r, **MODEL, n=30, q=0.0)
    assert all(same_bits(a, b) for a, b in zip(plain, zero))
    assert same_bits(zero.psi, -T * S * zero.delta)


def test_psi_and_theta_match_differences_of_prices():
    T, K, S, r, q = np.array([0.3, 1.0, 2.5]), np.array([95.0, 100.0, 120.0]), 100.0, 0.03, \
        np.array([0.04, -0.02, 0.08])
    g = batch.put_greeks(T, K, S, r, **MODEL, n=40, q=q)
    h = 1e-5
    psi = (batch.put_prices(T, K, S, r, **MODEL, n=40, q=q + h)
           - batch.put_prices(T, K, S, r, **MODEL, n=40, q=q - h)) / (2 * h)
    theta = -(batch.put_prices(T + h, K, S, r, **MODEL, n=40, q=q)
              - batch.put_prices(T - h, K, S, r, **MODEL, n=40, q=q)) / (2 * h)
    np.testing.assert_allclose(g.psi, psi, rtol=1e-7)
    np.testing.assert_allclose(g.theta, theta, rtol=1e-6)


def test_bounds_cover_the_net_spots_rounding():
    T, K, S, r, q = book(3)
    for bounds in (batch.call_error_bounds, batch.put_error_bounds):
        at_net = bounds(T, K, net_spots(T, S, q), r, **MODEL, n=20)
        with_q = bounds(T, K, S, r, **MODEL, n=20, q=q)
        finite = np.isfinite(at_net)
        rounding = with_q[finite] - at_net[finite]
        # (|qT| + 3.01) u S_q for q != 0, nothing for q = 0.
        moved = q[finite] != 0.0
        assert np.all(rounding[moved] >= 3.0 * 2.0**-53 * net_spots(T, S, q)[finite][moved])
        assert same_bits(rounding[~moved], np.zeros(np.count_nonzero(~moved)))
    robust = batch.robust_call_prices(T, K, S, r, **MODEL, n=20, tolerance=1e-9, q=q)
    closed = ~robust.fourier & np.isfinite(robust.prices)
    assert closed.any() and np.all(robust.bounds[closed] <= 1e-9)


@pytest.mark.parametrize("q, error", [("0.01", TypeError), ([None], TypeError),
                                      (np.array(["a"]), TypeError), (1j, TypeError),
                                      (np.zeros(3), ValueError)])
def test_bad_dividend_yields_raise(q, error):
    with pytest.raises(error):
        batch.call_prices([0.5, 1.0], 98.0, 100.0, 0.05, **MODEL, n=10, q=q)


def test_q_is_keyword_only():
    with pytest.raises(TypeError):
        batch.call_prices(0.5, 98.0, 100.0, 0.05, *MODEL.values(), 10, 1, 0.02)
