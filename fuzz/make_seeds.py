#!/usr/bin/env python3
"""Writes the seed corpus of price_fuzzer into fuzz/corpus/.

Every seed is one record in the layout price_fuzzer.cpp decodes: a mode
byte, the series length n (selector byte + int32), then nine doubles (selector
byte + 8 payload bytes), all little-endian. Most seeds use the raw selector
(0), so each field holds exactly the value written here. The prices start
from the reference contract T=0.5, K=98, S=100, r=0.05, sigma=0.16, lam=1,
p=0.4, eta1=10, eta2=5 and change one thing at a time.

A few seeds per mode use the mapped selector with fixed pseudo-random
payloads instead: every field then lies in the fuzzer's plausible range, and
mutating a payload keeps it there, which mutating raw IEEE bits rarely does.

The touch and barrier modes (8 and 9) have a layout of their own: after the
mode byte, two bytes that shape the book (its other maturities, the changed
q and r, which option and kind are priced alone and whether a long book is
priced on several workers; see price_fuzzer.cpp), then twelve fields of a
selector byte and 6 payload bytes, T, K, H, S, r, q, rebate, sigma, lam, p,
eta1, eta2. A raw payload is the top 48 bits of the double, so the seeds'
values are theirs truncated to 36 bits of mantissa (0.05 becomes
0.04999999999999..., 100 stays 100). They start from the contract T=0.5,
K=98, H=90, S=100, r=0.05, q=0.02, no rebate, sigma=0.2, lam=1, p=0.4,
eta1=10, eta2=5.

The American mode (10; the fuzzer reads byte 0 mod 11) has the same layout
with fields T1, T2, K, S, r, q, accuracy, sigma, lam, p, eta1, eta2. The
second shape byte is 0 in every seed (each priced again to a tenth of the
accuracy); the first picks puts or calls (bit 0), the European-route option's r' = 0
(puts) or q' = 0 (calls) instead of -r or -q (bit 1), its maturity T2
instead of T1 (bit 2), and what the last option is (bits 3-4: T = 0, q
negated, deep in the money, T = 1e-31 T1). Its seeds start from T1=0.5,
T2=1.5, K=110, S=100, r=0.05, q=0.02, accuracy=1e-4, sigma=0.2, lam=1,
p=0.4, eta1=10, eta2=5.

Run again after changing the layout; the output is deterministic.
"""
import math
import pathlib
import random
import struct

MODE_PRICE, MODE_GREEKS, MODE_UPSILON, MODE_HH, MODE_INTEGRAL, MODE_TABLES = 0, 3, 4, 5, 6, 7
MODE_TOUCH, MODE_BARRIER, MODE_AMERICAN = 8, 9, 10
RAW = 0            # n and doubles: the bits as written
N_MIDDLE = 1       # n: the mode's middle range, chosen by the payload
N_SMALL = 2        # n: the mode's small range, chosen by the payload
MAPPED = 2         # doubles: the field's plausible range, chosen by the payload
INT_MIN, INT_MAX = -(2**31), 2**31 - 1
NAN = float("nan")
INF = float("inf")

REFERENCE = dict(T=0.5, K=98.0, S=100.0, r=0.05, sigma=0.16, lam=1.0, p=0.4, eta1=10.0,
                 eta2=5.0)
PRICE_FIELDS = ("T", "K", "S", "r", "sigma", "lam", "p", "eta1", "eta2")

PATH_REFERENCE = dict(T=0.5, K=98.0, H=90.0, S=100.0, r=0.05, q=0.02, rebate=0.0, sigma=0.2,
                      lam=1.0, p=0.4, eta1=10.0, eta2=5.0)
PATH_FIELDS = ("T", "K", "H", "S", "r", "q", "rebate", "sigma", "lam", "p", "eta1", "eta2")
# The second maturities of the path books are T times one of these factors,
# picked by the low three bits (and the next three) of the first shape byte:
# 1, 0.5, 2, 1 + 2^-52, 0, 1e-31, 0.1, 3.
EQUAL, HALF, DOUBLE, NEXT, ZERO, TINY = 0, 1, 2, 3, 4, 5
Q_ZERO, R_NEGATED = 0x40, 0x80    # first shape byte: q' = 0 and r' = -r
LONG_BOOK = 0x00                  # second shape byte, bits 3-5 clear: a long book
SHORT_BOOK = 0x08
MOVED_MATURITIES = 0x40           # the long book's copies at maturities of their own


AMERICAN_REFERENCE = dict(T1=0.5, T2=1.5, K=110.0, S=100.0, r=0.05, q=0.02, accuracy=1e-4,
                          sigma=0.2, lam=1.0, p=0.4, eta1=10.0, eta2=5.0)
