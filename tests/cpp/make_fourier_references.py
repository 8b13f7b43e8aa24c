"""Print the reference rows of fourier_pricer_test.cpp.

Each row is a contract and its call and put prices from the mpmath Lewis
pricer of tests/python/kou_fourier.py at 30 digits, rounded to 17 significant
digits. Run from anywhere with an interpreter that has mpmath; paste the
output into the test.
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
from kou_fourier import kou_call_fourier, kou_put_fourier  # noqa: E402

# T, K, S, r, sigma, lam, p, eta1, eta2
CONTRACTS = [
    (0.5, 98.0, 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0),     # the reference contract
    (2.0, 98.0, 100.0, 0.05, 0.5, 1.0, 0.4, 20.0, 20.0),     # eta*sigma*sqrt(T) = 14
    (50.0, 98.0, 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0),    # lam*T = 50
    (5.0, 100.0, 100.0, 0.05, 0.5, 1.0, 0.4, 50.0, 50.0),    # eta*sigma*sqrt(T) = 56
    (1.0, 200.0, 100.0, 0.03, 0.3, 2.0, 0.3, 25.0, 25.0),    # deep out of the money call
    (1.0, 50.0, 100.0, 0.03, 0.3, 2.0, 0.7, 25.0, 25.0),     # deep in the money call
    (0.25, 100.0, 100.0, 0.0, 0.05, 4.0, 0.5, 3.0, 4.0),     # eta*sigma*sqrt(T) = 0.1
    (3.0, 120.0, 100.0, 0.02, 0.25, 3.0, 1.0, 1.5, 30.0),    # up jumps only, heavy tail
    (3.0, 80.0, 100.0, 0.02, 0.25, 3.0, 0.0, 8.0, 2.0),      # down jumps only
    (10.0, 150.0, 100.0, 0.08, 0.4, 5.0, 0.5, 12.0, 12.0),   # long, many jumps, eta*s = 15
]


def main():
    for row in CONTRACTS:
        call = float(kou_call_fourier(*row))
        put = float(kou_put_fourier(*row))
        fields = ", ".join(repr(v) for v in row)
        print(f"    {{{fields}, {call!r}, {put!r}}},")


if __name__ == "__main__":
    main()
