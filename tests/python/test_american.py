"""American options: Toivanen's reference values, the limits (European,
intrinsic, lam = 0 against a binomial tree, perpetual, calls without
dividends), put-call symmetry, monotonicity, Greeks against differences of
the prices, the exercise boundary, the same bits for every worker count,
and bad input."""
import math

import numpy as np
import pytest

import jdpricer_batch as batch

TOIVANEN = (0.15, 0.1, 0.3445, 3.0465, 3.0775)
MODEL = (0.16, 1.0, 0.4, 10.0, 5.0)


def dual(sigma, lam, p, eta1, eta2):
    """The Kou model of the jumps under the share measure, reflected."""
    zeta = p * eta1 / (eta1 - 1) + (1 - p) * eta2 / (eta2 + 1) - 1
    return (sigma, lam * (1 + zeta), (1 - p) * eta2 / (eta2 + 1) / (1 + zeta), eta2 + 1, eta1 - 1)


def test_toivanens_reference_values():
    # Two independent methods agree on these to about 1e-7 (K = 100).
    got = batch.american_put_prices(0.25, 100.0, [90.0, 100.0, 110.0], 0.05, *TOIVANEN)
    np.testing.assert_allclose(got, [10.005071, 2.807879, 0.5618766], rtol=0, atol=1e-6 * 100)
    tight = batch.american_put_prices(0.25, 100.0, [90.0, 100.0, 110.0], 0.05, *TOIVANEN,
                                      accuracy=1e-8)
    np.testing.assert_allclose(tight, [10.005071, 2.807879, 0.5618766], rtol=0, atol=3e-7)


def binomial_american_put(S, K, T, r, sigma, steps):
    """Cox-Ross-Rubinstein, vectorised by time step."""
    dt = T / steps
    up = math.exp(sigma * math.sqrt(dt))
    prob = (math.exp(r * dt) - 1 / up) / (up - 1 / up)
    spots = S * up ** np.arange(steps, -steps - 1, -2, dtype=float)
    values = np.maximum(K - spots, 0.0)
    disc = math.exp(-r * dt)
    for n in range(steps, 0, -1):
        spots = spots[1:] * up  # the nodes one step earlier
        values = np.maximum(disc * (prob * values[:-1] + (1 - prob) * values[1:]), K - spots)
    return float(values[0])


def test_without_jumps_the_put_is_black_scholes_american():
    # The tree's error is O(1/steps) with an oscillation; the mean of two
    # neighbouring step counts, extrapolated, is within about 2e-5 K.
    for S, T in ((90.0, 0.5), (100.0, 1.0), (110.0, 0.25)):
        tree = [0.5 * (binomial_american_put(S, 100.0, T, 0.08, 0.25, n)
                       + binomial_american_put(S, 100.0, T, 0.08, 0.25, n + 1)) for n in (2000, 4000)]
        reference = 2 * tree[1] - tree[0]
        got = float(batch.american_put_prices(T, 100.0, S, 0.08, 0.25, 0.0, 0.5, 10.0, 5.0,
                                              accuracy=1e-7))
        assert got == pytest.approx(reference, abs=3e-3), (S, T)


