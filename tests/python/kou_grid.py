"""Models and contracts that span the closed form's well- and ill-conditioned
regimes, with their prices from the independent mpmath Fourier pricer."""
import math

from kou_fourier import kou_call_fourier, kou_put_fourier

S = 100.0
STRIKES = (50.0, 95.0, 200.0)

# T, r, sigma, lam*T, p, eta1, eta2 (the intensity is lam*T / T).
GRID = [
    (0.25, 0.05, 0.08, 0.02, 0.5, 5.0, 4.0),
    (0.1, 0.03, 0.2, 5.0, 0.4, 3.0, 3.16),
    (1.0, 0.05, 0.05, 0.1, 0.6, 10.0, 8.0),
    (0.5, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0),
    (4.0, 0.02, 0.1, 20.0, 0.3, 10.0, 6.0),
    (50.0, 0.05, 0.07, 50.0, 0.4, 10.0, 5.0),
    (1.0, 0.05, 0.4, 1.0, 0.5, 20.0, 20.0),
    (2.0, 0.05, 0.5, 2.0, 0.4, 20.0, 20.0),
    (50.0, 0.05, 0.16, 50.0, 0.4, 10.0, 5.0),
    (1.0, 0.0, 0.5, 5.0, 0.5, 40.0, 30.0),
    (4.0, 0.08, 0.4, 0.5, 0.2, 50.0, 50.0),
    (9.0, 0.05, 0.4, 10.0, 0.6, 50.0, 45.0),
    (16.0, 0.03, 0.3, 0.02, 0.5, 50.0, 50.0),
    (3.0, 0.02, 0.25, 3.0, 1.0, 1.5, 30.0),
    (3.0, 0.04, 0.25, 9.0, 0.0, 8.0, 2.0),
]


def eta_s(row):
    T, _, sigma, _, _, eta1, eta2 = row
    return max(eta1, eta2) * sigma * math.sqrt(T)


def market(row):
    T, r, sigma, lam_T, p, eta1, eta2 = row
    return T, r, (sigma, lam_T / T, p, eta1, eta2)


def row_id(row):
    return f"T{row[0]:g}-etas{eta_s(row):.3g}-lamT{row[3]:g}-p{row[4]:g}"


def mpmath_references():
    """{row: [(call, put) for each strike]} from mpmath."""
    table = {}
    for row in GRID:
        T, r, model = market(row)
        table[row] = [
            (float(kou_call_fourier(T, K, S, r, *model)), float(kou_put_fourier(T, K, S, r, *model)))
            for K in STRIKES
        ]
    return table


