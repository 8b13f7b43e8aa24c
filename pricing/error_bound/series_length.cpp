#include "pricing/error_bound/series_length.hpp"

#include <algorithm>
#include <cmath>

#include "pricing/closed_form/hh_integral.hpp"
#include "pricing/common/fp_environment.hpp"
#include "pricing/common/kou_measures.hpp"

namespace jdpricer {

namespace {

// m_n for n = 0..170: the largest double mean whose poissonTailAbove(mean, n)
// is at most 2^-54, by bisection from m_{n-1} (series_length_test.cpp).
constexpr double kSettledMean[kSeriesTableSize] = {
    0x1.fffffff768f95p-55, 0x1.6a09e67a3f997p-27, 0x1.d12f05813a3c9p-18,
    0x1.90ad4d6aba5bcp-13, 0x1.7f23f4af7fe64p-10, 0x1.7f86b964802b3p-8,
    0x1.083af40ee9686p-6, 0x1.1f9f1eb453189p-5, 0x1.0b27a991e10c9p-4,
    0x1.bba89c085e987p-4, 0x1.5346965aa1e14p-3, 0x1.e78865c8e550ep-3,
    0x1.4db6fc9b97051p-2, 0x1.b79a40feccfcp-2, 0x1.18aafe5b824fcp-1,
    0x1.5d55f44a2ef4dp-1, 0x1.a9a1e8a912a1cp-1, 0x1.fd5a5b3af4326p-1,
    0x1.2c22db5da6ef9p+0, 0x1.5d13d9c0cef5ep+0, 0x1.916184965eecp+0,
    0x1.c8ed4f381273ap+0, 0x1.01cc968a406b4p+1, 0x1.20a3ebebdfe6p+1,
    0x1.40ee7e5c6bd2ap+1, 0x1.629eabf245c66p+1, 0x1.85a7618e8dc51p+1,
    0x1.a9fc1da3449d2p+1, 0x1.cf90efcaba462p+1, 0x1.f65a762d364d5p+1,
    0x1.0f26ecb676bcep+2, 0x1.23b063cef4a59p+2, 0x1.38c4b75545224p+2,
    0x1.4e5f3b3513f07p+2, 0x1.647b7d4dafb26p+2, 0x1.7b1542727db2p+2,
    0x1.9228837acdaabp+2, 0x1.a9b16a692f592p+2, 0x1.c1ac4faf89508p+2,
    0x1.da15b7931701p+2, 0x1.f2ea4fb1ef341p+2, 0x1.061376554ed91p+3,
    0x1.12e443f2caf66p+3, 0x1.1fe61ebfde0bp+3, 0x1.2d17a52a7315dp+3,
    0x1.3a7785147dba1p+3, 0x1.48047af71af2ap+3, 0x1.55bd51137ba5ep+3,
    0x1.63a0deb0cf8b2p+3, 0x1.71ae076668b1ep+3, 0x1.7fe3ba7155033p+3,
    0x1.8e40f214b228ep+3, 0x1.9cc4b30408a67p+3, 0x1.ab6e0bd704194p+3,
    0x1.ba3c1485e8226p+3, 0x1.c92dedee2b1c3p+3, 0x1.d842c15ea934ep+3,
    0x1.e779c02aebce6p+3, 0x1.f6d2234509d7bp+3, 0x1.0325956ed72cdp+4,
    0x1.0af20f04ed2f2p+4, 0x1.12ce2536ff7d1p+4, 0x1.1ab981f7099cp+4,
    0x1.22b3d231282eep+4, 0x1.2abcc5a822846p+4, 0x1.32d40ed3fabffp+4,
    0x1.3af962c26263ap+4, 0x1.432c78f8f3851p+4, 0x1.4b6d0b591135ap+4,
    0x1.53bad60553ce9p+4, 0x1.5c15974867c06p+4, 0x1.647d0f7d474dap+4,
    0x1.6cf100f8b9578p+4, 0x1.75712ff400d8fp+4, 0x1.7dfd6278aa2eep+4,
    0x1.8695604d64887p+4, 0x1.8f38f2e3d72f2p+4, 0x1.97e7e54763595p+4,
    0x1.a0a2040cc45dp+4, 0x1.a9671d428103dp+4, 0x1.b237006221a5ap+4,
    0x1.bb117e421f93p+4, 0x1.c3f6690882fd2p+4, 0x1.cce5941e256a4p+4,
    0x1.d5ded4228f3ecp+4, 0x1.dee1fee067a9fp+4, 0x1.e7eeeb426eba7p+4,
    0x1.f1057148f9f1cp+4, 0x1.fa2569ffec22cp+4, 0x1.01a757ba90f3ap+5,
    0x1.06408e57a62f4p+5, 0x1.0ade46d29a1cdp+5, 0x1.0f806f9aafd49p+5,
    0x1.1426f78f0ae91p+5, 0x1.18d1cdfadd7f1p+5, 0x1.1d80e291c071ap+5,
    0x1.2234256c335a4p+5, 0x1.26eb87044272p+5, 0x1.2ba6f83250684p+5,
    0x1.30666a2a0253ep+5, 0x1.3529ce774c1fcp+5, 0x1.39f116fb9bc7fp+5,
    0x1.3ebc35eb21eb7p+5, 0x1.438b1dca364b7p+5, 0x1.485dc16ad6d6p+5,
    0x1.4d3413ea3fffdp+5, 0x1.520e08ae9d35dp+5, 0x1.56eb9364d0465p+5,
    0x1.5bcca7fe4ebp+5, 0x1.60b13aaf13d0ep+5, 0x1.65993feba7041p+5,
    0x1.6a84ac6734c28p+5, 0x1.6f737511b9e97p+5, 0x1.74658f16405ffp+5,
    0x1.795aefd92c44fp+5, 0x1.7e538cf698fb6p+5, 0x1.834f5c40c556ep+5,
    0x1.884e53be8e493p+5, 0x1.8d5069a9f7667p+5, 0x1.9255946ec0b21p+5,
    0x1.975dcaa9091b7p+5, 0x1.9c690323fd276p+5, 0x1.a17734d891419p+5,
    0x1.a68856ec4735ep+5, 0x1.ab9c60affe621p+5, 0x1.b0b3499ece2b5p+5,
    0x1.b5cd095cea4d8p+5, 0x1.bae997b6909a3p+5, 0x1.c008ec9effd1dp+5,
    0x1.c52b002f772b7p+5, 0x1.ca4fcaa63e398p+5, 0x1.cf774465b4de1p+5,
    0x1.d4a165f36af1fp+5, 0x1.d9ce27f73f59cp+5, 0x1.defd833a8638bp+5,
    0x1.e42f70a7360b1p+5, 0x1.e963e9471b4f9p+5, 0x1.ee9ae643128dcp+5,
    0x1.f3d460e2487cdp+5, 0x1.f91052898006fp+5, 0x1.fe4eb4ba5dfb5p+5,
    0x1.01c7c0895d1bdp+6, 0x1.046958a5fb061p+6, 0x1.070c1f9d2bda8p+6,
    0x1.09b01266355d7p+6, 0x1.0c552e05327e7p+6, 0x1.0efb6f8ac82bp+6,
    0x1.11a2d413dc47fp+6, 0x1.144b58c94ed05p+6, 0x1.16f4fadfb4f7dp+6,
    0x1.199fb797164adp+6, 0x1.1c4b8c3aabb0ep+6, 0x1.1ef87620a042fp+6,
    0x1.21a672a9d3effp+6, 0x1.24557f419fcbep+6, 0x1.2705995d9c0e7p+6,
    0x1.29b6be7d67a9cp+6, 0x1.2c68ec2a7169cp+6, 0x1.2f1c1ff7c2942p+6,
    0x1.31d05781cafb4p+6, 0x1.3485906e2e722p+6, 0x1.373bc86b93a0ap+6,
    0x1.39f2fd3174226p+6, 0x1.3cab2c7fede9ep+6, 0x1.3f64541f95e17p+6,
    0x1.421e71e14bb3ep+6, 0x1.44d9839e0ec43p+6, 0x1.47958736d43e8p+6,
    0x1.4a527a945e378p+6, 0x1.4d105ba713e08p+6, 0x1.4fcf2866dab8fp+6,
};

bool finitePositive(double x) { return std::isfinite(x) && x > 0.0; }

}  // namespace

double settledPoissonMean(int n) { return kSettledMean[n]; }

SeriesLengthRule::SeriesLengthRule(double sigma, double lam, double p, double eta1,
                                   double eta2) {
  const PinnedFloatingPoint pinned;
  const KouMeasures m = kouMeasures(sigma, lam, p, eta1, eta2);
  const double stockLam = m.stock.lam;
  inDomain_ = finitePositive(sigma) && std::isfinite(lam) && lam >= 0.0 && p >= 0.0 &&
              p <= 1.0 && std::isfinite(eta1) && eta1 > 1.0 && finitePositive(eta2) &&
              std::isfinite(eta2) && std::isfinite(stockLam) && stockLam >= 0.0;
  rate_ = inDomain_ ? std::max(stockLam, lam) : 0.0;
}

int SeriesLengthRule::operator()(double T) const {
  const PinnedFloatingPoint pinned;  // a comparison with NaN raises a flag
  if (!inDomain_) return kMaxSeriesTerms;
  if (!(T > 0.0)) return 0;  // NaN included
  const double mean = rate_ * T;  // +inf for T = +inf
  const double* end = kSettledMean + kSeriesTableSize;
  const double* settled = std::lower_bound(kSettledMean, end, mean);
  return settled == end ? kMaxSeriesTerms : static_cast<int>(settled - kSettledMean);
}

}  // namespace jdpricer
