"""The user workflows in examples/ keep working: calibration, Dask, threads,
barrier ladders.

CPython with the examples extra only; skipped elsewhere.
"""
import os
import platform
import sys

import pytest

if platform.python_implementation() != "CPython":
    pytest.skip("the examples run on CPython (SciPy, Dask)", allow_module_level=True)

np = pytest.importorskip("numpy")
jdpricer_batch = pytest.importorskip("jdpricer_batch")

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "examples"))


@pytest.fixture(scope="module")
def calibration():
    pytest.importorskip("scipy")
    pytest.importorskip("vollib")
    import calibrate_surface

    return calibrate_surface


def test_calibration_recovers_the_true_parameters_from_exact_quotes(calibration):
    maturities = np.array([1 / 12, 0.5, 1.0])
    strikes = np.arange(80.0, 120.1, 5.0)
    market = calibration.make_market(calibration.TRUE_PARAMS, maturities, strikes, iv_noise=0.0, seed=0, n=40)
    fit = calibration.calibrate(market)

    np.testing.assert_allclose(fit.params, calibration.TRUE_PARAMS, rtol=1e-6)
    # Quotes come back as implied vols from vollib: the fitted surface reproduces them.
    assert np.nanmax(np.abs(calibration.fit_errors(fit.params, market))) < 1e-8
    assert fit.evaluations > fit.result.nfev  # the Jacobian's evaluations are counted too


def test_calibration_with_noisy_quotes_stays_near_the_truth(calibration):
    noise = 0.002
    market = calibration.make_market(calibration.TRUE_PARAMS, calibration.MATURITIES, calibration.STRIKES, noise, calibration.SEED, n=40)
    fit = calibration.calibrate(market)
    errors = calibration.fit_errors(fit.params, market)

    # A fit cannot do much better than the noise (it has 5 parameters for 44
    # quotes) and must not do worse.
    assert 0.5 * noise < np.sqrt(np.nanmean(errors**2)) < noise
    np.testing.assert_allclose(fit.params, calibration.TRUE_PARAMS, rtol=0.1)


def test_implied_vols_are_nan_where_no_black_scholes_volatility_exists(calibration):
    T, K = np.array([0.5]), np.array([80.0, 100.0, 120.0])
    intrinsic = calibration.SPOT - K * np.exp(-calibration.RATE * T[0])
    prices = np.array([[intrinsic[0] - 0.01, 5.0, calibration.SPOT + 1.0]])
    vols = calibration.implied_vols(prices, T, K)
    assert np.isnan(vols[0, 0]) and np.isnan(vols[0, 2])
    assert abs(calibration.black_scholes_surface(vols[:, 1:2], T, K[1:2])[0, 0] - 5.0) < 1e-12


def test_poisson_terms_follow_the_truncation_rule_over_the_box(calibration):
    # lam*T = 1, zeta < 0: m = 1, n >= 1 + 8 + 12.
    assert calibration.poisson_terms(1.0, 0.4, 10.0, 5.0, 1.0) == 21
    box_n = calibration.poisson_terms_for_box(calibration.LOWER, calibration.UPPER, 1.0)
    corners = [
        calibration.poisson_terms(lam, p, eta1, eta2, 1.0)
        for lam in (calibration.LOWER.lam, calibration.UPPER.lam)
        for p in (calibration.LOWER.p, calibration.UPPER.p)
        for eta1 in (calibration.LOWER.eta1, calibration.UPPER.eta1)
        for eta2 in (calibration.LOWER.eta2, calibration.UPPER.eta2)
    ]
    assert box_n == max(corners)
    with pytest.raises(ValueError):
        calibration.check_accuracy_box(calibration.LOWER, calibration.UPPER._replace(sigma=0.5), 1.0)


def test_dask_cluster_prices_the_book_bit_for_bit_and_shuts_down(tmp_path):
    pytest.importorskip("pandas")
    pytest.importorskip("pyarrow")
    pytest.importorskip("dask.dataframe")
    pytest.importorskip("dask.distributed")
    import price_book_dask as pbd

    book = pbd.make_book(3000, seed=5)
    pbd.write_book(book, str(tmp_path), files=6)
    n = pbd.poisson_terms(pbd.MODEL, book["T"].max())
    reference = pbd.price_single_process(str(tmp_path), pbd.MODEL, n)
    pbd.check_sample_against_jdpricer(str(tmp_path), reference, pbd.MODEL, n, count=50)
    assert set(book["type"]) == {"call", "put"}

    with pbd.local_cluster(2) as client:
        cluster = client.cluster
        workers = client.scheduler_info()["workers"]
        assert len(workers) == 2 and all(a.startswith("tcp://127.0.0.1:") for a in workers)
        worker_pids = list(client.run(os.getpid).values())
        prices = pbd.price_on_cluster(client, str(tmp_path), pbd.MODEL, n)

    assert pbd.same_bits(prices, reference)
    assert client.status == "closed" and cluster.status.name == "closed"
    for pid in worker_pids:
        with pytest.raises(ProcessLookupError):
            os.kill(pid, 0)


