"""Error bounds of closed-form prices and the robust entry point.

Over the grid of kou_grid.py (eta*sigma*sqrt(T) 0.2 to 60, lam*T 0.02 to 50,
strikes from half to twice the spot) and series lengths from 1 to 170, the
bound is never below the error against the 30-digit mpmath price; where the
closed form is well conditioned (eta*sigma*sqrt(T) up to 4) and the series
long enough for truncation not to matter, it is within a few hundred times
that error (errors below 1e-16 (S + K), the rounding of the parity step,
count as 1e-16 (S + K))."""
import json
import math
import pathlib

import numpy as np
import pytest

import jdpricer_batch
from kou_grid import GRID, S, STRIKES, eta_s, market, row_id

SERIES = (1, 5, 20, 60, 170)
USEFUL_WITHIN = 300.0  # the largest ratio measured is ~180 (lam*T = 20, eta*sigma*sqrt(T) = 2)


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
            if eta_s(row) <= 4.0 and n >= needed_terms(row):
                floor = np.maximum(error, 1e-16 * (S + strikes))
                ratio = float((bound / floor).max())
                worst_ratio = max(worst_ratio, ratio)
                assert ratio <= USEFUL_WITHIN, (n, side, bound, error)
            # Robust prices' bounds: the screen's alone (an infinite
            # tolerance), and with its adjoint, the full bound and the cosine
            # series where a small tolerance calls for them.
            robust = (jdpricer_batch.robust_call_prices, jdpricer_batch.robust_put_prices)[side]
            for tolerance in (math.inf, 1e-10):
                result = robust(T, strikes, S, r, *model, n, tolerance=tolerance)
                robust_error = np.abs(result.prices - expected[:, side])
                held = np.where(np.isfinite(result.prices), result.bounds >= robust_error,
                                np.isinf(result.bounds))
                assert held.all(), (n, side, tolerance, result, robust_error)
                assert not (result.fourier & (bound <= tolerance)).any(), (n, side, result)
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


LONG_GRID = json.loads((pathlib.Path(__file__).parent / "data" / "long_grid_references.json").read_text())


@pytest.mark.parametrize("side", ["call", "put"])
def test_bounds_hold_and_stay_tight_at_long_maturities(side, record_property):
    """12 maturities to 5.8 years (make_bound_references.py), n = 60: the
    recursion's errors cancel as the bound now sees; before, the bound grew
    to 1e9 times the error at the longest maturity."""
    g = LONG_GRID
    T, K = (np.array([row[i] for row in g["rows"]]) for i in (0, 1))
    expected = np.array([float(row[2 if side == "call" else 3]) for row in g["rows"]])
    args = (T, K, g["S"], g["r"], *g["model"], 60)
    price = getattr(jdpricer_batch, f"{side}_prices")(*args)
    bound = getattr(jdpricer_batch, f"{side}_error_bounds")(*args)
    error = np.abs(price - expected)
    assert (bound >= error).all()
    per_option = bound / np.maximum(error, 1e-16 * (g["S"] + K))
    per_maturity = [bound[T == t].max() / max(error[T == t].max(), 1e-16 * g["S"]) for t in np.unique(T)]
    record_property("worst_per_option", float(per_option.max()))
    record_property("worst_per_maturity", float(max(per_maturity)))
    assert max(per_maturity) <= 100.0 and per_option.max() <= 400.0, (per_maturity, per_option)
    # At 1e-10 every option stays in closed form: the screen with the
    # recursion's adjoint settles the long maturities, the full bound the rest.
    robust = getattr(jdpricer_batch, f"robust_{side}_prices")(*args, tolerance=1e-10)
    assert not robust.fourier.any() and robust.prices.tobytes() == price.tobytes()
    assert (robust.bounds >= error).all() and (robust.bounds <= 1e-10).all()


def test_robust_prices_route_exactly_the_options_whose_bound_exceeds_the_tolerance():
    """The 9 x 21 surface at n = 20: at T = 3 the bounds straddle the
    tolerance within one maturity, and T = 5 is cut short by truncation.
    Robust prices report the screen's bound where it is within the
    tolerance, looser than call_error_bounds; the cosine series takes
    exactly the options that neither bound settles."""
    model = (0.16, 1.0, 0.4, 10.0, 5.0)
    T = np.repeat([0.1, 0.5, 1.0, 2.0, 3.0, 5.0], 21)
    K = np.tile(np.linspace(70.0, 130.0, 21), 6)
    for side in ("call", "put"):
        closed = getattr(jdpricer_batch, f"{side}_prices")(T, K, S, 0.05, *model, 20)
        bounds = getattr(jdpricer_batch, f"{side}_error_bounds")(T, K, S, 0.05, *model, 20)
        fourier = getattr(jdpricer_batch, f"fourier_{side}_prices")(T, K, S, 0.05, *model)
        # At T = 5 the bound is mostly truncation, which sends options to the
        # cosine series before any closed-form pass: at its least bound as
        # the tolerance, that option must still be kept.
        for tolerance in (float(np.median(bounds[T == 3.0])), float(bounds[T == 5.0].min())):
            result = getattr(jdpricer_batch, f"robust_{side}_prices")(T, K, S, 0.05, *model, 20,
                                                                      tolerance=tolerance)
            routed = bounds > tolerance
            assert 0 < routed[T >= 3.0].sum() < 42 and routed[T == 5.0].sum() >= 20
            assert result.fourier.tolist() == routed.tolist()
            assert result.prices[~routed].tobytes() == closed[~routed].tobytes()
            assert (result.bounds[~routed] >= bounds[~routed]).all()
            assert (result.bounds[~routed] <= tolerance).all()
            assert result.prices[routed].tobytes() == fourier[routed].tobytes()


def test_robust_prices_below_the_screens_reach_take_the_full_bound():
    """A tolerance below 16 n u (S + K) skips the screen: the closed-form
    options report call_error_bounds to the bit; above it they report the
    screen, which on this book is never tighter than the full bound."""
    T = np.repeat([0.1, 1.0, 3.0], 13)
    K = np.tile(np.linspace(60.0, 145.0, 13), 3)
    args = (T, K, S, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 60)
    full = jdpricer_batch.call_error_bounds(*args)
    below = jdpricer_batch.robust_call_prices(*args, tolerance=1e-11)
    kept = ~below.fourier
    assert kept.sum() > 20 and below.bounds[kept].tobytes() == full[kept].tobytes()
    above = jdpricer_batch.robust_call_prices(*args, tolerance=1e-6)
    assert not above.fourier.any() and (above.bounds >= full).all()
    assert (above.bounds > full).any() and (above.bounds <= 1e-6).all()
