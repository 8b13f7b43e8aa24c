"""A user's program touching every part of jdpricer's API, correctly typed.

test_typing.py runs mypy --strict on it (which must find nothing) and then
runs it, so whatever the stubs accept here is known to work at runtime.
"""
from decimal import Decimal
from fractions import Fraction

from typing_extensions import assert_type

import jdpricer
from jdpricer import (
    EuropeanOption,
    KouEuropeanCall,
    KouEuropeanPut,
    Option,
    create_european_call,
    create_european_put,
)

MARKET = (100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0)


class Terms:
    """An integer-like object, as NumPy's integers are."""

    def __index__(self) -> int:
        return 20


class Scaled(KouEuropeanCall):
    """A Python subclass that keeps the constructor positional."""

    def __init__(self, T: float, K: float, scale: float) -> None:
        super().__init__(T, K)
        self.scale = scale


def price_all(options: list[EuropeanOption], n: int) -> list[float]:
    S, r, sigma, lam, p, eta1, eta2 = MARKET
    return [option.priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1, eta2, n) for option in options]


def main() -> None:
    call = KouEuropeanCall(0.5, 98.0)
    put = KouEuropeanPut(0.5, 98)
    made_call = create_european_call(0.5, 98.0)
    made_put = create_european_put(T=0.5, K=98.0)
    assert_type(made_call, KouEuropeanCall)
    assert_type(made_put, KouEuropeanPut)
    assert_type(jdpricer.create_european_put(K=98.0, T=0.5), jdpricer.KouEuropeanPut)

    options: list[EuropeanOption] = [call, put, made_call, made_put, Scaled(0.5, 98.0, 2.0)]
    roots: list[Option] = list(options)
    assert all(isinstance(option, Option) for option in roots)

    prices = price_all(options, 10)
    by_keyword = call.priceByKouJumpDiffusion(
        S=100.0, r=0.05, sigma=0.16, lam=1.0, p=0.4, eta1=10.0, eta2=5.0, n=Terms()
    )
    # Exact numbers convert to double too; bool is an int (n = 1).
    exotic = put.priceByKouJumpDiffusion(Decimal("100"), Fraction(1, 20), 0.16, 1, 0.4, 10, 5, True)
    assert_type(by_keyword, float)
    total: float = sum(prices) + by_keyword + exotic
    assert total == total  # not NaN
    print(f"{len(prices)} prices, call {prices[0]:.6f}, put {prices[1]:.6f}")


if __name__ == "__main__":
    main()
