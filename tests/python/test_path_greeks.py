"""touch_greeks, barrier_call_greeks and barrier_put_greeks: delta and gamma
against differences of the prices, the price field bit for bit the prices
functions', the conventions where the value stops moving with the spot, the
same bits for every worker count."""
import numpy as np
import pytest

import jdpricer_batch as batch

MODEL = (0.16, 1.0, 0.4, 10.0, 5.0)
HEAVY = (0.3, 3.0, 0.3, 25.0, 3.0)
BARRIERS = (("down-and-out", 90.0), ("down-and-in", 90.0), ("up-and-out", 115.0),
            ("up-and-in", 115.0))


def differences(price, S, h):
    """Central first and second differences; Richardson on h and h/2 takes
    their error from O(h^2) to O(h^4)."""
    def pair(h):
        up, mid, down = price(S + h), price(S), price(S - h)
        return (up - down) / (2 * h), (up - 2 * mid + down) / (h * h)
    (d1, g1), (d2, g2) = pair(h), pair(h / 2)
    return (4 * d2 - d1) / 3, (4 * g2 - g1) / 3


@pytest.mark.parametrize("model", [MODEL, HEAVY])
@pytest.mark.parametrize("payoff", ["call", "put"])
def test_barrier_delta_and_gamma_are_the_prices_derivatives(model, payoff):
    prices = getattr(batch, f"barrier_{payoff}_prices")
    greeks = getattr(batch, f"barrier_{payoff}_greeks")
    # The strike on the spot is where the density's pieces meet: its
    # second derivative needs the strike's own motion with S.
    for barrier, H in BARRIERS:
        for T in (0.05, 0.5, 3.0):
            for K in (95.0, 100.0, 108.0):
                args = dict(barrier=barrier, rebate=1.5, q=0.02)
                g = greeks(T, K, H, 100.0, 0.03, *model, **args)
                delta, gamma = differences(
                    lambda S: float(prices(T, K, H, S, 0.03, *model, **args)), 100.0, 0.05)
                where = (barrier, T, K)
                assert float(g.delta) == pytest.approx(delta, abs=2e-8), where
                assert float(g.gamma) == pytest.approx(gamma, abs=1e-6), where


def test_touch_delta_and_gamma_are_the_values_derivatives():
    for kind, at in (("one-touch", "hit"), ("one-touch", "expiry"), ("no-touch", "expiry")):
        for H in (80.0, 97.0, 104.0, 125.0):
            for T in (0.05, 1.0):
                g = batch.touch_greeks(T, H, 100.0, 0.04, *HEAVY, kind, at=at, q=0.01)
                delta, gamma = differences(
                    lambda S: float(batch.touch_prices(T, H, S, 0.04, *HEAVY, kind, at=at,
                                                       q=0.01)), 100.0, 0.02)
                assert float(g.delta) == pytest.approx(delta, abs=1e-9), (kind, at, H, T)
                assert float(g.gamma) == pytest.approx(gamma, abs=1e-6), (kind, at, H, T)


def test_price_fields_have_the_prices_bits_on_every_worker_count():
    T = np.array([[0.05], [0.25], [0.5], [1.0], [2.0]])
    K = np.linspace(80.0, 120.0, 9)
    for barrier, H in BARRIERS:
        one = batch.barrier_put_greeks(T, K, H, 100.0, 0.03, *MODEL, barrier, rebate=1.0)
        np.testing.assert_array_equal(
            one.price, batch.barrier_put_prices(T, K, H, 100.0, 0.03, *MODEL, barrier, rebate=1.0))
        three = batch.barrier_put_greeks(T, K, H, 100.0, 0.03, *MODEL, barrier, rebate=1.0,
                                         workers=3)
        for a, b in zip(one, three):
            np.testing.assert_array_equal(a, b)
    H = np.linspace(70.0, 130.0, 9)
    g = batch.touch_greeks(T, H, 100.0, 0.03, *MODEL, "one-touch", workers=3)
    np.testing.assert_array_equal(g.price, batch.touch_prices(T, H, 100.0, 0.03, *MODEL,
                                                              "one-touch"))


def test_conventions_where_the_value_stops_moving_with_the_spot():
    # Breached: a knock-out is its rebate (no delta), a knock-in the
    # European option with its own Greeks at the dividend yield.
    out = batch.barrier_call_greeks(0.5, 100.0, 95.0, 94.0, 0.03, *MODEL, "down-and-out",
                                    rebate=2.0)
    assert (float(out.price), float(out.delta), float(out.gamma)) == (2.0, 0.0, 0.0)
    knocked = batch.barrier_call_greeks(0.5, 100.0, 95.0, 94.0, 0.03, *MODEL, "down-and-in",
                                        q=0.02)
    european = batch.call_greeks(0.5, 100.0, 94.0, 0.03, *MODEL, "auto", q=0.02)
    assert (float(knocked.delta), float(knocked.gamma)) == (float(european.delta),
                                                            float(european.gamma))
    # T = 0: the payoff of a knock-out, moving one for one in the money.
    expired = batch.barrier_put_greeks(0.0, [90.0, 110.0], 80.0, 100.0, 0.03, *MODEL,
                                       "down-and-out")
    np.testing.assert_array_equal(expired.delta, [0.0, -1.0])
    np.testing.assert_array_equal(expired.gamma, [0.0, 0.0])
    touched = batch.touch_greeks([0.5, 0.0], 100.0, 100.0, 0.03, *MODEL, "one-touch")
    np.testing.assert_array_equal(touched.delta, [0.0, 0.0])
    # NaN wherever the value is NaN, never a 0 for a price that is not there.
    bad = batch.barrier_call_greeks([np.nan, -1.0, 0.5], 100.0, [95.0, 95.0, -1.0], 100.0, 0.03,
                                    *MODEL, "down-and-out")
    assert np.all(np.isnan(bad.delta)) and np.all(np.isnan(bad.gamma))
    assert np.isnan(batch.touch_greeks(0.5, 110.0, 100.0, 0.03, 0.0, 1.0, 0.4, 10.0, 5.0,
                                       "one-touch").delta)