AMERICAN_FIELDS = ("T1", "T2", "K", "S", "r", "q", "accuracy", "sigma", "lam", "p", "eta1",
                   "eta2")
# The American mode's shape byte.
PUTS, CALLS = 0x00, 0x01
ZERO_RATE = 0x02                  # the European-route option: r' = 0 (puts), q' = 0 (calls)
ON_T2 = 0x04                      # the European-route option at T2
LAST_AT_EXPIRY, LAST_Q_NEGATED, LAST_DEEP, LAST_TINY_T = 0x00, 0x08, 0x10, 0x18


def record(mode, n, values):
    assert len(values) <= 9
    values = list(values) + [0.0] * (9 - len(values))
    out = struct.pack("<BBi", mode, RAW, n)
    for v in values:
        out += struct.pack("<Bd", RAW, v)
    assert len(out) == 87
    return out


def mapped(mode, n_selector, n_payload, rng):
    """A record whose nine doubles are drawn from their plausible ranges."""
    out = struct.pack("<BBI", mode, n_selector, n_payload)
    for _ in range(9):
        out += struct.pack("<B", MAPPED) + rng.randbytes(8)
    assert len(out) == 87
    return out


def path_record(mode, maturities, shape1, **changes):
    """A touch or barrier record with raw fields, maturities = (a, b, flags)."""
    a, b, flags = maturities
    contract = dict(PATH_REFERENCE, **changes)
    out = struct.pack("<BBB", mode, a | b << 3 | flags, shape1)
    for field in PATH_FIELDS:
        out += struct.pack("<B", RAW) + struct.pack("<d", contract[field])[2:]
    assert len(out) == 87
    return out


def path_mapped(mode, shape0, shape1, rng):
    """A path record whose twelve fields are drawn from their plausible ranges."""
    out = struct.pack("<BBB", mode, shape0, shape1)
    for _ in PATH_FIELDS:
        out += struct.pack("<B", MAPPED) + rng.randbytes(6)
    assert len(out) == 87
    return out


def american_record(shape0, **changes):
    """An American record with raw fields from the reference."""
    contract = dict(AMERICAN_REFERENCE, **changes)
    out = struct.pack("<BBB", MODE_AMERICAN, shape0, 0)
    for field in AMERICAN_FIELDS:
        out += struct.pack("<B", RAW) + struct.pack("<d", contract[field])[2:]
    assert len(out) == 87
    return out


def price(n, **changes):
    contract = dict(REFERENCE, **changes)
    return record(MODE_PRICE, n, [contract[f] for f in PRICE_FIELDS])


