"""Prices from jdpricer and jdpricer_batch do not depend on the thread's
rounding mode or on flush-to-zero / denormals-are-zero, and the caller's
floating-point environment (controls and flags) comes back unchanged.

The environment is set through the C library (ctypes): fesetround for the
rounding mode, fegetenv/fesetenv for the SSE control register, which glibc
keeps in the last four bytes of fenv_t on x86-64."""
import ctypes
import ctypes.util
import math
import platform
import struct

import numpy as np
import pytest

import jdpricer
import jdpricer_batch

pytestmark = pytest.mark.skipif(
    platform.machine() != "x86_64" or platform.system() != "Linux", reason="glibc on x86-64 only"
)

libm = ctypes.CDLL(ctypes.util.find_library("m"))
FE_TONEAREST, FE_DOWNWARD, FE_UPWARD, FE_TOWARDZERO = 0, 0x400, 0x800, 0xC00
FE_UNDERFLOW = 0x10
FENV_SIZE, MXCSR_OFFSET = 32, 28
FTZ_DAZ = 0x8040

MODEL = (0.16, 1.0, 0.4, 10.0, 5.0)
# (T, K, S, r, sigma, lam, p, eta1, eta2, n): the reference contract, a long
# series, and far out of the money with subnormal intermediates.
CASES = [
    (0.5, 98.0, 100.0, 0.05, *MODEL, 20),
    (0.5, 98.0, 100.0, 0.05, *MODEL, 170),
    (float.fromhex("0x1.f3e22f548497bp-1"), float.fromhex("0x1.6f012af7bc0ddp+10"), 100.0, 0.03,
     float.fromhex("0x1.39b4579b91b0fp-2"), float.fromhex("0x1.f46689315be7ap-4"),
     float.fromhex("0x1.069db81205c51p-5"), float.fromhex("0x1.384e2b1397afbp+6"),
     float.fromhex("0x1.83f516a7ca768p+6"), 22),
]
BOOK_T = np.array([[0.05], [0.5], [2.0]])
BOOK_K = np.linspace(60.0, 400.0, 12)


def get_env():
    buffer = ctypes.create_string_buffer(FENV_SIZE)
    assert libm.fegetenv(buffer) == 0
    return buffer


def mxcsr(env):
    return struct.unpack_from("<I", env.raw, MXCSR_OFFSET)[0]


def with_mxcsr(env, value):
    raw = bytearray(env.raw)
    struct.pack_into("<I", raw, MXCSR_OFFSET, value)
    return ctypes.create_string_buffer(bytes(raw), FENV_SIZE)


def all_prices():
    out = []
    for T, K, *rest in CASES:
        out.append(jdpricer.create_european_call(T, K).priceByKouJumpDiffusion(*rest))
        out.append(jdpricer.create_european_put(T, K).priceByKouJumpDiffusion(*rest))
    out.extend(jdpricer_batch.call_prices(BOOK_T, BOOK_K, 100.0, 0.03, *MODEL, 30).ravel().tolist())
    out.extend(jdpricer_batch.put_prices(BOOK_T, BOOK_K, 100.0, 0.03, *MODEL, 30).ravel().tolist())
    return out


def same_bits(a, b):
    return (math.isnan(a) and math.isnan(b)) or struct.pack("<d", a) == struct.pack("<d", b)


@pytest.mark.parametrize("rounding, extra_mxcsr", [
    (FE_UPWARD, 0), (FE_DOWNWARD, 0), (FE_TOWARDZERO, 0), (FE_TONEAREST, FTZ_DAZ),
], ids=["upward", "downward", "toward-zero", "ftz-daz"])
def test_prices_ignore_the_callers_environment_and_restore_it(rounding, extra_mxcsr):
    standard = all_prices()
    default = get_env()
    try:
        assert libm.fesetround(rounding) == 0
        libm.feraiseexcept(FE_UNDERFLOW)  # a flag of the caller's that must survive
        caller = with_mxcsr(get_env(), mxcsr(get_env()) | extra_mxcsr)
        assert libm.fesetenv(caller) == 0
        got = all_prices()
        after = get_env()
    finally:
        libm.fesetenv(default)
    assert mxcsr(after) == mxcsr(caller)
    assert after.raw[:2] == caller.raw[:2]  # the x87 control word
    mismatches = [i for i, (a, b) in enumerate(zip(standard, got)) if not same_bits(a, b)]
    assert not mismatches
