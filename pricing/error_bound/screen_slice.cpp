#include "pricing/error_bound/screen_slice.hpp"

#include <cmath>
#include <limits>

#include "pricing/error_bound/bound_support.hpp"
#include "pricing/error_bound/recursion_adjoint.hpp"

namespace jdpricer {

using namespace bound_support;

namespace {

// A power x^j = pow(x, j) of a double x within relative r of its exact
// value, j <= N: within 2 u of x^j (exact for j = 1), and x^j within
// (1 + r)^j - 1 <= 1.001 j r of the exact power where N r <= 1e-3. +inf
// beyond, or where the powers leave the normal range (checked by callers).
double powerRelative(double r, int N) {
  const double growth = static_cast<double>(N) * r;
  if (!(growth <= 1e-3)) return kInfinity;
  return (2.0 * kU + 1.001 * growth * (1.0 + 2.0 * kU)) * (1.0 + 4.0 * kU);
}

// (1 + a)(1 + b) - 1, from above.
double compound(double a, double b) { return (a + b + a * b) * (1.0 + 4.0 * kU); }

bool normalRange(double x) {
  const double magnitude = std::fabs(x);
  return magnitude >= 0x1p-1000 && magnitude <= 0x1p1000;
}

// The relative errors of the Poisson weights and of the powers (eta s)^k,
// from the maturity's bounded constants alone where every weight and power
// is a normal double (no underflow blurs a relative bound); else, where
// possible, each in bounded arithmetic (boundSeriesPowers).
struct SeriesRelatives {
  double poisson, upPowers, downPowers;
};

SeriesRelatives seriesRelatives(const SeriesSlice& slice, const BoundedJumpLaw& law,
                                const Bounded* fact, double factorialRelative, Bounded pi0) {
  const int N = slice.N;
  bool normal = normalRange(slice.eta1SPow[1]) && normalRange(slice.eta1SPow[N]) &&
                normalRange(slice.eta2SPow[1]) && normalRange(slice.eta2SPow[N]);
  for (int n = 1; n <= N; ++n) {
    normal = normal && normalRange(slice.poisson[n]) && normalRange(slice.lamTPow[n]);
  }
  const Bounded T = Bounded::exact(slice.T);
  const Bounded s = Bounded::exact(slice.sigma) * sqrt(T);
  const Bounded lamT = law.lam * T;
  const Bounded eta1S = law.eta1 * s, eta2S = law.eta2 * s;
  // The constants are the engine's, to the bit (the factorials are).
  const bool engines = lamT.v == slice.lamT && pi0.v == slice.pi0 &&
                       eta1S.v == slice.eta1SPow[1] && eta2S.v == slice.eta2SPow[1];
  SeriesRelatives out;
  if (normal && engines) {
    // pi_n = fl(fl(pi_0 (lam T)^n) / n!).
    out.poisson = compound(compound(relativeError(pi0), powerRelative(relativeError(lamT), N)),
                           compound(factorialRelative, 2.0 * kU));
    out.upPowers = powerRelative(relativeError(eta1S), N);
    out.downPowers = powerRelative(relativeError(eta2S), N);
    return out;
  }
  Bounded pi[kSeriesTableSize], eta1SPow[kSeriesTableSize], eta2SPow[kSeriesTableSize];
  boundSeriesPowers(slice, law, fact, pi0, pi, eta1SPow, eta2SPow);
  out.poisson = out.upPowers = out.downPowers = 0.0;
  for (int n = 1; n <= N; ++n) {
    const double r = pi[n].v == slice.poisson[n] ? relativeError(pi[n]) : kInfinity;
    if (!(r <= out.poisson)) out.poisson = r;
    const double up = relativeError(eta1SPow[n]), down = relativeError(eta2SPow[n]);
    if (!(up <= out.upPowers)) out.upPowers = up;
    if (!(down <= out.downPowers)) out.downPowers = down;
  }
  return out;
}

void buildScreenFamily(const IntegralFamily& engine, int N, const BoundedFamilyConstants& k,
                       double poissonRelative, double powerRelativeError, const double* poisson,
                       const double* rowRelative, const double* W, ScreenFamily& out) {
  out.usable = engine.which != IntegralCase::kZero && k.alpha.v == engine.alpha &&
               k.beta.v == engine.beta && k.delta.v == engine.delta &&
               k.alphaOverBeta.v == engine.constants.alphaOverBeta &&
               k.rho.v == engine.constants.rho && k.F.v == engine.constants.F &&
               k.G.v == engine.constants.G && engine.constants.rho > 0.0;
  out.alpha = engine.alpha;
  out.alphaError = k.alpha.e;
  out.betaError = k.beta.e;
  out.deltaError = k.delta.e;
  out.betaInverseRoom = divisor(k.beta).inverseRoom;
  out.alphaOverBetaError = k.alphaOverBeta.e;
  out.expTiny = 4.0 * kTiny * (1.0 + 1.0 / std::fabs(engine.alpha));
  const double FLow = k.F.v - k.F.e;
  out.phiSlopeScale = FLow > 0.0 ? upper(k.alpha) / FLow * (1.0 + 4.0 * kU) : kInfinity;
  // The powers of rho and the Gaussian factors g_m = fl(fl(G rho^(m+1)) F):
  // a-priori where they are normal doubles (both are geometric in m, so the
  // ends decide), else bounded one by one.
  if (normalRange(engine.rhoPow[1]) && normalRange(engine.rhoPow[N]) &&
      normalRange(engine.gaussianScale[0]) && normalRange(engine.gaussianScale[N - 1])) {
    out.rhoRelative = powerRelative(relativeError(k.rho), N);
    out.gaussianRelative =
        compound(compound(relativeError(k.G), out.rhoRelative),
                 compound(relativeError(k.F), 2.0 * kU));
  } else {
    double rhoPowRelative[kSeriesTableSize + 1], gaussianError[kSeriesTableSize];
    boundFamilyPowers(engine, N, k, rhoPowRelative, gaussianError);
    out.rhoRelative = rhoPowRelative[N];
    out.gaussianRelative = 0.0;
    for (int m = 0; m < N; ++m) {
      const double g = std::fabs(engine.gaussianScale[m]);
      const double r = gaussianError[m] == 0.0 ? 0.0 : gaussianError[m] / g * (1.0 + 2.0 * kU);
      if (!(r <= out.gaussianRelative)) out.gaussianRelative = r;
    }
  }
  out.rhoRelative = finiteOrInfinite(out.rhoRelative);
  out.gaussianRelative = finiteOrInfinite(out.gaussianRelative);

  // The weights' relative error: each pi_n W_{n,k} against the exact one,
  // W = fl((eta s)^k C_{n,k}) with the power and the coefficient bounded.
  double rowWorst = 0.0;
  for (int n = 1; n <= N; ++n) {
    if (!(rowRelative[n] <= rowWorst)) rowWorst = rowRelative[n];
  }
  const double product = compound(compound(powerRelativeError, rowWorst), kU);
  out.weightRelative = finiteOrInfinite(compound(poissonRelative, product));

  // w_m, k_i and Gw: sums of non-negative terms, rounded up.
  double sum[kSeriesTableSize];
  for (int m = 0; m < N; ++m) sum[m] = 0.0;
  for (int n = 1; n <= N; ++n) {
    const double* row = W + triangleIndex(n, 1);
    const double piV = poisson[n];
    for (int j = 0; j < n; ++j) sum[j] += piV * std::fabs(row[j]);
  }
  const double up = (1.0 + gamma(N + 2)) * (1.0 + 2.0 * kU);
  double weight[kSeriesTableSize];  // w_m
  double weightSum = 0.0, gaussian = 0.0;
  for (int m = 0; m < N; ++m) {
    weight[m] = sum[m] * up;
    weightSum += weight[m];
    gaussian += weight[m] * std::fabs(engine.gaussianScale[m]);
  }
  out.gaussianWeight = finiteOrInfinite(gaussian * up);
  // k_i = w_i + rho k_{i+1} (Horner, 2 roundings a step) bounds
  // sum_{m>=i} w_m rho^(m-i) with the double rho; the computed powers are
  // within 2 u of those.
  const double rho = engine.constants.rho;
  const double horner = (1.0 + gamma(2 * N + 2)) * (1.0 + 4.0 * kU);
  // Subnormal powers are within an underflow of their value instead.
  const double underflow = (weightSum * up + 1.0) * 4.0 * kTiny;
  // The exact kappa_i are within (1 + eps_W)(1 + eps_rho) and the sums'
  // and Horner's roundings of these: the weights have one sign (the rows'
  // relative errors are finite only for coefficients >= 0, and the powers
  // (eta s)^k are positive).
  const double kappaRelative =
      2.0 * (out.weightRelative + out.rhoRelative + gamma(3 * N + 8) + (up - 1.0));
  double acc = 0.0;
  for (int i = N - 1; i >= 0; --i) {
    acc = weight[i] + rho * acc;
    out.hhWeight[i] = finiteOrInfinite(acc * horner + underflow);
    out.kappa[i] = acc;
    out.kappaError[i] = finiteOrInfinite(acc * kappaRelative + underflow);
  }
  // The header's bound, with sum_m w_m |I_m| <= (Gw |Phi| + |E/alpha|
  // (1 + gamma_N) P3)(1 + 4 u), grouped by |Phi|, dPhi, |E/alpha| P3, dE P3
  // and the recursion's term.
  const double gammaN = gamma(N), up8 = 1.0 + 8.0 * kU;
  out.outer = (1.0 + out.weightRelative) * up8;
  const double accumulation =
      (gamma(N + 3) + out.weightRelative + out.outer * kU) * (1.0 + 4.0 * kU);
  out.phiTerm = finiteOrInfinite(
      out.gaussianWeight * (accumulation + out.outer * (kU + out.gaussianRelative)) * up8);
  out.phiErrorTerm =
      finiteOrInfinite(out.outer * out.gaussianWeight * (1.0 + out.gaussianRelative) * up8);
  out.sumTerm = finiteOrInfinite(
      (accumulation * (1.0 + gammaN) +
       out.outer * (kU * (1.0 + gammaN) + gammaN + out.rhoRelative)) * up8);
  out.sumErrorTerm = finiteOrInfinite(out.outer * (1.0 + 2.0 * gammaN + out.rhoRelative) * up8);
  // Each I_m's three roundings and each product and addition of the
  // accumulation may underflow.
  const double cells = static_cast<double>(N + 1) * static_cast<double>(N + 1);
  out.tinyTerm = finiteOrInfinite((4.0 * weightSum * up + 2.0 * cells + 8.0) * kTiny);
}

// The per-option arithmetic runs on two lanes at a time (one SSE2
// register), few enough values to stay in registers.
using Pair = DoublePair;
using PairMask = MaskPair;

inline Pair both(double x) { return Pair{x, x}; }
inline Pair magnitude(Pair x) {
  const PairMask bits = {0x7fffffffffffffffLL, 0x7fffffffffffffffLL};
  return reinterpret_cast<Pair>(reinterpret_cast<PairMask>(x) & bits);
}
inline Pair select(PairMask mask, Pair ifTrue, Pair ifFalse) {
  return reinterpret_cast<Pair>((reinterpret_cast<PairMask>(ifTrue) & mask) |
                                (reinterpret_cast<PairMask>(ifFalse) & ~mask));
}
// std::fmin: a NaN operand yields the other one.
inline Pair smaller(Pair a, Pair b) {
  return select(reinterpret_cast<PairMask>(b < a) | ~reinterpret_cast<PairMask>(a <= a), b, a);
}
inline Pair finiteOr(Pair x) {
  return select(reinterpret_cast<PairMask>(x <= both(std::numeric_limits<double>::max())), x,
                both(kInfinity));
}

// |Phi(y) - Phi(y*)| plus the computed normalCdf's own error, for
// |y - y*| <= yError, the computed |Phi| = phiAbs and tau >= exp(-y*^2/2)
// (1 where nothing better is known): w = fl(y / sqrt 2) is within
// dw = 1.416 u |y| + 0.7072 yError of y*/sqrt 2, over which exp(-w^2)
// grows by at most exp(2 |w| dw); there erfc moves by at most
// (2/sqrt(pi)) exp(-w^2) dw, and the library's erfc errs by at most
// 11 u exp(-w^2) + min(2 u, exp(-w^2)) (erfc(|w|) <= exp(-w^2), and
// 2 - erfc(|w|) for w < 0 rounds within both); the halving is exact up to
// an underflow and the subtraction from 1 within u |Phi|.
Pair normalCdfError(Pair y, Pair yError, Pair phiAbs, Pair tau) {
  const Pair wError = (1.416 * kU) * magnitude(y) + 0.7072 * yError;
  const Pair reach = 1.4143 * magnitude(y) * wError;  // >= 2 |w| dw
  const Pair grown =
      select(reinterpret_cast<PairMask>(reach <= both(1e-3)),
             smaller(tau * (1.0 + 1.001 * reach) * (1.0 + 4.0 * kU), both(1.0)), both(1.0));
  const Pair library = (11.0 * kU) * grown + smaller(both(2.0 * kU), grown);
  return ((kU * phiAbs + 0.5 * library) + 0.5642 * grown * wError) * (1.0 + 4.0 * kU) + kTiny;
}

// e^t - 1 <= 1.01 t and the relative errors compound below 1.01 for
// t <= 1e-3; beyond that the screen gives up (+inf).
Pair smallGrowth(Pair relative, Pair t) {
  return select(reinterpret_cast<PairMask>(t <= both(1e-3)), relative * 1.01, both(kInfinity));
}

struct ScreenFamilyBounds {
  LaneBlock error, shift;
};

ScreenFamilyBounds screenFamily(const IntegralFamily& f, const ScreenFamily& b, int N,
                                const LaneBlock& cLanes,
                                const IntegralLevelValues<LaneBlock>& level, const LaneBlock* h,
                                const LaneBlock* budget) {
  ScreenFamilyBounds out;
  if (!b.usable) {
    out.error = out.shift = broadcastLanes(kInfinity);
    return out;
  }
  // The magnitudes' bound of each lane (see the header), and what the
  // adjoint needs: the errors of h_-1 and h_0 and the terms the recursion's
  // bound is weighed by.
  LaneBlock rest, sumScale, recursionScale, minusOneDrifts, zeroDrifts, olderStart, newerStart;
  const double alphaAbs = std::fabs(f.alpha), alphaOverBeta = f.constants.alphaOverBeta;
  for (int part = 0; part < LaneBlock::kParts; ++part) {
    const Pair c = cLanes.part[part], e = level.e.part[part];
    const Pair eAbs = magnitude(e), cAbs = magnitude(c);
    // c~ = (e + delta*)/beta* makes the computed e = fl(fl(beta c) - delta)
    // exact; the two roundings and the constants' errors move it from c.
    const Pair shift = finiteOr(
        ((kU * (magnitude(f.beta * c) + eAbs) + b.deltaError) + b.betaError * cAbs + kTiny) *
        (b.betaInverseRoom * (1.0 + 4.0 * kU)));
    out.shift.part[part] = shift;
    // E/alpha = fl(exp(fl(alpha c)) / alpha) against exp(alpha* c~)/alpha*.
    const Pair t = (kU * magnitude(f.alpha * c) + alphaAbs * shift) +
                   b.alphaError * (cAbs + shift) + kTiny;
    const Pair eOverAlphaAbs = magnitude(level.eOverAlpha.part[part]);
    const Pair dE =
        eOverAlphaAbs * smallGrowth((3.0 * kU + b.alphaError / alphaAbs) + t, t) + b.expTiny;
    // h_-1 = exp(fl(-0.5 e) e) against Hh_-1(e) = exp(-e^2/2).
    const Pair t1 = kU * magnitude((-0.5 * e) * e) + kTiny;
    const Pair minusOneAbs = magnitude(level.hMinusOne.part[part]);
    const Pair minusOneDrift = minusOneAbs * smallGrowth(2.0 * kU + t1, t1) + 2.0 * kTiny;
    const Pair minusOneUpper = minusOneAbs + minusOneDrift;
    // Phi's argument is -e + alpha/beta (case A) or e - alpha/beta (case B)
    // to the bit: one rounding and alpha/beta's error from the exact one at
    // c~, where exp(-z*^2/2) = Hh_-1(e) E / F.
    const Pair z = f.which == IntegralCase::kA ? alphaOverBeta - e : e - alphaOverBeta;
    const Pair phiAbs = magnitude(level.phi.part[part]);
    const Pair dPhi = normalCdfError(z, kU * magnitude(z) + b.alphaOverBetaError, phiAbs,
                                     minusOneUpper * (eOverAlphaAbs + dE) * b.phiSlopeScale);
    // h_0 = fl(normalCdf(-e) sqrt(2 pi)) against Hh_0(e) = sqrt(2 pi) Phi(-e).
    const Pair zeroAbs = magnitude(level.hZero.part[part]);
    const Pair zeroDrift =
        (2.01 * kU) * zeroAbs +
        (2.5068 * (1.0 + 2.0 * kU)) *
            normalCdfError(e, both(0.0), 0.39895 * zeroAbs, minusOneUpper) +
        kTiny;
    minusOneDrifts.part[part] = minusOneDrift;
    zeroDrifts.part[part] = zeroDrift;
    // g_m = (g_{m-2} + |e| g_{m-1})/m + 3.01 u |h_m| + 3 tiny bounds
    // d_m + 2.01 u |h_m|, so the local errors need no terms of their own.
    olderStart.part[part] = minusOneDrift + (2.01 * kU) * minusOneAbs;
    newerStart.part[part] = zeroDrift + (2.01 * kU) * zeroAbs;
    // The terms of the header's bound but P3 = sum_i k_i |h_i| and
    // R = sum_i k_i g_i, grouped by the option's own factors.
    rest.part[part] = (phiAbs * b.phiTerm + dPhi * b.phiErrorTerm) + b.tinyTerm;
    sumScale.part[part] = eOverAlphaAbs * b.sumTerm + dE * b.sumErrorTerm;
    recursionScale.part[part] = b.outer * (eOverAlphaAbs + dE);
  }
  // P3 and R, four lanes at a time: two chains through g hide each other's
  // latency.
  LaneBlock P3, R;
  for (int part = 0; part < LaneBlock::kParts; part += 2) {
    const Pair e0 = magnitude(level.e.part[part]), e1 = magnitude(level.e.part[part + 1]);
    Pair older0 = olderStart.part[part], older1 = olderStart.part[part + 1];
    Pair newer0 = newerStart.part[part], newer1 = newerStart.part[part + 1];
    Pair p0 = b.hhWeight[0] * magnitude(h[0].part[part]);
    Pair p1 = b.hhWeight[0] * magnitude(h[0].part[part + 1]);
    Pair r0 = b.hhWeight[0] * newer0, r1 = b.hhWeight[0] * newer1;
    for (int m = 1; m < N; ++m) {
      const double reciprocal = kReciprocals.of[m], weight = b.hhWeight[m];
      const Pair hAbs0 = magnitude(h[m].part[part]), hAbs1 = magnitude(h[m].part[part + 1]);
      // Off the chains: all but the one product and addition.
      const Pair local0 = older0 * reciprocal + ((3.01 * kU) * hAbs0 + 3.0 * kTiny);
      const Pair local1 = older1 * reciprocal + ((3.01 * kU) * hAbs1 + 3.0 * kTiny);
      older0 = newer0;
      older1 = newer1;
      newer0 = (e0 * reciprocal) * newer0 + local0;
      newer1 = (e1 * reciprocal) * newer1 + local1;
      p0 = p0 + weight * hAbs0;
      p1 = p1 + weight * hAbs1;
      r0 = r0 + weight * newer0;
      r1 = r1 + weight * newer1;
    }
    P3.part[part] = p0;
    P3.part[part + 1] = p1;
    R.part[part] = r0;
    R.part[part + 1] = r1;
  }
  rest = rest + P3 * sumScale;
  LaneBlock recursion = (1.0 + b.rhoRelative) * R;
  const double growth = 1.0 + gamma(6 * N + 16);  // g: 5 roundings a step
  const LaneBlock& e = level.e;
  // A lane takes the adjoint by its own values alone, whatever its
  // neighbours: its bound does not depend on how options share lanes.
  LaneMask adjoined = greaterLanes(e, zeroLanes());
  if (budget != nullptr) {
    adjoined = adjoined &
               greaterLanes((rest + recursionScale * recursion) * growth, 0.25 * *budget);
  }
  if (budget != nullptr && anyLane(adjoined)) {
    // The local errors' bounds (see above) and the adjoint against kappa.
    const LaneBlock eAbs = absLanes(e);
    LaneBlock local[kSeriesTableSize + 1];
    local[0] = minusOneDrifts;
    local[1] = zeroDrifts;
    LaneBlock olderAbs = absLanes(level.hMinusOne), newerAbs = absLanes(h[0]);
    for (int m = 1; m < N; ++m) {
      const LaneBlock hAbs = absLanes(h[m]);
      local[m + 1] =
          kU * (hAbs + (olderAbs + (2.01 * eAbs) * newerAbs) * kReciprocals.of[m]) + 3.0 * kTiny;
      olderAbs = newerAbs;
      newerAbs = hAbs;
    }
    const LaneBlock adjoint = adjointRecursion(e, N, b.kappa, b.kappaError, local, zeroLanes(),
                                               broadcastLanes(-1.0));
    recursion = selectLanes(adjoined, minLanes(recursion, adjoint), recursion);
  }
  out.error = finiteOrInfinite((rest + recursionScale * recursion) * growth);
  return out;
}

}  // namespace

void buildScreenSlice(const SeriesSlice& slice, const BoundedJumpLaw& law, const Bounded* fact,
                      double factorialRelative, const double* rowRelativeP,
                      const double* rowRelativeQ, const double* W, const double* V,
                      ScreenSlice& out) {
  boundSliceScales(slice, law, out);
  const double q = out.sqrtTSigma.v, relative = relativeError(out.sqrtTSigma);
  out.sqrtTSigmaRelative = relative * 1.01;
  out.noJumpReach = out.sharesNoJumpFactor && relative <= 1e-3 && q > 0.0
                        ? finiteOrInfinite(1.01 / q * (1.0 + 2.0 * kU))
                        : kInfinity;
  const int N = slice.N;
  if (N == 0) return;
  const SeriesRelatives relatives =
      seriesRelatives(slice, law, fact, factorialRelative, out.pi0);
  buildScreenFamily(slice.upward, N, boundFamilyConstants(slice, law, true), relatives.poisson,
                    relatives.upPowers, slice.poisson, rowRelativeP, W, out.upward);
  buildScreenFamily(slice.downward, N, boundFamilyConstants(slice, law, false),
                    relatives.poisson, relatives.downPowers, slice.poisson, rowRelativeQ, V,
                    out.downward);
}

void screenUpsilon(const SeriesSlice& slice, const ScreenSlice& b,
                   const SeriesLanes<kBatchLanes>& lanes, const double* cError,
                   const IntegralLevelValues<LaneBlock>& upLevel, const LaneBlock* upHh,
                   const IntegralLevelValues<LaneBlock>& downLevel, const LaneBlock* downHh,
                   const double* upsilon, const LaneBlock* budget, int count,
                   double* upsilonError) {
  const int N = slice.N;
  ScreenFamilyBounds upward, downward;
  if (N > 0) {
    // Each family's share of the budget, before its scale.
    LaneBlock upBudget, downBudget;
    if (budget != nullptr) {
      upBudget = *budget / upper(b.upScale);
      downBudget = *budget / upper(b.downScale);
    }
    upward = screenFamily(slice.upward, b.upward, N, lanes.c, upLevel, upHh,
                          budget != nullptr ? &upBudget : nullptr);
    downward = screenFamily(slice.downward, b.downward, N, lanes.c, downLevel, downHh,
                            budget != nullptr ? &downBudget : nullptr);
  } else {
    upward.error = upward.shift = downward.error = downward.shift = zeroLanes();
  }
  // The no-jump factor Phi(y), y = fl(-c / fl(sqrt(T) sigma)), against
  // Phi(-c* / (sqrt(T) sigma)^*).
  const double q = slice.sqrtT * slice.sigma;
  const LaneBlock y = -lanes.c / q;
  LaneBlock cErrors;
  for (int l = 0; l < kBatchLanes; ++l) cErrors[l] = l < count ? cError[l] : 0.0;
  const LaneBlock yError = (kU * absLanes(y) + b.sqrtTSigmaRelative * absLanes(y)) +
                           b.noJumpReach * cErrors;
  LaneBlock noJumpError;
  for (int part = 0; part < LaneBlock::kParts; ++part) {
    noJumpError.part[part] =
        normalCdfError(y.part[part], yError.part[part], both(1.0), both(1.0));
  }
  const LaneBlock UP = slice.upScale * lanes.SP;
  const LaneBlock UQ = slice.downScale * lanes.SQ;
  const LaneBlock upError = kU * absLanes(UP) + b.upScale.e * absLanes(lanes.SP) +
                            upper(b.upScale) * upward.error + (cErrors + upward.shift) * b.density;
  const LaneBlock downError = kU * absLanes(UQ) + b.downScale.e * absLanes(lanes.SQ) +
                              upper(b.downScale) * downward.error +
                              (cErrors + downward.shift) * b.density;
  // fl(fl(Phi pi_0) + fl(UQ + UP)), |Phi| <= 1.
  const LaneBlock total =
      ((kU * (b.pi0.v + absLanes(UQ) + absLanes(UP)) + b.pi0.e) + upper(b.pi0) * noJumpError) +
      (upError + downError);
  for (int l = 0; l < count; ++l) {
    const double error = (total[l] + kU * std::fabs(upsilon[l])) * (1.0 + 8.0 * kU);
    upsilonError[l] = finiteOrInfinite(error);
  }
}

}  // namespace jdpricer