def test_limits_european_intrinsic_perpetual_and_calls_without_dividends():
    T = np.array([[0.1], [1.0], [3.0]])
    S = np.array([60.0, 80.0, 95.0, 100.0, 105.0, 130.0])
    american = batch.american_put_prices(T, 100.0, S, 0.05, *MODEL, q=0.01)
    european = batch.put_prices(T, 100.0, S, 0.05, *MODEL, "auto", q=0.01)
    assert np.all(american >= european) and np.all(american >= np.maximum(100.0 - S, 0.0))
    # Deep in the money, exercised now: the intrinsic value within the accuracy.
    assert np.all(np.abs(american[:, 0] - 40.0) <= 1e-6 * 100)
    # The perpetual put is the limit and the bound (Black-Scholes without jumps).
    perpetual = batch.perpetual_american_put_prices(100.0, S, 0.05, *MODEL)
    longer = batch.american_put_prices([[40.0], [100.0]], 100.0, S, 0.05, *MODEL, accuracy=1e-5)
    assert np.all(longer <= perpetual + 1e-3) and np.all(np.diff(longer, axis=0) >= -1e-3)
    assert np.all(perpetual - longer[1] < 0.01)
    gamma_ = 2 * 0.05 / 0.2**2
    level = 100.0 * gamma_ / (1 + gamma_)
    bs = np.where(S <= level, 100.0 - S, (100.0 - level) * (S / level) ** -gamma_)
    np.testing.assert_allclose(
        batch.perpetual_american_put_prices(100.0, S, 0.05, 0.2, 0.0, 0.5, 10.0, 5.0), bs,
        rtol=1e-13, atol=1e-12)
    assert np.isnan(batch.perpetual_american_put_prices(100.0, 90.0, 0.0, *MODEL))
    # No dividend yield: the European call, bit for bit; with one, above it.
    np.testing.assert_array_equal(batch.american_call_prices(T, 100.0, S, 0.05, *MODEL),
                                  batch.call_prices(T, 100.0, S, 0.05, *MODEL, "auto"))
    assert np.all(batch.american_call_prices(T, 100.0, S, 0.03, *MODEL, q=0.07)
                  > batch.call_prices(T, 100.0, S, 0.03, *MODEL, "auto", q=0.07) - 1e-12)
    # T = 0 is the payoff.
    np.testing.assert_array_equal(batch.american_put_prices(0.0, 100.0, S, 0.05, *MODEL),
                                  np.maximum(100.0 - S, 0.0))


def test_a_call_is_the_dual_put_and_prices_are_monotone():
    S = np.array([85.0, 100.0, 115.0])
    call = batch.american_call_prices(0.75, 100.0, S, 0.02, *MODEL, q=0.06)
    put = batch.american_put_prices(0.75, S, 100.0, 0.06, *dual(*MODEL), q=0.02)
    np.testing.assert_allclose(call, put, rtol=0, atol=1e-12)
    K = np.linspace(80.0, 120.0, 9)
    by_strike = batch.american_put_prices(np.array([[0.25], [1.0], [2.0]]), K, 100.0, 0.05, *MODEL)
    assert np.all(np.diff(by_strike, axis=1) > 0) and np.all(np.diff(by_strike, axis=0) > 0)
    by_spot = batch.american_put_prices(1.0, 100.0, np.linspace(90.0, 130.0, 9), 0.05, *MODEL)
    assert np.all(np.diff(by_spot) < 0)


def test_greeks_are_the_prices_derivatives_and_the_bits_do_not_depend_on_workers():
    S = np.array([90.0, 100.0, 112.0])
    g = batch.american_put_greeks(0.5, 100.0, S, 0.05, *MODEL, q=0.01, accuracy=1e-8,
                                  model_greeks=False)

    def price(s, t=0.5):
        return batch.american_put_prices(t, 100.0, s, 0.05, *MODEL, q=0.01, accuracy=1e-8)
    h = 0.5
    np.testing.assert_allclose(g.delta, (price(S + h) - price(S - h)) / (2 * h), atol=2e-4)
    np.testing.assert_allclose(g.gamma, (price(S + h) - 2 * price(S) + price(S - h)) / h**2,
                               atol=2e-4)
    np.testing.assert_allclose(g.theta, -(price(S, 0.501) - price(S, 0.499)) / 0.002, atol=2e-3)
    T = np.array([[0.1], [0.5], [1.0], [2.0]])
    K = np.linspace(80.0, 120.0, 5)
    one = batch.american_call_greeks(T, K, 100.0, 0.03, *MODEL, q=0.05, accuracy=1e-5)
    for workers in (2, 3):
        other = batch.american_call_greeks(T, K, 100.0, 0.03, *MODEL, q=0.05, accuracy=1e-5,
                                           workers=workers)
        for a, b in zip(one, other):
            np.testing.assert_array_equal(a, b)


