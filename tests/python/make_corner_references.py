"""Writes data/corner_references.json: 30-digit prices where the cosine
series gives up, for test_fourier_corners.py (minutes of mpmath; rerun after
changing a case).

* sigma = 0 from kou_pure_jump.py (jump counts and incomplete gammas);
* maturities below 1e-5 years from kou_fourier.py (Lewis's formula).
"""
import json

import mpmath
import pathlib

from kou_fourier import kou_call_fourier, kou_put_fourier
from kou_pure_jump import kou_pure_jump_call, kou_pure_jump_put

S, R = 100.0, 0.05
MODEL = (1.0, 0.4, 10.0, 5.0)  # lam, p, eta1, eta2
PURE_JUMP = [(1e-6, 100.001), (0.5, 80.0), (0.5, 100.0), (2.0, 120.0)]
TINY_T = [(T, K, sigma) for T in (1e-7, 3e-6) for K in (99.9, 100.0, 100.5) for sigma in (0.16, 0.02)]


def main():
    out = {"S": S, "r": R, "model": MODEL, "pure_jump": [], "tiny_T": []}
    for T, K in PURE_JUMP:
        out["pure_jump"].append([T, K, mpmath.nstr(kou_pure_jump_call(T, K, S, R, *MODEL), 32),
                                 mpmath.nstr(kou_pure_jump_put(T, K, S, R, *MODEL), 32)])
    for T, K, sigma in TINY_T:
        out["tiny_T"].append([T, K, sigma, mpmath.nstr(kou_call_fourier(T, K, S, R, sigma, *MODEL), 32),
                              mpmath.nstr(kou_put_fourier(T, K, S, R, sigma, *MODEL), 32)])
    path = pathlib.Path(__file__).parent / "data" / "corner_references.json"
    path.write_text(json.dumps(out, indent=1) + "\n")


if __name__ == "__main__":
    main()