def test_same_bits_tells_prices_apart():
    pytest.importorskip("pandas")
    pytest.importorskip("pyarrow")
    import price_book_dask as pbd

    a = np.array([1.0, np.nan, 0.0])
    assert pbd.same_bits(a, a.copy())
    assert not pbd.same_bits(a, np.array([1.0, np.nan, -0.0]))
    assert not pbd.same_bits(a, np.array([np.nextafter(1.0, 2.0), np.nan, 0.0]))


def test_thread_pool_prices_equal_one_call():
    import price_book_threads as pbt

    columns = pbt.make_book(2001, seed=3)
    one_call = jdpricer_batch.call_prices(*columns, *pbt.MODEL, pbt.N_TERMS)
    for threads, chunks_per_thread in ((1, 1), (2, 4), (3, 7)):
        prices = pbt.price_with_threads(columns, threads, chunks_per_thread)
        assert np.array_equal(prices.view(np.uint64), one_call.view(np.uint64)), (threads, chunks_per_thread)

@pytest.fixture(scope="module")
def barrier_ladder():
    pytest.importorskip("scipy")
    pytest.importorskip("vollib")
    import barrier_ladder

    return barrier_ladder


def test_barrier_ladder_calibration_recovers_the_model_from_exact_out_of_the_money_quotes(barrier_ladder):
    quotes = barrier_ladder.make_quotes(barrier_ladder.TRUE_PARAMS, iv_noise=0.0, seed=0)
    assert 0 < np.count_nonzero(~quotes.calls) < quotes.prices.size  # puts and calls both quoted
    fit = barrier_ladder.calibrate(quotes)
    np.testing.assert_allclose(fit.params, barrier_ladder.TRUE_PARAMS, rtol=1e-6)
    assert fit.rms_vol_error < 1e-9


def test_barrier_ladder_black_scholes_formulas_are_the_jump_free_engine(barrier_ladder):
    bl = barrier_ladder
    vol = bl.total_variance_vol(bl.TRUE_PARAMS)
    assert abs(vol**2 - (0.16**2 + 1.0 * (2 * 0.4 / 100 + 2 * 0.6 / 25))) < 1e-15
    assert bl.check_black_scholes_formulas(vol) < 1e-10
    # A barrier out of reach leaves the vanilla; the one-touch at the barrier pays 1.
    far = bl.reiner_rubinstein_out("up-and-out call", 100.0, 100.0, 1e6, 0.5, 0.05, 0.2)
    vanilla = float(jdpricer_batch.call_prices(0.5, 100.0, 100.0, 0.05, 0.2, 0.0, 0.5, 10.0, 5.0, "auto"))
    assert abs(float(far) - vanilla) < 1e-12
    assert float(bl.black_scholes_one_touch(119.999999, 120.0, 0.5, 0.05, 0.2)) == pytest.approx(1.0, abs=1e-5)


def test_barrier_ladder_rungs_grow_with_the_distance_to_the_barrier_towards_the_vanilla(barrier_ladder):
    bl = barrier_ladder
    params = bl.TRUE_PARAMS
    for kind, barriers, vanilla in (
        ("up-and-out call", bl.CALL_BARRIERS, jdpricer_batch.call_prices),
        ("down-and-out put", bl.PUT_BARRIERS, jdpricer_batch.put_prices),
    ):
        rungs = bl.ladder(params, kind, barriers)
        prices = np.array([g.price for g in rungs])
        bs = np.array([g.bs_price for g in rungs])
        v = float(vanilla(bl.T_LADDER, bl.STRIKE, bl.SPOT, bl.RATE, *params, "auto"))
        assert np.all(np.diff(prices) > 0) and np.all(np.diff(bs) > 0) and prices[-1] < v, kind
        # Near barriers knock out less often under the jumps' small diffusion.
        assert rungs[0].price > 2.0 * rungs[0].bs_price, kind


