"""Prices the reference contract under Kou's model on whichever interpreter runs it.

Contract: maturity 0.5 years, strike 98. Market and model: spot 100, rate 5%,
diffusion volatility 16%, one jump a year on average, 40% of jumps upward with
mean size 1/10, downward ones with mean size 1/5.
"""
import math
import platform
import sys

import jdpricer
import jdpricer_batch

T, K = 0.5, 98.0
S, r, sigma, lam, p, eta1, eta2 = 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0


def main():
    impl = platform.python_implementation()
    extra = f" (PyPy {'.'.join(map(str, sys.pypy_version_info[:3]))})" if impl == "PyPy" else ""
    print(f"== {impl} {platform.python_version()}{extra}")

    call = jdpricer.create_european_call(T, K)
    put = jdpricer.KouEuropeanPut(T, K)
    print(f"{'n':>4} {'call':>20} {'put':>20} {'parity gap':>12}")
    for n in (0, 1, 5, 10, 20):
        c = call.priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1, eta2, n)
        q = put.priceByKouJumpDiffusion(S=S, r=r, sigma=sigma, lam=lam, p=p, eta1=eta1, eta2=eta2, n=n)
        # P = C + K e^(-rT) - S, formed in the order the put uses: exact to the bit.
        gap = q - ((math.exp(-r * T) * K + c) - S)
        print(f"{n:>4} {c:>20.15f} {q:>20.15f} {gap:>12.3g}")

    # Without jumps the series vanishes and the Black-Scholes price remains.
    kou = call.priceByKouJumpDiffusion(S, r, sigma, 0.0, p, eta1, eta2, 10)
    d1 = (math.log(S / K) + (r + 0.5 * sigma * sigma) * T) / (sigma * math.sqrt(T))
    d2 = d1 - sigma * math.sqrt(T)
    phi = lambda x: 0.5 * math.erfc(-x / math.sqrt(2.0))
    bs = S * phi(d1) - K * math.exp(-r * T) * phi(d2)
    print(f"lam = 0: Kou call {kou:.15f}, Black-Scholes {bs:.15f}, difference {kou - bs:.3g}")

    # A surface in one call: maturities as a column, strikes as a row.
    maturities = [[0.25], [0.5], [1.0]]
    strikes = [80.0, 90.0, 98.0, 110.0, 120.0]
    surface = jdpricer_batch.call_prices(maturities, strikes, S, r, sigma, lam, p, eta1, eta2, 20)
    same = all(
        surface[i, j] == jdpricer.create_european_call(t[0], k).priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1, eta2, 20)
        for i, t in enumerate(maturities) for j, k in enumerate(strikes)
    )
    print(f"surface of {surface.size} calls in one batch, each bit for bit the single price: {same}")
    print("  T = 0.5:", " ".join(f"{c:.6f}" for c in surface[1]))
    bounds = jdpricer_batch.call_error_bounds(0.5, 98.0, S, r, sigma, lam, p, eta1, eta2, 20)
    print(f"  error bound of the T = 0.5, K = 98 call: {float(bounds):.1e}")

    # Where the closed form cancels (eta*sigma*sqrt(T) = 14), its bound says so
    # and the robust prices switch to the Fourier method.
    wild = (2.0, 98.0, S, r, 0.5, lam, p, 20.0, 20.0)
    closed = float(jdpricer_batch.call_prices(*wild, 20))
    robust = jdpricer_batch.robust_call_prices(*wild, 20, tolerance=1e-9)
    print(f"T = 2, sigma = 0.5, eta = 20: closed form {closed:.6g} (bound "
          f"{float(jdpricer_batch.call_error_bounds(*wild, 20)):.1e}), robust {float(robust.prices):.10f} "
          f"by {'Fourier' if robust.fourier else 'closed form'}")


if __name__ == "__main__":
    main()
