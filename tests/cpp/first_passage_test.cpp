// The first-passage machinery: the roots of G(x) = alpha followed along the
// inversion contour, and the touch and barrier books on several workers.
#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include <gtest/gtest.h>

#include "batch/barrier_book.hpp"
#include "batch/lookback_book.hpp"
#include "batch/touch_book.hpp"
#include "pricing/first_passage/passage_roots.hpp"
#include "pricing/first_passage/talbot_contour.hpp"
#include "support/bits.hpp"

namespace {

using jdpricer::Complex;
using jdpricer::PassageModel;
using testing_bits::AwkwardDoubles;
using testing_bits::sameBits;

// (alpha - G(x)) (eta1 - x)(eta2 + x), term by term, and the size of its
// largest term: a root is good when the sum is small against that size.
struct Residual {
  double value, scale;
};
Residual quarticAt(const PassageModel& m, Complex alpha, Complex x) {
  const Complex n = (m.eta1 - x) * (m.eta2 + x);
  const Complex terms[] = {alpha * n, -(m.mu * x) * n, -(0.5 * m.sigma * m.sigma * x * x) * n,
                           m.lam * n, -m.lam * m.p * m.eta1 * (m.eta2 + x),
                           -m.lam * (1.0 - m.p) * m.eta2 * (m.eta1 - x)};
  Complex sum = 0.0;
  double scale = 0.0;
  for (const Complex& t : terms) {
    sum += t;
    scale = std::max(scale, std::abs(t));
  }
  return {std::abs(sum), scale};
}

TEST(FirstPassage, RootsSolveTheQuarticAlongTheContourAndStartInTheirPlaces) {
  const PassageModel models[] = {
      {jdpricer::riskNeutralDrift(0.05, 0.0, 0.16, 1.0, 0.4, 10.0, 5.0), 0.16, 1.0, 0.4, 10.0, 5.0},
      {jdpricer::riskNeutralDrift(0.03, 0.02, 0.3, 3.0, 0.3, 25.0, 3.0), 0.3, 3.0, 0.3, 25.0, 3.0},
      {0.4, 0.05, 8.0, 0.7, 4.0, 2.0},  // steep drift, little diffusion, heavy jumps
  };
  for (const PassageModel& model : {models[0], models[1], models[2], models[1].mirrored()}) {
    for (const double T : {0.02, 0.5, 3.0}) {
      for (const double r : {0.05, -0.01}) {
        Complex s[16], weight[16], alpha[16], roots[64];
        jdpricer::talbotNodes(T, 32, std::max(0.0, -r), s, weight);
        for (int k = 0; k < 16; ++k) alpha[k] = s[k] + r;
        ASSERT_TRUE(jdpricer::followAllRoots(model, alpha, 16, roots));
        for (int k = 0; k < 64; ++k) {
          const Residual q = quarticAt(model, alpha[k / 4], roots[k]);
          EXPECT_LT(q.value, 1e-11 * q.scale) << "node " << k / 4 << " root " << k % 4 << " T " << T;
        }
        // At the first node (nearest the real axis) the pair, in either
        // order, straddles eta1 on the right and the other two sit on the
        // left, as at real alpha.
        const double low = std::min(roots[0].real(), roots[1].real());
        const double high = std::max(roots[0].real(), roots[1].real());
        EXPECT_GT(low, 0.0);
        EXPECT_LT(low, model.eta1);
        EXPECT_GT(high, model.eta1);
        EXPECT_LT(roots[2].real(), 0.0);
        EXPECT_LT(roots[3].real(), 0.0);
      }
    }
  }
  // No diffusion lowers the quartic's degree: refused, roots NaN.
  Complex alpha[1] = {1.0}, roots[4];
  EXPECT_FALSE(jdpricer::followAllRoots({0.01, 0.0, 1.0, 0.4, 10.0, 5.0}, alpha, 1, roots));
  EXPECT_TRUE(std::isnan(roots[0].real()));
}

// Mixed maturities with long runs of one, so that workers cut maturities in
// two and each half builds its own slice; up and down barriers mixed. Some
// two hundred maturities of their own: enough work for the books to cut
// into several segments (a slice is worth some thirty options).
struct PathBook {
  std::vector<double> T, K, H, S, r, q, rebate;
  jdpricer::OptionColumns columns() const { return {T.data(), K.data(), S.data(), r.data(), T.size()}; }
};
PathBook mixedPathBook(AwkwardDoubles& gen, int options) {
  PathBook book;
  const double shared = gen.draw(0.05, 3.0, 0.0);
  for (int i = 0; i < options; ++i) {
    book.T.push_back(gen.uniform() < 0.6 ? shared : gen.draw(0.05, 3.0, 0.03));
    book.K.push_back(gen.draw(70.0, 130.0, 0.0));
    book.S.push_back(100.0);
    book.H.push_back(gen.uniform() < 0.5 ? gen.draw(75.0, 97.0, 0.03) : gen.draw(103.0, 130.0, 0.03));
    book.r.push_back(0.03);
    book.q.push_back(gen.uniform() < 0.8 ? 0.01 : 0.0);
    book.rebate.push_back(gen.uniform() < 0.3 ? 2.0 : 0.0);
  }
  return book;
}

TEST(FirstPassageBooks, EveryWorkerCountHasTheOneWorkerBits) {
  AwkwardDoubles gen(2003);
  const jdpricer::TouchModel touchModel{0.2, 1.5, 0.4, 12.0, 6.0};
  const jdpricer::BarrierModel barrierModel{0.2, 1.5, 0.4, 12.0, 6.0};
  for (int trial = 0; trial < 4; ++trial) {
    const PathBook book = mixedPathBook(gen, 500 + 100 * trial);
    const std::size_t count = book.T.size();
    // A touch book reads H where the European books read K.
    const jdpricer::OptionColumns touchColumns{book.T.data(), book.H.data(), book.S.data(),
                                               book.r.data(), count};
    const jdpricer::BarrierColumns barrierColumns{book.columns(), book.H.data(), book.q.data(),
                                                  book.rebate.data()};
    std::vector<double> touchSerial(count), barrierSerial(count), other(count);
    const auto kind = static_cast<jdpricer::BarrierKind>(trial % 4);
    jdpricer::priceTouchBook(jdpricer::TouchKind::kOneTouchAtHit, touchModel, touchColumns,
                             book.q.data(), touchSerial.data(), 1, [] {});
    jdpricer::priceBarrierBook(jdpricer::Payoff::kCall, kind, barrierModel, barrierColumns,
                               barrierSerial.data(), 1, [] {});
    for (const std::size_t workers : {2u, 3u, 7u}) {
      other.assign(count, -7.0);
      jdpricer::priceTouchBook(jdpricer::TouchKind::kOneTouchAtHit, touchModel, touchColumns,
                               book.q.data(), other.data(), workers, [] {});
      for (std::size_t i = 0; i < count; ++i) ASSERT_TRUE(sameBits(touchSerial[i], other[i])) << i;
      other.assign(count, -7.0);
      jdpricer::priceBarrierBook(jdpricer::Payoff::kCall, kind, barrierModel, barrierColumns,
                                 other.data(), workers, [] {});
      for (std::size_t i = 0; i < count; ++i) ASSERT_TRUE(sameBits(barrierSerial[i], other[i])) << i;
    }
    // Lookbacks with their Greeks, the running extremum on its side of the spot.
    std::vector<double> extremum(count), lookbackSerial(count), delta(count), gamma(count),
        otherDelta(count), otherGamma(count);
    const auto lookbackKind = static_cast<jdpricer::LookbackKind>(trial % 4);
    const bool onMaximum = lookbackKind == jdpricer::LookbackKind::kFixedCall ||
                           lookbackKind == jdpricer::LookbackKind::kFloatingPut;
    for (std::size_t i = 0; i < count; ++i) {
      extremum[i] = onMaximum ? std::max(book.S[i], book.H[i]) : std::min(book.S[i], book.H[i]);
    }
    const jdpricer::LookbackColumns lookbackColumns{book.columns(), extremum.data(),
                                                    book.q.data()};
    const jdpricer::LookbackModel lookbackModel{0.2, 1.5, 0.4, 12.0, 6.0};
    jdpricer::priceLookbackBook(lookbackKind, lookbackModel, lookbackColumns,
                                lookbackSerial.data(), 1, [] {}, delta.data(), gamma.data());
    for (const std::size_t workers : {2u, 5u}) {
      jdpricer::priceLookbackBook(lookbackKind, lookbackModel, lookbackColumns, other.data(),
                                  workers, [] {}, otherDelta.data(), otherGamma.data());
      for (std::size_t i = 0; i < count; ++i) {
        ASSERT_TRUE(sameBits(lookbackSerial[i], other[i])) << i;
        ASSERT_TRUE(sameBits(delta[i], otherDelta[i])) << i;
        ASSERT_TRUE(sameBits(gamma[i], otherGamma[i])) << i;
      }
    }
    // The books priced something: touches are probabilities, knock-outs and
    // knock-ins at most the call plus the rebate.
    for (std::size_t i = 0; i < count; ++i) {
      const bool ordinary = book.T[i] > 0.0 && book.T[i] <= 3.0 && book.H[i] > 1.0 && book.H[i] < 1e3;
      if (!ordinary) continue;
      EXPECT_GE(touchSerial[i], 0.0);
      EXPECT_LE(touchSerial[i], 1.0);
      EXPECT_GE(barrierSerial[i], 0.0) << book.T[i] << " K " << book.K[i] << " H " << book.H[i] << " q " << book.q[i] << " kind " << trial;
      EXPECT_LE(barrierSerial[i], book.S[i] + book.rebate[i]);
    }
  }
}

}  // namespace
