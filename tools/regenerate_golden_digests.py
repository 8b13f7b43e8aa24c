"""Recomputes tests/data/golden_digests.txt and says which digests moved.

    .venv-cpython/bin/python tools/regenerate_golden_digests.py

The values come from the installed jdpricer_batch, so after a deliberate
change to the engine's arithmetic, rebuild and reinstall the module first.
The grid and the hashing are those of tests/python/test_golden_digests.py.
"""
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "python"))

import test_golden_digests as golden  # noqa: E402

HEADER = """\
# SHA-256 digests of European prices and error bounds on a fixed grid, one
# line per section: "<regime>.<kind> <digest>", kind one of call, put (the
# closed-form prices) and call_bound, put_bound (their error bounds).
#
# Grid: spot 100; for each regime of REGIMES (name, r, sigma, lam, p, eta1,
# eta2), for each series length of SERIES_LENGTHS ("auto": each maturity's own
# length), for each maturity of MATURITIES, for each strike of STRIKES, one
# option. The lists are in tests/python/test_golden_digests.py and, the same,
# in tests/cpp/golden_digest_test.cpp; both check this file.
# A section's digest is the SHA-256 of its values in that order, each as a
# little-endian IEEE double, every NaN written as 0x7ff8000000000000. The
# values depend on the C maths library of the machine (exp, erfc, pow, ...).
#
# Regenerate (after rebuilding and reinstalling the module):
#   .venv-cpython/bin/python tools/regenerate_golden_digests.py
"""


def main():
    old = golden.read_digests() if golden.DATA.exists() else {}
    new = golden.grid_digests()
    golden.DATA.parent.mkdir(exist_ok=True)
    golden.DATA.write_text(HEADER + "".join(f"{name} {digest}\n" for name, digest in new.items()))
    moved = [name for name in new.keys() | old.keys() if old.get(name) != new.get(name)]
    for name in sorted(moved):
        print(f"{name}: {old.get(name, '(none)')} -> {new.get(name, '(none)')}")
    if not moved:
        print("no value moved")


if __name__ == "__main__":
    main()
