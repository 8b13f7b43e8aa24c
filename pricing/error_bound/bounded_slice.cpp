#include "pricing/error_bound/bounded_slice.hpp"

#include <cmath>
#include <limits>

#include "pricing/error_bound/bound_support.hpp"
#include "pricing/error_bound/bounded_lanes.hpp"
#include "pricing/error_bound/detail/recursion_steps.hpp"
#include "pricing/error_bound/recursion_adjoint.hpp"

namespace jdpricer {

using namespace bound_support;

namespace {

// sqrt 2 as a divisor: the double nearest it, within half an ulp.
const BoundedDivisor kSqrtTwoDivisor = divisor(literal(kSqrtTwo));

Bounded normalCdfBounded(Bounded y) {
  return Bounded::exact(1.0) - 0.5 * erfc(y / kSqrtTwoDivisor);
}

// The family's constants in the engine's order (integralConstants,
// buildIntegralFamily) and its weights omega_m = sum_{n>m} pi_n W_{n,m+1}
// with their error bounds; W and its coefficient errors Ce come from the
// powers (eta s)^k and the coefficient triangle (row n at triangleIndex(n, 1)).
void buildFamily(const IntegralFamily& engine, int N, const BoundedFamilyConstants& k,
                 const Bounded* etaSPow, const Bounded* pi, const double* C, const double* Ce,
                 const double* W, BoundedIntegralFamily& out) {
  out.alpha = k.alpha;
  out.beta = k.beta;
  out.delta = k.delta;
  out.alphaOverBeta = k.alphaOverBeta;
  out.alphaDivisor = divisor(k.alpha);
  out.betaInverseRoom = divisor(k.beta).inverseRoom;
  out.sharesLevels = engine.which != IntegralCase::kZero && k.alpha.v == engine.alpha &&
                     k.beta.v == engine.beta && k.delta.v == engine.delta &&
                     k.alphaOverBeta.v == engine.constants.alphaOverBeta;
  // exp(-z^2/2) = Hh_-1(e) E / F at every level (z Phi's argument), so
  // Phi's slope needs exp(-z^2/2) <= Hh_-1 |E/alpha| |alpha| / F from above.
  const double FLow = k.F.v - k.F.e;
  out.phiSlopeScale = FLow > 0.0 ? upper(k.alpha) / FLow * (1.0 + 4.0 * kU) : kInfinity;
  boundFamilyPowers(engine, N, k, out.rhoPowRelative, out.gaussianScaleError);
  out.sumRelative[0] = gamma(1);
  out.sumScale[0] = (1.0 + gamma(4)) * (1.0 + 4.0 * kU);
  for (int j = 1; j <= N; ++j) {
    // S_j: j + 1 roundings of its own, the powers' errors, and the Horner
    // pass's own rounding (2 per step) in T_j.
    const double worst = out.rhoPowRelative[j];
    out.sumRelative[j] = gamma(j + 1) + worst;
    out.sumScale[j] = (1.0 + gamma(2 * j + 4)) * (1.0 + worst) * (1.0 + 4.0 * kU);
  }
  const Bounded rho = k.rho;

  double sum[kSeriesTableSize], error[kSeriesTableSize], rounding[kSeriesTableSize];
  for (int m = 0; m < N; ++m) sum[m] = error[m] = rounding[m] = 0.0;
  // Per column k (0-based k - 1): |(eta s)^k| and its error; and gamma(j)
  // for j = N + 1 down to 2, so that gamma(n - k + 2) of row n is at
  // N + 1 - n + k - 1, rising with k. Contiguous columns let the cells of a
  // row run side by side; each column still adds its rows in order.
  double powAbs[kSeriesTableSize], powError[kSeriesTableSize];
  double gammaDown[kSeriesTableSize + 2];
  for (int k = 1; k <= N; ++k) {
    powAbs[k - 1] = std::fabs(etaSPow[k].v);
    powError[k - 1] = etaSPow[k].e;
  }
  for (int j = 2; j <= N + 1; ++j) gammaDown[N + 1 - j] = gamma(j);
  for (int n = 1; n <= N; ++n) {
    const double* Wrow = W + triangleIndex(n, 1);
    const double* Crow = C + triangleIndex(n, 1);
    const double* CeRow = Ce + triangleIndex(n, 1);
    const double* gammaRow = gammaDown + (N - n);  // gammaRow[k - 1] = gamma(n - k + 2)
    const double piV = std::fabs(pi[n].v), piE = pi[n].e;
    for (int j = 0; j < n; ++j) {
      // W = (eta s)^k C_{n,k}: the bound of a product of bounded factors.
      const double w = std::fabs(Wrow[j]);
      const double wError = powAbs[j] * CeRow[j] + powError[j] * (std::fabs(Crow[j]) + CeRow[j]) +
                            kU * w + kTiny;
      sum[j] += piV * w;
      error[j] += piV * wError + piE * (w + wError);
      // The product I W and the additions of A_n after it: n - k + 2
      // roundings (the first addition, to 0, is exact).
      rounding[j] += gammaRow[j] * (piV * w);
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

// The lanes' working row of one family: bounds on the local errors of the
// recursion (local[j + 1] for Hh_j, j >= -1).
struct FamilyScratch {
  LaneBlock local[kSeriesTableSize + 2];
};

// One family's bounds for the lanes: the error of the sum over m of
// omega_m I_m (the computed SP or SQ against the exact one at c~), |c~ - c|,
// and the slope of that sum in c.
struct FamilyBounds {
  LaneBlock error, shift, slope;
};

void familyBound(const IntegralFamily& f, const BoundedIntegralFamily& b, int N,
                 const BoundedFamilyLevels& level, const LaneBlock* I, FamilyScratch& s,
                 FamilyBounds& out) {
  const LaneBlock& e = level.values.e;
  const LaneBlock phiAbs = absLanes(level.values.phi), phiError = level.phiError;
  const LaneBlock eOverAlphaAbs = absLanes(level.values.eOverAlpha);
  const LaneBlock& eOverAlphaError = level.eOverAlphaError;
  const LaneBlock& zeroDelta = level.zeroDelta;
  const LaneBlock& zeroDeltaError = level.zeroDeltaError;
  LaneBlock older = level.values.hMinusOne;
  s.local[0] = level.hMinusOneError;
  s.local[1] = level.hZeroError;
  const LaneBlock* h = level.hh;
  out.shift = level.shift;
  const LaneMask unstable = greaterLanes(e, zeroLanes());
  const bool anyUnstable = anyLane(unstable);

  // Forward: the engine's Hh values, the local rounding of each step
  // (local[j + 1] for Hh_j, j >= -1) and T_m = sum |h_i| rho^(m-i).
  const double rho = f.constants.rho;
  LaneBlock sumMagnitude = absLanes(h[0]);
  LaneBlock levelTerms = zeroLanes(), sumTerms = zeroLanes(), sumErrorTerms = zeroLanes();
  // |Hh_m(e) - h_m| by magnitudes, for the slope only: sum_m omega_m Hh_m(e).
  LaneBlock olderDrift = s.local[0], drift = s.local[1];
  LaneBlock weightedHh = b.weight[0] * (absLanes(h[0]) + drift);
  // sum_i kappa_i |D_i| by magnitudes: tight where the recursion is stable.
  LaneBlock forward = (b.kappa[0] + b.kappaError[0]) * drift;
  const LaneBlock eAbs = absLanes(e);
  for (int m = 0; m < N; ++m) {
    if (m > 0) {
      // The engine's step h_m = (h_{m-2} - e h_{m-1})/m, its operands again.
      const LaneBlock& newer = h[m - 1];
      const double reciprocal = kReciprocals.of[m];
      const LaneBlock hAbs = absLanes(h[m]);
      s.local[m + 1] = recursion_steps::hhStepLocalError(e, older, newer, h[m], m);
      older = newer;
      sumMagnitude = rho * sumMagnitude + hAbs;
      const LaneBlock nextDrift = (olderDrift + eAbs * drift) * reciprocal + s.local[m + 1];
      olderDrift = drift;
      drift = nextDrift;
      weightedHh = weightedHh + b.weight[m] * (hAbs + drift);
      forward = forward + (b.kappa[m] + b.kappaError[m]) * drift;
    }
    levelTerms = levelTerms + absLanes(I[m]) * b.levelWeight[m];
    sumTerms = sumTerms + sumMagnitude * b.sumWeight[m];
    sumErrorTerms = sumErrorTerms + sumMagnitude * b.sumErrorWeight[m];
  }
  // The errors of each I_m (the two products and their difference, the
  // Gaussian factor's and Phi's errors, the sum's rounding and E/alpha's
  // error), weighted by omega_m, grouped by the option's own factors.
  const LaneBlock total = levelTerms + phiAbs * b.phiWeight + phiError * b.phiErrorWeight +
                          eOverAlphaAbs * sumTerms + eOverAlphaError * sumErrorTerms +
                          b.tinyWeight;

  // kappa >= 0, so |sum_i kappa_i D_i| <= sum_i kappa_i |D_i|: enough where
  // the recursion is stable (e <= 0). Where it is not, the adjoint.
  const double growth = 1.0 + gamma(3 * N + 8);
  LaneBlock recursion = forward * growth;
  if (anyUnstable) {
    const LaneBlock adjoint =
        adjointRecursion(e, N, b.kappa, b.kappaError, s.local, zeroDelta, zeroDeltaError);
    recursion = selectLanes(unstable, minLanes(recursion, adjoint), recursion);
  }
  const LaneBlock eOverAlphaUpper = eOverAlphaAbs + eOverAlphaError;
  out.error = finiteOrInfinite((total + eOverAlphaUpper * recursion) * (1.0 + 8.0 * kU));
  // d/dc of sum_m omega_m I_m(c) is -e^(alpha c) sum_m omega_m Hh_m(beta c - delta).
  out.slope = finiteOrInfinite(eOverAlphaUpper * upper(b.alpha) * weightedHh * growth);
}

}  // namespace

namespace recursion_steps {

LaneBlock hhStepLocalError(const LaneBlock& e, const LaneBlock& older, const LaneBlock& newer,
                           const LaneBlock& h, int m) {
  // The engine's step h = (older - e newer)/m, its operands again.
  const LaneBlock product = e * newer;
  const LaneBlock difference = older - product;
  const double reciprocal = kReciprocals.of[m];
  const LaneBlock hAbs = absLanes(h);
  return kU * (hAbs + (absLanes(difference) + absLanes(product)) * reciprocal) + 3.0 * kTiny;
}

}  // namespace recursion_steps

void boundSliceScales(const SeriesSlice& slice, const BoundedJumpLaw& law,
                      BoundedSliceScales& out) {
  const Bounded T = Bounded::exact(slice.T), sigma = Bounded::exact(slice.sigma);
  const Bounded sqrtT = sqrt(T);
  const Bounded decay = (-law.lam) * T;
  // The engine's exp(-lam T) where its lam T is this one (-(lam T) is
  // (-lam) T to the bit).
  const bool sharedDecay = slice.N > 0 && decay.v == -slice.lamT;
  out.pi0 = sharedDecay ? exp(decay, slice.pi0) : exp(decay);
  const Bounded D = sqrt(literal(6.283185307179586) * T) * sigma;
  const Bounded eta1Sigma = law.eta1 * sigma, eta2Sigma = law.eta2 * sigma;
  out.upScale = exp(eta1Sigma * eta1Sigma * T * 0.5) / D;
  out.downScale = exp(eta2Sigma * eta2Sigma * T * 0.5) / D;
  out.sqrtTSigma = sqrtT * sigma;
  out.sqrtTSigmaDivisor = divisor(out.sqrtTSigma);
  out.sharesNoJumpFactor = out.sqrtTSigma.v == slice.sqrtT * slice.sigma;
  const double room = D.v - D.e;
  out.density = finiteOrInfinite(room > 0.0 ? (1.0 / room) * (1.0 + 4.0 * kU) : kInfinity);
  // sup |phi_s'| = 1/(s^2 sqrt(2 pi e)), s^2 = sigma^2 T; 4.13 < sqrt(2 pi e).
  out.densitySlope = finiteOrInfinite(1.0 / ((slice.sigma * slice.sigma) * slice.T * 4.13));
}

void boundSeriesPowers(const SeriesSlice& slice, const BoundedJumpLaw& law,
                       const Bounded* fact, Bounded pi0, Bounded* pi, Bounded* eta1SPow,
                       Bounded* eta2SPow) {
  const Bounded T = Bounded::exact(slice.T);
  const Bounded s = Bounded::exact(slice.sigma) * sqrt(T);
  const Bounded lamT = law.lam * T;
  PowerBounds lamTPowers(lamT), eta1SPowers(law.eta1 * s), eta2SPowers(law.eta2 * s);
  for (int n = 1; n <= slice.N; ++n) {
    // The engine's own powers where its lam T is this one.
    const double power = lamT.v == slice.lamT ? slice.lamTPow[n]
                                              : std::pow(lamT.v, static_cast<double>(n));
    pi[n] = (pi0 * lamTPowers.next(power)) / fact[n];
    eta1SPow[n] = eta1SPowers.next(slice.eta1SPow[n]);
    eta2SPow[n] = eta2SPowers.next(slice.eta2SPow[n]);
  }
}

BoundedFamilyConstants boundFamilyConstants(const SeriesSlice& slice, const BoundedJumpLaw& law,
                                            bool upward) {
  const Bounded sigma = Bounded::exact(slice.sigma);
  const Bounded sqrtT = sqrt(Bounded::exact(slice.T));
  const Bounded s = sigma * sqrtT;
  BoundedFamilyConstants k;
  k.alpha = upward ? -law.eta1 : law.eta2;
  k.beta = upward ? Bounded::exact(-1.0) / s : Bounded::exact(1.0) / s;
  k.delta = sqrtT * (-sigma * (upward ? law.eta1 : law.eta2));
  k.alphaOverBeta = k.alpha / k.beta;
  k.rho = k.beta / k.alpha;
  // F's argument in the engine's order: where its operands are the
  // engine's, so is its exp, and the library call is not made again.
  const IntegralFamily& engine = upward ? slice.upward : slice.downward;
  const Bounded exponent =
      (k.alpha * k.alpha) / ((k.beta + k.beta) * k.beta) + (k.delta * k.alpha) / k.beta;
  const bool shared = engine.which != IntegralCase::kZero && engine.alpha == k.alpha.v &&
                      engine.beta == k.beta.v && engine.delta == k.delta.v;
  k.F = shared ? exp(exponent, engine.constants.F) : exp(exponent);
  k.G = literal(kSqrtTwoPi) / k.beta;
  return k;
}

void boundFamilyPowers(const IntegralFamily& engine, int N, const BoundedFamilyConstants& k,
                       double* rhoPowRelative, double* gaussianScaleError) {
  double worst = 0.0;
  rhoPowRelative[0] = 0.0;
  PowerBounds rhoPowers(k.rho);
  for (int j = 1; j <= N; ++j) {
    const Bounded rhoPow = rhoPowers.next(engine.rhoPow[j]);
    const double relative = rhoPow.v > 0.0 ? rhoPow.e / rhoPow.v : kInfinity;
    if (!(relative <= worst)) worst = relative;
    rhoPowRelative[j] = worst;
    const Bounded gaussian = (k.G * rhoPow) * k.F;
    gaussianScaleError[j - 1] =
        gaussian.v == engine.gaussianScale[j - 1] ? gaussian.e : kInfinity;
  }
}

void buildBoundedSeriesSlice(const SeriesSlice& slice, const BoundedJumpLaw& law,
                             const Bounded* fact, const double* P, const double* Pe,
                             const double* Q, const double* Qe, const double* W,
                             const double* V, BoundedSeriesSlice& out) {
  boundSliceScales(slice, law, out);
  const int N = slice.N;
  if (N == 0) return;
  Bounded pi[kSeriesTableSize], eta1SPow[kSeriesTableSize], eta2SPow[kSeriesTableSize];
  boundSeriesPowers(slice, law, fact, out.pi0, pi, eta1SPow, eta2SPow);
  buildFamily(slice.upward, N, boundFamilyConstants(slice, law, true), eta1SPow, pi, P, Pe, W,
              out.upward);
  buildFamily(slice.downward, N, boundFamilyConstants(slice, law, false), eta2SPow, pi, Q, Qe,
              V, out.downward);
}

void boundFamilyLevels(const IntegralFamily& f, const BoundedIntegralFamily& b,
                       const LaneBlock& c, BoundedFamilyLevels& out) {
  // The level's values (e, E/alpha, Phi) are those of integralLevel: the
  // same operations on the same operands.
  const BoundedLanes level0{c, zeroLanes()};
  const BoundedLanes eBounded = broadcastBounded(b.beta) * level0 - broadcastBounded(b.delta);
  const LaneBlock& e = eBounded.v;
  out.values.e = e;
  out.shift = finiteOrInfinite(eBounded.e * b.betaInverseRoom * (1.0 + 2.0 * kU));
  const BoundedLanes level{c, out.shift};
  const BoundedLanes eOverAlpha =
      eachLane(broadcastBounded(b.alpha) * level, [](Bounded z) { return exp(z); }) /
      b.alphaDivisor;
  const BoundedLanes x{e, zeroLanes()};
  const BoundedLanes hMinusOne =
      eachLane((-0.5 * x) * x, [](Bounded z) { return exp(z); });
  // Phi = 1 - erfc(w)/2, w = z/sqrt 2. erfc's slope over w's error interval
  // is at most 2/sqrt(pi) exp(-w~^2) exp(2 |w~| w.e) (w~ the exact value,
  // within w.e of w.v), and exp(-w~^2) = exp(-z~^2/2) = Hh_-1(e) E / F at
  // the level where e is exact: no library call.
  const BoundedLanes z =
      f.which == IntegralCase::kA
          ? (broadcastBounded(b.delta) - level * broadcastBounded(b.beta)) +
                broadcastBounded(b.alphaOverBeta)
          : (broadcastBounded(b.beta) * level - broadcastBounded(b.delta)) -
                broadcastBounded(b.alphaOverBeta);
  const BoundedLanes w = z / kSqrtTwoDivisor;
  const LaneBlock phiReach = 2.0 * (absLanes(w.v) + w.e) * w.e;
  const LaneBlock phiSlope =
      minLanes(1.1283791670955127 * upper(hMinusOne) * upper(eOverAlpha) * b.phiSlopeScale *
                   (1.0 + phiReach * (1.0 + phiReach)),
               broadcastLanes(1.1283791670955127)) *
      (1.0 + 1e-15) * (1.0 + 8.0 * kU);
  BoundedLanes erfcW;
  for (int l = 0; l < kBatchLanes; ++l) {
    const Bounded wl{w.v[l], w.e[l]};
    const Bounded value =
        erfc(wl, phiReach[l] <= 1e-3 ? phiSlope[l] : bounded_detail::erfcSlope(wl));
    erfcW.v[l] = value.v;
    erfcW.e[l] = value.e;
  }
  const BoundedLanes one = broadcastBounded(Bounded::exact(1.0));
  const BoundedLanes phi = one - 0.5 * erfcW;
  // For e > 0, 1 - erfc(-e/sqrt 2)/2 keeps only the absolute accuracy of a
  // number near 2, and the recursion amplifies what it loses. The tail form
  // erfc(e/sqrt 2)/2 of the same Phi(-e) is accurate relative to itself, so
  // the error of h_0 is known with its sign, up to that accuracy. Both come
  // from one pair of library calls (-x/sqrt 2 is -(x/sqrt 2) to the bit,
  // value and bound). The slope of erfc at e/sqrt 2 from h_-1 >=
  // exp(-e^2/2): over the argument's error z.e, -y^2 grows by at most
  // 2 sqrt 2 |e| z.e.
  const BoundedLanes scaled = x / kSqrtTwoDivisor;
  const LaneBlock t = 2.8285 * absLanes(e) * scaled.e;
  const LaneBlock hhSlope =
      1.1283791670955127 * (hMinusOne.v + hMinusOne.e) * (1.0 + t * (1.0 + t)) *
      (1.0 + 1e-15) * (1.0 + 4.0 * kU);
  BoundedLanes mirrored, at;
  for (int l = 0; l < kBatchLanes; ++l) {
    const Bounded scaledLane{scaled.v[l], scaled.e[l]};
    const double slope = t[l] <= 1e-3 ? hhSlope[l] : bounded_detail::erfcSlope(scaledLane);
    Bounded atLane = Bounded::exact(0.0), mirroredLane;
    if (e[l] > 0.0) {
      const BoundedPair sides = erfcBothSides(scaledLane, slope);
      atLane = sides.at;
      mirroredLane = sides.mirrored;
    } else {
      mirroredLane = erfc(Bounded{-scaledLane.v, scaledLane.e}, slope);
    }
    at.v[l] = atLane.v;
    at.e[l] = atLane.e;
    mirrored.v[l] = mirroredLane.v;
    mirrored.e[l] = mirroredLane.e;
  }
  const BoundedLanes sqrtTwoPi = broadcastBounded(literal(kSqrtTwoPi));
  const BoundedLanes hZero = (one - 0.5 * mirrored) * sqrtTwoPi;
  const BoundedLanes tail = (0.5 * at) * sqrtTwoPi;
  const LaneMask unstable = greaterLanes(e, zeroLanes());
  const LaneBlock zeroDelta = hZero.v - tail.v;
  const LaneBlock zeroDeltaError = (tail.e + kU * absLanes(zeroDelta)) + kTiny;
  out.zeroDelta = selectLanes(unstable, zeroDelta, zeroLanes());
  out.zeroDeltaError = selectLanes(unstable & lessLanes(zeroDeltaError, hZero.e), zeroDeltaError,
                                   broadcastLanes(-1.0));
  out.values.eOverAlpha = eOverAlpha.v;
  out.values.phi = phi.v;
  out.values.hMinusOne = hMinusOne.v;
  out.values.hZero = hZero.v;
  out.eOverAlphaError = eOverAlpha.e;
  out.phiError = phi.e;
  out.hMinusOneError = hMinusOne.e;
  out.hZeroError = hZero.e;
}

void boundedUpsilon(const SeriesSlice& slice, const BoundedSeriesSlice& b, const LaneBlock& c,
                    const double* cError, const BoundedFamilyLevels& upLevels,
                    const BoundedFamilyLevels& downLevels, const LaneBlock* up,
                    const LaneBlock* down,
                    const LaneBlock& SP, const double* SPRounding, const LaneBlock& SQ,
                    const double* SQRounding, const Bounded* noJump, int count,
                    Bounded* upsilon) {
  const int N = slice.N;
  FamilyBounds upward, downward;
  if (N > 0) {
    FamilyScratch scratch;
    familyBound(slice.upward, b.upward, N, upLevels, up, scratch, upward);
    familyBound(slice.downward, b.downward, N, downLevels, down, scratch, downward);
  }
  for (int l = 0; l < count; ++l) {
    const double upError = N > 0 ? upward.error[l] : 0.0;
    const double downError = N > 0 ? downward.error[l] : 0.0;
    const double UP = slice.upScale * SP[l];
    const double UQ = slice.downScale * SQ[l];
    double UPError = kU * std::fabs(UP) + b.upScale.e * std::fabs(SP[l]) +
                     upper(b.upScale) * (upError + SPRounding[l]);
    double UQError = kU * std::fabs(UQ) + b.downScale.e * std::fabs(SQ[l]) +
                     upper(b.downScale) * (downError + SQRounding[l]);
    if (N > 0) {
      // The shift from the level where the bound holds to the true one: the
      // slope there, plus how far the slope itself can move over the shift.
      const double upReach = cError[l] + upward.shift[l];
      const double downReach = cError[l] + downward.shift[l];
      UPError += upReach * std::fmin(b.density, upper(b.upScale) * upward.slope[l] +
                                                    upReach * b.densitySlope);
      UQError += downReach * std::fmin(b.density, upper(b.downScale) * downward.slope[l] +
                                                      downReach * b.densitySlope);
    }
    const Bounded upwardPart{UP, finiteOrInfinite(UPError * (1.0 + 4.0 * kU))};
    const Bounded downwardPart{UQ, finiteOrInfinite(UQError * (1.0 + 4.0 * kU))};
    upsilon[l] = noJump[l] * b.pi0 + (downwardPart + upwardPart);
  }
}

Bounded boundedNoJumpFactor(const BoundedSeriesSlice& b, double c, double cError) {
  const Bounded level{c, cError};
  return normalCdfBounded(-level / b.sqrtTSigmaDivisor);
}

}  // namespace jdpricer
