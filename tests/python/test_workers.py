"""workers: the same bits on every thread count, bad counts refused, Ctrl-C
during a multi-worker call, a fork after one, and the fast argument path
against the general one."""
import ctypes
import gc
import math
import os
import platform
import subprocess
import sys
import threading

import numpy as np
import pytest

import jdpricer_batch as batch
from interrupting import interrupt_inside

MODEL = dict(sigma=0.16, lam=1.0, p=0.4, eta1=10.0, eta2=5.0)
HOSTILE = [0.0, -0.0, -1.0, math.inf, -math.inf, math.nan, 1e-300, 1e300]


def hostile_book(seed, count=700):
    """One maturity with many strikes (split across workers), many lone
    maturities, and hostile values in every column."""
    rng = np.random.default_rng(seed)
    T = np.where(rng.random(count) < 0.4, 0.75, rng.uniform(0.02, 4.0, count))
    columns = [T, rng.uniform(50.0, 150.0, count), rng.uniform(80.0, 120.0, count),
               rng.uniform(-0.02, 0.1, count)]
    for column in columns:
        spots = rng.random(count) < 0.03
        # (An infinite maturity takes 170 terms under "auto": slow to bound.)
        column[spots] = rng.choice(HOSTILE[:3] + HOSTILE[5:7] if column is T else HOSTILE, spots.sum())
    return columns


def same_bits(a, b):
    """Equal bits, NaNs of any sign or payload alike (the sign of a NaN made
    by an invalid operation is not fixed across lanes)."""
    nan = np.isnan(a) & np.isnan(b)
    return np.array_equal(np.isnan(a), np.isnan(b)) and a[~nan].tobytes() == b[~nan].tobytes()


def all_results(book, workers, n):
    T, K, S, r = book
    return [
        batch.call_prices(T, K, S, r, n=n, workers=workers, **MODEL),
        batch.put_prices(T, K, S, r, n=n, workers=workers, **MODEL),
        batch.put_error_bounds(T[:150], K[:150], S[:150], r[:150], n=n, workers=workers, **MODEL),
        *batch.robust_call_prices(T[:150], K[:150], S[:150], r[:150], n=n, tolerance=1e-13,
                                  workers=workers, **MODEL),
        batch.fourier_put_prices(T[:150], K[:150], S[:150], r[:150], workers=workers, **MODEL),
        *batch.call_greeks(T, K, S, r, n=n, workers=workers, **MODEL),
        *batch.put_greeks(T[:150], K[:150], S[:150], r[:150], n=n, workers=workers, **MODEL),
    ]


@pytest.mark.parametrize("seed, n", [(1, 13), (2, "auto"), (3, 0), (4, 171)])
def test_every_worker_count_gives_the_same_bits(seed, n):
    book = hostile_book(seed)
    one = all_results(book, 1, n)
    for workers in (2, 3, -1, 64):
        for a, b in zip(one, all_results(book, workers, n)):
            assert same_bits(a, b), (workers, n)