def seeds():
    yield "price-ref-n0", price(0)
    yield "price-ref-n1", price(1)
    yield "price-ref-n5", price(5)
    yield "price-ref-n10", price(10)
    yield "price-ref-n12", price(12)
    yield "price-ref-n171", price(171)
    yield "price-n-int-min", price(INT_MIN)
    yield "price-n-int-max", price(INT_MAX)
    yield "price-spot-nan", price(5, S=NAN)
    yield "price-strike-inf", price(5, K=INF)
    yield "price-sigma-zero", price(5, sigma=0.0)
    yield "price-maturity-zero", price(5, T=0.0)
    yield "price-maturity-negative", price(5, T=-0.5)
    yield "price-eta1-one", price(5, eta1=1.0)
    yield "price-p-above-one", price(5, p=1.5)
    yield "price-p-negative", price(5, p=-0.2)
    yield "price-no-jumps", price(10, lam=0.0)

    # The reference contract's first Upsilon: stock measure, eta1 - 1, eta2 + 1.
    r, sigma, lam, p, eta1, eta2, T = 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 0.5
    zeta = p * eta1 / (eta1 - 1) + (1 - p) * eta2 / (eta2 + 1) - 1
    mu1 = (r + 0.5 * sigma * sigma) - lam * zeta
    lam1 = (1 + zeta) * lam
    p1 = (p / (1 + zeta)) * (eta1 / (eta1 - 1))
    a = math.log(98.0 / 100.0)
    upsilon = [mu1, sigma, lam1, p1, eta1 - 1, eta2 + 1, a, T]
    yield "upsilon-ref-n5", record(MODE_UPSILON, 5, upsilon)
    yield "upsilon-ref-n100", record(MODE_UPSILON, 100, upsilon)

    # A long series whose late terms carry weight (lam T = 120), so the
    # series' last rows show in the bits.
    yield "upsilon-n100-heavy-jumps", record(MODE_UPSILON, 100,
                                             [0.03, 0.16, 30.0, 0.4, 10.0, 5.0, 0.0, 4.0])

    yield "hh-n10-positive", record(MODE_HH, 10, [1.5])
    yield "hh-n40-negative", record(MODE_HH, 40, [-3.0])
    yield "hh-n-int-max", record(MODE_HH, INT_MAX, [-30.0])
    yield "hh-n-below-minus-one", record(MODE_HH, -2, [0.25])

    # The upward integral of the reference contract: alpha = -eta1,
    # beta = -1/(sigma sqrt T), delta = sqrt T * (-sigma eta1).
    s = sigma * math.sqrt(T)
    c = a - mu1 * T
    yield "integral-up-n6", record(MODE_INTEGRAL, 6,
                                   [c, -eta1, -1.0 / s, math.sqrt(T) * (-sigma * eta1)])
    yield "integral-down-n6", record(MODE_INTEGRAL, 6,
                                     [c, eta2, 1.0 / s, math.sqrt(T) * (-sigma * eta2)])
    yield "integral-n-negative", record(MODE_INTEGRAL, -3, [0.1, 2.0, 0.5, 0.3])
    yield "tables-170", record(MODE_TABLES, 169,
                               [c, -eta1, -1.0 / s, math.sqrt(T) * (-sigma * eta1), 2.0])

    # Plausible-range seeds. The n payloads pick, from the decoder's ranges:
    # small n = -3 + payload % 16 (or % 18) and, for Upsilon's middle range,
    # payload % 8 == 0 for a long series past the cached binomial rows.
    rng = random.Random(20261207)
    yield "mapped-price-n8", mapped(MODE_PRICE, N_SMALL, 11, rng)
    yield "mapped-price-n12", mapped(MODE_PRICE, N_SMALL, 15, rng)
    yield "mapped-price-n30", mapped(MODE_PRICE, N_MIDDLE, 17 << 4 | 1, rng)
    yield "mapped-upsilon-n10", mapped(MODE_UPSILON, N_SMALL, 13, rng)
    yield "mapped-upsilon-long", mapped(MODE_UPSILON, N_MIDDLE, 6 << 3, rng)
    yield "mapped-hh-n14", mapped(MODE_HH, N_SMALL, 17, rng)
    yield "mapped-integral-n9", mapped(MODE_INTEGRAL, N_SMALL, 12, rng)
    yield "mapped-tables-120", mapped(MODE_TABLES, N_SMALL, 119, rng)

    # The Greeks: the reference contract, the jump-free and long series, and
    # plausible-range models for the comparison with the dual-number path.
    def greeks(n, **changes):
        contract = dict(REFERENCE, **changes)
        return record(MODE_GREEKS, n, [contract[f] for f in PRICE_FIELDS])

    yield "greeks-ref-n5", greeks(5)
    yield "greeks-ref-n0", greeks(0)
    yield "greeks-no-jumps", greeks(8, lam=0.0)
    yield "greeks-ref-n171", greeks(171)
    yield "greeks-spot-nan", greeks(3, S=NAN)
    yield "mapped-greeks-n6", mapped(MODE_GREEKS, N_SMALL, 9, rng)
    yield "mapped-greeks-n10", mapped(MODE_GREEKS, N_SMALL, 13, rng)

    yield from path_seeds()
    yield from american_seeds()


