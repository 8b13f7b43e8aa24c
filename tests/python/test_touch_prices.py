"""touch_prices: lam = 0 against Brownian first passage in closed form, the
identities between the three products, the conventions at the edges (touched
already, T = 0, NaN), the same bits for every worker count, and bad input."""
import json
import math
import pathlib

import numpy as np
import pytest

import jdpricer_batch as batch

MODEL = dict(sigma=0.16, lam=1.0, p=0.4, eta1=10.0, eta2=5.0)
REFERENCES = pathlib.Path(__file__).with_name("data") / "touch_references.json"


def cdf(x):
    return 0.5 * math.erfc(-x / math.sqrt(2.0))


def brownian_touches(T, H, S, r, q, sigma):
    """(one-touch at the hit, P(tau <= T)) for a Brownian log-price."""
    mu = r - q - sigma * sigma / 2
    b = math.log(H / S)
    if b < 0:  # a down barrier is an up one of -X
        b, mu = -b, -mu
    s = sigma * math.sqrt(T)
    probability = cdf((-b + mu * T) / s) + math.exp(2 * mu * b / sigma**2) * cdf((-b - mu * T) / s)
    nu = math.sqrt(mu * mu + 2 * r * sigma * sigma)
    hit = (math.exp((mu - nu) * b / sigma**2) * cdf((-b + nu * T) / s)
           + math.exp((mu + nu) * b / sigma**2) * cdf((-b - nu * T) / s))
    return hit, probability


@pytest.mark.parametrize("T", [0.05, 0.25, 1.0, 3.0])
def test_without_jumps_touches_are_brownian_first_passage(T):
    model = dict(MODEL, lam=0.0, sigma=0.22)
    for H in (75.0, 95.0, 105.0, 125.0):
        # A negative rate puts the discounted transform's branch point right of 0,
        # beyond the contour's crossing of the real axis when it is far below 0.
        for r, q in ((0.05, 0.0), (0.01, 0.03), (0.0, 0.0), (-0.01, 0.0), (-2.0, 0.0)):
            hit, probability = brownian_touches(T, H, 100.0, r, q, model["sigma"])
            got_hit = float(batch.touch_prices(T, H, 100.0, r, **model, kind="one-touch", q=q))
            got_expiry = float(batch.touch_prices(T, H, 100.0, r, **model, kind="one-touch",
                                                  at="expiry", q=q))
            # The inversion's rounding grows with the contour's shift, e^(-rT).
            tolerance = 1e-12 * math.exp(max(0.0, -r) * T)
            assert got_hit == pytest.approx(hit, abs=tolerance), (H, r, q)
            assert got_expiry == pytest.approx(math.exp(-r * T) * probability, abs=tolerance), (H, r, q)


@pytest.mark.skipif(not REFERENCES.exists(), reason="no reference file")
def test_touches_match_the_30_digit_references():
    rows = json.loads(REFERENCES.read_text())["rows"]
    worst = 0.0
    for row in rows:
        c = row["case"]
        args = (c["T"], c["H"], c["S"], c["r"], c["sigma"], c["lam"], c["p"], c["eta1"], c["eta2"])
        for kind, at, key in (("one-touch", "hit", "one_touch_hit"),
                              ("one-touch", "expiry", "one_touch_expiry"),
                              ("no-touch", None, "no_touch")):
            got = float(batch.touch_prices(*args, kind=kind, at=at, q=c.get("q", 0.0)))
            worst = max(worst, abs(got - float(row[key])))
    print(f"worst absolute error over {len(rows)} cases: {worst:.1e}")
    assert worst < 1e-10


def test_products_add_up_and_order_by_the_barrier():
    T = np.array([[0.1], [0.5], [2.0]])
    H = np.array([70.0, 80.0, 90.0, 97.0, 103.0, 110.0, 120.0, 140.0])
    args = (T, H, 100.0, 0.04, *MODEL.values())
    hit = batch.touch_prices(*args, "one-touch", q=0.01)
    expiry = batch.touch_prices(*args, "one-touch", at="expiry", q=0.01)
    no_touch = batch.touch_prices(*args, "no-touch", q=0.01)
    np.testing.assert_allclose(expiry + no_touch, np.exp(-0.04 * T) + 0 * H, rtol=0, atol=2e-16)
    assert np.all(hit >= expiry) and np.all((0 < expiry) & (expiry < 1))
    # Nearer barriers are likelier to be touched, and more so with time.
    up, down = hit[:, 4:], hit[:, :4]
    assert np.all(np.diff(up, axis=1) < 0) and np.all(np.diff(down, axis=1) > 0)
    assert np.all(np.diff(hit, axis=0) > 0)


def test_edges_follow_the_conventions():
    args = (*MODEL.values(),)
    r, T = 0.05, 0.5
    touched = [float(batch.touch_prices(T, 100.0, 100.0, r, *args, "one-touch")),
               float(batch.touch_prices(T, 100.0, 100.0, r, *args, "one-touch", "expiry")),
               float(batch.touch_prices(T, 100.0, 100.0, r, *args, "no-touch"))]
    assert touched == [1.0, math.exp(-r * T), 0.0]
    at_expiry_now = [float(batch.touch_prices(0.0, 110.0, 100.0, r, *args, "one-touch")),
                     float(batch.touch_prices(0.0, 90.0, 100.0, r, *args, "no-touch"))]
    assert at_expiry_now == [0.0, 1.0]
    nan_rows = [(-1.0, 110.0, 100.0), (math.nan, 110.0, 100.0), (0.5, -5.0, 100.0),
                (0.5, 110.0, 0.0), (0.5, math.nan, 100.0)]
    for T_, H, S in nan_rows:
        assert math.isnan(batch.touch_prices(T_, H, S, r, *args, "one-touch")), (T_, H, S)
    for bad in (dict(sigma=0.0), dict(eta1=1.0), dict(p=1.5), dict(lam=-1.0)):
        model = dict(MODEL, **bad)
        assert math.isnan(batch.touch_prices(0.5, 110.0, 100.0, r, **model, kind="no-touch"))


