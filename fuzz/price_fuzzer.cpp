// Differential fuzz target for the pricing engine.
//
// Each input is one fixed-size record (shorter inputs are zero-padded, extra
// bytes ignored); make_seeds.py writes the same layout:
//
//   byte 0        what to check: 0-2 prices, 3 Greeks, 4 Upsilon, 5 Hh,
//                 6 I_n, 7 the table fillers against single calls (value mod 8)
//   bytes 1-5     the series length n: a selector byte, then 4 bytes
//   bytes 6-86    nine doubles, each a selector byte, then 8 bytes
//
// Multi-byte values are read in host order; the seeds are little-endian, like
// the x86-64 and AArch64 machines this runs on.
//
// The selectors keep both ends of the input space reachable: a raw bit
// pattern (NaN payloads, infinities, subnormals, huge values, INT_MIN and
// INT_MAX), an awkward constant from a short table, or, most often, a value
// mapped into the range where the model is meant to be used, so the fuzzer
// also spends its time where prices are finite and the series does work.
//
// Every result is compared bit for bit (any NaN matching any NaN, because the
// payload a commutative operation propagates depends on operand order) with
// the word-for-word evaluation of tests/support/literal_kou.hpp: entirely
// literal for short series, the literal summation on the engine's linear I_n
// for long ones; and with identities between the engine's own entry points
// (put-call parity, the per-call tables against single calls). Memory and
// undefined-behaviour faults are left to ASan and UBSan.
//
// The Greeks mode checks the price field of the Greeks book pricer bit for
// bit against the option's price, the put's fields bit for bit against the
// call's through parity, and, in the well-conditioned part of the input
// space, every Greek against forward-mode differentiation of the literal
// closed form (tests/support/dual_kou.hpp) to a tolerance.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include <vector>

#include "batch/book_pricer.hpp"
#include "batch/bound_book.hpp"
#include "batch/greeks_book.hpp"
#include "pricing/closed_form/options.hpp"
#include "pricing/error_bound/price_bound.hpp"
#include "pricing/closed_form/hh_integral.hpp"
#include "pricing/closed_form/integral_family.hpp"
#include "pricing/closed_form/upsilon.hpp"
#include "support/dual_kou.hpp"
#include "support/literal_kou.hpp"

