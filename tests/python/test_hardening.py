"""Hostile callers: many threads, small thread stacks, wrong arguments, absurd models.

Expected prices are never literals here: each one is the bit pattern the same
pricing call produces on the main thread, or with the plain float/int that
pybind11's conversion is documented (in its type caster) to turn the argument
into.
"""
import math
import platform
import random
import struct
import subprocess
import sys
import textwrap
import threading
from decimal import Decimal
from fractions import Fraction

import pytest

from jdpricer import (
    EuropeanOption,
    KouEuropeanCall,
    KouEuropeanPut,
    create_european_call,
    create_european_put,
)

PYPY = platform.python_implementation() == "PyPy"

T0, K0 = 0.5, 98.0
# S, r, sigma, lam, p, eta1, eta2
MARKET = (100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0)
NAMES = ("S", "r", "sigma", "lam", "p", "eta1", "eta2", "n")
N0 = 3


def bits(x):
    return struct.pack("<d", x)


MAKERS = {
    "KouEuropeanCall": lambda T, K: KouEuropeanCall(T, K),
    "KouEuropeanPut": lambda T, K: KouEuropeanPut(T, K),
    "create_european_call": lambda T, K: create_european_call(T, K),
    "create_european_put": lambda T, K: create_european_put(T, K),
    "create_european_call-kw": lambda T, K: create_european_call(T=T, K=K),
    "create_european_put-kw": lambda T, K: create_european_put(K=K, T=T),
}


# ---------------------------------------------------------------------------
# Threads
# ---------------------------------------------------------------------------

THREADS = 8
ROUNDS = 100


def _thread_cases():
    """Calls and puts over a spread of contracts, models and series lengths."""
    rng = random.Random(2718)
    cases = []
    for i, n in enumerate((0, 1, 2, 3, 4, 5, 7, 9, 12, 15, 18, 21, 24, 27, 30) * 2):
        cls = (KouEuropeanCall, KouEuropeanPut)[i % 2]
        T = rng.choice((0.1, 0.5, 1.0, 2.0))
        K = rng.choice((80.0, 95.0, 100.0, 105.0, 130.0))
        market = (
            rng.choice((70.0, 100.0, 125.0)),
            rng.choice((0.0, 0.02, 0.07)),
            rng.choice((0.1, 0.16, 0.3)),
            rng.choice((0.0, 0.5, 1.0, 3.0)),
            rng.choice((0.2, 0.4, 0.7)),
            rng.choice((3.0, 10.0, 25.0)),
            rng.choice((2.0, 5.0, 12.0)),
        )
        cases.append((cls, T, K, market, n))
    return cases