def test_barrier_ladder_prints_its_ladders_and_draws_its_picture(barrier_ladder, monkeypatch, capsys, tmp_path):
    pytest.importorskip("matplotlib")
    monkeypatch.setattr(sys, "argv", ["barrier_ladder.py", "--no-picture"])
    barrier_ladder.main()
    out = capsys.readouterr().out
    assert "up-and-out calls" in out and "down-and-out puts" in out and "wrote" not in out
    path = tmp_path / "ladder.png"
    barrier_ladder.plot(barrier_ladder.TRUE_PARAMS, str(path))
    assert path.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


@pytest.fixture(scope="module")
def american_boundary():
    import american_boundary

    return american_boundary


def test_american_boundary_prints_both_tables_with_toivanens_price(american_boundary, monkeypatch, capsys):
    ab = american_boundary
    monkeypatch.setattr(sys, "argv", ["american_boundary.py", "--no-picture"])
    ab.main()
    out = capsys.readouterr().out
    assert "wrote" not in out and "binomial check" in out
    lines = out.splitlines()
    for S in ab.SPOTS:
        assert sum(line.startswith(f"{S:6.1f} ") for line in lines) == 2, S  # a row in each table
    assert sum(line.strip().startswith("Kou ") for line in lines) == 2
    # Toivanen's reference value for his model at S = K = 100, T = 0.25: 2.807879.
    toivanen_row = next(line for line in lines if line.startswith(" 100.0 "))
    assert toivanen_row.split()[1] == "2.8079"
    # The table's prices are good to PRICE_ACCURACY of the strike; the
    # reference is rounded to 5e-7.
    rows = ab.premium_table(ab.TOIVANEN, 0.25)
    at_the_money = next(w for w in rows if w.spot == 100.0)
    assert abs(at_the_money.american - 2.807879) < ab.PRICE_ACCURACY * ab.STRIKE + 5e-7


def test_american_boundary_jump_free_boundary_agrees_with_the_binomial_tree(american_boundary):
    ab = american_boundary
    vol = ab.total_variance_vol(ab.TOIVANEN)
    assert abs(vol**2 - (0.15**2 + 0.1 * (2 * 0.3445 / 3.0465**2 + 2 * 0.6555 / 3.0775**2))) < 1e-15
    c = ab.binomial_check()
    assert c.vol == vol and c.tau == 0.25
    # The tolerances are argued in binomial_check's docstring: a cell of the
    # solver's grid plus the tree's error for the spot, the tree's O(1/N)
    # error and smooth fit for the prices.
    assert ab.check_failures(c) == []
    assert abs(c.solver_spot - c.tree_spot) < ab.SPOT_TOLERANCE
    assert abs(c.tree_at_solver_spot - (ab.STRIKE - c.solver_spot)) < ab.PRICE_TOLERANCE
    assert abs(c.solver_at_strike - c.tree_at_strike) < ab.PRICE_TOLERANCE
    # The check can fail: a volatility 2% off moves the tree's boundary by
    # more than the tolerance, and a displaced spot or price is reported.
    for factor in (0.98, 1.02):
        off = ab.binomial_critical_spot(c.tau, ab.STRIKE, ab.RATE, factor * vol, ab.TREE_STEPS)
        assert abs(off - c.solver_spot) > 2.0 * ab.SPOT_TOLERANCE, factor
    assert ab.check_failures(c._replace(solver_spot=c.solver_spot + 1.5 * ab.SPOT_TOLERANCE))
    assert ab.check_failures(c._replace(solver_at_strike=c.solver_at_strike + 1.5 * ab.PRICE_TOLERANCE))
    # Without jumps their shape plays no part (it only widens the grid, on
    # the same nodes): the same critical spot, not a cell (about 0.04) away.
    other_shape = ab.KouParams(vol, 0.0, 0.9, 3.0, 20.0)
    assert abs(float(ab.exercise_boundary(other_shape, c.tau)) - c.solver_spot) < 1e-4


