"""European prices and error bounds of a fixed grid against committed digests.

tests/data/golden_digests.txt holds the SHA-256 of each section's values
(little-endian IEEE doubles in grid order, every NaN as 0x7ff8000000000000);
tests/cpp/golden_digest_test.cpp checks the same file from the C++ build.
Both define the grid by the same literal lists, walked in the same order:
regime, then series length, then maturity, then strike. A fault that moves
any value moves the digest of its section, and the digest's name says which.
"""
import hashlib
from pathlib import Path

import numpy as np

import jdpricer
import jdpricer_batch

DATA = Path(__file__).resolve().parents[1] / "data" / "golden_digests.txt"
REGENERATE = ".venv-cpython/bin/python tools/regenerate_golden_digests.py"

# The grid (the same lists as tests/cpp/golden_digest_test.cpp).
SPOT = 100.0
REGIMES = [  # name, r, sigma, lam, p, eta1, eta2
    ("no_jumps", 0.05, 0.2, 0.0, 0.5, 10.0, 5.0),
    ("ordinary", 0.05, 0.16, 1.0, 0.4, 10.0, 5.0),
    ("heavy_jumps", 0.03, 0.2, 8.0, 0.3, 3.5, 2.5),
    ("small_sigma", 0.02, 0.01, 1.0, 0.5, 20.0, 15.0),
    ("large_sigma", 0.05, 0.9, 1.0, 0.4, 10.0, 5.0),
    ("up_jumps_only", 0.0, 0.25, 2.0, 1.0, 6.0, 4.0),
    ("down_jumps_only", -0.01, 0.3, 2.0, 0.0, 6.0, 4.0),
]
SERIES_LENGTHS = [0, 3, 12, 40, 170, "auto"]
MATURITIES = [0.01, 0.5, 2.0, 10.0]
STRIKES = [40.0, 95.0, 105.0, 250.0]

# One series length's book: every maturity, then every strike within it.
T_COLUMN = np.repeat(MATURITIES, len(STRIKES))
K_COLUMN = np.tile(STRIKES, len(MATURITIES))


def batch_values(r, model, n):
    return {
        "call": jdpricer_batch.call_prices(T_COLUMN, K_COLUMN, SPOT, r, *model, n),
        "put": jdpricer_batch.put_prices(T_COLUMN, K_COLUMN, SPOT, r, *model, n),
        "call_bound": jdpricer_batch.call_error_bounds(T_COLUMN, K_COLUMN, SPOT, r, *model, n),
        "put_bound": jdpricer_batch.put_error_bounds(T_COLUMN, K_COLUMN, SPOT, r, *model, n),
    }


def single_option_values(r, model, n):
    """The prices through jdpricer, one option at a time; "auto" is each
    maturity's explicit series length, which the batch prices equal bit for bit."""
    if n == "auto":
        lengths = jdpricer_batch.series_lengths(T_COLUMN, *model).tolist()
    else:
        lengths = [n] * len(T_COLUMN)
    rows = list(zip(T_COLUMN.tolist(), K_COLUMN.tolist(), lengths))
    return {
        kind: np.array([create(T, K).priceByKouJumpDiffusion(SPOT, r, *model, m)
                        for T, K, m in rows])
        for kind, create in (("call", jdpricer.create_european_call),
                             ("put", jdpricer.create_european_put))
    }


def sha256(values):
    values = np.where(np.isnan(values), np.nan, values)  # which NaN an operation keeps is not fixed
    return hashlib.sha256(values.astype("<f8").tobytes()).hexdigest()


def grid_digests(values=batch_values):
    """{"regime.kind": digest} of the grid, each regime's sections in order."""
    digests = {}
    for name, r, *model in REGIMES:
        sections = {}
        for n in SERIES_LENGTHS:
            for kind, part in values(r, model, n).items():
                sections.setdefault(kind, []).append(part)
        for kind, parts in sections.items():
            digests[f"{name}.{kind}"] = sha256(np.concatenate(parts))
    return digests


def read_digests(path=DATA):
    with open(path) as handle:
        return dict(line.split() for line in handle if line.strip() and not line.startswith("#"))


def check(computed, committed):
    moved = [f"{name}: committed {committed.get(name)}, computed {digest}"
             for name, digest in computed.items() if committed.get(name) != digest]
    assert not moved, (f"sections of {DATA} moved (if intended, rebuild the module "
                       f"and run {REGENERATE}):\n" + "\n".join(moved))


def test_batch_prices_and_bounds_match_the_committed_digests():
    computed, committed = grid_digests(), read_digests()
    check(computed, committed)
    assert sorted(committed) == sorted(computed), f"{DATA} names sections the grid does not have"


def test_single_option_prices_match_the_committed_digests():
    check(grid_digests(single_option_values), read_digests())