def test_threads_reproduce_single_thread_bits():
    cases = _thread_cases()
    shared = [cls(T, K) for cls, T, K, _, _ in cases]
    # Reference bits on this thread before any other thread exists.
    expected = [bits(o.priceByKouJumpDiffusion(*c[3], c[4])) for o, c in zip(shared, cases)]
    assert all(math.isfinite(struct.unpack("<d", b)[0]) for b in expected)
    assert len(set(expected)) == len(expected)  # every case is distinguishable

    hot = shared[-1]  # the one object all threads price at once
    barrier = threading.Barrier(THREADS)
    mismatches, errors, done = [], [], []

    def work(tid):
        try:
            count = 0
            makers = (create_european_call, create_european_put)
            for _ in range(ROUNDS):
                barrier.wait()  # start each round together to maximise overlap
                for j in range(len(cases)):
                    # Threads walk the cases from different offsets, so at any
                    # moment they price different objects as well as the same.
                    k = (j + 5 * tid) % len(cases)
                    cls, T, K, market, n = cases[k]
                    got = shared[k].priceByKouJumpDiffusion(*market, n)
                    fresh = (cls(T, K) if tid % 2 else makers[cls is KouEuropeanPut](T, K))
                    got_fresh = fresh.priceByKouJumpDiffusion(*market, n)
                    got_hot = hot.priceByKouJumpDiffusion(*cases[-1][3], cases[-1][4])
                    for idx, value in ((k, got), (k, got_fresh), (len(cases) - 1, got_hot)):
                        if bits(value) != expected[idx]:
                            mismatches.append((tid, idx, value))
                    count += 3
            done.append(count)
        except BaseException as exc:  # reported on the main thread
            errors.append((tid, repr(exc)))
            barrier.abort()

    old_interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)  # force frequent hand-overs between the threads
    try:
        threads = [threading.Thread(target=work, args=(t,)) for t in range(THREADS)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    finally:
        sys.setswitchinterval(old_interval)

    assert errors == []
    assert mismatches == []
    assert done == [ROUNDS * len(cases) * 3] * THREADS


def test_series_at_its_limit_in_a_thread_with_a_small_stack():
    # The engine keeps its tables on the stack; n = 170 is the longest series
    # that is still finite, so it needs the most.
    call, put = KouEuropeanCall(T0, K0), KouEuropeanPut(T0, K0)
    reference = [call.priceByKouJumpDiffusion(*MARKET, 170), put.priceByKouJumpDiffusion(*MARKET, 170)]
    assert all(math.isfinite(x) for x in reference)

    results, errors = [], []

    def work():
        try:
            results.append(call.priceByKouJumpDiffusion(*MARKET, 170))
            results.append(put.priceByKouJumpDiffusion(*MARKET, 170))
            results.append(create_european_put(T0, K0).priceByKouJumpDiffusion(*MARKET, 170))
        except BaseException as exc:
            errors.append(repr(exc))

    old = threading.stack_size(256 * 1024)
    try:
        assert threading.stack_size() == 256 * 1024
        worker = threading.Thread(target=work)
        worker.start()
        worker.join()
    finally:
        threading.stack_size(old)
    assert threading.stack_size() == old

    assert errors == []
    assert [bits(x) for x in results] == [bits(reference[0]), bits(reference[1]), bits(reference[1])]


# ---------------------------------------------------------------------------
# Argument conversion
# ---------------------------------------------------------------------------
#
# Every callable has exactly one overload, so pybind11 3.x converts each
# argument once, with conversion allowed:
#
# double: PyFloat_AsDouble(obj), i.e. __float__ (which must return a float),
#   else __index__. On failure, if PyNumber_Check(obj), one retry with
#   float(obj). Every error from either attempt is cleared and reported as
#   TypeError, whatever its type.
# int (n): float instances (and subclasses) are refused outright; otherwise
#   PyLong_AsLong(obj), i.e. the int or its __index__ (on PyPy pybind11 calls
#   PyNumber_Index first); on failure, if PyNumber_Check(obj), one retry with
#   int(obj) -- which reaches __int__ and truncates Fraction and Decimal. A
#   value outside the 32-bit range is TypeError.
#
# CPython 3.11 and PyPy 3.9 (7.3.11) give the same outcome for every row of
# both tables. Their C APIs differ underneath (cpyext's PyNumber_Check
# ignores __index__, its PyLong_AsLong also takes __int__), which shows only
# in how often the hooks run: see HOOK_LOGS.


class FloatSub(float):
    pass


class IntSub(int):
    pass


class HasFloat:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class HasIndex:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class HasInt:
    def __init__(self, value):
        self.value = value

    def __int__(self):
        return self.value


class FloatAndIndex:
    def __init__(self, f, i):
        self.f, self.i = f, i

    def __float__(self):
        return self.f

    def __index__(self):
        return self.i


class IntAndIndex:
    def __init__(self, i, index):
        self.i, self.index = i, index

    def __int__(self):
        return self.i

    def __index__(self):
        return self.index


# For a double argument with normal value x and whole-number stand-in w:
# (id, make(x, w) -> argument, equivalent(x, w) -> plain float, or TypeError).
DOUBLE_TABLE = [
    ("int", lambda x, w: w, lambda x, w: float(w)),
    ("int-subclass", lambda x, w: IntSub(w), lambda x, w: float(w)),
    ("True", lambda x, w: True, lambda x, w: 1.0),
    ("False", lambda x, w: False, lambda x, w: 0.0),
    ("float-subclass", lambda x, w: FloatSub(x), lambda x, w: x),
    ("__float__", lambda x, w: HasFloat(x), lambda x, w: x),
    ("__float__-beats-__index__", lambda x, w: FloatAndIndex(x, w), lambda x, w: x),
    ("__index__-only", lambda x, w: HasIndex(w), lambda x, w: float(w)),
    ("__int__-only", lambda x, w: HasInt(w), lambda x, w: TypeError),
    ("__float__-returns-int", lambda x, w: HasFloat(w), lambda x, w: TypeError),
    ("__float__-returns-str", lambda x, w: HasFloat(str(x)), lambda x, w: TypeError),
    ("__index__-returns-float", lambda x, w: HasIndex(x), lambda x, w: TypeError),
    ("__float__-returns-None", lambda x, w: HasFloat(None), lambda x, w: TypeError),
    ("Fraction-exact", lambda x, w: Fraction(x), lambda x, w: x),
    ("Fraction-thirds", lambda x, w: Fraction(x) + Fraction(1, 3), lambda x, w: float(Fraction(x) + Fraction(1, 3))),
    ("Decimal-exact", lambda x, w: Decimal(x), lambda x, w: x),
    ("Decimal-NaN", lambda x, w: Decimal("NaN"), lambda x, w: math.nan),
    ("Decimal-sNaN", lambda x, w: Decimal("sNaN"), lambda x, w: TypeError),
    ("Decimal-inf", lambda x, w: Decimal("-Infinity"), lambda x, w: -math.inf),
    # float(10**400) raises OverflowError; pybind11 reports it as TypeError
    ("int-beyond-double", lambda x, w: 10**400, lambda x, w: TypeError),
    ("str", lambda x, w: str(x), lambda x, w: TypeError),
    ("bytes", lambda x, w: str(x).encode(), lambda x, w: TypeError),
    ("bytearray", lambda x, w: bytearray(str(x).encode()), lambda x, w: TypeError),
    ("list", lambda x, w: [x], lambda x, w: TypeError),
    ("tuple", lambda x, w: (x,), lambda x, w: TypeError),
    ("None", lambda x, w: None, lambda x, w: TypeError),
    ("complex", lambda x, w: complex(x, 1.0), lambda x, w: TypeError),
    ("complex-zero-imag", lambda x, w: complex(x, 0.0), lambda x, w: TypeError),
    ("dict", lambda x, w: {}, lambda x, w: TypeError),
    ("object", lambda x, w: object(), lambda x, w: TypeError),
]

# (id, argument, equivalent plain int or TypeError) for n.
INT_TABLE = [
    ("int", 7, 7),
    ("int-subclass", IntSub(7), 7),
    ("True", True, 1),
    ("False", False, 0),
    ("int32-max", 2**31 - 1, 2**31 - 1),
    ("int32-min", -(2**31), -(2**31)),
    ("__index__-only", HasIndex(7), 7),
    # CPython: PyLong_AsLong refuses it, the int(obj) retry accepts it.
    # PyPy: cpyext's PyLong_AsLong accepts it at once.
    ("__int__-only", HasInt(7), 7),
    ("__index__-beats-__int__", IntAndIndex(3, 7), 7),
    # int(obj) truncates towards zero: 7.5 -> 7, -7.5 -> -7, 7.9 -> 7
    ("Fraction-15/2", Fraction(15, 2), 7),
    ("Fraction--15/2", Fraction(-15, 2), -7),
    ("Decimal-7.9", Decimal("7.9"), 7),
    ("Decimal-NaN", Decimal("NaN"), TypeError),
    ("Decimal-inf", Decimal("Infinity"), TypeError),
    ("float", 7.0, TypeError),
    ("float-subclass", FloatSub(7.0), TypeError),
    ("float-nan", math.nan, TypeError),
    ("__float__-only", HasFloat(7.0), TypeError),
    ("2**31", 2**31, TypeError),
    ("-2**31-1", -(2**31) - 1, TypeError),
    ("2**63", 2**63, TypeError),
    ("-2**63-1", -(2**63) - 1, TypeError),
    ("2**64", 2**64, TypeError),
    ("2**100", 2**100, TypeError),
    ("-2**100", -(2**100), TypeError),
    ("__index__-2**31", HasIndex(2**31), TypeError),
    ("__index__-2**100", HasIndex(2**100), TypeError),
    ("__int__-2**31", HasInt(2**31), TypeError),
    ("__index__-returns-float", HasIndex(7.0), TypeError),
    ("str", "7", TypeError),
    ("bytes", b"7", TypeError),
    ("list", [7], TypeError),
    ("None", None, TypeError),
    ("complex", 7 + 0j, TypeError),
    ("object", object(), TypeError),
]

# Whole-number stand-ins that keep each input in a sensible range.
PRICING_WHOLE = (101, 0, 1, 2, 1, 12, 3)
CTOR_NORMAL = {"T": T0, "K": K0}
CTOR_WHOLE = {"T": 1, "K": 97}


def _price(args):
    return KouEuropeanPut(T0, K0).priceByKouJumpDiffusion(*args)


@pytest.mark.parametrize("row", DOUBLE_TABLE, ids=[r[0] for r in DOUBLE_TABLE])
@pytest.mark.parametrize("pos", range(7), ids=NAMES[:7])
def test_pricing_double_argument_conversion(pos, row):
    _, make, equivalent = row
    x, w = MARKET[pos], PRICING_WHOLE[pos]
    args = list(MARKET) + [N0]
    args[pos] = make(x, w)
    want = equivalent(x, w)
    if want is TypeError:
        with pytest.raises(TypeError):
            _price(args)
        return
    got = _price(args)
    assert type(got) is float
    plain = list(MARKET) + [N0]
    plain[pos] = want
    assert bits(got) == bits(_price(plain))


@pytest.mark.parametrize("row", DOUBLE_TABLE, ids=[r[0] for r in DOUBLE_TABLE])
@pytest.mark.parametrize("which", ("T", "K"))
@pytest.mark.parametrize("maker", sorted(MAKERS))
def test_constructor_and_factory_argument_conversion(maker, which, row):
    _, make, equivalent = row
    build = MAKERS[maker]
    x, w = CTOR_NORMAL[which], CTOR_WHOLE[which]
    args = dict(CTOR_NORMAL)
    args[which] = make(x, w)
    want = equivalent(x, w)
    if want is TypeError:
        with pytest.raises(TypeError):
            build(**args)
        return
    got = build(**args).priceByKouJumpDiffusion(*MARKET, N0)
    assert type(got) is float
    args[which] = want
    assert bits(got) == bits(build(**args).priceByKouJumpDiffusion(*MARKET, N0))


def test_series_lengths_used_by_the_table_are_distinguishable():
    # Otherwise a wrong conversion of n (8 instead of 7, say) could go unseen.
    put = KouEuropeanPut(T0, K0)
    prices = [bits(put.priceByKouJumpDiffusion(*MARKET, n)) for n in (0, 1, 3, 6, 7, 8)]
    assert len(set(prices)) == len(prices)


@pytest.mark.parametrize("row", INT_TABLE, ids=[r[0] for r in INT_TABLE])
@pytest.mark.parametrize("keyword", (False, True), ids=("positional", "keyword"))
def test_series_length_argument_conversion(keyword, row):
    _, value, want = row
    put = KouEuropeanPut(T0, K0)

    def price(n):
        return put.priceByKouJumpDiffusion(*MARKET, n=n) if keyword else put.priceByKouJumpDiffusion(*MARKET, n)

    if want is TypeError:
        with pytest.raises(TypeError):
            price(value)
        return
    got = price(value)
    assert type(got) is float
    assert bits(got) == bits(price(want))


class Hooks:
    """Numeric hooks (added per subclass) that log each call and raise."""

    def __init__(self, exc):
        self.exc = exc
        self.log = []


def _raising_hook(name):
    def hook(self):
        self.log.append(name)
        raise self.exc

    return hook


def _hook_class(*names):
    return type("Hooks_" + "_".join(names), (Hooks,), {f"__{n}__": _raising_hook(n) for n in names})


HOOK_CLASSES = {
    "all": _hook_class("float", "index", "int"),
    "__float__": _hook_class("float"),
    "__index__": _hook_class("index"),
    "__int__": _hook_class("int"),
}

# Which hooks each caster enters, in order, before giving up. double: CPython
# calls PyFloat_AsDouble (__float__, else __index__) and, because
# PyNumber_Check is true, float(obj) once more. PyPy's cpyext PyNumber_Check
# ignores __index__, so an __index__-only object gets no second attempt.
# n: CPython's PyLong_AsLong uses __index__ alone, then int(obj) prefers
# __int__. On PyPy pybind11 first calls PyNumber_Index itself, and cpyext's
# PyLong_AsLong, which has int() semantics, enters the hooks once or twice
# more. The logs are as observed on CPython 3.11 and PyPy 7.3.11.
HOOK_LOGS = {  # (hooks, caster): (CPython, PyPy)
    ("all", "double"): (["float", "float"], ["float", "float"]),
    ("__float__", "double"): (["float", "float"], ["float", "float"]),
    ("__index__", "double"): (["index", "index"], ["index"]),
    ("__int__", "double"): ([], []),
    ("all", "int"): (["index", "int"], ["index", "index", "int"]),
    ("__float__", "int"): ([], []),
    ("__index__", "int"): (["index", "index"], ["index", "index", "index"]),
    # CPython before 3.10 still lets PyLong_AsLong fall back to __int__, so
    # the hook runs there too before pybind11's own int() retry.
    ("__int__", "int"): (["int"] if sys.version_info >= (3, 10) else ["int", "int"], ["int", "int"]),
}

HOOK_TARGETS = {
    "S": ("double", lambda v: KouEuropeanCall(T0, K0).priceByKouJumpDiffusion(v, *MARKET[1:], N0)),
    "eta2": ("double", lambda v: KouEuropeanCall(T0, K0).priceByKouJumpDiffusion(*MARKET[:6], eta2=v, n=N0)),
    "T": ("double", lambda v: KouEuropeanCall(v, K0)),
    "K-factory": ("double", lambda v: create_european_put(T=T0, K=v)),
    "n": ("int", lambda v: KouEuropeanCall(T0, K0).priceByKouJumpDiffusion(*MARKET, v)),
}


@pytest.mark.parametrize(
    "exc",
    [ValueError("bad"), ArithmeticError("bad"), KeyboardInterrupt(), SystemExit(3)],
    ids=lambda e: type(e).__name__,
)
@pytest.mark.parametrize("hooks", sorted(HOOK_CLASSES))
@pytest.mark.parametrize("target", sorted(HOOK_TARGETS))
def test_exception_inside_a_conversion_hook_becomes_type_error(target, hooks, exc):
    # pybind11 clears whatever the hooks raised -- even KeyboardInterrupt and
    # SystemExit -- and reports that no overload matched.
    caster, call = HOOK_TARGETS[target]
    bad = HOOK_CLASSES[hooks](exc)
    with pytest.raises(TypeError, match="incompatible"):
        call(bad)
    assert bad.log == HOOK_LOGS[hooks, caster][PYPY]
    assert sys.exc_info() == (None, None, None)
    # Nothing was left pending: the next call succeeds.
    assert math.isfinite(KouEuropeanCall(T0, K0).priceByKouJumpDiffusion(*MARKET, N0))


BAD_CALLS = {
    "price-no-args": lambda o: o.priceByKouJumpDiffusion(),
    "price-7-args": lambda o: o.priceByKouJumpDiffusion(*MARKET),
    "price-9-args": lambda o: o.priceByKouJumpDiffusion(*MARKET, N0, N0),
    "price-S-twice": lambda o: o.priceByKouJumpDiffusion(*MARKET, N0, S=100.0),
    "price-missing-n-keyword": lambda o: o.priceByKouJumpDiffusion(**dict(zip(NAMES[:7], MARKET))),
    "price-unknown-keyword": lambda o: o.priceByKouJumpDiffusion(*MARKET, N0, m=1),
    "price-wrong-case-keyword": lambda o: o.priceByKouJumpDiffusion(*MARKET, N=N0),
    "price-unbound-no-self": lambda o: EuropeanOption.priceByKouJumpDiffusion(*MARKET, N0),
    "price-foreign-self": lambda o: EuropeanOption.priceByKouJumpDiffusion(object(), *MARKET, N0),
    "price-float-self": lambda o: KouEuropeanCall.priceByKouJumpDiffusion(1.0, *MARKET, N0),
    "ctor-no-args": lambda o: KouEuropeanCall(),
    "ctor-1-arg": lambda o: KouEuropeanPut(T0),
    "ctor-3-args": lambda o: KouEuropeanCall(T0, K0, 1.0),
    "ctor-keywords": lambda o: KouEuropeanPut(T=T0, K=K0),
    "ctor-one-keyword": lambda o: KouEuropeanCall(T0, K=K0),
    "factory-no-args": lambda o: create_european_put(),
    "factory-1-arg": lambda o: create_european_call(T0),
    "factory-3-args": lambda o: create_european_put(T0, K0, 1.0),
    "factory-T-twice": lambda o: create_european_call(T0, T=T0),
    "factory-unknown-keyword": lambda o: create_european_put(T=T0, strike=K0),
    "init-on-other-class": lambda o: KouEuropeanPut.__init__(KouEuropeanCall(T0, K0), T0, K0),
    "init-on-plain-object": lambda o: KouEuropeanCall.__init__(object(), T0, K0),
}


@pytest.mark.parametrize("call", list(BAD_CALLS.values()), ids=list(BAD_CALLS))
def test_wrong_calls_raise_type_error(call):
    with pytest.raises(TypeError):
        call(KouEuropeanCall(T0, K0))


def test_second_init_is_ignored():
    # pybind11 skips __init__ on an already constructed instance.
    call = KouEuropeanCall(T0, K0)
    before = bits(call.priceByKouJumpDiffusion(*MARKET, N0))
    assert call.__init__(2.0, 50.0) is None
    assert bits(call.priceByKouJumpDiffusion(*MARKET, N0)) == before
    assert before != bits(KouEuropeanCall(2.0, 50.0).priceByKouJumpDiffusion(*MARKET, N0))


# Objects that exist without ever having been constructed. Each snippet must
# end with a TypeError or a float, never kill the interpreter.
# Ways to reach an instance whose native object was never constructed, or to
# try: each must end in a float or a TypeError, never in a crash. Pricing such
# an instance is refused (pybind11 would otherwise hand the method raw
# storage); pickling and copying are refused on every protocol (protocols 0
# and 1 would reach pybind11's base-type constructor, which aborts, and PyPy
# would rebuild an unconstructed instance).
UNCONSTRUCTED = {
    "__new__": "KouEuropeanCall.__new__(KouEuropeanCall)",
    "subclass-__new__": "type('Sub', (KouEuropeanPut,), {}).__new__(type('Sub', (KouEuropeanPut,), {}))",
    "copy": "copy.copy(KouEuropeanPut(0.5, 98.0))",
    "deepcopy": "copy.deepcopy(KouEuropeanPut(0.5, 98.0))",
    "pickle-0": "pickle.loads(pickle.dumps(KouEuropeanPut(0.5, 98.0), 0))",
    "pickle-1": "pickle.loads(pickle.dumps(KouEuropeanPut(0.5, 98.0), 1))",
    "pickle-2": "pickle.loads(pickle.dumps(KouEuropeanPut(0.5, 98.0), 2))",
    "pickle-5": "pickle.loads(pickle.dumps(KouEuropeanPut(0.5, 98.0), 5))",
}

_SNIPPET = """
import copy, pickle
from jdpricer import KouEuropeanCall, KouEuropeanPut
try:
    option = {make}
    result = option.priceByKouJumpDiffusion(100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 3)
    assert type(result) is float
    print("float")
except TypeError:
    print("TypeError")
"""


@pytest.mark.parametrize("case", list(UNCONSTRUCTED), ids=list(UNCONSTRUCTED))
def test_unconstructed_instances_do_not_crash(case):
    # In a subprocess: a regression would kill the interpreter.
    proc = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(_SNIPPET.format(make=UNCONSTRUCTED[case]))],
        capture_output=True,
        text=True,
        timeout=120,
    )
    assert proc.returncode == 0, (proc.returncode, proc.stderr[-2000:])
    assert proc.stdout.strip() == "TypeError"