namespace {

constexpr std::size_t kFieldCount = 9;
constexpr std::size_t kFieldBytes = 9;
constexpr std::size_t kRecordSize = 1 + 5 + kFieldCount * kFieldBytes;

// literal_kou's Hh recursion costs about 1.6^n calls and its prices nest it
// inside an O(n^3) sum: these are the largest n it is compared at without
// slowing the fuzzer to a crawl.
constexpr int kLiteralPriceTerms = 12;
constexpr int kLiteralHhOrder = 14;
// literal_kou's summation on the engine's linear I_n still makes O(n^3)
// tgamma and pow calls, 0.1 s at 60 terms and 1 s at 170 under the
// sanitizers. 110 terms reach past the 96 rows of binomials the engine caches
// (longer rows are recomputed per use) at a third of that cost; longer series
// are only run, and compared between the engine's own entry points.
constexpr int kLiteralLongTerms = 110;
// The linear-time Hh of steppedHh is compared up to this order; above it Hh
// is only run, to catch crashes and hangs of its shortcut.
constexpr int kSteppedHhOrder = 1 << 20;
// I_n costs O(n) pow calls; this keeps a raw INT_MAX from timing out.
constexpr int kIntegralMaxOrder = 200;
// The dual-number path costs O(n^4) operations on ten doubles: compared up
// to this n.
constexpr int kDualTerms = 10;

enum class Mode { kPrice, kUpsilon, kHh, kIntegral, kTables, kGreeks };

struct Input {
  Mode mode;
  int n;
  double v[kFieldCount];
};

// Where a mapped field falls: uniform in [lo, hi), or log-uniform (lo > 0)
// for a field whose interesting values span orders of magnitude.
struct Range {
  double lo, hi;
  bool logScale = false;
};

// Plausible ranges of the nine fields in each mode.
constexpr Range kPriceRanges[kFieldCount] = {
    {0.01, 5.0},   // T
    {20.0, 300.0}, // K
    {20.0, 300.0}, // S
    {-0.05, 0.25}, // r
    {0.01, 1.0},   // sigma
    {0.0, 10.0},   // lam
    {0.0, 1.0},    // p
    {1.05, 60.0},  // eta1 (the stock-measure rate eta1 - 1 stays positive)
    {0.1, 60.0},   // eta2
};
constexpr Range kUpsilonRanges[kFieldCount] = {
    {-1.0, 1.0},   // mu
    {0.01, 1.0},   // sigma
    // lam: lam T up to a few hundred, where the terms of a long series are
    // not lost in rounding and the series' late rows show in the bits.
    {0.01, 200.0, true},
    {0.0, 1.0},    // p
    {0.05, 60.0},  // eta1
    {0.1, 60.0},   // eta2
    {-2.0, 2.0},   // a
    {0.01, 5.0},   // T
    {0.0, 1.0},    // unused
};
// I_n as the series calls it: alpha = -eta1 or eta2, beta = -+1/(sigma
// sqrt T), delta = -sigma eta sqrt T; both signs of everything are allowed.
constexpr Range kIntegralRanges[kFieldCount] = {
    {-3.0, 3.0},    // c
    {-60.0, 60.0},  // alpha
    {-30.0, 30.0},  // beta
    {-15.0, 15.0},  // delta
    {-40.0, 40.0},  // x of fillHh in the table mode
    {0.0, 1.0}, {0.0, 1.0}, {0.0, 1.0}, {0.0, 1.0},
};
constexpr Range kHhRanges[kFieldCount] = {
    {-40.0, 40.0}, {0.0, 1.0}, {0.0, 1.0}, {0.0, 1.0}, {0.0, 1.0},
    {0.0, 1.0},    {0.0, 1.0}, {0.0, 1.0}, {0.0, 1.0},
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

constexpr double kAwkward[] = {
    kNaN,
    -kNaN,
    kInf,
    -kInf,
    0.0,
    -0.0,
    1.0,
    -1.0,
    0.5,
    2.0,
    -0.5,
    1.0 + std::numeric_limits<double>::epsilon(),
    1.0 - std::numeric_limits<double>::epsilon() / 2,
    std::numeric_limits<double>::denorm_min(),
    -std::numeric_limits<double>::denorm_min(),
    std::numeric_limits<double>::min(),
    std::numeric_limits<double>::max(),
    -std::numeric_limits<double>::max(),
    1e-300,
    1e300,
    8.3,
    -8.3,
    38.6,
    709.8,
};
constexpr std::size_t kAwkwardCount = sizeof kAwkward / sizeof kAwkward[0];

std::uint64_t bitsOf(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// Selector mod 16: 0 the raw bits, 1 an awkward constant, otherwise the
// mapped range. With nine fields, each of the three shows in some field of
// about a third of the inputs or more.
double decodeDouble(const std::uint8_t* field, Range range) {
  const std::uint8_t selector = field[0];
  std::uint64_t payload;
  std::memcpy(&payload, field + 1, sizeof payload);
  switch (selector % 16) {
    case 0: {
      double raw;
      std::memcpy(&raw, field + 1, sizeof raw);
      return raw;
    }
    case 1:
      return kAwkward[payload % kAwkwardCount];
    default: {
      const double u = static_cast<double>(payload >> 11) * 0x1p-53;  // [0, 1)
      if (range.logScale) return range.lo * std::pow(range.hi / range.lo, u);
      return range.lo + (range.hi - range.lo) * u;
    }
  }
}

// Selector mod 8: 0 any int32; 1 a middle range that depends on the mode; else a
// small n, where the series is short enough for the recursive literal_kou.
int decodeN(const std::uint8_t* field, Mode mode) {
  const std::uint8_t selector = field[0];
  std::uint32_t payload;
  std::memcpy(&payload, field + 1, sizeof payload);
  const int sel = selector % 8;
  if (sel == 0) {
    std::int32_t raw;
    std::memcpy(&raw, field + 1, sizeof raw);
    return raw;
  }
  switch (mode) {
    case Mode::kPrice:
    case Mode::kGreeks:
      // Past the recursive literal's reach; now and then a long series, up to
      // the last finite length 170 and beyond. The engine's series is O(n^3):
      // 0.07 s per price at 170 under the sanitizers.
      if (sel == 1) {
        if (payload % 16 == 0) return 90 + static_cast<int>((payload >> 4) % 90);  // 90..179
        return 13 + static_cast<int>((payload >> 4) % 48);  // 13..60
      }
      return -3 + static_cast<int>(payload % 16);  // -3..12
    case Mode::kUpsilon:
      // As for prices, but more often past the engine's 96 cached binomial
      // rows, where the literal summation is still compared (up to a third of
      // a second per input).
      if (sel == 1) {
        switch (payload % 8) {
          case 0: return 96 + static_cast<int>((payload >> 3) % (kLiteralLongTerms - 95));
          case 1: return kLiteralLongTerms + 1 + static_cast<int>((payload >> 3) % 70);
          default: return 13 + static_cast<int>((payload >> 3) % 48);  // 13..60
        }
      }
      return -3 + static_cast<int>(payload % 16);  // -3..12
    case Mode::kHh:
      // Long enough for the recursion to die out into zeros or blow up.
      if (sel == 1) return static_cast<int>(payload % 100000);
      return -3 + static_cast<int>(payload % 18);  // -3..14
    case Mode::kIntegral:
      if (sel == 1) return static_cast<int>(payload % (kIntegralMaxOrder + 1));
      return -3 + static_cast<int>(payload % 18);
    case Mode::kTables:
      return static_cast<int>(payload % jdpricer::kSeriesTableSize);
  }
  return 0;
}

Input decode(const std::uint8_t* data, std::size_t size) {
  std::uint8_t record[kRecordSize] = {};
  std::memcpy(record, data, size < kRecordSize ? size : kRecordSize);
  Input in;
  switch (record[0] % 8) {
    case 3: in.mode = Mode::kGreeks; break;
    case 4: in.mode = Mode::kUpsilon; break;
    case 5: in.mode = Mode::kHh; break;
    case 6: in.mode = Mode::kIntegral; break;
    case 7: in.mode = Mode::kTables; break;
    default: in.mode = Mode::kPrice; break;
  }
  const bool priced = in.mode == Mode::kPrice || in.mode == Mode::kGreeks;
  const Range* ranges = priced                      ? kPriceRanges
                        : in.mode == Mode::kUpsilon ? kUpsilonRanges
                        : in.mode == Mode::kHh      ? kHhRanges
                                                    : kIntegralRanges;
  in.n = decodeN(record + 1, in.mode);
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    in.v[i] = decodeDouble(record + 6 + i * kFieldBytes, ranges[i]);
  }
  return in;
}

const char* const kFieldNames[][kFieldCount] = {
    {"T", "K", "S", "r", "sigma", "lam", "p", "eta1", "eta2"},
    {"mu", "sigma", "lam", "p", "eta1", "eta2", "a", "T", "-"},
    {"x", "-", "-", "-", "-", "-", "-", "-", "-"},
    {"c", "alpha", "beta", "delta", "-", "-", "-", "-", "-"},
    {"c", "alpha", "beta", "delta", "x", "-", "-", "-", "-"},
    {"T", "K", "S", "r", "sigma", "lam", "p", "eta1", "eta2"},
};
const char* const kModeNames[] = {"price", "Upsilon", "Hh", "integralI", "tables", "Greeks"};

const Input* current = nullptr;

[[noreturn]] void fail(const char* what, double expected, double actual) {
  const Input& in = *current;
  const int mode = static_cast<int>(in.mode);
  std::fprintf(stderr, "\n== mismatch in %s mode: %s\n", kModeNames[mode], what);
  std::fprintf(stderr, "   expected %a (%.17g, 0x%016llx)\n", expected, expected,
               static_cast<unsigned long long>(bitsOf(expected)));
  std::fprintf(stderr, "   actual   %a (%.17g, 0x%016llx)\n", actual, actual,
               static_cast<unsigned long long>(bitsOf(actual)));
  std::fprintf(stderr, "   n = %d\n", in.n);
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    if (kFieldNames[mode][i][0] == '-') continue;
    std::fprintf(stderr, "   %s = %a (%.17g)\n", kFieldNames[mode][i], in.v[i], in.v[i]);
  }
  std::fflush(stderr);
  std::abort();
}

bool sameBits(double expected, double actual) {
  if (std::isnan(expected) && std::isnan(actual)) return true;
  return bitsOf(expected) == bitsOf(actual);
}

void expectSame(const char* what, double expected, double actual) {
  if (!sameBits(expected, actual)) fail(what, expected, actual);
}

void expectNaN(const char* what, double actual) {
  if (!std::isnan(actual)) fail(what, kNaN, actual);
}

// literal_kou::call with both Upsilon values from the engine's one-shot entry
// point, which builds its own factorial table: checks how the call composes
// and shares its table where the literal summation is too slow to run twice
// per input. The Upsilon values themselves are checked in the Upsilon mode.
double callFromEngineUpsilon(double T, double K, double S, double r, double sigma, double lam,
                             double p, double eta1, double eta2, int n) {
  const double zeta = p * eta1 / (eta1 - 1) + (1 - p) * eta2 / (eta2 + 1) - 1;
  const double a = std::log(K / S);
  const double mu1 = (r + 0.5 * sigma * sigma) - lam * zeta;
  const double lam1 = (1 + zeta) * lam;
  const double p1 = (p / (1 + zeta)) * (eta1 / (eta1 - 1));
  const double U1 =
      jdpricer::Option::Upsilon(n, mu1, sigma, lam1, p1, eta1 - 1, eta2 + 1, a, T);
  const double mu2 = (r - 0.5 * sigma * sigma) - lam * zeta;
  const double U2 = jdpricer::Option::Upsilon(n, mu2, sigma, lam, p, eta1, eta2, a, T);
  return S * U1 - (K * std::exp(-r * T)) * U2;
}

void checkPrices(const Input& in) {
  const double T = in.v[0], K = in.v[1], S = in.v[2], r = in.v[3], sigma = in.v[4],
               lam = in.v[5], p = in.v[6], eta1 = in.v[7], eta2 = in.v[8];
  const int n = in.n;
  const jdpricer::EuropeanCall call(T, K);
  const jdpricer::EuropeanPut put(T, K);
  // Through the base class, as callers price.
  const jdpricer::EuropeanOption& callOption = call;
  const jdpricer::EuropeanOption& putOption = put;
  const double C = callOption.priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1, eta2, n);
  const double P = putOption.priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1, eta2, n);

  // The book pricer and the bounded evaluation carry the same bits: a book
  // of this option between two others of the same maturity (shared slice,
  // partial lane block), and the bounded model's value.
  const double strikes[3] = {K * 0.5, K, S};
  const double maturities[3] = {T, T, T}, spots[3] = {S, S, S}, rates[3] = {r, r, r};
  for (const jdpricer::Payoff payoff : {jdpricer::Payoff::kCall, jdpricer::Payoff::kPut}) {
    double book[3];
    jdpricer::BookPricer pricer(payoff, {sigma, lam, p, eta1, eta2, n},
                                {maturities, strikes, spots, rates, 3}, book);
    while (pricer.priceNext(2)) {}
    expectSame("book price differs from the option's", payoff == jdpricer::Payoff::kCall ? C : P,
               book[1]);
  }
  if (n <= 40) {
    std::vector<double> storage(jdpricer::BoundedKouModel::storageDoubles(n));
    const jdpricer::BoundedKouModel bounded(sigma, lam, p, eta1, eta2, n, storage.data());
    const jdpricer::PriceAndBound callBound = bounded.call(T, K, S, r);
    expectSame("bounded call value differs from the call", C, callBound.price);
    if (!(callBound.bound >= 0.0)) fail("error bound is NaN or negative", C, callBound.bound);
    // The robust prices' screen, its adjoint taken where a bound nears the
    // tolerance: the same value, a bound.
    const jdpricer::OptionColumns columns{maturities, strikes, spots, rates, 3};
    const jdpricer::BoundedBookModel screenModel({sigma, lam, p, eta1, eta2, n}, columns);
    const std::size_t order[3] = {0, 1, 2};
    double screened[3], screenBounds[3];
    jdpricer::BoundedBookPricer screen(jdpricer::Payoff::kCall, screenModel, columns, order, 3,
                                       screened, screenBounds, jdpricer::BoundKind::kScreen,
                                       1e-9);
    while (screen.priceNext(2)) {}
    expectSame("screened call value differs from the call", C, screened[1]);
    if (!(screenBounds[1] >= 0.0)) fail("screen bound is NaN or negative", C, screenBounds[1]);
  }

  if (n > jdpricer::kMaxSeriesTerms) {
    expectNaN("call with n >= 171 is not NaN", C);
    expectNaN("put with n >= 171 is not NaN", P);
    return;
  }
  expectSame("put differs from (exp(-r*T)*K + C) - S", (std::exp(-r * T) * K + C) - S, P);
  if (n <= kLiteralPriceTerms) {
    expectSame("call differs from literal_kou::call",
               literal_kou::call(T, K, S, r, sigma, lam, p, eta1, eta2, n), C);
    expectSame("put differs from literal_kou::put",
               literal_kou::put(T, K, S, r, sigma, lam, p, eta1, eta2, n), P);
  } else {
    expectSame("call differs from the call composed of Option::Upsilon",
               callFromEngineUpsilon(T, K, S, r, sigma, lam, p, eta1, eta2, n), C);
  }
}