def test_american_boundary_premium_is_positive_and_grows_into_the_money(american_boundary):
    ab = american_boundary
    K = ab.STRIKE
    for name, params, T in ab.CASES:
        rows = ab.premium_table(params, T)
        spots = np.array([w.spot for w in rows])
        premium = np.array([w.premium for w in rows])
        assert np.all(np.diff(spots) > 0)
        # r > 0: early exercise is worth something at every spot, more the
        # deeper the put is in the money.
        assert np.all(premium > 0), name
        assert np.all(np.diff(premium) < 0), name
        # The table agrees with the boundary: exercised below it (the payoff,
        # delta -1), held above it (more than the payoff). Spots within a
        # quarter of the boundary are left out: the prices' grid is not the
        # boundary's.
        boundary = float(ab.exercise_boundary(params, T))
        for w in rows:
            if w.spot < boundary - 0.25:
                assert w.american == pytest.approx(K - w.spot, abs=1e-12) and w.delta == pytest.approx(-1.0), (name, w)
            elif w.spot > boundary + 0.25:
                assert w.american > max(K - w.spot, 0.0) + 1e-3 and w.delta > -1.0, (name, w)


def test_american_boundary_perpetual_level_lies_below_the_finite_boundaries(american_boundary):
    ab = american_boundary
    K, r = ab.STRIKE, ab.RATE
    # Without jumps, Merton's perpetual put: exercised at K beta/(1 + beta),
    # beta = 2r/sigma^2.
    for vol in (0.2, 0.35):
        beta = 2.0 * r / vol**2
        level = ab.perpetual_level(ab.KouParams(vol, 0.0, 0.5, 10.0, 5.0))
        assert abs(level - K * beta / (1.0 + beta)) < 1e-6 * K, vol
    for name, params, T in ab.CASES:
        for model in (params, ab.black_scholes_params(params)):
            level = ab.perpetual_level(model)
            assert float(ab.jdpricer_batch.perpetual_american_put_prices(K, level + 0.01, r, *model)) > K - level - 0.01
            taus = np.linspace(0.0, T, 21)
            boundary = ab.exercise_boundary(model, taus)
            assert boundary[0] == K and np.all(np.diff(boundary) <= 0) and boundary[-1] > level, (name, model)
        # Kou's boundary and level above Black-Scholes's of the same variance.
        bs = ab.black_scholes_params(params)
        assert ab.perpetual_level(params) > ab.perpetual_level(bs)
        assert np.all(ab.exercise_boundary(params, taus[1:]) > ab.exercise_boundary(bs, taus[1:])), name


def test_american_boundary_draws_its_picture(american_boundary, tmp_path):
    pytest.importorskip("matplotlib")
    path = tmp_path / "boundary.png"
    american_boundary.plot(str(path))
    assert path.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


def test_american_boundary_greeks_are_the_slopes_of_the_prices(american_boundary):
    ab = american_boundary
    h, dT = 0.5, 0.01
    for name, params, T in ab.CASES:
        rows = ab.premium_table(params, T)
        boundary = float(ab.exercise_boundary(params, T))
        held = np.array([w.spot for w in rows if w.spot - h > boundary + 0.25])
        price = lambda T_, S_: ab.jdpricer_batch.american_put_prices(  # noqa: E731
            T_, ab.STRIKE, S_, ab.RATE, *params, accuracy=ab.PRICE_ACCURACY)
        up, mid, down = price(T, held + h), price(T, held), price(T, held - h)
        later, sooner = price(T + dT, held), price(T - dT, held)
        # Central differences, off by the prices' errors (up to 1e-5 each)
        # over the steps and by their truncation: delta 2e-5 + h^2/6 V'''
        # (V''' of the order of 1e-2: 4e-4); gamma 4e-5/h^2 = 1.6e-4, its
        # truncation far less; theta (-1 to -5) 2e-5/(2 dT) = 1e-3 and dT^2/6
        # of the third time derivative.
        # Vega (about 20) by sigma +- 0.002: 1e-5/0.004 = 2.5e-3 from the prices.
        ds = 0.002
        vol = lambda s_: ab.jdpricer_batch.american_put_prices(  # noqa: E731
            T, ab.STRIKE, held, ab.RATE, params[0] + s_, *params[1:], accuracy=ab.PRICE_ACCURACY)
        vegas = (vol(ds) - vol(-ds)) / (2 * ds)
        for w, d, g, th, v in zip([w for w in rows if w.spot in held], (up - down) / (2 * h),
                                  (up - 2 * mid + down) / h**2, -(later - sooner) / (2 * dT), vegas):
            assert abs(w.delta - d) < 2e-3 and abs(w.gamma - g) < 2e-4 and abs(w.theta - th) < 1e-2, (name, w, d, g, th)
            assert abs(w.vega - v) < 2e-2, (name, w, v)
