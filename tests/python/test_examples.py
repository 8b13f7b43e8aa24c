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
