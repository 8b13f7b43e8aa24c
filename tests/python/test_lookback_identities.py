"""Lookbacks: the identities between fixed and floating strikes, the
running extremum at, above and below the spot, T = 0, delta and gamma
against differences of the prices, the same bits for every worker count,
and bad input."""
import math

import numpy as np
import pytest

import jdpricer_batch as batch

MODEL = (0.16, 1.0, 0.4, 10.0, 5.0)
HEAVY = (0.3, 3.0, 0.3, 25.0, 3.0)


@pytest.mark.parametrize("model", [MODEL, HEAVY])
def test_floating_strikes_are_fixed_strikes_at_the_extremum(model):
    # max - S_T: E max = M + E (max - M)+, the fixed call struck at M;
    # S_T - min: E min = m - E (m - min)+, the fixed put struck at m.
    T = np.array([[0.05], [0.5], [3.0]])
    S, r, q = 100.0, 0.04, 0.015
    for M in (100.0, 104.0, 130.0):
        put = batch.floating_lookback_put_prices(T, S, r, *model, running_max=M, q=q)
        fixed = batch.lookback_call_prices(T, M, S, r, *model, running_max=M, q=q)
        np.testing.assert_allclose(put, fixed + M * np.exp(-r * T) - S * np.exp(-q * T),
                                   rtol=0, atol=1e-12 * S)
    for m in (100.0, 96.0, 70.0):
        call = batch.floating_lookback_call_prices(T, S, r, *model, running_min=m, q=q)
        fixed = batch.lookback_put_prices(T, m, S, r, *model, running_min=m, q=q)
        np.testing.assert_allclose(call, S * np.exp(-q * T) - (m * np.exp(-r * T) - fixed),
                                   rtol=0, atol=1e-12 * S)


def test_running_extremum_at_above_and_below_the_spot():
    T, K, S, r = 1.0, 105.0, 100.0, 0.05
    fresh = batch.lookback_call_prices(T, K, S, r, *MODEL)
    at_spot, higher, below = batch.lookback_call_prices(T, K, S, r, *MODEL,
                                                        running_max=[S, 110.0, 99.0])
    assert fresh == at_spot and higher > at_spot and np.isnan(below)
    # A running maximum above the strike pays at least its excess for sure.
    assert higher >= (110.0 - K) * math.exp(-r * T)
    low, at, above = batch.lookback_put_prices(T, 95.0, S, r, *MODEL, running_min=[90.0, S, 101.0])
    assert low > at and np.isnan(above)
    assert np.isnan(batch.floating_lookback_put_prices(T, S, r, *MODEL, running_max=99.0))
    assert np.isnan(batch.floating_lookback_call_prices(T, S, r, *MODEL, running_min=101.0))
    # Against the European option on the same strike: the maximum is above S_T.
    assert fresh > batch.call_prices(T, K, S, r, *MODEL, "auto")


def test_maturity_zero_is_the_payoff_at_the_extremum():
    S = 100.0
    assert batch.lookback_call_prices(0.0, [95.0, 120.0], S, 0.05, *MODEL,
                                      running_max=110.0).tolist() == [15.0, 0.0]
    assert batch.lookback_put_prices(0.0, 95.0, S, 0.05, *MODEL, running_min=90.0) == 5.0
    assert batch.floating_lookback_put_prices(0.0, S, 0.05, *MODEL, running_max=110.0) == 10.0
    assert batch.floating_lookback_call_prices(0.0, S, 0.05, *MODEL, running_min=90.0) == 10.0
    # Short maturities tend to it continuously.
    short = batch.lookback_call_prices([1e-6, 1e-3], 95.0, S, 0.05, *MODEL, running_max=110.0)
    assert np.all(np.abs(short - 15.0) < 0.05) and np.all(np.isfinite(short))


@pytest.mark.parametrize("name, extremum", [
    ("lookback_call", dict(running_max=104.0)), ("lookback_put", dict(running_min=97.0)),
    ("floating_lookback_call", dict(running_min=97.0)),
    ("floating_lookback_put", dict(running_max=104.0))])
def test_delta_and_gamma_are_the_prices_derivatives_with_the_extremum_held(name, extremum):
    prices, greeks = getattr(batch, f"{name}_prices"), getattr(batch, f"{name}_greeks")
    strike = () if name.startswith("floating") else (101.0,)
    for T in (0.05, 1.0, 3.0):
        def price(S):
            return float(prices(T, *strike, S, 0.03, *HEAVY, **extremum, q=0.01))
        g = greeks(T, *strike, 100.0, 0.03, *HEAVY, **extremum, q=0.01)
        assert float(g.price) == price(100.0)

        def central(h):
            up, mid, down = price(100.0 + h), price(100.0), price(100.0 - h)
            return (up - down) / (2 * h), (up - 2 * mid + down) / (h * h)
        (d1, g1), (d2, g2) = central(0.2), central(0.1)
        assert float(g.delta) == pytest.approx((4 * d2 - d1) / 3, abs=1e-8), T
        assert float(g.gamma) == pytest.approx((4 * g2 - g1) / 3, abs=1e-6), T


def test_same_bits_for_every_worker_count_and_bad_input():
    T = np.array([[0.1], [0.5], [1.0], [2.0]])
    K = np.linspace(80.0, 120.0, 21)
    one = batch.lookback_call_greeks(T, K, 100.0, 0.03, *MODEL, running_max=105.0)
    three = batch.lookback_call_greeks(T, K, 100.0, 0.03, *MODEL, running_max=105.0, workers=3)
    for a, b in zip(one, three):
        np.testing.assert_array_equal(a, b)
    np.testing.assert_array_equal(
        one.price, batch.lookback_call_prices(T, K, 100.0, 0.03, *MODEL, running_max=105.0))
    nan = batch.lookback_put_prices([np.nan, -1.0, 1.0, 1.0, 1.0], [95.0, 95.0, 0.0, 95.0, 95.0],
                                    100.0, 0.03, *MODEL, running_min=[90.0, 90.0, 90.0, np.nan, 0.0])
    assert np.all(np.isnan(nan))
    assert np.isnan(batch.lookback_call_prices(1.0, 100.0, 100.0, 0.03, 0.0, 1.0, 0.4, 10.0, 5.0))
    with pytest.raises(TypeError):
        batch.lookback_call_prices(1.0, "100", 100.0, 0.03, *MODEL)
    with pytest.raises(ValueError):
        batch.floating_lookback_put_prices([1.0, 2.0], 100.0, 0.03, *MODEL,
                                           running_max=[100.0, 101.0, 102.0])
    with pytest.raises(ValueError):
        batch.lookback_call_prices(1.0, 100.0, 100.0, 0.03, *MODEL, workers=0)