void checkUpsilon(const Input& in) {
  const double mu = in.v[0], sigma = in.v[1], lam = in.v[2], p = in.v[3], eta1 = in.v[4],
               eta2 = in.v[5], a = in.v[6], T = in.v[7];
  const int N = in.n;
  const double U = jdpricer::Option::Upsilon(N, mu, sigma, lam, p, eta1, eta2, a, T);
  if (N > jdpricer::kMaxSeriesTerms) {
    expectNaN("Upsilon with N >= 171 is not NaN", U);
    return;
  }
  // The overload with a caller-made table must agree with the one-shot one.
  const jdpricer::FactorialTable factorials(N);
  expectSame("Upsilon with a shared factorial table differs",
             U, jdpricer::upsilonProbability(factorials, N, mu, sigma, lam, p, eta1, eta2, a, T));
  if (N <= kLiteralPriceTerms) {
    expectSame("Upsilon differs from literal_kou::Upsilon",
               literal_kou::Upsilon(N, mu, sigma, lam, p, eta1, eta2, a, T), U);
  } else if (N <= kLiteralLongTerms) {
    expectSame("Upsilon differs from the literal summation on the engine's integralI",
               literal_kou::Upsilon(N, mu, sigma, lam, p, eta1, eta2, a, T, jdpricer::integralI),
               U);
  }
}