def path_seeds():
    """Touches (K is the second barrier) and barriers, from the reference."""
    same = (EQUAL, EQUAL, 0)
    mixed = (HALF, DOUBLE, 0)
    touch = lambda name, maturities, shape1, **changes: (  # noqa: E731
        f"touch-{name}", path_record(MODE_TOUCH, maturities, shape1, **changes))
    barrier = lambda name, maturities, shape1, **changes: (  # noqa: E731
        f"barrier-{name}", path_record(MODE_BARRIER, maturities, shape1, **changes))

    yield touch("ref", same, SHORT_BOOK, K=110.0)
    yield touch("ref-mixed-maturities", mixed, SHORT_BOOK | 1, K=110.0)
    yield touch("both-barriers-down", (NEXT, ZERO, Q_ZERO), SHORT_BOOK | 2, K=95.0)
    yield touch("negative-rate", (HALF, EQUAL, R_NEGATED), SHORT_BOOK, r=-0.03, K=120.0)
    yield touch("short-maturity", (TINY, EQUAL, 0), SHORT_BOOK, K=100.0 + 1e-9)
    yield touch("long-book", mixed, LONG_BOOK, K=110.0)
    yield touch("long-book-moved", mixed, LONG_BOOK | MOVED_MATURITIES | 1, K=110.0)
    yield touch("no-jumps", mixed, SHORT_BOOK, lam=0.0, K=110.0)
    yield touch("up-jumps-only", same, SHORT_BOOK, p=1.0, K=110.0)
    yield touch("sigma-zero", same, SHORT_BOOK, sigma=0.0, K=110.0)
    yield touch("spot-nan", same, SHORT_BOOK, S=NAN, K=110.0)
    yield touch("maturity-negative", same, SHORT_BOOK, T=-0.5, K=110.0)
    yield touch("eta1-one", same, SHORT_BOOK, eta1=1.0, K=110.0)
    yield touch("barrier-at-spot", same, SHORT_BOOK, H=100.0, K=100.0)

    yield barrier("ref", mixed, SHORT_BOOK)
    yield barrier("ref-rebate", mixed, SHORT_BOOK | 2, rebate=3.0)
    yield barrier("up-rebate", (HALF, EQUAL, Q_ZERO), SHORT_BOOK | 7, H=112.0, K=105.0,
                  rebate=5.0)
    yield barrier("negative-rate-rebate", mixed, SHORT_BOOK | 3, r=-0.02, q=0.05, rebate=2.0)
    yield barrier("q-zero", (NEXT, EQUAL, R_NEGATED), SHORT_BOOK | 4, q=0.0)
    yield barrier("maturity-zero", (ZERO, TINY, 0), SHORT_BOOK | 1, rebate=1.0)
    yield barrier("long-book", mixed, LONG_BOOK | 3, rebate=1.0)
    yield barrier("long-book-moved", mixed, LONG_BOOK | MOVED_MATURITIES | 4)
    yield barrier("no-jumps", mixed, SHORT_BOOK, lam=0.0, rebate=1.0)
    yield barrier("sigma-zero", same, SHORT_BOOK, sigma=0.0)
    yield barrier("strike-nan", same, SHORT_BOOK, K=NAN)
    yield barrier("rebate-nan", same, SHORT_BOOK, rebate=NAN)
    yield barrier("far-strike", mixed, SHORT_BOOK | 5, K=300.0, H=80.0)

    # Plausible-range seeds; an rng of their own leaves the other seeds' bytes
    # as they were.
    rng = random.Random(20261208)
    for i in range(3):
        yield f"mapped-touch-{i}", path_mapped(MODE_TOUCH, rng.randrange(256),
                                               SHORT_BOOK | rng.randrange(8), rng)
    for i in range(4):
        yield f"mapped-barrier-{i}", path_mapped(MODE_BARRIER, rng.randrange(256),
                                                 SHORT_BOOK | rng.randrange(8), rng)


def american_seeds():
    """American puts and calls, from the reference."""
    def american(name, shape0, **changes):
        return f"american-{name}", american_record(shape0, **changes)

    yield american("put-ref", PUTS)
    yield american("call-ref", CALLS | LAST_DEEP, K=90.0, q=0.06)
    yield american("put-deep", PUTS | LAST_DEEP | ZERO_RATE | ON_T2, K=125.0)
    yield american("call-q-zero", CALLS | LAST_Q_NEGATED | ZERO_RATE, q=0.0)
    yield american("put-negative-rate", PUTS | LAST_Q_NEGATED | ON_T2, r=-0.01)
    yield american("call-tiny-maturity", CALLS | LAST_TINY_T, K=95.0, r=0.0, q=0.04)
    yield american("put-coarse", PUTS | LAST_DEEP, accuracy=1e-3, T1=2.5, T2=0.1)
    yield american("call-fine", CALLS | ON_T2, accuracy=1e-5, T1=0.2, T2=1.0, q=0.08,
                   lam=3.0, p=0.7)
    yield american("put-no-jumps", PUTS, lam=0.0)
    yield american("put-sigma-zero", PUTS, sigma=0.0)
    yield american("call-eta1-one", CALLS, eta1=1.0)
    yield american("put-spot-nan", PUTS, S=NAN)
    yield american("call-maturity-negative", CALLS | LAST_Q_NEGATED, T2=-0.5)
    yield american("put-accuracy-nan", PUTS | ZERO_RATE, accuracy=NAN)
    yield american("call-accuracy-zero", CALLS | ZERO_RATE | LAST_DEEP, accuracy=0.0)
    yield american("put-strike-inf", PUTS, K=INF)
    yield american("put-long-maturity", PUTS | ZERO_RATE, T2=8.0)

    # Plausible-range seeds, with an rng of their own.
    rng = random.Random(20261209)
    for i in range(4):
        out = struct.pack("<BBB", MODE_AMERICAN, rng.randrange(256), 0)
        for _ in AMERICAN_FIELDS:
            out += struct.pack("<B", MAPPED) + rng.randbytes(6)
        assert len(out) == 87
        yield f"mapped-american-{i}", out


def main():
    corpus = pathlib.Path(__file__).resolve().parent / "corpus"
    corpus.mkdir(exist_ok=True)
    for old in corpus.glob("*.bin"):
        old.unlink()
    for name, data in seeds():
        (corpus / f"{name}.bin").write_bytes(data)


if __name__ == "__main__":
    main()
