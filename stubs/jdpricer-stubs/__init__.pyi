# Type information for the compiled module jdpricer (Kou jump-diffusion
# European option prices in closed form).
#
# Numbers: a double parameter takes whatever pybind11 converts, i.e. anything
# with __float__ or __index__ (float, int, bool, Fraction, Decimal, NumPy
# scalars). The series length n is a C int: pybind11 refuses floats there, so
# it is typed SupportsIndex (int, bool, NumPy integers), which excludes float.
from abc import ABCMeta, abstractmethod
from typing import SupportsFloat, SupportsIndex

from typing_extensions import TypeAlias

_Real: TypeAlias = SupportsFloat | SupportsIndex

# Option and EuropeanOption have no constructor: calling them raises
# TypeError. An abstract __init__ makes a type checker reject the call too.
# pybind11 gives every class its own metaclass; ABCMeta stands in for it.
class Option(metaclass=ABCMeta):
    @abstractmethod
    def __init__(self, /, *args: object, **kwargs: object) -> None: ...

class EuropeanOption(Option):
    @abstractmethod
    def __init__(self, /, *args: object, **kwargs: object) -> None: ...
    def priceByKouJumpDiffusion(
        self,
        S: _Real,
        r: _Real,
        sigma: _Real,
        lam: _Real,
        p: _Real,
        eta1: _Real,
        eta2: _Real,
        n: SupportsIndex,
    ) -> float:
        """Price with n Poisson terms (n >= 171 gives NaN).

        S spot, r continuously compounded rate, sigma diffusion volatility,
        lam jump intensity per year, p probability of an upward jump,
        eta1 > 1 and eta2 > 0 rates of the exponential upward and downward
        log-jump sizes.
        """

# The constructors take maturity T (years) and strike K by position only.
class KouEuropeanCall(EuropeanOption):
    def __init__(self, T: _Real, K: _Real, /) -> None: ...

class KouEuropeanPut(EuropeanOption):
    def __init__(self, T: _Real, K: _Real, /) -> None: ...

def create_european_call(T: _Real, K: _Real) -> KouEuropeanCall: ...
def create_european_put(T: _Real, K: _Real) -> KouEuropeanPut: ...