void checkHh(const Input& in) {
  const double x = in.v[0];
  const int n = in.n;
  const double h = jdpricer::Hh(n, x);
  if (n < -1) {
    expectNaN("Hh below order -1 is not NaN", h);
    return;
  }
  if (std::isnan(x)) expectNaN("Hh of NaN is not NaN", h);
  if (n <= kLiteralHhOrder) {
    const double literal = literal_kou::Hh(n, x);
    expectSame("steppedHh differs from literal_kou::Hh (fuzzer fault)", literal,
               literal_kou::steppedHh(n, x));
    expectSame("Hh differs from literal_kou::Hh", literal, h);
  } else if (n <= kSteppedHhOrder) {
    expectSame("Hh differs from the stepped literal recursion", literal_kou::steppedHh(n, x), h);
  }
}

void checkIntegral(const Input& in) {
  const double c = in.v[0], alpha = in.v[1], beta = in.v[2], delta = in.v[3];
  // Negative orders cost O(1) and stay as they are; large ones are folded
  // into 0..kIntegralMaxOrder.
  const int n = in.n > kIntegralMaxOrder ? in.n % (kIntegralMaxOrder + 1) : in.n;
  const double I = jdpricer::integralI(n, c, alpha, beta, delta);
  if (n <= kLiteralHhOrder) {
    expectSame("integralI differs from literal_kou::integralI",
               literal_kou::integralI(n, c, alpha, beta, delta), I);
  } else if (n < jdpricer::kMaxSeriesTerms) {
    double table[jdpricer::kSeriesTableSize];
    jdpricer::fillIntegralI(n + 1, c, alpha, beta, delta, table);
    expectSame("integralI differs from fillIntegralI", table[n], I);
  }
}