# ---------------------------------------------------------------------------
# Absurd models: always a float, never an exception
# ---------------------------------------------------------------------------

INF, NAN = math.inf, math.nan
EXTREMES = (NAN, INF, -INF, 0.0, -0.0, -1.0, 1e308, -1e308, 5e-324)
TROUBLE_SPOTS = {  # the engine's documented trouble spots
    "T": (-0.5, 1e-300),
    "K": (-98.0, 1e-300),
    "S": (-100.0,),
    "sigma": (-0.16, 1e-200),
    "lam": (-1.0, 1e6),
    "p": (2.0, -1.0, 1.0),
    "eta1": (1.0, 0.5, 1.0 + 2**-52),
    "eta2": (-1.0, -0.5),
    "r": (1e4, -1e4),
}
FIELDS = ("T", "K") + NAMES[:7]


def _model_rows():
    rows = []
    for field in FIELDS:
        for value in EXTREMES + TROUBLE_SPOTS.get(field, ()):
            rows.append((field, value))
    return rows


def _exp(x):
    try:
        return math.exp(x)
    except OverflowError:  # libm returns inf here; Python's math.exp raises
        return INF


def _check_parity(T, K, market, n):
    call = KouEuropeanCall(T, K).priceByKouJumpDiffusion(*market, n)
    put = KouEuropeanPut(T, K).priceByKouJumpDiffusion(*market, n)
    assert type(call) is float and type(put) is float
    S, r = market[0], market[1]
    parity = (_exp(-r * T) * K + call) - S
    if math.isnan(parity):
        assert math.isnan(put)
    else:
        assert bits(put) == bits(parity)
    return call, put


