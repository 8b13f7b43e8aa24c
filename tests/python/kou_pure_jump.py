"""Independent 30-digit prices of Kou's model without diffusion (sigma = 0).

With sigma = 0, log(S_T/S) = m + G_up - G_down, m = (r - lam*zeta)*T, where
the numbers of upward and downward jumps are independent Poisson variables
(means lam*p*T and lam*(1-p)*T) and, given i upward and j downward jumps,
G_up ~ Gamma(i, eta1) and G_down ~ Gamma(j, eta2). For each i the
expectation over G_down is closed (regularized upper incomplete gamma
functions) and summed over j inside the integrand; the integral over G_up
is an mpmath quadrature split at the strike's kink. This route shares
nothing with the coefficient sums of the engine (no P_{n,k}, Q_{n,k}).
"""
import mpmath as mp
from mpmath import mpf

__all__ = ["kou_pure_jump_put", "kou_pure_jump_call"]


def _poisson(mean, tail):
    """[(count, probability)] until the rest is below tail."""
    out, k, prob, total = [], 0, mp.exp(-mean), mpf(0)
    while True:
        out.append((k, prob))
        total += prob
        if k > mean and 1 - total < tail:
            return out
        k += 1
        prob = prob * mean / k


def kou_pure_jump_put(T, K, S, r, lam, p, eta1, eta2, dps=30):
    with mp.workdps(dps + 10):
        T, K, S, r, lam, p, eta1, eta2 = map(mpf, (T, K, S, r, lam, p, eta1, eta2))
        q = 1 - p
        zeta = p * eta1 / (eta1 - 1) + q * eta2 / (eta2 + 1) - 1
        m = (r - lam * zeta) * T
        tail = mpf(10) ** -(dps + 5)
        ups = _poisson(lam * p * T, tail)
        downs = _poisson(lam * q * T, tail)
        shrink = eta2 / (eta2 + 1)

        def after_downs(g):
            # E over the downward jumps of (K - S e^(m + g - G_down))^+.
            A = S * mp.exp(m + g)
            d = mp.log(A / K)
            total = mpf(0)
            for j, prob in downs:
                if j == 0:
                    value = max(K - A, 0)
                elif d <= 0:
                    value = K - A * shrink ** j
                else:
                    value = (K * mp.gammainc(j, eta2 * d, mp.inf, regularized=True)
                             - A * shrink ** j
                             * mp.gammainc(j, (eta2 + 1) * d, mp.inf, regularized=True))
                total += prob * value
            return total

        kink = mp.log(K / S) - m
        result = mpf(0)
        for i, prob in ups:
            if i == 0:
                result += prob * after_downs(mpf(0))
                continue
            density = lambda g: eta1 ** i * g ** (i - 1) * mp.exp(-eta1 * g) / mp.factorial(i - 1)
            points = [0, kink, mp.inf] if kink > 0 else [0, mp.inf]
            result += prob * mp.quad(lambda g: density(g) * after_downs(g), points)
        return +(mp.exp(-r * T) * result)


def kou_pure_jump_call(T, K, S, r, lam, p, eta1, eta2, dps=30):
    with mp.workdps(dps + 10):
        put = kou_pure_jump_put(T, K, S, r, lam, p, eta1, eta2, dps)
        return +(put + mpf(S) - mpf(K) * mp.exp(-mpf(r) * mpf(T)))