// The per-call tables of the series against one call of Hh or integralI per
// entry, which they are meant to reproduce bit for bit.
void checkTables(const Input& in) {
  const double c = in.v[0], alpha = in.v[1], beta = in.v[2], delta = in.v[3], x = in.v[4];
  const unsigned order = static_cast<unsigned>(in.n);
  const int hhCount = 1 + static_cast<int>(order % jdpricer::kSeriesTableSize);     // 1..171
  const int integralCount = 1 + static_cast<int>(order % jdpricer::kMaxSeriesTerms);  // 1..170
  double table[jdpricer::kSeriesTableSize];
  jdpricer::fillHh(x, hhCount, table);
  for (int m = 0; m < hhCount; ++m) {
    if (!sameBits(jdpricer::Hh(m, x), table[m])) {
      std::fprintf(stderr, "fillHh(x, %d): entry %d\n", hhCount, m);
      fail("fillHh differs from Hh", jdpricer::Hh(m, x), table[m]);
    }
  }
  jdpricer::fillIntegralI(integralCount, c, alpha, beta, delta, table);
  for (int m = 0; m < integralCount; ++m) {
    const double single = jdpricer::integralI(m, c, alpha, beta, delta);
    if (!sameBits(single, table[m])) {
      std::fprintf(stderr, "fillIntegralI(%d, ...): entry %d\n", integralCount, m);
      fail("fillIntegralI differs from integralI", single, table[m]);
    }
  }
}

