#include "pricing/integral_family.hpp"

#include <cmath>

#include "pricing/lanes.hpp"

namespace jdpricer {

void buildIntegralFamily(int count, double alpha, double beta, double delta,
                         IntegralFamily& family) {
  family.which = selectIntegralCase(alpha, beta);
  family.count = count;
  family.alpha = alpha;
  family.beta = beta;
  family.delta = delta;
  if (family.which == IntegralCase::kZero) return;
  const double rho = beta / alpha;
  const double F = std::exp((alpha * alpha) / ((beta + beta) * beta) + (delta * alpha) / beta);
  const double G = kSqrtTwoPi / beta;
  family.alphaOverBeta = alpha / beta;
  family.rhoPow[0] = 1.0;  // pow(x, 0) is 1 for every x, NaN included
  for (int j = 1; j <= count; ++j) family.rhoPow[j] = std::pow(rho, static_cast<double>(j));
  for (int m = 0; m < count; ++m) family.gaussianScale[m] = (G * family.rhoPow[m + 1]) * F;
}

template <int Lanes>
void evaluateIntegralFamily(const IntegralFamily& f, const double* c, double (*out)[Lanes]) {
  const int count = f.count;
  if (f.which == IntegralCase::kZero) {
    for (int m = 0; m < count; ++m) {
      for (int l = 0; l < Lanes; ++l) out[m][l] = 0.0;
    }
    return;
  }
  // Per lane: e, E/alpha and the normal factor, then Hh_0(e) .. Hh_{count-1}(e)
  // by the upward recursion.
  alignas(kLaneAlignment) double e[Lanes], eOverAlpha[Lanes], phi[Lanes], older[Lanes];
  alignas(kLaneAlignment) double hh[kSeriesTableSize][Lanes];
  for (int l = 0; l < Lanes; ++l) {
    e[l] = f.beta * c[l] - f.delta;
    eOverAlpha[l] = std::exp(f.alpha * c[l]) / f.alpha;
    phi[l] = f.which == IntegralCase::kA
                 ? normalCdf((f.delta - c[l] * f.beta) + f.alphaOverBeta)
                 : normalCdf((f.beta * c[l] - f.delta) - f.alphaOverBeta);
    hh[0][l] = hhZero(e[l]);
    older[l] = hhMinusOne(e[l]);
  }
  for (int m = 1; m < count; ++m) {
    for (int l = 0; l < Lanes; ++l) {
      hh[m][l] = hhStep(older[l], hh[m - 1][l], e[l], m);
      older[l] = hh[m - 1][l];
    }
  }
  for (int m = 0; m < count; ++m) {
    alignas(kLaneAlignment) double sum[Lanes];
    for (int l = 0; l < Lanes; ++l) sum[l] = 0.0;
    for (int i = 0; i <= m; ++i) {
      const double power = f.rhoPow[m - i];
      for (int l = 0; l < Lanes; ++l) sum[l] = sum[l] + hh[i][l] * power;
    }
    const double scale = f.gaussianScale[m];
    if (f.which == IntegralCase::kA) {
      for (int l = 0; l < Lanes; ++l) out[m][l] = scale * phi[l] - sum[l] * eOverAlpha[l];
    } else {
      for (int l = 0; l < Lanes; ++l) out[m][l] = (-eOverAlpha[l]) * sum[l] - scale * phi[l];
    }
  }
}

template void evaluateIntegralFamily<1>(const IntegralFamily&, const double*, double (*)[1]);
template void evaluateIntegralFamily<kBatchLanes>(const IntegralFamily&, const double*,
                                                  double (*)[kBatchLanes]);

void fillIntegralI(int count, double c, double alpha, double beta, double delta, double* out) {
  IntegralFamily family;
  buildIntegralFamily(count, alpha, beta, delta, family);
  evaluateIntegralFamily<1>(family, &c, reinterpret_cast<double (*)[1]>(out));
}

}  // namespace jdpricer
