"""jdpricer_batch: every price is jdpricer's, bit for bit; NumPy's broadcasting
and conversions; bad input; the interpreter lock and Ctrl-C."""
import math
import platform
import random
import struct
import sys
import threading
import time
from decimal import Decimal

import numpy as np
import pytest

import jdpricer
import jdpricer_batch
from interrupting import interrupt_inside

MODEL = dict(sigma=0.16, lam=1.0, p=0.4, eta1=10.0, eta2=5.0)
HOSTILE = [0.0, -0.0, -1.0, math.inf, -math.inf, math.nan, 1e-300, 1e300]


def same_bits(a, b):
    return (math.isnan(a) and math.isnan(b)) or struct.pack("<d", a) == struct.pack("<d", b)


def per_option(kind, T, K, S, r, sigma, lam, p, eta1, eta2, n):
    make = jdpricer.create_european_call if kind == "call" else jdpricer.create_european_put
    return make(T, K).priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1, eta2, n)


def assert_matches_per_option(kind, T, K, S, r, model, n):
    batch = jdpricer_batch.call_prices if kind == "call" else jdpricer_batch.put_prices
    got = batch(T, K, S, r, n=n, **model)
    cols = np.broadcast_arrays(*(np.asarray(x, dtype=np.float64) for x in (T, K, S, r)))
    assert got.shape == cols[0].shape and got.dtype == np.float64
    for idx in np.ndindex(got.shape):
        want = per_option(kind, *(float(c[idx]) for c in cols), n=n, **model)
        assert same_bits(want, float(got[idx])), (kind, idx, [float(c[idx]) for c in cols], n)


@pytest.mark.parametrize("seed", range(8))
def test_random_books_with_hostile_values_match_per_option(seed):
    rng = random.Random(seed)

    def draw(lo, hi):
        return rng.choice(HOSTILE) if rng.random() < 0.1 else rng.uniform(lo, hi)

    model = dict(sigma=draw(0.05, 0.6), lam=draw(0.0, 5.0), p=draw(-0.2, 1.2),
                 eta1=draw(0.5, 40.0), eta2=draw(0.0, 40.0))
    n = rng.choice([-2**31, -1, 0, 1, 7, 13, 24, 171, 2**31 - 1])
    # Shared maturities (a column) against strikes (a row), per-option S and r.
    T = np.array([[draw(0.02, 3.0)] for _ in range(rng.randint(1, 4))])
    K = np.array([draw(50.0, 150.0) for _ in range(rng.randint(1, 11))])
    S = np.array([[draw(60.0, 140.0) for _ in K] for _ in T])
    r = draw(-0.02, 0.1)
    for kind in ("call", "put"):
        assert_matches_per_option(kind, T, K, S, r, model, n)


def test_conversions_shapes_and_layouts():
    K = np.linspace(80.0, 120.0, 6)
    base = jdpricer_batch.call_prices(np.array([0.25, 1.0])[:, None], K, 100.0, 0.05, n=12, **MODEL)
    assert base.shape == (2, 6) and base.flags.c_contiguous
    # Other dtypes, non-contiguous and Fortran-ordered views, sequences, objects.
    strided = np.zeros((2, 12))[:, ::2] + K
    fortran = np.asfortranarray(np.broadcast_to(K, (2, 6)))
    for strikes in (strided, fortran, K.astype(np.float32).astype(np.float64), K.tolist()):
        got = jdpricer_batch.call_prices([[0.25], [1.0]], strikes, 100, 0.05, n=12, **MODEL)
        assert got.tobytes() == base.tobytes()
    ints = jdpricer_batch.call_prices(np.int32(1), np.array([90, 100], dtype=np.int64), True, 0,
                                      n=np.int64(5), **MODEL)
    assert ints.tobytes() == jdpricer_batch.call_prices(1.0, [90.0, 100.0], 1.0, 0.0, n=5,
                                                       **MODEL).tobytes()
    objects = jdpricer_batch.put_prices([Decimal("0.5")], 98, 100, 0.05, n=12, **MODEL)
    assert same_bits(objects[0], per_option("put", 0.5, 98.0, 100.0, 0.05, n=12, **MODEL))
    # All scalars give a 0-d array; an empty axis an empty result.
    scalar = jdpricer_batch.put_prices(T=0.5, K=98.0, S=100.0, r=0.05, n=12, **MODEL)
    assert scalar.shape == () and same_bits(float(scalar), objects[0])
    assert jdpricer_batch.call_prices(np.empty((3, 0)), 98.0, 100.0, 0.05, n=5, **MODEL).shape == (3, 0)
    # The result is new memory, never a view of an input.
    T = np.full(4, 0.5)
    out = jdpricer_batch.call_prices(T, 98.0, 100.0, 0.05, n=5, **MODEL)
    assert not np.shares_memory(out, T)