def test_concurrent_multi_worker_calls_share_the_pool():
    T, K, S, r = hostile_book(6, 3000)
    want = batch.put_prices(T, K, S, r, n=16, **MODEL)
    got = [None] * 4

    def price(i):
        got[i] = batch.put_prices(T, K, S, r, n=16, workers=3, **MODEL)

    threads = [threading.Thread(target=price, args=(i,)) for i in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert all(same_bits(want, g) for g in got)


@pytest.mark.parametrize("cores", [1, 2, 64, None])
def test_negative_worker_counts_wrap_around_the_core_count(monkeypatch, cores):
    # -1 is every core that os.cpu_count() reports (one where it cannot
    # tell), -2 all but one: the machine decides how many threads run, never
    # the bits, and on one core -2 wraps below it.
    T, K, S, r = hostile_book(7, 400)
    want = batch.call_prices(T, K, S, r, n=13, **MODEL)
    monkeypatch.setattr(os, "cpu_count", lambda: cores)
    assert same_bits(want, batch.call_prices(T, K, S, r, n=13, workers=-1, **MODEL))
    if (cores or 1) == 1:
        with pytest.raises(ValueError, match="wraps below 1 core"):
            batch.call_prices(T, K, S, r, n=13, workers=-2, **MODEL)
    else:
        assert same_bits(want, batch.call_prices(T, K, S, r, n=13, workers=-2, **MODEL))


@pytest.mark.parametrize("workers, error", [
    (0, ValueError), (-10**6, ValueError), (1.0, TypeError), ("2", TypeError), (None, TypeError),
    (2**40, TypeError), (np.float64(2), TypeError)])
def test_bad_worker_counts_raise(workers, error):
    calls = [lambda: batch.call_prices(0.5, 98.0, 100.0, 0.05, n=10, workers=workers, **MODEL),
             lambda: batch.call_error_bounds(0.5, 98.0, 100.0, 0.05, n=10, workers=workers, **MODEL),
             lambda: batch.fourier_call_prices(0.5, 98.0, 100.0, 0.05, workers=workers, **MODEL),
             lambda: batch.robust_put_prices(0.5, 98.0, 100.0, 0.05, n=10, tolerance=1e-9,
                                             workers=workers, **MODEL),
             lambda: batch.call_greeks(0.5, 98.0, 100.0, 0.05, n=10, workers=workers, **MODEL)]
    for call in calls:
        with pytest.raises(error, match="workers"):
            call()


def heap_in_use():
    """Bytes that glibc's malloc has handed out (NumPy's and the module's)."""
    libc = ctypes.CDLL(None)

    class MallInfo2(ctypes.Structure):
        _fields_ = [(name, ctypes.c_size_t) for name in
                    ("arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks",
                     "uordblks", "fordblks", "keepcost")]

    libc.mallinfo2.restype = MallInfo2
    info = libc.mallinfo2()
    return info.uordblks + info.hblkhd


def long_call():
    # Seconds of work on two workers, one maturity split between them.
    K = np.linspace(60.0, 140.0, 30_000)
    return batch.call_prices(1.0, K, 100.0, 0.05, n=170, workers=2, **MODEL)


def test_ctrl_c_ends_a_multi_worker_call_and_frees_its_buffers():
    # Interrupted again and again, each call must end in KeyboardInterrupt
    # raised from inside it (seen as in test_batch), and the buffers of
    # every interrupted call (the columns, the model, each segment's
    # triangles: some 2.6 MB a call) must be freed; PyPy's heap settles
    # after a few calls.
    def interrupted():
        events, _ = interrupt_inside(long_call, batch.call_prices, delay=0.05)
        if platform.python_implementation() != "PyPy":
            assert events[-1] == "c_exception", events
        gc.collect()

    for _ in range(3):
        interrupted()
    before = heap_in_use()
    for _ in range(6):
        interrupted()
    growth = heap_in_use() - before
    assert growth < 4 << 20, growth
    assert batch.call_prices(0.5, 98.0, 100.0, 0.05, n=10, workers=2, **MODEL).tobytes() == \
        batch.call_prices(0.5, 98.0, 100.0, 0.05, n=10, **MODEL).tobytes()


FORK_SCRIPT = """
import os, sys
import numpy as np
import jdpricer_batch as batch
model = dict(sigma=0.16, lam=1.0, p=0.4, eta1=10.0, eta2=5.0)
T = np.random.default_rng(5).uniform(0.05, 3.0, 4000)
want = batch.call_prices(T, 98.0, 100.0, 0.05, n=20, workers=2, **model).tobytes()
pid = os.fork()
if pid == 0:
    got = batch.call_prices(T, 98.0, 100.0, 0.05, n=20, workers=2, **model).tobytes()
    os._exit(0 if got == want else 3)
_, status = os.waitpid(pid, 0)
assert batch._worker_threads() >= 1
sys.exit(os.waitstatus_to_exitcode(status))
"""


def test_a_process_forked_after_a_multi_worker_call_still_prices():
    result = subprocess.run([sys.executable, "-c", FORK_SCRIPT], capture_output=True, text=True, timeout=60)
    assert result.returncode == 0, result.stdout + result.stderr


def test_the_fast_path_and_the_general_path_give_the_same_bits():
    rng = np.random.default_rng(11)
    T = np.concatenate([rng.uniform(0.02, 3.0, 40), HOSTILE]).reshape(4, 12)
    K = rng.uniform(50.0, 150.0, 48).reshape(4, 12)
    fast = batch.call_prices(T, K, 100.0, 0.05, n="auto", **MODEL)
    general = [
        batch.call_prices(T.tolist(), K, 100.0, 0.05, n="auto", **MODEL),
        batch.call_prices(np.asfortranarray(T), K, 100.0, 0.05, n="auto", **MODEL),
        batch.call_prices(T, K.astype(object), np.float64(100.0), 0.05, n="auto", **MODEL),
        batch.call_prices(T.astype(">f8"), K, 100.0, 0.05, n="auto", **MODEL),
    ]
    for got in general:
        assert got.shape == fast.shape and same_bits(got, fast)
    # Scalars: ints and floats read directly, and through NumPy.
    for args in [(1, 98, 100, 0), (0.5, 98.5, 100.0, -0.0), (2**62 + 1, 2**53 + 1, 100, 0.05)]:
        direct = batch.put_prices(*args, n=12, **MODEL)
        through = batch.put_prices(*(np.asarray(a) for a in args), n=12, workers=1, **MODEL)
        assert direct.shape == () and direct.tobytes() == through.tobytes()
        listed = batch.put_prices(*([a] for a in args), n=12, **MODEL)
        assert listed.tobytes() == direct.reshape(1).tobytes()
    # Arrays of different shapes go to NumPy's broadcasting.
    assert batch.call_prices(T[:, :1], K, 100.0, 0.05, n=5, **MODEL).shape == (4, 12)
