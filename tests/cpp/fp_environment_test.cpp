// Prices do not depend on the caller's floating-point environment, and the
// caller gets its environment back exactly: control settings and flags.
#include "pricing/common/fp_environment.hpp"

#include <cfenv>
#include <vector>

#include <gtest/gtest.h>
#include <xmmintrin.h>

#include "batch/book_pricer.hpp"
#include "pricing/closed_form/options.hpp"
#include "support/bits.hpp"

namespace {

using testing_bits::AwkwardDoubles;
using testing_bits::sameBits;

struct Case {
  double T, K, S, r, sigma, lam, p, eta1, eta2;
  int n;
};

std::vector<Case> cases() {
  std::vector<Case> all = {
      {0.5, 98.0, 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 20},
      {0.5, 98.0, 100.0, 0.05, 0.16, 1.0, 0.4, 10.0, 5.0, 170},
      {0.5, 98.0, 100.0, 0.05, 0.16, 10.0, 0.4, 10.0, 5.0, 40},
      {1.0, 98.0, 100.0, 0.05, 0.3, 1.0, 0.4, 25.0, 25.0, 30},
      {0.5, 98.0, 100.0, 0.05, 0.0, 1.0, 0.4, 10.0, 5.0, 10},  // NaN: invalid, divide by zero
      // Far out of the money with subnormal intermediates: flush-to-zero
      // gave 4.9e-21 for 7.5e-17 and 2.8e-26 for -2.1e-25.
      {0x1.f3e22f548497bp-1, 0x1.6f012af7bc0ddp+10, 100.0, 0.03, 0x1.39b4579b91b0fp-2,
       0x1.f46689315be7ap-4, 0x1.069db81205c51p-5, 0x1.384e2b1397afbp+6, 0x1.83f516a7ca768p+6, 22},
      {0x1.f7c8b9fa96452p-1, 0x1.bf496aefffc0dp+10, 100.0, 0.03, 0x1.1bc8c721a8aa2p-2,
       0x1.f916e1d943c48p-5, 0x1.cb06cdcc12247p-2, 0x1.21250141247dep+6, 0x1.928f6fd709c03p+6, 9},
  };
  // Deep out of the money: prices near and below the smallest normal double.
  AwkwardDoubles gen(99);
  for (int i = 0; i < 40; ++i) {
    all.push_back({gen.draw(0.005, 0.05, 0.0), gen.draw(150.0, 400.0, 0.0), 100.0, 0.03,
                   gen.draw(0.05, 0.2, 0.0), gen.draw(0.01, 0.5, 0.0), 0.3, 30.0, 10.0, 12});
  }
  return all;
}

std::vector<double> prices(const std::vector<Case>& all) {
  std::vector<double> out;
  for (const Case& c : all) {
    out.push_back(jdpricer::EuropeanCall(c.T, c.K)
                      .priceByKouJumpDiffusion(c.S, c.r, c.sigma, c.lam, c.p, c.eta1, c.eta2, c.n));
    out.push_back(jdpricer::EuropeanPut(c.T, c.K)
                      .priceByKouJumpDiffusion(c.S, c.r, c.sigma, c.lam, c.p, c.eta1, c.eta2, c.n));
  }
  // A book of the deep out-of-the-money options through the batch.
  std::vector<double> T, K, S, r;
  for (std::size_t i = 7; i < all.size(); ++i) {
    T.push_back(all[i].T);
    K.push_back(all[i].K);
    S.push_back(all[i].S);
    r.push_back(all[i].r);
  }
  std::vector<double> book(T.size());
  const Case& m = all.back();
  jdpricer::BookPricer pricer(jdpricer::Payoff::kCall, {m.sigma, m.lam, m.p, m.eta1, m.eta2, m.n},
                              {T.data(), K.data(), S.data(), r.data(), T.size()}, book.data());
  while (pricer.priceNext(7)) {}
  out.insert(out.end(), book.begin(), book.end());
  return out;
}

unsigned short x87ControlWord() {
  unsigned short word;
  __asm__ volatile("fnstcw %0" : "=m"(word));
  return word;
}
void setX87ControlWord(unsigned short word) { __asm__ volatile("fldcw %0" : : "m"(word)); }

TEST(FloatingPointEnvironment, PricesIgnoreTheCallersSettingsAndRestoreThem) {
  const std::vector<Case> all = cases();
  std::feclearexcept(FE_ALL_EXCEPT);
  const std::vector<double> standard = prices(all);
  const unsigned int defaultSse = _mm_getcsr() & ~0x3Fu;
  const unsigned short defaultX87 = x87ControlWord();

  struct Setting {
    const char* name;
    unsigned int sse;
    unsigned short x87;
  };
  // Rounding up, down, toward zero; flush-to-zero with denormals-are-zero;
  // invalid, divide-by-zero and overflow unmasked (a trap would kill the
  // test); x87 at single precision rounding up. Each with the underflow flag
  // already raised, which must survive.
  const Setting settings[] = {
      {"upward", (defaultSse & ~0x6000u) | 0x4000u, defaultX87},
      {"downward", (defaultSse & ~0x6000u) | 0x2000u, defaultX87},
      {"toward zero", defaultSse | 0x6000u, defaultX87},
      {"FTZ and DAZ", defaultSse | 0x8040u, defaultX87},
      {"exceptions unmasked", defaultSse & ~0x0680u, defaultX87},
      {"x87 single precision, upward", defaultSse, static_cast<unsigned short>(0x087F)},
  };
  for (const Setting& setting : settings) {
    const unsigned int callerSse = setting.sse | 0x10u;  // underflow flag raised
    setX87ControlWord(setting.x87);
    _mm_setcsr(callerSse);
    const std::vector<double> got = prices(all);
    const unsigned int sseAfter = _mm_getcsr();
    const unsigned short x87After = x87ControlWord();
    _mm_setcsr(defaultSse);
    setX87ControlWord(defaultX87);
    EXPECT_EQ(sseAfter, callerSse) << setting.name;
    EXPECT_EQ(x87After, setting.x87) << setting.name;
    ASSERT_EQ(got.size(), standard.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_TRUE(sameBits(standard[i], got[i])) << setting.name << ", price " << i;
    }
  }
}

}  // namespace
