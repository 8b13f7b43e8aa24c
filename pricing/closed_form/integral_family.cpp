#include "pricing/closed_form/integral_family.hpp"

#include <cmath>

namespace jdpricer {

void buildIntegralFamily(int count, double alpha, double beta, double delta,
                         IntegralFamily& family) {
  family.which = selectIntegralCase(alpha, beta);
  family.count = count;
  family.alpha = alpha;
  family.beta = beta;
  family.delta = delta;
  if (family.which == IntegralCase::kZero) return;
  const IntegralConstants k = integralConstants(alpha, beta, delta);
  family.constants = k;
  family.rhoPow[0] = 1.0;  // pow(x, 0) is 1 for every x, NaN included
  for (int j = 1; j <= count; ++j) family.rhoPow[j] = std::pow(k.rho, static_cast<double>(j));
  for (int m = 0; m < count; ++m) family.gaussianScale[m] = (k.G * family.rhoPow[m + 1]) * k.F;
}

namespace {

// How many sums S_m one pass over the Hh values builds: their chains are
// independent, so they run side by side and share the loads of Hh_i.
constexpr int kSumsPerPass = 4;

}  // namespace

template <int Lanes>
void evaluateIntegralFamilyAt(
    const IntegralFamily& f,
    const IntegralLevelValues<typename LaneVector<Lanes>::type>& level,
    typename LaneVector<Lanes>::type* out, typename LaneVector<Lanes>::type* hh) {
  using Vec = typename LaneVector<Lanes>::type;
  const int count = f.count;
  if (f.which == IntegralCase::kZero) {
    for (int m = 0; m < count; ++m) out[m] = zeroVector<Vec>();
    return;
  }
  if (count == 0) return;
  // Hh_0(e) .. Hh_{count-1}(e) by the upward recursion on whole vectors.
  const Vec eOverAlpha = level.eOverAlpha, phi = level.phi;
  hhRecursion(level, count, hh);
  // S_m = sum_{i=0..m} Hh_i rho^(m-i), each from 0.0 in increasing i.
  const double* rhoPow = f.rhoPow;
  auto finish = [&](int m, Vec sum) {
    const Vec gaussian = f.gaussianScale[m] * phi;
    out[m] = f.which == IntegralCase::kA ? gaussian - sum * eOverAlpha
                                         : (-eOverAlpha) * sum - gaussian;
  };
  int m = 0;
  for (; m + kSumsPerPass <= count; m += kSumsPerPass) {
    Vec s0 = zeroVector<Vec>(), s1 = s0, s2 = s0, s3 = s0;
    for (int i = 0; i <= m; ++i) {
      s0 = s0 + hh[i] * rhoPow[m - i];
      s1 = s1 + hh[i] * rhoPow[m + 1 - i];
      s2 = s2 + hh[i] * rhoPow[m + 2 - i];
      s3 = s3 + hh[i] * rhoPow[m + 3 - i];
    }
    s1 = s1 + hh[m + 1] * rhoPow[0];
    s2 = s2 + hh[m + 1] * rhoPow[1];
    s3 = s3 + hh[m + 1] * rhoPow[2];
    s2 = s2 + hh[m + 2] * rhoPow[0];
    s3 = s3 + hh[m + 2] * rhoPow[1];
    s3 = s3 + hh[m + 3] * rhoPow[0];
    finish(m, s0);
    finish(m + 1, s1);
    finish(m + 2, s2);
    finish(m + 3, s3);
  }
  for (; m < count; ++m) {
    Vec sum = zeroVector<Vec>();
    for (int i = 0; i <= m; ++i) sum = sum + hh[i] * rhoPow[m - i];
    finish(m, sum);
  }
}

template <int Lanes>
void formIntegralLevelValues(const IntegralFamily& f, const typename LaneVector<Lanes>::type& c,
                             IntegralLevelValues<typename LaneVector<Lanes>::type>& level) {
  for (int l = 0; l < Lanes; ++l) {
    const IntegralLevel t =
        integralLevel(f.which, f.constants, lane(c, l), f.alpha, f.beta, f.delta);
    lane(level.e, l) = t.e;
    lane(level.eOverAlpha, l) = t.eOverAlpha;
    lane(level.phi, l) = t.phi;
    lane(level.hZero, l) = hhZero(t.e);
    lane(level.hMinusOne, l) = hhMinusOne(t.e);
  }
}

template <int Lanes>
void evaluateIntegralFamily(const IntegralFamily& f, typename LaneVector<Lanes>::type c,
                            typename LaneVector<Lanes>::type* out) {
  typename LaneVector<Lanes>::type hh[kSeriesTableSize];
  if (f.which == IntegralCase::kZero) {
    evaluateIntegralFamilyAt<Lanes>(f, {}, out, hh);
    return;
  }
  // e, E/alpha, the normal factor and the recursion's start per lane
  // (library calls).
  IntegralLevelValues<typename LaneVector<Lanes>::type> level;
  formIntegralLevelValues<Lanes>(f, c, level);
  evaluateIntegralFamilyAt<Lanes>(f, level, out, hh);
}

template void evaluateIntegralFamily<1>(const IntegralFamily&, LaneVector<1>::type,
                                        LaneVector<1>::type*);
template void evaluateIntegralFamily<kBatchLanes>(const IntegralFamily&,
                                                  LaneVector<kBatchLanes>::type,
                                                  LaneVector<kBatchLanes>::type*);
template void formIntegralLevelValues<kBatchLanes>(
    const IntegralFamily&, const LaneVector<kBatchLanes>::type&,
    IntegralLevelValues<LaneVector<kBatchLanes>::type>&);
template void evaluateIntegralFamilyAt<kBatchLanes>(
    const IntegralFamily&, const IntegralLevelValues<LaneVector<kBatchLanes>::type>&,
    LaneVector<kBatchLanes>::type*, LaneVector<kBatchLanes>::type*);

void fillIntegralI(int count, double c, double alpha, double beta, double delta, double* out) {
  IntegralFamily family;
  buildIntegralFamily(count, alpha, beta, delta, family);
  evaluateIntegralFamily<1>(family, c, out);
}

}  // namespace jdpricer
