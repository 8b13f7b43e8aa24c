#include "pricing/error_bound/bounded_slice.hpp"

#include <cmath>
#include <limits>

namespace jdpricer {

namespace {

constexpr double kU = bounded_detail::kUnitRoundoff;
constexpr double kTiny = bounded_detail::kTiniest;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// gamma_k = k u / (1 - k u), rounded up generously.
double gamma(int k) {
  const double ku = static_cast<double>(k) * kU;
  return ku < 0.25 ? ku / (1.0 - ku) * (1.0 + 8.0 * kU) : kInfinity;
}

// 1/m, m = 0..kSeriesTableSize + 1, each within u of its value: the bound's
// own arithmetic multiplies by these instead of dividing (its rounding is
// covered by the final widening; where a value with a sign is formed this
// way, its error bound counts the extra rounding).
struct Reciprocals {
  double of[kSeriesTableSize + 2];
  constexpr Reciprocals() : of() {
    of[0] = 0.0;
    for (int m = 1; m < kSeriesTableSize + 2; ++m) of[m] = 1.0 / m;
  }
};
constexpr Reciprocals kReciprocals;

double upper(Bounded x) { return std::fabs(x.v) + x.e; }

// x^j for j = 1, 2, ... in turn, as powInteger bounds it, with the value
// pow(x, j) given (the engine's own, or one library call) and
// (|x| + e)^(j-1) carried from one power to the next, rounded up, instead of
// a second library call.
class PowerBounds {
 public:
  explicit PowerBounds(Bounded x) : x_(x), grown_(std::fabs(x.v) + x.e) {}
  Bounded next(double value) {
    ++j_;
    const double propagated =
        x_.e == 0.0 ? 0.0 : static_cast<double>(j_) * carried_ * x_.e * (1.0 + 4.0 * kU);
    carried_ = carried_ * grown_ * (1.0 + 2.0 * kU);
    Bounded out{value, propagated + (j_ == 1 ? 0.0 : 2.0 * kU * std::fabs(value)) + kTiny};
    if (!(out.e <= std::numeric_limits<double>::max()) || std::isnan(value)) out.e = kInfinity;
    return out;
  }