# Each model sensitivity, the parameter it moves and a difference step for
# prices solved afresh (their grids move with the parameter, so the steps
# are larger than the bumped solves' own).
SENSITIVITIES = {"vega": ("sigma", 2e-3), "rho": ("r", 1e-3), "psi": ("q", 1e-3),
                 "dlam": ("lam", 1e-2), "dp": ("p", 5e-3), "deta1": ("eta1", 5e-2),
                 "deta2": ("eta2", 5e-2)}


def american(kind, what, inputs, **options):
    args = dict(inputs)
    q = args.pop("q")
    return getattr(batch, f"american_{kind}_{what}")(**args, q=q, **options)


def moved(inputs, name, by):
    out = dict(inputs)
    out[name] = out[name] + by
    return out


@pytest.mark.parametrize("kind, q", [("put", 0.01), ("call", 0.06)])
def test_model_sensitivities_are_the_prices_derivatives(kind, q):
    inputs = dict(T=0.5, K=100.0, S=np.array([88.0, 100.0, 112.0]), r=0.05, sigma=0.16, lam=1.0,
                  p=0.4, eta1=10.0, eta2=5.0, q=q)
    g = american(kind, "greeks", inputs)
    for field, (name, h) in SENSITIVITIES.items():
        up = american(kind, "prices", moved(inputs, name, h), accuracy=1e-8)
        down = american(kind, "prices", moved(inputs, name, -h), accuracy=1e-8)
        np.testing.assert_allclose(getattr(g, field), (up - down) / (2 * h), rtol=1e-3, atol=1e-3,
                                   err_msg=field)
    # The price is homogeneous of degree one in S and K.
    np.testing.assert_allclose(inputs["S"] * g.delta + 100.0 * g.dual_delta, g.price, atol=1e-9)
    spot = american(kind, "greeks", inputs, model_greeks=False)
    for field in g._fields:
        if field in SENSITIVITIES:
            assert np.all(np.isnan(getattr(spot, field))), field
        else:
            np.testing.assert_array_equal(getattr(spot, field), getattr(g, field), err_msg=field)


def test_model_sensitivities_at_the_edges_of_the_model_and_where_exercise_never_pays():
    # No jumps and only upward jumps: lam and p can only move inwards, so
    # the differences are one-sided (second order). The grid that prices
    # without jumps to 1e-6 K leaves dlam some 0.4% off.
    inputs = dict(T=0.5, K=100.0, S=95.0, r=0.05, sigma=0.2, lam=0.0, p=1.0, eta1=10.0,
                  eta2=5.0, q=0.0)
    g = american("put", "greeks", inputs)
    for field, name, h in (("dlam", "lam", 0.02), ("dp", "p", -0.02)):
        f0, f1, f2 = (american("put", "prices", moved(inputs, name, k * h), accuracy=1e-8)
                      for k in (0, 1, 2))
        assert float(getattr(g, field)) == pytest.approx((4 * f1 - 3 * f0 - f2) / (2 * h),
                                                         rel=1e-2, abs=1e-3), field
    assert float(g.dp) == 0.0 or abs(float(g.dp)) < 1e-6  # no jumps: p moves nothing
    # Where early exercise never pays, every field is the closed form's.
    T, K = np.array([[0.25], [1.0]]), np.array([90.0, 100.0, 110.0])
    for kind, r, q in (("put", -0.01, 0.02), ("call", 0.03, 0.0)):
        got = getattr(batch, f"american_{kind}_greeks")(T, K, 100.0, r, *MODEL, q=q)
        closed = getattr(batch, f"{kind}_greeks")(T, K, 100.0, r, *MODEL, "auto", q=q)
        for field in closed._fields:
            np.testing.assert_array_equal(getattr(got, field), getattr(closed, field),
                                          err_msg=f"{kind} {field}")
    expired = batch.american_put_greeks(0.0, [90.0, 110.0], 100.0, 0.05, *MODEL)
    np.testing.assert_array_equal(expired.dual_delta, [0.0, 1.0])
    for field in SENSITIVITIES:
        np.testing.assert_array_equal(getattr(expired, field), [0.0, 0.0], err_msg=field)


