"""Creating, pricing and dropping options must not leak, on CPython or PyPy.

Resident memory is read from /proc/self/statm. Run with `pytest -s` to see
the figures; they are also attached to each test as junit properties.
"""
import ctypes
import functools
import gc
import os
import platform
import subprocess
import sys
import time
import weakref
from array import array

import pytest

from jdpricer import KouEuropeanCall, KouEuropeanPut, create_european_call, create_european_put

pytestmark = pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="needs Linux /proc")

_ISOLATED = "JDPRICER_MEMORY_TEST_ISOLATED"

# PyPy sizes its young generation (the nursery) from the CPU's cache, and how
# much its GC and cpyext keep once a churn has settled grows with it: about
# 25 MiB after a million options with a 64 MB nursery, nothing with 1 MB. A
# machine with another cache would read another plateau, so the isolated
# interpreter runs with a nursery of one size everywhere, whatever the
# calling environment sets. The figures are judged round against round
# besides (see the churn test), so they hold with any nursery.
PINNED_NURSERY = "4MB"


def in_fresh_interpreter(test):
    """Runs the test in an interpreter of its own. Heap figures read after the
    rest of the suite depend on that suite's garbage: PyPy frees extension
    objects (NumPy arrays among them) only at its collections, which then
    fall inside the measured rounds."""

    @functools.wraps(test)
    def isolated(*args, **kwargs):
        if os.environ.get(_ISOLATED) == "1":
            return test(*args, **kwargs)
        result = subprocess.run(
            [sys.executable, "-m", "pytest", "-q", "-s", "-p", "no:cacheprovider",
             f"{os.path.abspath(__file__)}::{test.__name__}"],
            env={**os.environ, _ISOLATED: "1", "PYPY_GC_NURSERY": PINNED_NURSERY}, capture_output=True, text=True, timeout=900,
        )
        print(result.stdout)
        assert result.returncode == 0, result.stdout + result.stderr
        return None

    return isolated

IMPL = platform.python_implementation()
MiB = 1 << 20

# Allowed growth over a round of the churn after a first round of the same size. An option is a 24-byte C++ object (vptr,
# T, K: a 32-byte malloc chunk) behind a Python wrapper of some 60 bytes, and
# every price is a fresh float, so leaking any one of these per option over a
# million options costs at least 24-32 MB -- three times this budget or more
# (test_rss_sees_one_leaked_allocation_per_option checks that the reading
# shows such a leak). 8 MB leaves room for allocator and GC bookkeeping,
# PyPy's nursery and JIT code, which do not grow with the count.
BUDGET = 8 * MiB
CHURN = 1_000_000
HELD = 200_000

T0, K0 = 0.5, 98.0
MARKET = (100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0)
MAKERS = (
    lambda: KouEuropeanCall(T0, K0),
    lambda: KouEuropeanPut(T0, K0),
    lambda: create_european_call(T0, K0),
    lambda: create_european_put(T=T0, K=K0),
)

try:
    _libc = ctypes.CDLL(None)
    _libc.malloc.restype = ctypes.c_void_p
    _libc.malloc.argtypes = [ctypes.c_size_t]
    _libc.free.argtypes = [ctypes.c_void_p]
except (OSError, AttributeError):  # not glibc-like
    _libc = None


class _MallInfo2(ctypes.Structure):
    _fields_ = [
        (name, ctypes.c_size_t)
        for name in ("arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks", "fordblks", "keepcost")
    ]


if _libc is not None and hasattr(_libc, "mallinfo2"):  # glibc 2.33 and later
    _libc.mallinfo2.restype = _MallInfo2

    def malloc_in_use():
        """Bytes handed out by malloc: C++ objects, pybind11's instance
        registry and (on PyPy) cpyext's object structs and GC arenas."""
        info = _libc.mallinfo2()
        return info.uordblks + info.hblkhd

else:
    malloc_in_use = None


def rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def settle():
    """Collect (PyPy frees cpyext objects only in collections) and hand free
    heap pages back to the OS, so that memory freed earlier cannot soak up a
    leak unseen."""
    for _ in range(3):
        gc.collect()
    if _libc is not None and hasattr(_libc, "malloc_trim"):
        _libc.malloc_trim(0)
    return rss()


def report(record_property, label, **figures):
    line = ", ".join(f"{k} {v / MiB:.2f} MiB" if isinstance(v, int) else f"{k} {v}" for k, v in figures.items())
    print(f"\n[{IMPL}] {label}: {line}")
    for key, value in figures.items():
        record_property(f"{IMPL}-{label}-{key}", value)


def _expected_prices():
    # i % 12 fixes both the maker (i % 4) and n (i % 3).
    return [MAKERS[i % 4]().priceByKouJumpDiffusion(*MARKET, i % 3) for i in range(12)]