@pytest.mark.parametrize("call, error", [
    (lambda b: b.call_prices([1.0, 2.0], [1.0, 2.0, 3.0], 100, 0.05, n=5, **MODEL), ValueError),
    (lambda b: b.call_prices("0.5", 98, 100, 0.05, n=5, **MODEL), TypeError),
    (lambda b: b.call_prices([0.5, None], 98, 100, 0.05, n=5, **MODEL), TypeError),
    (lambda b: b.call_prices(0.5, 98 + 1j, 100, 0.05, n=5, **MODEL), TypeError),
    (lambda b: b.call_prices(0.5, 98, np.array(["100"]), 0.05, n=5, **MODEL), TypeError),
    (lambda b: b.call_prices(0.5, 98, 100, [[0.05], [0.01, 0.02]], n=5, **MODEL), ValueError),
    (lambda b: b.call_prices(0.5, 98, 100, 0.05, n=5.0, **MODEL), TypeError),
    (lambda b: b.call_prices(0.5, 98, 100, 0.05, n=2**31, **MODEL), TypeError),
    (lambda b: b.put_prices(0.5, 98, 100, 0.05, 0.16, [1.0], 0.4, 10.0, 5.0, 5), TypeError),
    (lambda b: b.put_prices(0.5, 98, 100, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0), TypeError),
    (lambda b: b.put_prices(0.5, 98, 100, 0.05, n=5, strike=1, **MODEL), TypeError),
])
def test_bad_input_raises(call, error):
    with pytest.raises(error):
        call(jdpricer_batch)


def long_batch():
    # About a second of work at the longest series.
    K = np.linspace(60.0, 140.0, 20_000)
    return jdpricer_batch.call_prices(1.0, K, 100.0, 0.05, n=170, **MODEL)


def test_lock_is_released_while_pricing():
    # With a huge switch interval the interpreter never takes the lock from
    # a running thread: this thread sees the worker inside the batch only if
    # the batch releases the lock itself.
    started = threading.Event()

    def work():
        started.set()
        long_batch()

    interval = sys.getswitchinterval()
    sys.setswitchinterval(100.0)
    try:
        worker = threading.Thread(target=work)
        worker.start()
        started.wait()
        seen_inside = 0
        while worker.is_alive():
            frame = sys._current_frames().get(worker.ident)
            seen_inside += frame is not None and frame.f_code is long_batch.__code__
            time.sleep(0.001)  # lets the worker take the lock between its chunks
        worker.join()
    finally:
        sys.setswitchinterval(interval)
    assert seen_inside > 0


def test_sigint_interrupts_a_long_batch():
    # The handler must run from inside the call, not once it has returned,
    # and the call must end in its exception (CPython's profiler sees that;
    # on PyPy the helper's frame check is the proof).
    events, _ = interrupt_inside(long_batch, jdpricer_batch.call_prices, delay=0.2)
    if platform.python_implementation() != "PyPy":
        assert events[-1] == "c_exception", events
    # The module stays usable after the interrupt.
    assert same_bits(float(jdpricer_batch.call_prices(0.5, 98.0, 100.0, 0.05, n=10, **MODEL)),
                     per_option("call", 0.5, 98.0, 100.0, 0.05, n=10, **MODEL))
