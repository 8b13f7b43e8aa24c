"""Error bounds of closed-form prices and the robust entry point.

Over the grid of kou_grid.py (eta*sigma*sqrt(T) 0.2 to 60, lam*T 0.02 to 50,
strikes from half to twice the spot) and series lengths from 1 to 170, the
bound is never below the error against the 30-digit mpmath price; where the
closed form is well conditioned (eta*sigma*sqrt(T) up to 1.5) and the series
long enough for truncation not to matter, it is within a small factor of
that error (errors below 1e-16 (S + K), the rounding of the parity step,
count as 1e-16 (S + K))."""
import math

import numpy as np
import pytest

import jdpricer_batch
from kou_grid import GRID, S, STRIKES, eta_s, market, row_id

SERIES = (1, 5, 20, 60, 170)
USEFUL_WITHIN = 1000.0  # the largest ratio measured is ~750 (deep in the money, n >= 60)


def needed_terms(row):
    T, r, (sigma, lam, p, eta1, eta2) = market(row)
    zeta = p * eta1 / (eta1 - 1) + (1 - p) * eta2 / (eta2 + 1) - 1
    m = lam * T * max(1.0, 1.0 + zeta)
    return m + 8 * math.sqrt(m) + 12


@pytest.mark.parametrize("row", GRID, ids=row_id)
def test_bounds_hold_and_are_useful(row, references, record_property):
    T, r, model = market(row)
    strikes = np.array(STRIKES)
    expected = np.array(references[row])  # (strike, call/put)
    worst_ratio = 0.0
    for n in SERIES:
        for side, (prices, bounds) in enumerate([
            (jdpricer_batch.call_prices, jdpricer_batch.call_error_bounds),
            (jdpricer_batch.put_prices, jdpricer_batch.put_error_bounds),
        ]):
            price = prices(T, strikes, S, r, *model, n)
            bound = bounds(T, strikes, S, r, *model, n)
            error = np.abs(price - expected[:, side])
            held = np.where(np.isfinite(price), bound >= error, np.isinf(bound))
            assert held.all(), (n, side, price, bound, error)
            if eta_s(row) <= 1.5 and n >= needed_terms(row):
                floor = np.maximum(error, 1e-16 * (S + strikes))
                ratio = float((bound / floor).max())
                worst_ratio = max(worst_ratio, ratio)
                assert ratio <= USEFUL_WITHIN, (n, side, bound, error)
    record_property("worst_bound_over_error", worst_ratio)


def test_robust_prices_switch_method_where_the_bound_says_so(references):
    # The reference contract (closed form trusted) beside eta*sigma*sqrt(T) = 14.1,
    # where the closed form at n = 40 is off by some 6e-4.
    good = next(row for row in GRID if row[:3] == (0.5, 0.05, 0.16))
    bad = next(row for row in GRID if row[:3] == (2.0, 0.05, 0.5))
    for row, expect_fourier in ((good, False), (bad, True)):
        T, r, model = market(row)
        for side, (robust, closed) in enumerate([
            (jdpricer_batch.robust_call_prices, jdpricer_batch.call_prices),
            (jdpricer_batch.robust_put_prices, jdpricer_batch.put_prices),
        ]):
            result = robust(T, STRIKES, S, r, *model, 40, tolerance=1e-9)
            assert result.fourier.tolist() == [expect_fourier] * len(STRIKES)
            expected = np.array(references[row])[:, side]
            assert (np.abs(result.prices - expected) <= result.bounds).all()
            if not expect_fourier:
                assert result.prices.tobytes() == closed(T, STRIKES, S, r, *model, 40).tobytes()


def test_bounds_outside_the_domain_are_infinite():
    bounds = jdpricer_batch.call_error_bounds([0.5, 0.0, -1.0, math.nan], 98.0, 100.0, 0.05,
                                              0.16, 1.0, 0.4, 10.0, 5.0, 20)
    assert math.isfinite(bounds[0]) and np.isinf(bounds[1:]).all()
    for model in ((0.16, 1.0, 1.4, 10.0, 5.0), (0.16, 1.0, 0.4, 0.9, 5.0)):
        assert np.isinf(jdpricer_batch.put_error_bounds(0.5, 98.0, 100.0, 0.05, *model, 20))
    assert np.isinf(jdpricer_batch.call_error_bounds(0.5, 98.0, 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 171))