def _churn(count, expected, samples=None):
    """Make, price once and drop `count` options; count wrong prices."""
    wrong = 0
    for i in range(count):
        option = MAKERS[i & 3]()
        if option.priceByKouJumpDiffusion(*MARKET, i % 3) != expected[i % 12]:
            wrong += 1
        if samples is not None and i % 100_000 == 0:
            samples.append(rss())
    return wrong


@in_fresh_interpreter
def test_million_options_leave_resident_memory_flat(record_property):
    # A leak grows with the count: every round of a million options adds the
    # same again. What the allocator, PyPy's GC and cpyext keep for their own
    # bookkeeping reaches a plateau within the first round, whose height
    # depends on the machine (PyPy's nursery, malloc's arenas). So the first
    # round only warms up, and the second, of the same size, must add less
    # than the budget.
    expected = _expected_prices()
    assert len(set(expected)) == 6  # call and put for each n

    start = time.perf_counter()
    baseline = settle()
    assert _churn(CHURN, expected) == 0
    first = settle()
    malloc_first = malloc_in_use() if malloc_in_use else 0

    samples = []
    t0 = time.perf_counter()
    assert _churn(CHURN, expected, samples) == 0
    seconds = time.perf_counter() - t0
    peak = max(samples + [rss()])
    second = settle()
    malloc_delta = malloc_in_use() - malloc_first if malloc_in_use else "n/a"

    report(
        record_property,
        "churn",
        baseline=baseline,
        first_round=first - baseline,
        peak_in_second=peak,
        second_round=second - first,
        malloc_second_round=malloc_delta,
        nursery=os.environ.get("PYPY_GC_NURSERY", "default") if IMPL == "PyPy" else "n/a",
        seconds=f"{seconds:.1f} s a round of {CHURN} (total {time.perf_counter() - start:.1f} s)",
    )
    assert second - first <= BUDGET
    if malloc_in_use:
        assert malloc_delta <= BUDGET


@pytest.mark.skipif(_libc is None, reason="needs the C library through ctypes")
@in_fresh_interpreter
def test_rss_sees_one_leaked_allocation_per_option(record_property):
    # The reading behind the budget must notice the smallest leak that matters:
    # one C++ option (24 bytes) per option created.
    pointers = array("Q", bytes(8 * CHURN))  # allocated before the baseline
    baseline = settle()
    for i in range(CHURN):
        pointers[i] = _libc.malloc(24)
    leaked = rss()
    for p in pointers:
        _libc.free(p)
    del pointers
    freed = settle()
    report(record_property, "calibration", baseline=baseline, leaked=leaked, delta=leaked - baseline, freed=freed)
    assert leaked - baseline > 2 * BUDGET


ROUNDS = 4


@pytest.mark.skipif(malloc_in_use is None, reason="needs glibc's mallinfo2")
@in_fresh_interpreter
def test_dropped_options_are_freed_and_their_memory_reused(record_property):
    # On PyPy an extension object's wrapper lives in cpyext and is freed only
    # by a collection (on CPython at once). Hold a batch, drop it, collect,
    # repeat: if the batches were not freed, each round would add the whole
    # batch again. Judged on malloc's count, where the C structs live; PyPy's
    # RSS also moves with its GC's heap sizing.
    expected = _expected_prices()
    baseline_rss = settle()
    baseline = malloc_in_use()
    held, held_rss, collections = [], [], []
    for _ in range(ROUNDS):
        batch = [MAKERS[i & 3]() for i in range(HELD)]
        wrong = sum(o.priceByKouJumpDiffusion(*MARKET, i % 3) != expected[i % 12] for i, o in enumerate(batch))
        assert wrong == 0
        refs = [weakref.ref(o) for o in batch[::100]]
        held.append(malloc_in_use())
        held_rss.append(rss())
        del batch
        count = 0
        while any(r() is not None for r in refs) and count < 5:
            gc.collect()
            count += 1
        collections.append(count)
        assert all(r() is None for r in refs)
        del refs
        settle()
    after = malloc_in_use()

    report(
        record_property,
        "rounds",
        malloc_baseline=baseline,
        malloc_held=", ".join(f"{(h - baseline) / MiB:.2f}" for h in held) + " MiB over baseline",
        malloc_after=after - baseline,
        rss_held=", ".join(f"{(h - baseline_rss) / MiB:.2f}" for h in held_rss) + " MiB over baseline",
        collections_until_dead=collections,
    )
    assert held[0] - baseline > 2 * BUDGET  # a batch is large enough to tell
    assert max(held) - held[0] <= BUDGET
    assert max(collections) <= 3
