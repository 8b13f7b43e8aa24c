"""n="auto" and series_lengths: each maturity's own series length, every
result bit for bit the function's at that n, settled against n = 170."""
import math

import mpmath
import numpy as np
import pytest

import jdpricer_batch as batch

MODELS = [dict(sigma=0.16, lam=1.0, p=0.4, eta1=10.0, eta2=5.0),
          dict(sigma=0.2, lam=3.0, p=0.3, eta1=12.0, eta2=6.0),
          dict(sigma=0.25, lam=0.2, p=0.5, eta1=3.0, eta2=2.0)]
GRID_T = np.array([0.025, 0.1, 0.25, 0.5, 0.75, 1.0, 1.5, 2.0, 3.0, 4.0, 5.8])
GRID_K = np.linspace(60.0, 145.0, 13)


def mixed_book(rng, model_index):
    """Maturities shared by a few strikes, lone ones, and hostile values."""
    pool = list(rng.uniform(0.01, 8.0, 8)) + [0.0, -0.0, -1.0, math.nan, 1e-300, 12.0]
    T = rng.choice(pool, 80)
    K = rng.uniform(50.0, 160.0, 80)
    S = rng.uniform(80.0, 120.0, 80)
    return T, K, S, rng.uniform(-0.01, 0.08, 80)


@pytest.mark.parametrize("model_index", range(len(MODELS)))
def test_auto_is_each_maturitys_explicit_n_bit_for_bit(model_index):
    model = MODELS[model_index]
    rng = np.random.default_rng(model_index)
    T, K, S, r = mixed_book(rng, model_index)
    lengths = batch.series_lengths(T, **model)
    functions = [batch.call_prices, batch.put_prices, batch.call_error_bounds, batch.put_error_bounds,
                 batch.call_greeks, batch.put_greeks]
    # The options of each maturity (by bits) priced apart at that maturity's n.
    groups = {}
    for i, t in enumerate(T):
        groups.setdefault(t.tobytes(), []).append(i)
    robust = [lambda *a, **k: batch.robust_call_prices(*a, tolerance=1e-12, **k),
              lambda *a, **k: batch.robust_put_prices(*a, tolerance=1e-12, **k)]
    for function in functions + robust:
        auto = function(T, K, S, r, n="auto", **model)
        auto = auto if isinstance(auto, tuple) else (auto,)
        for members in groups.values():
            idx = np.array(members)
            alone = function(T[idx], K[idx], S[idx], r[idx], n=int(lengths[idx[0]]), **model)
            alone = alone if isinstance(alone, tuple) else (alone,)
            for got, want in zip(auto, alone):
                assert got[idx].tobytes() == want.tobytes(), (function, T[idx[0]])


@pytest.mark.parametrize("model_index", range(len(MODELS)))
def test_auto_prices_are_settled(model_index):
    model = MODELS[model_index]
    T = GRID_T[:, None]
    for function in (batch.call_prices, batch.put_prices):
        auto = function(T, GRID_K, 100.0, 0.05, n="auto", **model)
        settled = function(T, GRID_K, 100.0, 0.05, n=170, **model)
        assert np.all(np.abs(auto - settled) <= 1e-13 * (100.0 + GRID_K))


def exact_tail(mean, n):
    """P(M > n), M ~ Poisson(mean), at 40 digits."""
    mpmath.mp.dps = 40
    mean = mpmath.mpf(mean)
    return 1 - mpmath.fsum(mpmath.exp(-mean) * mean**j / mpmath.factorial(j) for j in range(n + 1))


def test_lengths_are_the_smallest_settled_and_monotone():
    model = MODELS[0]
    zeta = 0.4 * 10 / 9 + 0.6 * 5 / 6 - 1
    for T in (0.02, 0.7, 3.0, 11.0):
        n = int(batch.series_lengths(T, **model))
        mean = max(1 + zeta, 1.0) * T
        # The tail bound is above the exact tail by at most a relative 1e-9.
        assert exact_tail(mean, n) <= 2.0**-54 < exact_tail(mean, n - 1) * (1 + 1e-8)
    for m in MODELS:
        T = np.sort(np.random.default_rng(7).uniform(0.0, 500.0, 5000))
        lengths = batch.series_lengths(T, **m)
        assert lengths.dtype == np.int32 and lengths.shape == T.shape
        assert np.all(np.diff(lengths) >= 0) and lengths[-1] == 170
    edge = batch.series_lengths([[0.0, -0.0, -2.0], [math.inf, math.nan, 1e-300]], **model)
    assert edge.tolist() == [[0, 0, 0], [170, 0, 0]]
    for outside in (dict(eta1=1.0), dict(p=1.5), dict(lam=-1.0), dict(sigma=math.nan)):
        assert batch.series_lengths([0.1, 1.0], **{**model, **outside}).tolist() == [170, 170]


@pytest.mark.parametrize("n", ["Auto", "", "auto ", None, 5.0, np.float64(5.0), 2**31, [5]])
def test_other_values_of_n_raise_type_error_naming_auto(n):
    for function in (batch.call_prices, batch.put_error_bounds, batch.call_greeks):
        with pytest.raises(TypeError, match='"auto"'):
            function(0.5, 98.0, 100.0, 0.05, n=n, **MODELS[0])
    with pytest.raises(TypeError, match='"auto"'):
        batch.robust_call_prices(0.5, 98.0, 100.0, 0.05, n=n, tolerance=1e-9, **MODELS[0])