// Inside the ranges the fuzzer maps into, with the jump sums' terms small
// enough (eta sigma sqrt(T) <= 2) that both paths keep most of their digits.
bool wellConditioned(const double* v, int n) {
  const double T = v[0], K = v[1], S = v[2], r = v[3], sigma = v[4], lam = v[5], p = v[6],
               eta1 = v[7], eta2 = v[8];
  const double s = sigma * std::sqrt(T);
  return n <= kDualTerms && T >= 0.01 && T <= 5 && K >= 20 && K <= 300 && S >= 20 && S <= 300 &&
         std::fabs(r) <= 0.25 && sigma >= 0.01 && lam >= 0 && lam * T <= 20 && p >= 0 &&
         p <= 1 && eta1 >= 1.05 && eta1 <= 60 && eta2 >= 0.1 && eta2 <= 60 && eta1 * s <= 2 &&
         (eta2 + 1) * s <= 2 && std::fabs(std::log(K / S)) <= 3 * s + 0.5;
}

void checkGreeks(const Input& in) {
  const double T = in.v[0], K = in.v[1], S = in.v[2], r = in.v[3], sigma = in.v[4],
               lam = in.v[5], p = in.v[6], eta1 = in.v[7], eta2 = in.v[8];
  const int n = in.n;
  const double strikes[3] = {K * 0.5, K, S};
  const double maturities[3] = {T, T, T}, spots[3] = {S, S, S}, rates[3] = {r, r, r};
  double fields[2][jdpricer::kGreekFields][3];
  for (int kind = 0; kind < 2; ++kind) {
    const jdpricer::Payoff payoff = kind == 0 ? jdpricer::Payoff::kCall : jdpricer::Payoff::kPut;
    jdpricer::GreeksColumns out;
    for (int f = 0; f < jdpricer::kGreekFields; ++f) out.field[f] = fields[kind][f];
    jdpricer::GreeksBookPricer pricer(payoff, {sigma, lam, p, eta1, eta2, n},
                                      {maturities, strikes, spots, rates, 3}, out);
    while (pricer.priceNext(2)) {}
    const jdpricer::EuropeanCall call(T, K);
    const jdpricer::EuropeanPut put(T, K);
    const jdpricer::EuropeanOption& option = kind == 0 ? static_cast<const jdpricer::EuropeanOption&>(call)
                                                       : put;
    expectSame("Greeks' price field differs from the option's price",
               option.priceByKouJumpDiffusion(S, r, sigma, lam, p, eta1, eta2, n),
               fields[kind][jdpricer::kPrice][1]);
  }
  const double(&c)[jdpricer::kGreekFields][3] = fields[0];
  const double(&q)[jdpricer::kGreekFields][3] = fields[1];
  if (n > jdpricer::kMaxSeriesTerms) {
    for (int f = 0; f < jdpricer::kGreekFields; ++f) expectNaN("Greek with n >= 171 is not NaN", c[f][1]);
    return;
  }
  // The put's fields are the call's through parity, operation for operation.
  const double discount = std::exp(-r * T);
  const double KD = K * discount;
  expectSame("put delta differs from call delta - 1", c[jdpricer::kDelta][1] - 1.0, q[jdpricer::kDelta][1]);
  expectSame("put theta differs from call theta + r K D", c[jdpricer::kTheta][1] + r * KD,
             q[jdpricer::kTheta][1]);
  expectSame("put rho differs from call rho - T K D", c[jdpricer::kRho][1] - T * KD, q[jdpricer::kRho][1]);
  expectSame("put dual delta differs from call dual delta + D", c[jdpricer::kDualDelta][1] + discount,
             q[jdpricer::kDualDelta][1]);
  for (int f : {jdpricer::kGamma, jdpricer::kVega, jdpricer::kDLam, jdpricer::kDP, jdpricer::kDEta1,
                jdpricer::kDEta2}) {
    expectSame("a put Greek differs from the call's", c[f][1], q[f][1]);
  }
  if (!wellConditioned(in.v, n)) return;
  double ref[jdpricer::kGreekFields];
  dual_kou::greeks(false, T, K, S, r, sigma, lam, p, eta1, eta2, n, ref);
  // Scales of the fields: a missing or wrong term shows far above them,
  // rounding far below.
  const double s = sigma * std::sqrt(T);
  const double value = S + K;
  const double scale[jdpricer::kGreekFields] = {
      value, 1.0, 1.0 / (S * s), S * std::sqrt(T), value * (1.0 + lam + 1.0 / T), value * T, 1.0,
      value * T, value * (1.0 + lam * T), value * (1.0 + lam * T), value * (1.0 + lam * T)};
  static const char* const kGreekNames[] = {"price", "delta", "gamma", "vega", "theta", "rho",
                                            "dual_delta", "dlam", "dp", "deta1", "deta2"};
  for (int f = 0; f < jdpricer::kGreekFields; ++f) {
    const double error = std::fabs(c[f][1] - ref[f]);
    if (!(error <= 1e-9 * std::fabs(ref[f]) + 1e-10 * scale[f])) {
      std::fprintf(stderr, "Greek %s against the dual-number path\n", kGreekNames[f]);
      fail("a Greek differs from forward-mode differentiation of the literal series", ref[f], c[f][1]);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Input in = decode(data, size);
  current = &in;
  switch (in.mode) {
    case Mode::kPrice: checkPrices(in); break;
    case Mode::kUpsilon: checkUpsilon(in); break;
    case Mode::kHh: checkHh(in); break;
    case Mode::kIntegral: checkIntegral(in); break;
    case Mode::kTables: checkTables(in); break;
    case Mode::kGreeks: checkGreeks(in); break;
  }
  current = nullptr;
  return 0;
}
