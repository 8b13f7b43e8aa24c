"""The second method where the cosine series gives up: sigma = 0 (the
characteristic function does not decay) and maturities of minutes (the range
is set by the jumps, the decay by sigma*sqrt(T)), against 30-digit prices
cached by make_corner_references.py (kou_pure_jump.py for sigma = 0, the
Lewis-formula pricer of kou_fourier.py for tiny T)."""
import json
import math
import pathlib

import numpy as np
import pytest

import jdpricer_batch

DATA = json.loads((pathlib.Path(__file__).parent / "data" / "corner_references.json").read_text())
ACCURACY = 1e-14  # relative to S + K, as for the cosine series


def columns(rows, count):
    return [np.array([float(row[i]) for row in rows]) for i in range(count)]


@pytest.mark.parametrize("case", ["pure_jump", "tiny_T"])
def test_prices_within_the_stated_accuracy(case):
    S, r, (lam, p, eta1, eta2) = DATA["S"], DATA["r"], DATA["model"]
    if case == "pure_jump":
        T, K, call, put = columns(DATA[case], 4)
        sigma = np.zeros_like(T)
    else:
        T, K, sigma, call, put = columns(DATA[case], 5)
    for value in np.unique(sigma):
        pick = sigma == value
        for prices, expected in ((jdpricer_batch.fourier_call_prices, call),
                                 (jdpricer_batch.fourier_put_prices, put)):
            got = prices(T[pick], K[pick], S, r, float(value), lam, p, eta1, eta2)
            assert (np.abs(got - expected[pick]) <= ACCURACY * (S + K[pick])).all(), (got, expected[pick])


def test_robust_prices_without_diffusion_are_the_jump_sums():
    # The closed form is NaN at sigma = 0 by its definition; every option goes
    # to the second method, which prices it.
    T, K, call, _ = columns(DATA["pure_jump"], 4)
    S, r, model = DATA["S"], DATA["r"], DATA["model"]
    result = jdpricer_batch.robust_call_prices(T, K, S, r, 0.0, *model, 20, tolerance=1e-9)
    assert result.fourier.all() and np.isfinite(result.prices).all()
    assert (np.abs(result.prices - call) <= result.bounds).all()


def test_long_jump_series_without_diffusion_is_nan_not_wrong():
    # lam*T = 500 needs more jumps than the coefficient tables hold.
    prices = jdpricer_batch.fourier_put_prices([1.0, 500.0], 100.0, 100.0, 0.05, 0.0, 1.0, 0.4, 10.0, 5.0)
    assert math.isfinite(prices[0]) and math.isnan(prices[1])
