"""The cosine-series (Fourier) prices of jdpricer_batch against mpmath.

pricing/fourier/fourier_pricer.hpp states an absolute accuracy of 1e-14*(S + K) for
calls and puts alike (truncation below 1e-16*K by construction, the rest
rounding, which grows with the number of terms). The grid spans
eta*sigma*sqrt(T) (eta meaning max(eta1, eta2)) from 0.2 to 60, lam*T from
0.02 to 50 and K/S from 0.5 to 2, including the regimes where the closed form
cancels; the reference is the Lewis-formula price of kou_fourier.py at 30
digits, computed once per session.
"""
import math

import numpy as np
import pytest

import jdpricer_batch
from kou_grid import GRID, S, STRIKES, eta_s, market, row_id

ACCURACY = 1e-14


def test_grid_spans_the_stated_ranges():
    assert min(map(eta_s, GRID)) <= 0.2 and max(map(eta_s, GRID)) >= 60.0
    lam_T = [row[3] for row in GRID]
    assert min(lam_T) <= 0.02 and max(lam_T) >= 50.0
    assert min(STRIKES) <= 0.5 * S and max(STRIKES) >= 2.0 * S
    assert {row[4] for row in GRID} >= {0.0, 1.0}


@pytest.mark.parametrize("row", GRID, ids=row_id)
def test_prices_within_the_stated_accuracy(row, references, record_property):
    T, r, model = market(row)
    strikes = np.array(STRIKES)
    calls = jdpricer_batch.fourier_call_prices(T, strikes, S, r, *model)
    puts = jdpricer_batch.fourier_put_prices(T, strikes, S, r, *model)
    expected = np.array(references[row])
    scale = S + strikes
    errors = np.abs(np.stack([calls, puts], axis=1) - expected) / scale[:, None]
    record_property("worst_error_over_S_plus_K", float(errors.max()))
    print(f"eta*s = {eta_s(row):.3g}, lam*T = {row[3]:g}: worst error {errors.max():.2e} (S + K)")
    assert errors.max() <= ACCURACY


def test_mixed_book_prices_like_its_maturities_one_by_one():
    """Maturities interleaved, with spots and rates that vary per option."""
    model = (0.3, 2.0, 0.35, 12.0, 8.0)
    T = np.array([1.0, 0.25, 4.0, 0.25, 1.0, 4.0, 1.0])
    K = np.array([80.0, 100.0, 150.0, 60.0, 120.0, 90.0, 100.0])
    spot = np.array([100.0, 95.0, 100.0, 105.0, 100.0, 110.0, 90.0])
    r = np.array([0.05, 0.0, 0.03, 0.05, 0.1, 0.02, 0.05])
    for prices in (jdpricer_batch.fourier_call_prices, jdpricer_batch.fourier_put_prices):
        book = prices(T, K, spot, r, *model)
        one_by_one = [prices(*option, *model) for option in zip(T, K, spot, r)]
        assert book.tolist() == [float(price) for price in one_by_one]


def test_input_outside_the_domain_gives_nan_for_those_options_only():
    model = (0.2, 1.0, 0.4, 10.0, 5.0)
    calls = jdpricer_batch.fourier_call_prices([1.0, 0.0, -1.0, math.nan], [100.0, 100.0, 100.0, 100.0],
                                               S, 0.05, *model)
    assert not math.isnan(calls[0]) and np.isnan(calls[1:]).all()
    puts = jdpricer_batch.fourier_put_prices(1.0, [100.0, -5.0, math.inf], S, 0.05, *model)
    assert not math.isnan(puts[0]) and np.isnan(puts[1:]).all()
    for bad in ((-0.1, 1.0, 0.4, 10.0, 5.0), (0.2, -1.0, 0.4, 10.0, 5.0), (0.2, 1.0, 1.5, 10.0, 5.0),
                (0.2, 1.0, 0.4, 1.0, 5.0), (0.2, 1.0, 0.4, 10.0, 0.0)):
        assert np.isnan(jdpricer_batch.fourier_put_prices([0.5, 1.0], 100.0, S, 0.05, *bad)).all()
