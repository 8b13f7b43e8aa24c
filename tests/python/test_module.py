"""The Python face of the pricer: registration, conversions, errors, bits."""
import math
import platform
import shutil
import struct
import subprocess

import pytest

import jdpricer
from jdpricer import (
    EuropeanOption,
    KouEuropeanCall,
    KouEuropeanPut,
    Option,
    create_european_call,
    create_european_put,
)

# T = 0.5, K = 98; S = 100, r = 0.05, sigma = 0.16, lam = 1, p = 0.4, eta1 = 10, eta2 = 5.
MARKET = (100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0)
NAMES = ("S", "r", "sigma", "lam", "p", "eta1", "eta2", "n")


def bits(x):
    return struct.pack("<d", x)


@pytest.mark.parametrize(
    "cls, factory", [(KouEuropeanCall, create_european_call), (KouEuropeanPut, create_european_put)]
)
def test_factories_and_constructors_agree_to_the_bit(cls, factory):
    options = [
        cls(0.5, 100.0),
        factory(0.5, 100.0),
        factory(T=0.5, K=100.0),
        factory(K=100.0, T=0.5),
        factory(0.5, K=100.0),
    ]
    for n in (0, 3, 10):
        prices = {bits(o.priceByKouJumpDiffusion(*MARKET, n)) for o in options}
        assert len(prices) == 1
    assert all(type(o) is cls for o in options)


def test_factory_types_and_class_tree():
    put = create_european_put(0.5, 98.0)
    assert type(put) is KouEuropeanPut
    assert isinstance(put, EuropeanOption) and isinstance(put, Option)
    assert issubclass(KouEuropeanCall, EuropeanOption) and issubclass(EuropeanOption, Option)
    assert KouEuropeanCall.__mro__[1:3] == (EuropeanOption, Option)
    assert Option.__mro__[1].__name__ == "pybind11_object"


def test_module_attributes_are_the_four_classes_and_two_factories():
    public = {name for name in dir(jdpricer) if not name.startswith("_")}
    assert public == {
        "Option",
        "EuropeanOption",
        "KouEuropeanCall",
        "KouEuropeanPut",
        "create_european_call",
        "create_european_put",
    }


@pytest.mark.parametrize("cls", [Option, EuropeanOption])
def test_abstract_classes_cannot_be_instantiated(cls):
    with pytest.raises(TypeError, match=r": No constructor defined!$"):
        cls()


def test_method_lives_on_european_option_only():
    assert not hasattr(Option, "priceByKouJumpDiffusion")
    assert "priceByKouJumpDiffusion" in vars(EuropeanOption)
    assert "priceByKouJumpDiffusion" not in vars(KouEuropeanCall)
    assert KouEuropeanCall.priceByKouJumpDiffusion is EuropeanOption.priceByKouJumpDiffusion


@pytest.mark.parametrize(
    "call",
    [
        lambda: KouEuropeanCall(T=0.5, K=98.0),
        lambda: KouEuropeanCall(0.5),
        lambda: KouEuropeanCall(0.5, 98.0, 1.0),
        lambda: KouEuropeanPut("0.5", 98.0),
        lambda: create_european_call(0.5),
        lambda: create_european_call(T=0.5, strike=98.0),
        lambda: KouEuropeanCall(0.5, 98.0).priceByKouJumpDiffusion(*MARKET),
        lambda: KouEuropeanCall(0.5, 98.0).priceByKouJumpDiffusion(*MARKET, 10.0),
        lambda: KouEuropeanCall(0.5, 98.0).priceByKouJumpDiffusion(*MARKET, 2**31),
        lambda: KouEuropeanCall(0.5, 98.0).priceByKouJumpDiffusion(*MARKET, -(2**31) - 1),
        lambda: KouEuropeanCall(0.5, 98.0).priceByKouJumpDiffusion(*MARKET, n=3, m=4),
    ],
    ids=[
        "ctor-keywords",
        "ctor-one-arg",
        "ctor-three-args",
        "ctor-string",
        "factory-one-arg",
        "factory-bad-keyword",
        "seven-pricing-args",
        "float-n",
        "n-2**31",
        "n-below-int32",
        "unknown-keyword",
    ],
)
def test_bad_calls_raise_type_error(call):
    with pytest.raises(TypeError):
        call()


def test_conversions_of_numbers():
    call = KouEuropeanCall(0.5, 98.0)
    as_float = call.priceByKouJumpDiffusion(100.0, *MARKET[1:], 10)
    as_int = call.priceByKouJumpDiffusion(100, *MARKET[1:], 10)
    assert bits(as_float) == bits(as_int)
    # int constructor arguments are the same doubles
    assert bits(KouEuropeanCall(1, 98).priceByKouJumpDiffusion(*MARKET, 4)) == bits(
        KouEuropeanCall(1.0, 98.0).priceByKouJumpDiffusion(*MARKET, 4)
    )
    for n in (2**31 - 1, -(2**31)):
        assert isinstance(call.priceByKouJumpDiffusion(*MARKET, n), float)