@pytest.mark.parametrize("n", (0, 3, 12))
@pytest.mark.parametrize("field, value", _model_rows(), ids=[f"{f}={v!r}" for f, v in _model_rows()])
def test_absurd_model_inputs_give_floats_and_parity(field, value, n):
    inputs = dict(zip(FIELDS, (T0, K0) + MARKET))
    inputs[field] = value
    _check_parity(inputs["T"], inputs["K"], tuple(inputs[f] for f in NAMES[:7]), n)


def test_documented_non_finite_cases():
    call = KouEuropeanCall(T0, K0)
    m = list(MARKET)
    for field, value in (("sigma", 0.0), ("S", NAN)):
        args = dict(zip(NAMES[:7], m))
        args[field] = value
        assert math.isnan(call.priceByKouJumpDiffusion(**args, n=N0))
    for T in (0.0, -1.0):
        for cls in (KouEuropeanCall, KouEuropeanPut):
            assert math.isnan(cls(T, K0).priceByKouJumpDiffusion(*MARKET, N0))


@pytest.mark.parametrize("n", (171, 172, 1000, 2**31 - 1))
def test_series_too_long_is_nan(n):
    for cls in (KouEuropeanCall, KouEuropeanPut):
        assert math.isnan(cls(T0, K0).priceByKouJumpDiffusion(*MARKET, n))
    assert math.isnan(_check_parity(T0, K0, MARKET, n)[1])


@pytest.mark.parametrize("n", (-1, -5, -170, -(2**31)))
def test_non_positive_series_length_keeps_the_jump_free_terms(n):
    for cls in (KouEuropeanCall, KouEuropeanPut):
        option = cls(T0, K0)
        assert bits(option.priceByKouJumpDiffusion(*MARKET, n)) == bits(
            option.priceByKouJumpDiffusion(*MARKET, 0)
        )


@pytest.mark.parametrize("n", (1, 30, 96, 97, 170))
def test_parity_across_series_lengths(n):
    # 96/97 straddle the engine's cached binomial rows.
    call, _ = _check_parity(T0, K0, MARKET, n)
    assert math.isfinite(call)