def test_every_worker_count_gives_the_same_bits():
    rng = np.random.default_rng(4)
    T = rng.choice([0.1, 0.5, 1.0, 2.0], 500)
    H = rng.uniform(70.0, 130.0, 500)
    r = rng.choice([0.01, 0.05], 500)
    one = batch.touch_prices(T, H, 100.0, r, **MODEL, kind="one-touch", q=0.02)
    for workers in (2, 3, -1, 64):
        got = batch.touch_prices(T, H, 100.0, r, **MODEL, kind="one-touch", q=0.02, workers=workers)
        assert one.tobytes() == got.tobytes(), workers


@pytest.mark.parametrize("call, error, match", [
    (lambda: batch.touch_prices(0.5, 110.0, 100.0, 0.05, **MODEL, kind="one_touch"), ValueError, "kind"),
    (lambda: batch.touch_prices(0.5, 110.0, 100.0, 0.05, **MODEL, kind="no-touch", at="hit"),
     ValueError, "expiry"),
    (lambda: batch.touch_prices(0.5, 110.0, 100.0, 0.05, **MODEL, kind="one-touch", at="end"),
     ValueError, "at"),
    (lambda: batch.touch_prices(0.5, ["x"], 100.0, 0.05, **MODEL, kind="one-touch"), TypeError, "H"),
    (lambda: batch.touch_prices([0.5, 1.0], [1.0, 2.0, 3.0], 100.0, 0.05, **MODEL, kind="no-touch"),
     ValueError, "broadcast"),
])
def test_bad_input_raises(call, error, match):
    with pytest.raises(error, match=match):
        call()


def test_very_short_maturities_are_jumps_or_their_limit():
    # Within T the barrier at 3% is reached almost only by one jump up of at
    # least b: lam T p e^(-eta1 b), the first order in T, plus what diffuses
    # up from jumps landing just short, relatively about eta1 sigma sqrt(T). Below
    # 1e-30 years the value is the T = 0 limit, NaN where the barrier sits
    # within 40 sigma sqrt(T) of the spot (nothing resolves it there).
    sigma, lam, p, eta1, eta2 = 0.2, 1.5, 0.4, 12.0, 6.0
    T = np.array([1e-6, 1e-8, 1e-10])
    b = math.log(1.03)
    got = batch.touch_prices(T, 103.0, 100.0, 0.03, sigma, lam, p, eta1, eta2, "one-touch")
    relative = got / (lam * T * p * math.exp(-eta1 * b)) - 1.0
    assert np.all((0.0 < relative) & (relative < 2.0 * eta1 * sigma * np.sqrt(T))), relative
    tiny = np.array([1e-20, 1e-31, 1e-300])
    assert np.all(batch.touch_prices(tiny, 103.0, 100.0, 0.03, sigma, lam, p, eta1, eta2,
                                     "one-touch") < 1e-16)
    near = batch.touch_prices(tiny, 100.0 * (1 + 1e-15), 100.0, 0.0, sigma, lam, p, eta1, eta2,
                              "no-touch")
    assert 0.0 < near[0] < 1e-4 and np.isnan(near[1]) and near[2] == 1.0


def test_rare_jumps_far_barriers_and_the_models_domain():
    # Jumps rare on one side leave a root a hair from eta1 (or -eta2), close
    # to another: followed all the same (these were NaN).
    for model, T, r, q in (
            ((0.5415, 0.1792, 0.6489, 35.425, 4.1714), 1.7237, 0.0362, 0.0394),
            ((0.4335, 0.0286, 0.0391, 10.005, 7.1954), 0.6495, -0.0427, 0.0109),
            ((0.2726, 0.0019, 0.1249, 8.8578, 29.591), 2.1303, 0.0226, 0.0329)):
        H = [75.0, 97.0, 103.0, 130.0]
        expiry = batch.touch_prices(T, H, 100.0, r, *model, "one-touch", at="expiry", q=q)
        no_touch = batch.touch_prices(T, H, 100.0, r, *model, "no-touch", q=q)
        assert np.all((0.0 < expiry) & (expiry < 1.0)), model
        np.testing.assert_allclose(expiry + no_touch, math.exp(-r * T), rtol=0, atol=1e-15)
    # A barrier far away with little diffusion: the inversion's terms run to
    # 1e51; NaN, never their rounding clamped into [0, 1].
    far = (0.0357, 1.3413, 0.5803, 13.197, 0.9807)
    got = batch.touch_prices(1.2674, [500.0, 110.0], 74.92, 0.03, *far, "one-touch")
    assert np.isnan(got[0]) and 0.0 < got[1] < 1.0
    # Outside the domain, NaN in both directions, even where the barrier
    # is touched already (1 - p rounds into [0, 1] for a p just below 0).
    outside = batch.touch_prices(0.5, [90.0, 100.0, 110.0], 100.0, 0.03, 0.2, 0.0, -1e-300,
                                 10.0, 5.0, "one-touch")
    assert np.all(np.isnan(outside))
    assert np.isnan(batch.touch_prices(0.5, 100.0, 100.0, 0.03, np.nan, 1.0, 0.4, 10.0, 5.0,
                                       "one-touch"))