 private:
  Bounded x_;
  double grown_;
  double carried_ = 1.0;  // (|x| + e)^(j-1), from above
  int j_ = 0;
};

// NaN and overflow give +inf: still a bound.
double finiteOrInfinite(double bound) { return bound <= std::numeric_limits<double>::max() ? bound : kInfinity; }

// The signed local error h_m - (h_{m-2} - e h_{m-1})/m of one step
// h_m = fl(fl(h_{m-2} - fl(e h_{m-1})) / m), from error-free transformations:
// e h_{m-1} = p + pe (Dekker's product), h_{m-2} - p = d + de (TwoSum),
// d = h_m m + r (Dekker's product of h_m and m, whose high part is within an
// ulp of d, so that d minus it is exact), so the error is (pe - de - r)/m.
// `error` bounds the rounding of that evaluation; false where an operand is
// out of the range in which the transformations are exact.
bool splitsExactly(double a, double b, double p) {
  const double big = 0x1p+995, small = 0x1p-969;
  return std::fabs(a) < big && std::fabs(b) < big && std::fabs(p) < big && std::fabs(p) > small;
}
double productError(double a, double b, double p) {
  constexpr double kSplitter = 134217729.0;  // 2^27 + 1
  const double ca = kSplitter * a, cb = kSplitter * b;
  const double aHi = ca - (ca - a), aLo = a - aHi;
  const double bHi = cb - (cb - b), bLo = b - bHi;
  return ((aHi * bHi - p) + aHi * bLo + aLo * bHi) + aLo * bLo;
}
bool signedStepError(double older, double newer, double e, double index, double product,
                     double difference, double next, double& delta, double& error) {
  if (!splitsExactly(e, newer, product) || !splitsExactly(next, index, difference) ||
      !(std::fabs(older) < 0x1p+1020) || !(std::fabs(product) < 0x1p+1020)) {
    return false;
  }
  const double productLow = productError(e, newer, product);
  // TwoSum: older - product = difference + differenceLow exactly.
  const double bb = difference - older;
  const double differenceLow = (older - (difference - bb)) + (-product - bb);
  const double high = next * index;
  const double highLow = productError(next, index, high);
  const double residual = (difference - high) - highLow;
  delta = ((productLow - differenceLow) - residual) * kReciprocals.of[static_cast<int>(index)];
  error = 8.0 * kU * (std::fabs(productLow) + std::fabs(differenceLow) + std::fabs(residual)) *
              kReciprocals.of[static_cast<int>(index)] +
          8.0 * kTiny;
  return true;
}

Bounded normalCdfBounded(Bounded y) {
  return Bounded::exact(1.0) - 0.5 * erfc(y / literal(kSqrtTwo));
}

// The family's constants in the engine's order (integralConstants,
// buildIntegralFamily) and its weights omega_m = sum_{n>m} pi_n W_{n,m+1}
// with their error bounds; W and its coefficient errors Ce come from the
// powers (eta s)^k and the coefficient triangle (row n at triangleIndex(n, 1)).
void buildFamily(const IntegralFamily& engine, int N, Bounded alpha, Bounded beta,
                 Bounded delta, const Bounded* etaSPow,
                 const Bounded* pi, const double* C, const double* Ce, const double* W,
                 BoundedIntegralFamily& out) {
  out.alpha = alpha;
  out.beta = beta;
  out.delta = delta;
  out.alphaOverBeta = alpha / beta;
  const Bounded rho = beta / alpha;
  const Bounded F = exp((alpha * alpha) / ((beta + beta) * beta) + (delta * alpha) / beta);
  const Bounded G = literal(kSqrtTwoPi) / beta;
  double worst = 0.0;
  out.rhoPowRelative[0] = 0.0;
  out.sumRelative[0] = gamma(1);
  out.sumScale[0] = (1.0 + gamma(4)) * (1.0 + 4.0 * kU);
  PowerBounds rhoPowers(rho);
  for (int j = 1; j <= N; ++j) {
    const Bounded rhoPow = rhoPowers.next(engine.rhoPow[j]);
    const double relative = rhoPow.v > 0.0 ? rhoPow.e / rhoPow.v : kInfinity;
    if (!(relative <= worst)) worst = relative;
    out.rhoPowRelative[j] = worst;
    // S_j: j + 1 roundings of its own, the powers' errors, and the Horner
    // pass's own rounding (2 per step) in T_j.
    out.sumRelative[j] = gamma(j + 1) + worst;
    out.sumScale[j] = (1.0 + gamma(2 * j + 4)) * (1.0 + worst) * (1.0 + 4.0 * kU);
    out.gaussianScaleError[j - 1] = ((G * rhoPow) * F).e;
  }

  double sum[kSeriesTableSize], error[kSeriesTableSize], rounding[kSeriesTableSize];
  for (int m = 0; m < N; ++m) sum[m] = error[m] = rounding[m] = 0.0;
  // gamma(2) .. gamma(N + 1), the same values once instead of per cell.
  double gammas[kSeriesTableSize + 2];
  for (int j = 2; j <= N + 1; ++j) gammas[j] = gamma(j);
  for (int n = 1; n <= N; ++n) {
    const int row = triangleIndex(n, 1);
    const double piV = std::fabs(pi[n].v), piE = pi[n].e;
    for (int k = 1; k <= n; ++k) {
      // W = (eta s)^k C_{n,k}: the bound of a product of bounded factors.
      const double w = std::fabs(W[row + k - 1]);
      const double wError = std::fabs(etaSPow[k].v) * Ce[row + k - 1] +
                            etaSPow[k].e * (std::fabs(C[row + k - 1]) + Ce[row + k - 1]) +
                            kU * w + kTiny;
      sum[k - 1] += piV * w;
      error[k - 1] += piV * wError + piE * (w + wError);
      // The product I W and the additions of A_n after it: n - k + 2
      // roundings (the first addition, to 0, is exact).
      rounding[k - 1] += gammas[n - k + 2] * (piV * w);
    }
  }
  // Non-negative sums of N products: within gamma_{N+1} of their value.
  const double sumRounding = gamma(N + 2);
  for (int m = 0; m < N; ++m) {
    const double weightError = sumRounding * sum[m] + error[m] * (1.0 + sumRounding);
    out.weight[m] = (sum[m] + weightError) * (1.0 + 4.0 * kU);
    out.weightError[m] = (error[m] + rounding[m]) * (1.0 + sumRounding) * (1.0 + 4.0 * kU);
  }
  // The per-option error of each I_m (see familyBound) is
  //   u (|I_m| + |g_m| |Phi| (1 + 2u) + |E/alpha| Tb_m (1 + s_m)(1 + 2u))
  //   + |Phi| e(g_m) + (|g_m| + e(g_m)) e(Phi)
  //   + |E/alpha| s_m Tb_m + Tb_m (1 + s_m) e(E/alpha) + 4 tiny,
  // g_m the Gaussian factor, s_m the sum's relative error, Tb_m the bound on
  // |S_m| (computed T_m times sumScale); weighted by omega_m and grouped.
  out.phiWeight = out.phiErrorWeight = out.tinyWeight = 0.0;
  for (int m = 0; m < N; ++m) {
    const double weight = out.weight[m];
    const double g = std::fabs(engine.gaussianScale[m]), gError = out.gaussianScaleError[m];
    const double relative = out.sumRelative[m], scale = out.sumScale[m];
    out.levelWeight[m] = weight * kU + out.weightError[m];
    out.sumWeight[m] = weight * scale * (kU * (1.0 + relative) * (1.0 + 2.0 * kU) + relative);
    out.sumErrorWeight[m] = weight * scale * (1.0 + relative);
    out.phiWeight += weight * (kU * (1.0 + 2.0 * kU) * g + gError);
    out.phiErrorWeight += weight * (g + gError);
    out.tinyWeight += weight * 4.0 * kTiny;
  }
  const double grouping = 1.0 + gamma(N + 4);  // the sums above, and their use
  out.phiWeight *= grouping;
  out.phiErrorWeight *= grouping;
  out.tinyWeight *= grouping;
  for (int m = 0; m < N; ++m) {
    out.levelWeight[m] *= grouping;
    out.sumWeight[m] *= grouping;
    out.sumErrorWeight[m] *= grouping;
  }

  // kappa_i = omega_i + rho kappa_{i+1}, downwards.
  Bounded kappa = Bounded::exact(0.0);
  for (int m = N - 1; m >= 0; --m) {
    const Bounded omega{sum[m], out.weight[m] - sum[m]};
    kappa = m == N - 1 ? omega : omega + rho * kappa;
    out.kappa[m] = kappa.v;
    out.kappaError[m] = kappa.e;
  }
}

double adjointRecursion(double e, int N, const BoundedIntegralFamily& b, const double* local,
                        const double* delta, const double* deltaError, double zeroDelta,
                        double zeroDeltaError);

// For one family at level c: bounds on the error of the sum over m of
// omega_m I_m (the computed SP or SQ against the exact one at c~), and on
// |c~ - c|.
void familyBound(const IntegralFamily& f, const BoundedIntegralFamily& b, int N, double c,
                 const double* I, double* scratch, double& error, double& shift,
                 double& slope) {
  // The level's values (e, E/alpha, Phi) are those of integralLevel: the
  // same operations on the same operands.
  const Bounded eBounded = b.beta * Bounded::exact(c) - b.delta;
  const double e = eBounded.v;
  const double room = std::fabs(b.beta.v) - b.beta.e;
  shift = finiteOrInfinite(room > 0.0 ? eBounded.e / room * (1.0 + 4.0 * kU) : kInfinity);
  const Bounded level{c, shift};
  const Bounded eOverAlpha = exp(b.alpha * level) / b.alpha;
  const Bounded phi = f.which == IntegralCase::kA
                          ? normalCdfBounded((b.delta - level * b.beta) + b.alphaOverBeta)
                          : normalCdfBounded((b.beta * level - b.delta) - b.alphaOverBeta);
  const Bounded x = Bounded::exact(e);
  const Bounded hMinusOne = exp((-0.5 * x) * x);
  const Bounded hZero = normalCdfBounded(-x) * literal(kSqrtTwoPi);
  // For e > 0, 1 - erfc(-e/sqrt 2)/2 keeps only the absolute accuracy of a
  // number near 2, and the recursion amplifies what it loses. The tail form
  // erfc(e/sqrt 2)/2 of the same Phi(-e) is accurate relative to itself, so
  // the error of h_0 is known with its sign, up to that accuracy.
  double zeroDelta = 0.0, zeroDeltaError = -1.0;
  if (e > 0.0) {
    const Bounded tail = (0.5 * erfc(x / literal(kSqrtTwo))) * literal(kSqrtTwoPi);
    zeroDelta = hZero.v - tail.v;
    zeroDeltaError = tail.e + kU * std::fabs(zeroDelta) + kTiny;
    if (!(zeroDeltaError < hZero.e)) zeroDeltaError = -1.0;
  }

  // Forward: the engine's Hh values, the local rounding of each step
  // (local[j + 1] for Hh_j, j >= -1) and T_m = sum |h_i| rho^(m-i).
  double* h = scratch;
  double* local = scratch + (kSeriesTableSize + 2);
  double* delta = scratch + 2 * (kSeriesTableSize + 2);       // signed, Hh_1 on
  double* deltaError = scratch + 3 * (kSeriesTableSize + 2);
  const double rho = f.constants.rho;
  const double phiAbs = std::fabs(phi.v), eOverAlphaAbs = std::fabs(eOverAlpha.v);
  local[0] = hMinusOne.e;
  local[1] = hZero.e;
  h[0] = hZero.v;
  double older = hMinusOne.v;
  double sumMagnitude = std::fabs(h[0]);
  double levelTerms = 0.0, sumTerms = 0.0, sumErrorTerms = 0.0;
  // |Hh_m(e) - h_m| by magnitudes, for the slope only: sum_m omega_m Hh_m(e).
  double olderDrift = local[0], drift = local[1];
  double weightedHh = b.weight[0] * (std::fabs(h[0]) + drift);
  // sum_i kappa_i |D_i| by magnitudes: tight where the recursion is stable.
  double forward = (b.kappa[0] + b.kappaError[0]) * drift;
  const double eAbs = std::fabs(e);
  for (int m = 0; m < N; ++m) {
    if (m > 0) {
      const double index = static_cast<double>(m);
      const double product = e * h[m - 1];
      const double difference = older - product;
      h[m] = difference / index;
      const double reciprocal = kReciprocals.of[m];
      local[m + 1] =
          kU * (std::fabs(h[m]) + (std::fabs(difference) + std::fabs(product)) * reciprocal) +
          3.0 * kTiny;
      // Only the unstable direction (e > 0) amplifies them enough to need
      // their signs.
      if (!(e > 0.0) || !signedStepError(older, h[m - 1], e, index, product, difference, h[m],
                                          delta[m + 1], deltaError[m + 1])) {
        deltaError[m + 1] = -1.0;  // bounded by its magnitude, local[m + 1]
      }
      older = h[m - 1];
      sumMagnitude = rho * sumMagnitude + std::fabs(h[m]);
      const double nextDrift = (olderDrift + eAbs * drift) * reciprocal + local[m + 1];
      olderDrift = drift;
      drift = nextDrift;
      weightedHh += b.weight[m] * (std::fabs(h[m]) + drift);
      forward += (b.kappa[m] + b.kappaError[m]) * drift;
    }
    levelTerms += std::fabs(I[m]) * b.levelWeight[m];
    sumTerms += sumMagnitude * b.sumWeight[m];
    sumErrorTerms += sumMagnitude * b.sumErrorWeight[m];
  }
  // The errors of each I_m (the two products and their difference, the
  // Gaussian factor's and Phi's errors, the sum's rounding and E/alpha's
  // error), weighted by omega_m, grouped by the option's own factors.
  const double total = levelTerms + phiAbs * b.phiWeight + phi.e * b.phiErrorWeight +
                       eOverAlphaAbs * sumTerms + eOverAlpha.e * sumErrorTerms + b.tinyWeight;

  // kappa >= 0, so |sum_i kappa_i D_i| <= sum_i kappa_i |D_i|: enough where
  // the recursion is stable (e <= 0). Where it is not, the adjoint.
  double recursion = forward * (1.0 + gamma(3 * N + 8));
  if (e > 0.0) recursion = std::fmin(recursion, adjointRecursion(e, N, b, local, delta,
                                                                 deltaError, zeroDelta,
                                                                 zeroDeltaError));
  error = finiteOrInfinite((total + upper(eOverAlpha) * recursion) * (1.0 + 8.0 * kU));
  // d/dc of sum_m omega_m I_m(c) is -e^(alpha c) sum_m omega_m Hh_m(beta c - delta).
  slope = finiteOrInfinite(upper(eOverAlpha) * upper(b.alpha) * weightedHh *
                           (1.0 + gamma(3 * N + 8)));
}

// Backward: the adjoint Lambda of the recursion against kappa, with a running
// bound on its error; the local errors with known signs summed with them,
// the others by magnitudes.
double adjointRecursion(double e, int N, const BoundedIntegralFamily& b, const double* local,
                        const double* delta, const double* deltaError, double zeroDelta,
                        double zeroDeltaError) {
  const double eAbs = std::fabs(e);
  double next = 0.0, afterNext = 0.0, nextError = 0.0, afterNextError = 0.0;
  double recursion = 0.0, signedSum = 0.0, signedMagnitude = 0.0;
  for (int i = N - 1; i >= 0; --i) {
    const double stepOne = (e * next) * kReciprocals.of[i + 1];
    const double stepTwo = afterNext * kReciprocals.of[i + 2];
    const double partial = b.kappa[i] - stepOne;
    const double adjoint = partial + stepTwo;
    const double adjointError =
        (b.kappaError[i] + eAbs * nextError * kReciprocals.of[i + 1] +
         afterNextError * kReciprocals.of[i + 2] +
         kU * (3.0 * std::fabs(stepOne) + 2.0 * std::fabs(stepTwo) + std::fabs(partial) +
               std::fabs(adjoint)) +
         5.0 * kTiny) *
        (1.0 + 4.0 * kU);
    if (i == 0 && zeroDeltaError >= 0.0) {
      signedSum += adjoint * zeroDelta;
      signedMagnitude += std::fabs(adjoint * zeroDelta);
      recursion += adjointError * std::fabs(zeroDelta) +
                   (std::fabs(adjoint) + adjointError) * zeroDeltaError;
    } else if (i == 0 || deltaError[i + 1] < 0.0) {
      recursion += (std::fabs(adjoint) + adjointError) * local[i + 1];
    } else {
      const double contribution = adjoint * delta[i + 1];
      signedSum += contribution;
      signedMagnitude += std::fabs(contribution);
      recursion += adjointError * std::fabs(delta[i + 1]) +
                   (std::fabs(adjoint) + adjointError) * deltaError[i + 1];
    }
    afterNext = next;
    afterNextError = nextError;
    next = adjoint;
    nextError = adjointError;
  }
  // Hh_{-1} enters Hh_1 alone, with weight 1: Lambda_{-1} = Lambda_1.
  recursion += (std::fabs(afterNext) + afterNextError) * local[0];
  // The errors whose signs are known add with them; the evaluation of that
  // sum errs by at most gamma_N times its magnitudes.
  recursion += std::fabs(signedSum) + gamma(N + 2) * signedMagnitude;
  return recursion;
}

}  // namespace

void buildBoundedSeriesSlice(const SeriesSlice& slice, const BoundedJumpLaw& law,
                             const Bounded* fact, const double* P, const double* Pe,
                             const double* Q, const double* Qe, const double* W,
                             const double* V, BoundedSeriesSlice& out) {
  const Bounded T = Bounded::exact(slice.T), sigma = Bounded::exact(slice.sigma);
  const Bounded sqrtT = sqrt(T);
  out.pi0 = exp((-law.lam) * T);
  const Bounded D = sqrt(literal(6.283185307179586) * T) * sigma;
  const Bounded eta1Sigma = law.eta1 * sigma, eta2Sigma = law.eta2 * sigma;
  out.upScale = exp(eta1Sigma * eta1Sigma * T * 0.5) / D;
  out.downScale = exp(eta2Sigma * eta2Sigma * T * 0.5) / D;
  out.sqrtTSigma = sqrtT * sigma;
  const double room = D.v - D.e;
  out.density = finiteOrInfinite(room > 0.0 ? (1.0 / room) * (1.0 + 4.0 * kU) : kInfinity);
  // sup |phi_s'| = 1/(s^2 sqrt(2 pi e)), s^2 = sigma^2 T; 4.13 < sqrt(2 pi e).
  out.densitySlope = finiteOrInfinite(1.0 / ((slice.sigma * slice.sigma) * slice.T * 4.13));
  const int N = slice.N;
  if (N == 0) return;

  const Bounded s = sigma * sqrtT;
  const Bounded lamT = law.lam * T;
  const Bounded eta1S = law.eta1 * s, eta2S = law.eta2 * s;
  Bounded pi[kSeriesTableSize], eta1SPow[kSeriesTableSize], eta2SPow[kSeriesTableSize];
  PowerBounds lamTPowers(lamT), eta1SPowers(eta1S), eta2SPowers(eta2S);
  for (int n = 1; n <= N; ++n) {
    pi[n] = (out.pi0 * lamTPowers.next(std::pow(lamT.v, static_cast<double>(n)))) / fact[n];
    eta1SPow[n] = eta1SPowers.next(slice.eta1SPow[n]);
    eta2SPow[n] = eta2SPowers.next(slice.eta2SPow[n]);
  }
  buildFamily(slice.upward, N, -law.eta1, Bounded::exact(-1.0) / s, sqrtT * (-sigma * law.eta1), eta1SPow, pi,
              P, Pe, W, out.upward);
  buildFamily(slice.downward, N, law.eta2, Bounded::exact(1.0) / s, sqrtT * (-sigma * law.eta2), eta2SPow, pi, Q,
              Qe, V, out.downward);
}

Bounded boundedUpsilon(const SeriesSlice& slice, const BoundedSeriesSlice& b, double c,
                       double cError, const double* up, const double* down, double SP,
                       double SPRounding, double SQ, double SQRounding, double* scratch) {
  double upError = 0.0, downError = 0.0, upShift = 0.0, downShift = 0.0;
  double upSlope = 0.0, downSlope = 0.0;
  const int N = slice.N;
  if (N > 0) {
    familyBound(slice.upward, b.upward, N, c, up, scratch, upError, upShift, upSlope);
    familyBound(slice.downward, b.downward, N, c, down, scratch, downError, downShift,
                downSlope);
  }
  const double UP = slice.upScale * SP;
  const double UQ = slice.downScale * SQ;
  double UPError = kU * std::fabs(UP) + b.upScale.e * std::fabs(SP) +
                   upper(b.upScale) * (upError + SPRounding);
  double UQError = kU * std::fabs(UQ) + b.downScale.e * std::fabs(SQ) +
                   upper(b.downScale) * (downError + SQRounding);
  if (N > 0) {
    // The shift from the level where the bound holds to the true one: the
    // slope there, plus how far the slope itself can move over the shift.
    const double upReach = cError + upShift, downReach = cError + downShift;
    UPError += upReach * std::fmin(b.density, upper(b.upScale) * upSlope +
                                                  upReach * b.densitySlope);
    UQError += downReach * std::fmin(b.density, upper(b.downScale) * downSlope +
                                                    downReach * b.densitySlope);
  }
  const Bounded upward{UP, finiteOrInfinite(UPError * (1.0 + 4.0 * kU))};
  const Bounded downward{UQ, finiteOrInfinite(UQError * (1.0 + 4.0 * kU))};
  const Bounded level{c, cError};
  return normalCdfBounded(-level / b.sqrtTSigma) * b.pi0 + (downward + upward);
}

}  // namespace jdpricer