def test_keyword_pricing_in_any_order_equals_positional():
    put = KouEuropeanPut(0.5, 98.0)
    args = MARKET + (7,)
    positional = put.priceByKouJumpDiffusion(*args)
    kwargs = dict(zip(NAMES, args))
    for order in (NAMES, NAMES[::-1], ("n", "p", "S", "eta2", "lam", "r", "eta1", "sigma")):
        assert bits(put.priceByKouJumpDiffusion(**{k: kwargs[k] for k in order})) == bits(positional)
    assert bits(put.priceByKouJumpDiffusion(*args[:3], **dict(zip(NAMES[3:], args[3:])))) == bits(
        positional
    )


# The reference contract's prices as exact doubles, the engine's bits.
REFERENCE = {
    0: (5.45374864, 1.03412002),
    1: (8.31115305, 3.89152443),
    5: (9.14720979, 4.72758116),
    10: (9.14731730, 4.72768868),
}


@pytest.mark.parametrize("n", sorted(REFERENCE))
def test_reference_prices(n):
    call = create_european_call(0.5, 98.0).priceByKouJumpDiffusion(*MARKET, n)
    put = create_european_put(0.5, 98.0).priceByKouJumpDiffusion(*MARKET, n)
    assert call == pytest.approx(REFERENCE[n][0], abs=5e-9)
    assert put == pytest.approx(REFERENCE[n][1], abs=5e-9)
    # parity to the bit, as the put computes it
    assert bits(put) == bits((math.exp(-0.05 * 0.5) * 98.0 + call) - 100.0)


def test_black_scholes_limit():
    call = KouEuropeanCall(0.5, 98.0).priceByKouJumpDiffusion(100.0, 0.05, 0.16, 0.0, 0.4, 10.0, 5.0, 10)
    assert call == pytest.approx(6.96828469, abs=5e-9)


def test_non_finite_results_come_back_as_floats():
    call = KouEuropeanCall(0.5, 98.0)
    assert math.isnan(call.priceByKouJumpDiffusion(*MARKET, 171))
    assert math.isnan(call.priceByKouJumpDiffusion(*MARKET, 2**31 - 1))
    assert math.isnan(call.priceByKouJumpDiffusion(100.0, 0.05, 0.0, 1.0, 0.4, 10.0, 5.0, 3))
    assert math.isnan(KouEuropeanPut(0.0, 98.0).priceByKouJumpDiffusion(*MARKET, 3))
    assert math.isnan(call.priceByKouJumpDiffusion(float("nan"), *MARKET[1:], 3))
    # S = 0: log(K/S) = +inf, U1 and U2 tend to 0 and the discounted strike term remains
    assert not math.isfinite(call.priceByKouJumpDiffusion(100.0, 0.05, 0.16, 1.0, 0.4, 1.0, 5.0, 3))


def test_python_subclasses():
    class Scaled(KouEuropeanCall):
        def __init__(self, T, K, scale):
            super().__init__(T, K)
            self.scale = scale

        def priceByKouJumpDiffusion(self, *args):
            return self.scale * super().priceByKouJumpDiffusion(*args)

    scaled = Scaled(0.5, 98.0, 2.0)
    base = KouEuropeanCall(0.5, 98.0).priceByKouJumpDiffusion(*MARKET, 5)
    assert scaled.priceByKouJumpDiffusion(*MARKET, 5) == 2.0 * base
    assert isinstance(scaled, EuropeanOption)

    class Forgetful(KouEuropeanPut):
        def __init__(self):
            pass

    with pytest.raises(TypeError):
        Forgetful()


def test_instances_expose_no_data():
    call = KouEuropeanCall(0.5, 98.0)
    assert not hasattr(call, "K") and not hasattr(call, "T")
    if platform.python_implementation() == "CPython":
        # No per-instance dictionary. (PyPy's cpyext gives every instance of
        # an extension type one, so new attributes stick there.)
        with pytest.raises(AttributeError):
            call.T = 1.0


@pytest.mark.skipif(shutil.which("nm") is None, reason="binutils' nm is not installed")
def test_extension_exports_its_init_symbol_alone():
    out = subprocess.run(
        ["nm", "-D", "--defined-only", jdpricer.__file__], check=True, capture_output=True, text=True
    ).stdout
    symbols = [line.split()[-1] for line in out.splitlines() if line.strip()]
    assert symbols == ["PyInit_jdpricer"], symbols


def test_interpreter_is_reported():
    # The run's header names the interpreter; this guards the module's own build tag.
    suffix = jdpricer.__file__.rsplit("/", 1)[-1]
    if platform.python_implementation() == "PyPy":
        assert "pypy" in suffix
    else:
        assert "cpython" in suffix
