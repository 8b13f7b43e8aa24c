"""Writes data/long_grid_references.json: 30-digit prices (kou_fourier.py) of
the grid on which test_error_bounds.py measures how tight the bounds are at
long maturities: 12 maturities from 0.025 to 5.8 years (lam*T up to 5.8,
eta1*sigma*sqrt(T) up to 3.9) and 13 strikes from 60 to 145 under the
reference model. About half a minute; rerun after changing the grid."""
import json

import mpmath
import pathlib

from kou_fourier import kou_call_fourier, kou_put_fourier

S, R = 100.0, 0.05
MODEL = (0.16, 1.0, 0.4, 10.0, 5.0)
MATURITIES = (0.025, 0.1, 0.25, 0.5, 0.8, 1.2, 1.8, 2.4, 3.0, 3.8, 4.8, 5.8)
STRIKES = tuple(60.0 + 85.0 * i / 12 for i in range(13))


def main():
    rows = [[T, K, mpmath.nstr(kou_call_fourier(T, K, S, R, *MODEL), 32), mpmath.nstr(kou_put_fourier(T, K, S, R, *MODEL), 32)]
            for T in MATURITIES for K in STRIKES]
    out = {"S": S, "r": R, "model": MODEL, "rows": rows}
    path = pathlib.Path(__file__).parent / "data" / "long_grid_references.json"
    path.write_text(json.dumps(out, indent=1) + "\n")


if __name__ == "__main__":
    main()