def test_exercise_boundary_separates_exercise_from_waiting():
    tau = np.array([0.0, 0.05, 0.25, 1.0])
    critical = batch.american_exercise_boundary(tau, 100.0, 0.05, *MODEL)
    assert critical[0] == 100.0 and np.all(np.diff(critical) < 0)
    for t, level in zip(tau[1:], critical[1:]):
        below, above = batch.american_put_prices(t, 100.0, [level * 0.99, level * 1.02], 0.05,
                                                 *MODEL, accuracy=1e-7)
        assert below == pytest.approx(100.0 - level * 0.99, abs=1e-5)
        assert above > 100.0 - level * 1.02 + 1e-6
    call = batch.american_exercise_boundary([0.25, 1.0], 100.0, 0.02, *MODEL, kind="call", q=0.06)
    assert np.all(call > 100.0) and call[0] < call[1]


def test_boundary_lies_between_nodes_and_meets_the_perpetual_level():
    # Without jumps the perpetual put is exercised at Merton's K beta/(1 + beta),
    # beta = 2r/sigma^2, which a 200-year put's boundary has reached (within
    # 0.003). The grid's cells are wide there: the boundary on a node, the
    # last exercised one, missed the level by 0.064.
    beta = 2 * 0.05 / 0.25**2
    critical = batch.american_exercise_boundary([200.0], 100.0, 0.05, 0.25, 0.0, 0.5, 10.0, 5.0)
    assert critical[0] == pytest.approx(100 * beta / (1 + beta), abs=0.02)


def test_models_whose_sweeps_could_cycle_or_stall_still_converge():
    # A coarse step's sweeps once cycled between a boundary placed in its
    # cell and one on a node; many jumps a year once left the coarse steps'
    # sweeps too slow to settle (lam k near 1). Both gave NaN.
    K = np.linspace(100 / 1.2, 100 / 0.8, 7)
    cases = [(1.2034697, 0.08, 0.0, (0.25327209, 1.6056619, 0.48095772, 7.6583182, 17.853410)),
             (4.657, 0.05411, 0.0, (0.09719, 6.803, 0.7894, 18.8, 11.48))]
    for T, r, q, model in cases:
        loose = batch.american_put_prices(T, K, 100.0, r, *model, q=q, accuracy=1e-5)
        tight = batch.american_put_prices(T, K, 100.0, r, *model, q=q, accuracy=1e-7)
        assert np.all(np.abs(loose - tight) <= 1e-5 * K), (T, loose - tight)


def test_bad_input():
    with pytest.raises(ValueError, match="accuracy"):
        batch.american_put_prices(1.0, 100.0, 100.0, 0.05, *MODEL, accuracy=0.0)
    with pytest.raises(ValueError, match="kind"):
        batch.american_exercise_boundary(1.0, 100.0, 0.05, *MODEL, kind="straddle")
    with pytest.raises(ValueError):
        batch.american_put_prices(1.0, 100.0, 100.0, 0.05, *MODEL, workers=0)
    with pytest.raises(TypeError):
        batch.american_put_prices(1.0, "100", 100.0, 0.05, *MODEL)
    bad = batch.american_put_prices([np.nan, -1.0, 1.0, 1.0], [100.0, 100.0, 0.0, 100.0], 100.0,
                                    [0.05, 0.05, 0.05, np.nan], *MODEL)
    assert np.all(np.isnan(bad))
    assert np.isnan(batch.american_put_prices(1.0, 100.0, 100.0, 0.05, 0.0, 1.0, 0.4, 10.0, 5.0))
