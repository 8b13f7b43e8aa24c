// Differential fuzz target for the pricing engine.
//
// Each input is one fixed-size record (shorter inputs are zero-padded, extra
// bytes ignored); make_seeds.py writes the same layout:
//
//   byte 0        what to check: 0-2 prices, 3 Greeks, 4 Upsilon, 5 Hh,
//                 6 I_n, 7 the table fillers against single calls, 8 touch
//                 options, 9 barrier options, 10 American options (value
//                 mod 11; the seeds' mode bytes are 0 to 10, each its own
//                 mode, so seeds written for mod 10 keep theirs)
//   bytes 1-5     the series length n: a selector byte, then 4 bytes
//   bytes 6-86    nine doubles, each a selector byte, then 8 bytes
//
// The touch and barrier modes need more fields and no n:
//
//   bytes 1-2     the book's shape: the second and third maturities as
//                 multiples of T (bits 0-2 and 3-5), q' = 0 or q + 0.02 and
//                 r' = -r or r + 0.01 for the options that change them (bits
//                 6, 7); then which kind is also priced alone and on three
//                 workers (bits 0-2) and whether a long book is (bits 3-5
//                 and 7 all clear; bit 6 moves its maturities)
//   bytes 3-86    twelve doubles T, K, H, S, r, q, rebate, sigma, lam, p,
//                 eta1, eta2, each a selector byte, then 6 bytes
//
// The American mode has that layout too, with its own twelve fields:
//
//   bytes 1-2     the book's shape: puts or calls (bit 0), the rate and
//                 yield of the option that takes the European route (bits
//                 1, 2) and what the last option is (bits 3-4); then
//                 whether one option is priced again to a tenth of the
//                 accuracy (bits 0-2 all clear)
//   bytes 3-86    T1, T2, K, S, r, q, accuracy, sigma, lam, p, eta1, eta2
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
//
// The touch and barrier modes price a book of eight options on one model
// (pathBook: shared and repeated maturities, q and r changed between
// options of one maturity, barriers on both sides of the spot and at it)
// with batch/touch_book.hpp and batch/barrier_book.hpp, and hold them to
// what those headers state: NaN exactly for a NaN input, T < 0, H, K or
// S <= 0 and a model outside the roots' domain; the values paid at once
// (a barrier at or through the spot, T = 0, maturities below 1e-30 years)
// bit for bit; touches within [0, 1] (the discounted ones within
// [0, e^(-rT)], the hit within [0, max(1, e^(-rT))]), one-touch at expiry
// plus no-touch equal to e^(-rT) within 1e-12 of it; barrier options not
// below 0 without a rebate; a breached knock-in bit for bit the European
// option at S e^(-qT). Where the inversion is accurate and the closed form
// settled, knock-in plus knock-out is the European option plus the
// rebates' worth (the knock-out's rebate times the one-touch at the hit,
// the knock-in's times the no-touch) within 1e-9 (S + K), and the
// one-touch at the hit lies between e^(-rT) P(tau <= T) and P(tau <= T).
// Each option has the same bits alone as in the book, on one worker as on
// three, in a book long enough to be cut between workers, and priced with
// its delta and gamma as without.
//
// The American mode prices a book of eight puts or calls (two maturities,
// strikes on both sides of the spot and at it, q and 0 as yields, one
// option on the European route, the last at T = 0, with q negated, deep in
// the money or at a maturity of 1e-31 T1) with batch/american_book.hpp
// and holds it to that header: NaN exactly for a NaN or infinite input,
// T < 0, K or S <= 0 and a model out of its domain (and for a solve at an
// accuracy that is not a positive number); the payoff and its slope at
// T = 0; the European closed form at S e^(-qT), each maturity's own series
// length, bit for bit (price, delta, gamma and theta through the yield's
// chain rule) where early exercise never pays, a call with q <= 0 <= r or
// a put with r <= 0 <= q. In the ordinary region, where the solver is
// documented to reach its accuracy and the closed form is settled, a
// solved price is finite, not below the payoff and not below the European
// price by more than the accuracy times K, its delta within [-1, 0] or
// [0, 1], gamma not below 0 and theta not above 0 (to loose tolerances);
// in one record in eight, within 1.1 times the accuracy of the price to a
// tenth of it. The book on two workers with
// delta, gamma and theta asked has the bits of the book on one without.
// The solver refines its grid until the accuracy is met, which takes
// seconds for long maturities or tiny accuracies: options that would be
// solved outside a box that bounds the run time (solveAffordable) are left
// out of the book, and the rest still run.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "batch/american_book.hpp"
#include "batch/barrier_book.hpp"
#include "batch/book_pricer.hpp"
#include "batch/bound_book.hpp"
#include "batch/dividend_yield.hpp"
#include "batch/greeks_book.hpp"
#include "batch/touch_book.hpp"
#include "pricing/closed_form/options.hpp"
#include "pricing/error_bound/price_bound.hpp"
#include "pricing/first_passage/first_passage.hpp"
#include "pricing/closed_form/hh_integral.hpp"
#include "pricing/closed_form/integral_family.hpp"
#include "pricing/closed_form/upsilon.hpp"
#include "support/dual_kou.hpp"
#include "support/literal_kou.hpp"

namespace {

constexpr std::size_t kFieldCount = 9;
constexpr std::size_t kFieldBytes = 9;
constexpr std::size_t kRecordSize = 1 + 5 + kFieldCount * kFieldBytes;
// The touch and barrier modes: two bytes that shape the book, then twelve
// shorter fields in the same record size.
constexpr std::size_t kPathFieldCount = 12;
constexpr std::size_t kPathFieldBytes = 7;
static_assert(1 + 2 + kPathFieldCount * kPathFieldBytes == kRecordSize,
              "the path modes fill the record the other modes use");
constexpr std::size_t kMaxFieldCount = kPathFieldCount;

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

enum class Mode { kPrice, kUpsilon, kHh, kIntegral, kTables, kGreeks, kTouch, kBarrier, kAmerican };

struct Input {
  Mode mode;
  int n;                     // the series modes
  std::uint8_t shape[2];     // the path modes
  double v[kMaxFieldCount];  // kFieldCount, or kPathFieldCount in the path modes
};

bool isPathMode(Mode mode) { return mode == Mode::kTouch || mode == Mode::kBarrier; }
// The modes read as two shape bytes and twelve short fields.
bool hasShapeLayout(Mode mode) { return isPathMode(mode) || mode == Mode::kAmerican; }

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
    case Mode::kTouch:
    case Mode::kBarrier:
    case Mode::kAmerican:
      break;  // no series length: their own layout (decodePathFields)
  }
  return 0;
}

// The path modes' fields. K and H, mapped, are log-ratios to S (ranges
// below), so that barriers land near the spot, where first passage is
// neither certain nor impossible; the touch mode reads K as a second
// barrier.
enum PathField { kT, kK, kH, kS, kR, kQ, kRebate, kSigma, kLam, kP, kEta1, kEta2 };
constexpr Range kPathRanges[kPathFieldCount] = {
    {0.02, 4.0},    // T
    {-0.8, 0.8},    // ln(K/S), or ln(H2/S) in the touch mode
    {-0.35, 0.35},  // ln(H/S)
    {50.0, 200.0},  // S
    {-0.12, 0.15},  // r
    {-0.05, 0.12},  // q
    {0.0, 1.0},     // rebate: 0 in three mapped records out of four, else up to 20
    {0.03, 0.7},    // sigma
    {0.0, 6.0},     // lam
    {0.0, 1.0},     // p
    // Log-uniform: the closed form that barriers are checked against is
    // settled (closedFormSettled) only while eta sigma sqrt(T) is a few units.
    {1.5, 50.0, true},  // eta1
    {0.5, 50.0, true},  // eta2
};

// Selector mod 16 as in decodeDouble, from 6 payload bytes (little-endian):
// raw, they are the top 48 bits of the double (sign, exponent and 36 bits
// of mantissa: NaNs, infinities, zeros, subnormals and huge values all
// reachable); mapped, u has 48 bits. `mapped` tells which.
double decodePathDouble(const std::uint8_t* field, Range range, bool& mapped) {
  std::uint64_t payload = 0;
  for (int i = 6; i-- > 0;) payload = payload << 8 | field[1 + i];
  mapped = false;
  switch (field[0] % 16) {
    case 0: {
      const std::uint64_t bits = payload << 16;
      double raw;
      std::memcpy(&raw, &bits, sizeof raw);
      return raw;
    }
    case 1:
      return kAwkward[payload % kAwkwardCount];
    default: {
      mapped = true;
      const double u = static_cast<double>(payload) * 0x1p-48;  // [0, 1)
      if (range.logScale) return range.lo * std::pow(range.hi / range.lo, u);
      return range.lo + (range.hi - range.lo) * u;
    }
  }
}

void decodePathFields(const std::uint8_t* record, Input& in) {
  in.shape[0] = record[1];
  in.shape[1] = record[2];
  bool mapped[kPathFieldCount];
  for (std::size_t i = 0; i < kPathFieldCount; ++i) {
    in.v[i] = decodePathDouble(record + 3 + i * kPathFieldBytes, kPathRanges[i], mapped[i]);
  }
  const double S = in.v[kS];
  if (mapped[kK]) in.v[kK] = S * std::exp(in.v[kK]);
  if (mapped[kH]) in.v[kH] = S * std::exp(in.v[kH]);
  if (mapped[kRebate]) in.v[kRebate] = in.v[kRebate] < 0.75 ? 0.0 : 80.0 * (in.v[kRebate] - 0.75);
}

// The American mode's fields. Mapped, K is a log-ratio to S, and the
// maturities stop at 3 years and the accuracy at 1e-5 of the strike: the
// solver's cost grows with both (about T^(1/2) / accuracy^(3/2)).
enum AmericanField { kT1, kT2, kAK, kAS, kAR, kAQ, kAccuracy, kASigma, kALam, kAP, kAEta1, kAEta2 };
constexpr Range kAmericanRanges[kPathFieldCount] = {
    {0.02, 3.0},         // T1
    {0.02, 3.0},         // T2
    {-0.45, 0.45},       // ln(K/S)
    {50.0, 200.0},       // S
    {-0.02, 0.1},        // r
    {-0.01, 0.08},       // q
    {1e-5, 1e-3, true},  // accuracy
    {0.08, 0.6},         // sigma
    {0.0, 4.0},          // lam
    {0.0, 1.0},          // p
    // Heavy jumps against little diffusion slow the solver most: a mean
    // jump of half the price or more (a call's dual has eta2* = eta1 - 1)
    // takes seconds at 1e-5 under the sanitizers.
    {2.0, 50.0, true},   // eta1
    {1.0, 50.0, true},   // eta2
};

void decodeAmericanFields(const std::uint8_t* record, Input& in) {
  in.shape[0] = record[1];
  in.shape[1] = record[2];
  bool mapped[kPathFieldCount];
  for (std::size_t i = 0; i < kPathFieldCount; ++i) {
    in.v[i] = decodePathDouble(record + 3 + i * kPathFieldBytes, kAmericanRanges[i], mapped[i]);
  }
  if (mapped[kAK]) in.v[kAK] = in.v[kAS] * std::exp(in.v[kAK]);
}

Input decode(const std::uint8_t* data, std::size_t size) {
  std::uint8_t record[kRecordSize] = {};
  std::memcpy(record, data, size < kRecordSize ? size : kRecordSize);
  Input in{};
  switch (record[0] % 11) {
    case 3: in.mode = Mode::kGreeks; break;
    case 4: in.mode = Mode::kUpsilon; break;
    case 5: in.mode = Mode::kHh; break;
    case 6: in.mode = Mode::kIntegral; break;
    case 7: in.mode = Mode::kTables; break;
    case 8: in.mode = Mode::kTouch; break;
    case 9: in.mode = Mode::kBarrier; break;
    case 10: in.mode = Mode::kAmerican; break;
    default: in.mode = Mode::kPrice; break;
  }
  if (in.mode == Mode::kAmerican) {
    decodeAmericanFields(record, in);
    return in;
  }
  if (isPathMode(in.mode)) {
    decodePathFields(record, in);
    return in;
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

const char* const kFieldNames[][kMaxFieldCount] = {
    {"T", "K", "S", "r", "sigma", "lam", "p", "eta1", "eta2", "-", "-", "-"},
    {"mu", "sigma", "lam", "p", "eta1", "eta2", "a", "T", "-", "-", "-", "-"},
    {"x", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-"},
    {"c", "alpha", "beta", "delta", "-", "-", "-", "-", "-", "-", "-", "-"},
    {"c", "alpha", "beta", "delta", "x", "-", "-", "-", "-", "-", "-", "-"},
    {"T", "K", "S", "r", "sigma", "lam", "p", "eta1", "eta2", "-", "-", "-"},
    {"T", "H2", "H", "S", "r", "q", "-", "sigma", "lam", "p", "eta1", "eta2"},
    {"T", "K", "H", "S", "r", "q", "rebate", "sigma", "lam", "p", "eta1", "eta2"},
    {"T1", "T2", "K", "S", "r", "q", "accuracy", "sigma", "lam", "p", "eta1", "eta2"},
};
const char* const kModeNames[] = {"price", "Upsilon", "Hh",      "integralI", "tables",
                                  "Greeks", "touch",   "barrier", "American"};

const Input* current = nullptr;

// The option of a touch or barrier book that a check is looking at, named
// with a mismatch.
struct PathOption {
  double T, K, H, S, r, q, rebate;
};
const PathOption* currentPathOption = nullptr;
std::size_t currentPathIndex = 0;
const char* currentPathBook = "";

// The same for an option of the American mode's book.
struct AmericanOption {
  double T, K, S, r, q;
};
const AmericanOption* currentAmericanOption = nullptr;
std::size_t currentAmericanIndex = 0;

[[noreturn]] void fail(const char* what, double expected, double actual) {
  const Input& in = *current;
  const int mode = static_cast<int>(in.mode);
  std::fprintf(stderr, "\n== mismatch in %s mode: %s\n", kModeNames[mode], what);
  std::fprintf(stderr, "   expected %a (%.17g, 0x%016llx)\n", expected, expected,
               static_cast<unsigned long long>(bitsOf(expected)));
  std::fprintf(stderr, "   actual   %a (%.17g, 0x%016llx)\n", actual, actual,
               static_cast<unsigned long long>(bitsOf(actual)));
  if (hasShapeLayout(in.mode)) {
    std::fprintf(stderr, "   shape = 0x%02x 0x%02x\n", in.shape[0], in.shape[1]);
  } else {
    std::fprintf(stderr, "   n = %d\n", in.n);
  }
  for (std::size_t i = 0; i < (hasShapeLayout(in.mode) ? kPathFieldCount : kFieldCount); ++i) {
    if (kFieldNames[mode][i][0] == '-') continue;
    std::fprintf(stderr, "   %s = %a (%.17g)\n", kFieldNames[mode][i], in.v[i], in.v[i]);
  }
  if (currentPathOption != nullptr) {
    const PathOption& o = *currentPathOption;
    std::fprintf(stderr, "   %s, option %zu: T = %.17g K = %.17g H = %.17g S = %.17g r = %.17g "
                 "q = %.17g rebate = %.17g\n", currentPathBook, currentPathIndex, o.T, o.K, o.H,
                 o.S, o.r, o.q, o.rebate);
  }
  if (currentAmericanOption != nullptr) {
    const AmericanOption& o = *currentAmericanOption;
    std::fprintf(stderr, "   %s, option %zu: T = %.17g K = %.17g S = %.17g r = %.17g q = %.17g\n",
                 (in.shape[0] & 1) ? "calls" : "puts", currentAmericanIndex, o.T, o.K, o.S, o.r,
                 o.q);
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


// Touches and barriers.

constexpr std::size_t kManyWorkers = 3;
// The second shape byte asks for a long book where these bits are clear.
constexpr std::uint8_t kLongBookBits = 0xb8;

void noPoll() {}

// Multiples of T for the book's other maturities: equal, near and far, about one
// ulp above (a slice of its own, not to be taken for T's), T = 0
// (the payoff) and 1e-31 T (below the transform's shortest maturity).
constexpr double kMaturityFactors[8] = {1.0, 0.5, 2.0, 1.0 + 0x1p-52, 0.0, 1e-31, 0.1, 3.0};

struct PathBook {
  std::vector<double> T, K, H, S, r, q, rebate;
  void add(const PathOption& o) {
    T.push_back(o.T);
    K.push_back(o.K);
    H.push_back(o.H);
    S.push_back(o.S);
    r.push_back(o.r);
    q.push_back(o.q);
    rebate.push_back(o.rebate);
  }
  PathOption at(std::size_t i) const { return {T[i], K[i], H[i], S[i], r[i], q[i], rebate[i]}; }
  std::size_t size() const { return T.size(); }
  // A touch book reads its barrier where the European books read K.
  jdpricer::OptionColumns touchColumns() const {
    return {T.data(), H.data(), S.data(), r.data(), size()};
  }
  jdpricer::OptionColumns europeanColumns() const {
    return {T.data(), K.data(), S.data(), r.data(), size()};
  }
  jdpricer::BarrierColumns barrierColumns() const {
    return {europeanColumns(), H.data(), q.data(), rebate.data()};
  }
};

// Eight options on one model, ordered to work the slice cache: maturity T
// five times or more, with q and then r changed in between (new slices,
// then T's again), two maturities picked by the shape byte (equal to T in
// some records), barriers on both sides of the spot and one at it, the
// rebate on three. The touch mode's second barrier is a field of its own;
// the barrier mode's is H mirrored through the spot, S^2/H, so that either
// direction's book has unbreached and breached barriers.
PathBook pathBook(const Input& in) {
  const double* v = in.v;
  const double T = v[kT], K = v[kK], H = v[kH], S = v[kS], r = v[kR], q = v[kQ],
               R = v[kRebate];
  const double Ta = T * kMaturityFactors[in.shape[0] & 7];
  const double Tb = T * kMaturityFactors[(in.shape[0] >> 3) & 7];
  const double q2 = (in.shape[0] & 0x40) ? 0.0 : q + 0.02;
  const double r2 = (in.shape[0] & 0x80) ? -r : r + 0.01;  // -r: -0 beside +0
  const bool touch = in.mode == Mode::kTouch;
  const double H2 = touch ? K : (S / H) * S;
  PathBook b;
  b.add({T, K, H, S, r, q, R});
  b.add({T, S, touch ? H2 : H, S, r, q, 0.0});
  b.add({Ta, K, H, S, r, q, 0.0});
  b.add({T, K, H2, S, r, q, R});
  b.add({Tb, K, H2, S, r, q, 0.0});
  b.add({T, K, H, S, r, q2, 0.0});
  b.add({T, K, S, S, r, q, R});
  b.add({Ta, K, H, S, r2, q, R});
  return b;
}

// The book `copies` times over, long enough for the books to cut it into
// segments on several workers: copies with the same maturities (long runs
// of one maturity, cut between workers, each half building its own slice),
// or with each copy's maturities moved by a few ulps (many slices).
PathBook repeated(const PathBook& b, std::size_t copies, bool moveMaturities) {
  PathBook big;
  for (std::size_t c = 0; c < copies; ++c) {
    for (std::size_t i = 0; i < b.size(); ++i) {
      PathOption o = b.at(i);
      if (moveMaturities) o.T *= 1.0 + static_cast<double>(c) * 0x1p-44;
      big.add(o);
    }
  }
  return big;
}

// Copies enough that the work the books' splitOrder estimates (an option
// 1, a new maturity `sliceWork`) is about 2.2 segments of `segmentWork`:
// two segments on three workers, with a cut inside the book. Only moved
// copies open maturities of their own.
std::size_t copiesForSegments(const PathBook& b, bool moveMaturities, double sliceWork,
                              double segmentWork) {
  double perCopy = static_cast<double>(b.size());
  if (moveMaturities) {
    std::vector<std::uint64_t> keys;
    for (const double t : b.T) keys.push_back(bitsOf(t));
    std::sort(keys.begin(), keys.end());
    const auto maturities = std::unique(keys.begin(), keys.end()) - keys.begin();
    perCopy += sliceWork * static_cast<double>(maturities);
  }
  return static_cast<std::size_t>(2.2 * segmentWork / perCopy) + 1;
}

// The model's domain as passage_roots.hpp documents it, judged before any
// mirroring (kouModelInDomain), the risk-neutral drift included: outside it
// every value is NaN, those paid at once too.
bool modelInDomain(const double* v, double r, double q, bool) {
  return jdpricer::kouLawInDomain(r, q, v[kSigma], v[kLam], v[kP], v[kEta1], v[kEta2]);
}

// Where the headers state the inversion's accuracy (1e-12 to 1e-13 for
// ordinary models, maturities 0.05 to 3, levels 5% to 25% away), with some
// room: the identities between books are checked to 1e-9 here.
bool ordinaryPath(const double* v, const PathOption& o, double level) {
  return o.T >= 0.05 && o.T <= 3.0 && level >= 0.03 && level <= 0.3 && v[kSigma] >= 0.05 &&
         v[kSigma] <= 0.6 && v[kLam] >= 0.0 && v[kLam] <= 5.0 && v[kP] >= 0.0 && v[kP] <= 1.0 &&
         v[kEta1] >= 3.0 && v[kEta2] >= 1.0 && std::fabs(o.r) <= 0.1 && std::fabs(o.q) <= 0.1;
}

// What the headers leave open is checked only on request, with
// JDPRICER_FUZZ_STRICT set in the environment: that values are finite in a
// wide plausible box (below), where first_passage.hpp allows NaN only for
// roots that cannot be followed along the contour, and that a barrier
// option with a rebate >= 0 is >= 0 as a whole (barrier_book.hpp clamps
// the option's value; the rebate's term is the inverted hit or survival
// value). Both fail today in places within the box: a pair of roots close
// together along the path stops the walk (NaN), and the inversion runs
// away for far barriers under little diffusion (values of 1e50).
const bool strict = std::getenv("JDPRICER_FUZZ_STRICT") != nullptr;

// A wider box than the ordinary one, for the strict checks.
bool plausiblePath(const double* v, const PathOption& o, double level) {
  return o.T <= 10.0 && level >= 1e-6 && level <= 3.0 && v[kSigma] >= 0.01 && v[kSigma] <= 2.0 &&
         v[kLam] <= 20.0 && v[kEta1] >= 1.05 && v[kEta1] <= 100.0 && v[kEta2] >= 0.1 &&
         v[kEta2] <= 100.0 && std::fabs(o.r) <= 0.5 && std::fabs(o.q) <= 0.5;
}

void expectSameBook(const char* what, const std::vector<double>& expected,
                    const std::vector<double>& actual, const PathBook& b) {
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (!sameBits(expected[i], actual[i])) {
      const PathOption o = b.at(i);
      currentPathOption = &o;
      currentPathIndex = i;
      currentPathBook = "the book";
      fail(what, expected[i], actual[i]);
    }
  }
}

// The values, and with `spotGreeks` delta and gamma beside them (which
// must leave the values' bits as they are).
std::vector<double> touchValues(jdpricer::TouchKind kind, const Input& in, const PathBook& b,
                                std::size_t workers, bool spotGreeks = false) {
  const double* v = in.v;
  std::vector<double> values(b.size(), -7.0), delta(b.size()), gamma(b.size());
  jdpricer::priceTouchBook(kind, {v[kSigma], v[kLam], v[kP], v[kEta1], v[kEta2]},
                           b.touchColumns(), b.q.data(), values.data(), workers, noPoll,
                           spotGreeks ? delta.data() : nullptr,
                           spotGreeks ? gamma.data() : nullptr);
  return values;
}

// One option's three touch values against touch_book.hpp.
void checkTouchOption(const Input& in, const PathOption& o, double hit, double atExpiry,
                      double noTouch) {
  const double* v = in.v;
  const bool nanInput = std::isnan(o.T) || std::isnan(o.H) || std::isnan(o.S) ||
                        std::isnan(o.r) || std::isnan(o.q);
  if (nanInput || !(o.T >= 0.0) || !(o.H > 0.0) || !(o.S > 0.0)) {
    expectNaN("one-touch at the hit of a NaN input, T < 0, H <= 0 or S <= 0", hit);
    expectNaN("one-touch at expiry of a NaN input, T < 0, H <= 0 or S <= 0", atExpiry);
    expectNaN("no-touch of a NaN input, T < 0, H <= 0 or S <= 0", noTouch);
    return;
  }
  const bool inDomain = modelInDomain(v, o.r, o.q, o.H > o.S);
  const double discount = std::exp(-o.r * o.T);
  if (!inDomain) {
    expectNaN("one-touch at the hit under a model out of its domain", hit);
    expectNaN("one-touch at expiry under a model out of its domain", atExpiry);
    expectNaN("no-touch under a model out of its domain", noTouch);
    return;
  }
  if (o.H == o.S) {
    expectSame("one-touch at the hit with H = S", 1.0, hit);
    expectSame("one-touch at expiry with H = S", discount, atExpiry);
    expectSame("no-touch with H = S", 0.0, noTouch);
    return;
  }
  const double level = o.H > o.S ? std::log(o.H / o.S) : std::log(o.S / o.H);
  if (o.T < jdpricer::kShortestTransformMaturity) {
    if (o.T == 0.0 || level > 40.0 * v[kSigma] * std::sqrt(o.T)) {
      expectSame("one-touch at the hit at the T = 0 limit", 0.0, hit);
      expectSame("one-touch at expiry at the T = 0 limit", 0.0, atExpiry);
      expectSame("no-touch at the T = 0 limit", discount, noTouch);
    } else {
      expectNaN("one-touch at the hit, unresolved short maturity", hit);
      expectNaN("one-touch at expiry, unresolved short maturity", atExpiry);
      expectNaN("no-touch, unresolved short maturity", noTouch);
    }
    return;
  }
  if (!(std::isnan(hit) || (hit >= 0.0 && hit <= std::max(1.0, discount)))) {
    fail("one-touch at the hit outside [0, max(1, e^(-rT))]", std::max(1.0, discount), hit);
  }
  if (!(std::isnan(atExpiry) || (atExpiry >= 0.0 && atExpiry <= discount))) {
    fail("one-touch at expiry outside [0, e^(-rT)]", discount, atExpiry);
  }
  if (!(std::isnan(noTouch) || (noTouch >= 0.0 && noTouch <= discount))) {
    fail("no-touch outside [0, e^(-rT)]", discount, noTouch);
  }
  if (strict && plausiblePath(v, o, level) &&
      !(std::isfinite(hit) && std::isfinite(atExpiry) && std::isfinite(noTouch))) {
    std::fprintf(stderr, "hit %.17g at expiry %.17g no-touch %.17g\n", hit, atExpiry, noTouch);
    fail("a touch value is not finite in the plausible region", 0.0, kNaN);
  }
  if (std::isfinite(atExpiry) && std::isfinite(noTouch) && std::isfinite(discount) &&
      !(std::fabs(atExpiry + noTouch - discount) <= 1e-12 * discount)) {
    fail("one-touch at expiry + no-touch differs from e^(-rT)", discount, atExpiry + noTouch);
  }
  // e^(-r tau) lies between 1 and e^(-rT) on tau <= T, so the discounted
  // hit lies between those multiples of P(tau <= T) = atExpiry e^(rT).
  if (ordinaryPath(v, o, level) && std::isfinite(hit) && std::isfinite(atExpiry)) {
    const double probability = atExpiry / discount;
    const double lo = std::min(1.0, discount) * probability;
    const double hi = std::max(1.0, discount) * probability;
    if (!(hit >= lo - 1e-9 && hit <= hi + 1e-9)) {
      std::fprintf(stderr, "P(tau <= T) = %.17g: the hit within [%.17g, %.17g]\n", probability,
                   lo, hi);
      fail("one-touch at the hit not between P and e^(-rT) P", probability, hit);
    }
  }
}

void checkTouches(const Input& in) {
  constexpr jdpricer::TouchKind kinds[3] = {jdpricer::TouchKind::kOneTouchAtHit,
                                            jdpricer::TouchKind::kOneTouchAtExpiry,
                                            jdpricer::TouchKind::kNoTouch};
  static const char* const kKindNames[3] = {"one-touch at the hit", "one-touch at expiry",
                                            "no-touch"};
  const PathBook b = pathBook(in);
  std::vector<double> values[3];
  for (int k = 0; k < 3; ++k) values[k] = touchValues(kinds[k], in, b, 1);
  // The kind that the shape byte picks is priced again on three workers,
  // with delta and gamma, alone and in a long book; eight options are one
  // segment whatever the workers, so the other kinds would only repeat the
  // same work.
  const int k = (in.shape[1] & 7) % 3;
  expectSameBook("touch book on three workers differs from one worker", values[k],
                 touchValues(kinds[k], in, b, kManyWorkers), b);
  expectSameBook("touch values priced with delta and gamma differ", values[k],
                 touchValues(kinds[k], in, b, 1, true), b);
  for (std::size_t i = 0; i < b.size(); ++i) {
    const PathOption o = b.at(i);
    currentPathOption = &o;
    currentPathIndex = i;
    currentPathBook = "touch book";
    checkTouchOption(in, o, values[0][i], values[1][i], values[2][i]);
  }
  currentPathOption = nullptr;
  // Each option alone has the bits it has among the others.
  for (std::size_t i = 0; i < b.size(); ++i) {
    PathBook alone;
    alone.add(b.at(i));
    const double single = touchValues(kinds[k], in, alone, 1)[0];
    if (!sameBits(values[k][i], single)) {
      const PathOption o = b.at(i);
      currentPathOption = &o;
      currentPathIndex = i;
      currentPathBook = kKindNames[k];
      fail("a touch priced alone differs from the same touch in the book", values[k][i], single);
    }
  }
  // One record in 32: a book long enough to be cut between workers (some
  // thousands of options, a tenth of a second to a second under the
  // sanitizers), priced on one and on three; its first copy is the book.
  if ((in.shape[1] & kLongBookBits) == 0) {
    // splitOrder's estimates in touch_book.cpp: a slice 40 options, 4096 a segment.
    const bool moved = in.shape[1] & 0x40;
    const PathBook big = repeated(b, copiesForSegments(b, moved, 40.0, 4096.0), moved);
    const std::vector<double> serial = touchValues(kinds[k], in, big, 1);
    expectSameBook("long touch book on three workers differs from one worker", serial,
                   touchValues(kinds[k], in, big, kManyWorkers), big);
    expectSameBook("long touch book's first copy differs from the book",
                   values[k], std::vector<double>(serial.begin(), serial.begin() + b.size()), b);
  }
}

constexpr jdpricer::BarrierKind kBarrierKinds[4] = {
    jdpricer::BarrierKind::kDownAndOut, jdpricer::BarrierKind::kDownAndIn,
    jdpricer::BarrierKind::kUpAndOut, jdpricer::BarrierKind::kUpAndIn};

std::vector<double> barrierPrices(jdpricer::Payoff payoff, jdpricer::BarrierKind kind,
                                  const Input& in, const PathBook& b, std::size_t workers,
                                  bool spotGreeks = false) {
  const double* v = in.v;
  std::vector<double> prices(b.size(), -7.0), delta(b.size()), gamma(b.size());
  jdpricer::priceBarrierBook(payoff, kind, {v[kSigma], v[kLam], v[kP], v[kEta1], v[kEta2]},
                             b.barrierColumns(), prices.data(), workers, noPoll,
                             spotGreeks ? delta.data() : nullptr,
                             spotGreeks ? gamma.data() : nullptr);
  return prices;
}

// The European options of the book at the spot net of dividends,
// S * exp(-q * T) where q is not 0 (dividend_yield.hpp), each maturity's
// own series length: what a breached knock-in is, and what knock-in and
// knock-out add up to.
std::vector<double> vanillaPrices(jdpricer::Payoff payoff, const Input& in, const PathBook& b) {
  const double* v = in.v;
  std::vector<double> netSpots(b.size());
  for (std::size_t i = 0; i < b.size(); ++i) {
    netSpots[i] = b.q[i] == 0.0 ? b.S[i] : b.S[i] * std::exp(-b.q[i] * b.T[i]);
  }
  const jdpricer::OptionColumns net{b.T.data(), b.K.data(), netSpots.data(), b.r.data(),
                                    b.size()};
  std::vector<double> prices(b.size(), -7.0);
  jdpricer::priceBook(payoff, {v[kSigma], v[kLam], v[kP], v[kEta1], v[kEta2], 0, true}, net,
                      prices.data(), 1, noPoll);
  return prices;
}

// Whether the closed form's rounding, amplified by about exp(G) (G of
// docs/choosing_n.md, for both series, at the spot net of dividends), stays
// below 1e-12 of S + K: G < 12. Beyond, the vanilla is no reference (from
// max(eta) sigma sqrt(T) of about 6 its partial sums overshoot).
bool closedFormSettled(double sigma, double lam, double p, double eta1, double eta2, double T,
                       double K, double r, double netSpot) {
  const double s = sigma * std::sqrt(T);
  const double zeta = p * eta1 / (eta1 - 1.0) + (1.0 - p) * eta2 / (eta2 + 1.0) - 1.0;
  const double mu = r - 0.5 * sigma * sigma - lam * zeta;
  const double a = std::log(K / netSpot);
  const auto G = [&](double up, double down, double drift) {
    const double c = a - drift * T;
    return std::max(up * up * s * s / 2 - up * c, down * down * s * s / 2 + down * c);
  };
  return std::max(G(eta1, eta2, mu), G(eta1 - 1.0, eta2 + 1.0, mu + sigma * sigma)) < 12.0;
}

bool closedFormSettled(const double* v, const PathOption& o, double netSpot) {
  return closedFormSettled(v[kSigma], v[kLam], v[kP], v[kEta1], v[kEta2], o.T, o.K, o.r, netSpot);
}

// One option's knock-in and knock-out (one payoff, one direction) against
// barrier_book.hpp. hit and noTouch are the touch books' values of the
// option's barrier, which the rebates are worth.
void checkBarrierOption(const Input& in, const PathOption& o, jdpricer::Payoff payoff, bool up,
                        double knockIn, double knockOut, double vanilla, double hit,
                        double noTouch) {
  const double* v = in.v;
  const bool nanInput = std::isnan(o.T) || std::isnan(o.K) || std::isnan(o.H) ||
                        std::isnan(o.S) || std::isnan(o.r) || std::isnan(o.q) ||
                        std::isnan(o.rebate);
  if (nanInput || !(o.T >= 0.0) || !(o.K > 0.0 && o.H > 0.0 && o.S > 0.0)) {
    expectNaN("knock-in of a NaN input, T < 0 or K, H, S <= 0", knockIn);
    expectNaN("knock-out of a NaN input, T < 0 or K, H, S <= 0", knockOut);
    return;
  }
  const bool inDomain = modelInDomain(v, o.r, o.q, up);
  if (!inDomain) {
    expectNaN("knock-in under a model out of its domain", knockIn);
    expectNaN("knock-out under a model out of its domain", knockOut);
    return;
  }
  if (up ? o.S >= o.H : o.S <= o.H) {
    expectSame("breached knock-in differs from the European option at S e^(-qT)", vanilla,
               knockIn);
    expectSame("breached knock-out differs from its rebate", o.rebate, knockOut);
    return;
  }
  const double level = up ? std::log(o.H / o.S) : std::log(o.S / o.H);
  if (o.T < jdpricer::kShortestTransformMaturity) {
    if (o.T == 0.0 || level > 40.0 * v[kSigma] * std::sqrt(o.T)) {
      const double payout =
          payoff == jdpricer::Payoff::kCall ? std::max(o.S - o.K, 0.0) : std::max(o.K - o.S, 0.0);
      expectSame("knock-out at the T = 0 limit differs from the payoff", payout, knockOut);
      expectSame("knock-in at the T = 0 limit differs from the rebate", o.rebate, knockIn);
    } else {
      expectNaN("knock-in, unresolved short maturity", knockIn);
      expectNaN("knock-out, unresolved short maturity", knockOut);
    }
    return;
  }
  // The rebate's term may be below 0 by the inversion's error where it is 0.
  const double floor = o.rebate == 0.0 ? 0.0 : -1e-12 * o.rebate;
  if (o.rebate == 0.0 || (strict && o.rebate > 0.0)) {
    if (knockIn < floor) fail("knock-in below 0", 0.0, knockIn);
    if (knockOut < floor) fail("knock-out below 0", 0.0, knockOut);
  }
  const double KS = o.K / o.S;
  if (strict && plausiblePath(v, o, level) && KS >= 0.05 && KS <= 20.0 &&
      std::fabs(o.rebate) <= 1e6 && !(std::isfinite(knockIn) && std::isfinite(knockOut))) {
    std::fprintf(stderr, "knock-in %.17g knock-out %.17g\n", knockIn, knockOut);
    fail("a barrier price is not finite in the plausible region", 0.0, kNaN);
  }
  const double netSpot = o.q == 0.0 ? o.S : o.S * std::exp(-o.q * o.T);
  if (ordinaryPath(v, o, level) && KS >= 0.5 && KS <= 2.0 && std::isfinite(o.rebate) &&
      closedFormSettled(v, o, netSpot)) {
    // Knock-out rebate at the hit, knock-in rebate at expiry if never hit.
    const double rebates = o.rebate == 0.0 ? 0.0 : o.rebate * (hit + noTouch);
    const double expected = vanilla + rebates;
    const double tolerance = 1e-9 * (o.S + o.K) + 1e-9 * std::fabs(o.rebate);
    if (!(std::fabs(knockIn + knockOut - expected) <= tolerance)) {
      std::fprintf(stderr, "knock-in %.17g knock-out %.17g vanilla %.17g rebate terms %.17g "
                   "(one-touch at the hit %.17g, no-touch %.17g)\n",
                   knockIn, knockOut, vanilla, rebates, hit, noTouch);
      fail("knock-in + knock-out differs from the European option plus the rebates", expected,
           knockIn + knockOut);
    }
  }
}

void checkBarriers(const Input& in) {
  static const char* const kKindNames[4] = {"down-and-out", "down-and-in", "up-and-out",
                                            "up-and-in"};
  const PathBook b = pathBook(in);
  constexpr jdpricer::Payoff payoffs[2] = {jdpricer::Payoff::kCall, jdpricer::Payoff::kPut};
  std::vector<double> prices[2][4];
  for (int pay = 0; pay < 2; ++pay) {
    for (int k = 0; k < 4; ++k) {
      prices[pay][k] = barrierPrices(payoffs[pay], kBarrierKinds[k], in, b, 1);
    }
  }
  // As for touches, one payoff and kind, picked by the shape byte, is
  // priced again on three workers, with delta and gamma, alone and in a
  // long book.
  const int pay = (in.shape[1] >> 2) & 1, k = in.shape[1] & 3;
  expectSameBook("barrier book on three workers differs from one worker", prices[pay][k],
                 barrierPrices(payoffs[pay], kBarrierKinds[k], in, b, kManyWorkers), b);
  expectSameBook("barrier prices priced with delta and gamma differ", prices[pay][k],
                 barrierPrices(payoffs[pay], kBarrierKinds[k], in, b, 1, true), b);
  // The rebates' worth, where a record has any: the touch books of the
  // same barriers.
  std::vector<double> hit(b.size(), kNaN), noTouch(b.size(), kNaN);
  bool rebates = false;
  for (const double rebate : b.rebate) rebates = rebates || rebate != 0.0;
  if (rebates) {
    hit = touchValues(jdpricer::TouchKind::kOneTouchAtHit, in, b, 1);
    noTouch = touchValues(jdpricer::TouchKind::kNoTouch, in, b, 1);
  }
  for (int pay = 0; pay < 2; ++pay) {
    const std::vector<double> vanilla = vanillaPrices(payoffs[pay], in, b);
    for (const bool up : {false, true}) {
      const std::vector<double>& out = prices[pay][up ? 2 : 0];
      const std::vector<double>& knockIn = prices[pay][up ? 3 : 1];
      for (std::size_t i = 0; i < b.size(); ++i) {
        const PathOption o = b.at(i);
        currentPathOption = &o;
        currentPathIndex = i;
        currentPathBook = pay == 0 ? (up ? "up barrier, call" : "down barrier, call")
                                   : (up ? "up barrier, put" : "down barrier, put");
        checkBarrierOption(in, o, payoffs[pay], up, knockIn[i], out[i], vanilla[i], hit[i],
                           noTouch[i]);
      }
      currentPathOption = nullptr;
    }
  }
  // Each option alone has the bits it has among the others.
  for (std::size_t i = 0; i < b.size(); ++i) {
    PathBook alone;
    alone.add(b.at(i));
    const double single = barrierPrices(payoffs[pay], kBarrierKinds[k], in, alone, 1)[0];
    if (!sameBits(prices[pay][k][i], single)) {
      const PathOption o = b.at(i);
      currentPathOption = &o;
      currentPathIndex = i;
      currentPathBook = kKindNames[k];
      fail("a barrier option priced alone differs from the same option in the book",
           prices[pay][k][i], single);
    }
  }
  if ((in.shape[1] & kLongBookBits) == 0) {
    // splitOrder's estimates in barrier_book.cpp: a slice 30 options, 2048 a segment.
    const bool moved = in.shape[1] & 0x40;
    const PathBook big = repeated(b, copiesForSegments(b, moved, 30.0, 2048.0), moved);
    const std::vector<double> serial = barrierPrices(payoffs[pay], kBarrierKinds[k], in, big, 1);
    expectSameBook("long barrier book on three workers differs from one worker", serial,
                   barrierPrices(payoffs[pay], kBarrierKinds[k], in, big, kManyWorkers), big);
    expectSameBook("long barrier book's first copy differs from the book", prices[pay][k],
                   std::vector<double>(serial.begin(), serial.begin() + b.size()), b);
  }
}


// American options.

struct AmericanBook {
  std::vector<double> T, K, S, r, q;
  void add(const AmericanOption& o) {
    T.push_back(o.T);
    K.push_back(o.K);
    S.push_back(o.S);
    r.push_back(o.r);
    q.push_back(o.q);
  }
  AmericanOption at(std::size_t i) const { return {T[i], K[i], S[i], r[i], q[i]}; }
  std::size_t size() const { return T.size(); }
  jdpricer::OptionColumns europeanColumns() const {
    return {T.data(), K.data(), S.data(), r.data(), size()};
  }
  jdpricer::AmericanColumns columns() const { return {europeanColumns(), q.data()}; }
};

bool americanCalls(const Input& in) { return (in.shape[0] & 1) != 0; }

jdpricer::AmericanModel americanModel(const Input& in) {
  const double* v = in.v;
  return {v[kASigma], v[kALam], v[kAP], v[kAEta1], v[kAEta2]};
}

// The model's domain as american_book.hpp states it: sigma > 0, lam >= 0,
// p in [0, 1], eta1 > 1, eta2 > 0, all finite.
bool americanModelInDomain(const Input& in) {
  const double* v = in.v;
  const double sigma = v[kASigma], lam = v[kALam], p = v[kAP], eta1 = v[kAEta1],
               eta2 = v[kAEta2];
  return std::isfinite(sigma) && sigma > 0.0 && std::isfinite(lam) && lam >= 0.0 && p >= 0.0 &&
         p <= 1.0 && std::isfinite(eta1) && eta1 > 1.0 && std::isfinite(eta2) && eta2 > 0.0;
}

bool americanInputsValid(const Input& in, const AmericanOption& o) {
  return std::isfinite(o.T) && std::isfinite(o.K) && std::isfinite(o.S) && std::isfinite(o.r) &&
         std::isfinite(o.q) && o.T >= 0.0 && o.K > 0.0 && o.S > 0.0 && americanModelInDomain(in);
}

// Early exercise never pays: a call with q <= 0 <= r, a put with r <= 0 <= q.
bool neverEarly(bool call, const AmericanOption& o) {
  return call ? (o.q <= 0.0 && o.r >= 0.0) : (o.r <= 0.0 && o.q >= 0.0);
}

// Whether the book solves the option's equation (rather than returning NaN,
// the payoff or the closed form without one).
bool americanSolved(const Input& in, const AmericanOption& o) {
  return americanInputsValid(in, o) && o.T > 0.0 && !neverEarly(americanCalls(in), o) &&
         in.v[kAccuracy] > 0.0;
}

// The mapped accuracies' lower end, less a little: a raw 1e-5 truncated to
// 36 bits of mantissa is a hair below it.
constexpr double kTightestAccuracy = 0.999e-5;

// A box where a solve stays within about a second under the sanitizers:
// the grid is refined until the accuracy is met or it passes 2^15 nodes,
// each halving doubling the steps as well, so a solve that cannot settle
// (a tiny accuracy, a rate of 1e300, a diffusion of 1e-200, mean jumps of
// the price's size) costs up to a minute. The jump rates are those of the
// put the book solves: for calls the dual model's, eta2 + 1 up and
// eta1 - 1 down.
// Inputs at NaN, infinity, zero or below return before any solve and are
// kept.
bool solveAffordable(const Input& in, const AmericanOption& o) {
  const double* v = in.v;
  const bool call = americanCalls(in);
  const double up = call ? v[kAEta2] + 1.0 : v[kAEta1];
  const double down = call ? v[kAEta1] - 1.0 : v[kAEta2];
  return o.T <= 5.0 && v[kAccuracy] >= kTightestAccuracy && v[kASigma] >= 0.04 &&
         v[kALam] <= 8.0 && up >= 1.2 && down >= 0.9 && std::fabs(o.r) <= 1.0 &&
         std::fabs(o.q) <= 1.0;
}

// Eight options on one model: maturity T1 five times (strikes K, its mirror
// S^2/K through the spot, at the spot; yields q and 0), T2 twice, one
// option on the European route (a put with r' <= 0 <= q, or a call with
// q' <= 0 <= r, at T1 or T2 by bit 2), and the last by bits 3-4 at T = 0,
// with q negated, deep in the money (one group with the first) or at
// 1e-31 T1.
AmericanBook americanBook(const Input& in) {
  const double* v = in.v;
  const double T1 = v[kT1], T2 = v[kT2], K = v[kAK], S = v[kAS], r = v[kAR], q = v[kAQ];
  const bool call = americanCalls(in);
  const double mirrored = (S / K) * S;
  const bool zero = (in.shape[0] & 2) != 0;
  const double T6 = (in.shape[0] & 4) ? T2 : T1;
  AmericanBook b;
  b.add({T1, K, S, r, q});
  b.add({T1, mirrored, S, r, q});
  b.add({T1, S, S, r, q});
  b.add({T2, K, S, r, q});
  b.add({T2, mirrored, S, r, q});
  b.add({T1, K, S, r, 0.0});
  if (call) {
    b.add({T6, mirrored, S, r, zero ? 0.0 : -q});
  } else {
    b.add({T6, mirrored, S, zero ? 0.0 : -r, q});
  }
  switch ((in.shape[0] >> 3) & 3) {
    case 0: b.add({0.0, K, S, r, q}); break;
    case 1: b.add({T1, K, S, r, -q}); break;
    case 2: b.add({T1, call ? S / 1.35 : 1.35 * S, S, r, q}); break;
    default: b.add({1e-31 * T1, K, S, r, q}); break;
  }
  AmericanBook kept;
  for (std::size_t i = 0; i < b.size(); ++i) {
    const AmericanOption o = b.at(i);
    if (!americanSolved(in, o) || solveAffordable(in, o)) kept.add(o);
  }
  return kept;
}

struct AmericanValues {
  std::vector<double> price, delta, gamma, theta, dualDelta;
  // vega, rho, psi, dlam, dp, deta1, deta2, where asked for
  std::vector<std::vector<double>> model;
};

// The book's prices; with `greeks` delta, gamma, theta and dual delta too,
// and with `model` the bumped solves' sensitivities.
AmericanValues americanValues(const Input& in, const AmericanBook& b, std::size_t workers,
                              bool greeks, bool model = false) {
  const std::vector<double> unset(b.size(), -7.0);
  AmericanValues out{unset, unset, unset, unset, unset, {}};
  if (model) out.model.assign(7, unset);
  double* m[7] = {};
  for (std::size_t f = 0; f < out.model.size(); ++f) m[f] = out.model[f].data();
  const jdpricer::AmericanGreeksColumns columns{out.delta.data(), out.gamma.data(),
                                                out.theta.data(), out.dualDelta.data(),
                                                m[0], m[1], m[2], m[3], m[4], m[5], m[6]};
  jdpricer::priceAmericanBook(
      americanCalls(in) ? jdpricer::AmericanKind::kCall : jdpricer::AmericanKind::kPut,
      americanModel(in), b.columns(), in.v[kAccuracy], out.price.data(), workers, noPoll,
      greeks || model ? &columns : nullptr);
  return out;
}

// The European options of the book at the spot net of dividends, S * exp(-q * T)
// where q is not 0, each maturity's own series length, with delta, gamma
// and theta through the yield's chain rule (dividend_yield.hpp).
AmericanValues europeanValues(const Input& in, const AmericanBook& b) {
  const double* v = in.v;
  const jdpricer::Payoff payoff = americanCalls(in) ? jdpricer::Payoff::kCall : jdpricer::Payoff::kPut;
  const jdpricer::KouModel kou{v[kASigma], v[kALam], v[kAP], v[kAEta1], v[kAEta2], 0, true};
  std::vector<double> netSpots(b.size());
  for (std::size_t i = 0; i < b.size(); ++i) {
    netSpots[i] = b.q[i] == 0.0 ? b.S[i] : b.S[i] * std::exp(-b.q[i] * b.T[i]);
  }
  const jdpricer::OptionColumns net{b.T.data(), b.K.data(), netSpots.data(), b.r.data(),
                                    b.size()};
  AmericanValues out{std::vector<double>(b.size(), -7.0), {}, {}, {}, {}, {}};
  jdpricer::priceBook(payoff, kou, net, out.price.data(), 1, noPoll);
  std::vector<std::vector<double>> fields(jdpricer::kGreekFields, std::vector<double>(b.size()));
  jdpricer::GreeksColumns greeks;
  for (int f = 0; f < jdpricer::kGreekFields; ++f) greeks.field[f] = fields[f].data();
  jdpricer::priceGreeksBook(payoff, kou, net, greeks, 1, noPoll);
  std::vector<double> psi(b.size());
  jdpricer::applyDividendYieldToGreeks(net, b.q.data(), greeks.field, psi.data());
  out.delta = fields[jdpricer::kDelta];
  out.gamma = fields[jdpricer::kGamma];
  out.theta = fields[jdpricer::kTheta];
  return out;
}

// Where the closed form and the solver are both settled: the ranges the
// accuracy is documented for, with the closed form's rounding small
// (closedFormSettled) at the spot net of dividends.
bool ordinaryAmerican(const Input& in, const AmericanOption& o) {
  const double* v = in.v;
  const double moneyness = o.S / o.K, accuracy = v[kAccuracy];
  const double netSpot = o.q == 0.0 ? o.S : o.S * std::exp(-o.q * o.T);
  return o.T >= 0.05 && o.T <= 3.0 && moneyness >= 0.7 && moneyness <= 1.4 &&
         v[kASigma] >= 0.1 && v[kASigma] <= 0.5 && v[kALam] >= 0.0 && v[kALam] <= 3.0 &&
         v[kAP] >= 0.0 && v[kAP] <= 1.0 && v[kAEta1] >= 3.0 && v[kAEta2] >= 2.0 &&
         o.r >= 0.0 && o.r <= 0.1 && o.q >= 0.0 && o.q <= 0.08 && accuracy >= kTightestAccuracy &&
         accuracy <= 1e-3 &&
         closedFormSettled(v[kASigma], v[kALam], v[kAP], v[kAEta1], v[kAEta2], o.T, o.K, o.r,
                           netSpot);
}

// One option's price and Greeks (from the book priced with them) against
// american_book.hpp; closedForm holds the European option's at the same
// index.
void checkAmericanOption(const Input& in, const AmericanOption& o, std::size_t i,
                         const AmericanValues& american, const AmericanValues& closedForm,
                         bool tameGroup) {
  const bool call = americanCalls(in);
  const double price = american.price[i], delta = american.delta[i], gamma = american.gamma[i],
               theta = american.theta[i], dualDelta = american.dualDelta[i];
  if (!americanInputsValid(in, o)) {
    expectNaN("price of a NaN or infinite input, T < 0, K or S <= 0 or a model out of its domain",
              price);
    expectNaN("delta of an input the price is NaN for", delta);
    expectNaN("gamma of an input the price is NaN for", gamma);
    expectNaN("theta of an input the price is NaN for", theta);
    expectNaN("dual delta of an input the price is NaN for", dualDelta);
    return;
  }
  const double payoff = call ? std::max(o.S - o.K, 0.0) : std::max(o.K - o.S, 0.0);
  if (o.T == 0.0) {
    expectSame("price at T = 0 differs from the payoff", payoff, price);
    // The payoff's slope; at the strike the kink's either side.
    const double slope = payoff > 0.0 ? (call ? 1.0 : -1.0) : 0.0;
    if (!(o.S == o.K && (delta == 0.0 || delta == (call ? 1.0 : -1.0)))) {
      expectSame("delta at T = 0 differs from the payoff's slope", slope, delta);
    }
    expectSame("gamma at T = 0 is not 0", 0.0, gamma);
    expectSame("theta at T = 0 is not 0", 0.0, theta);
    return;
  }
  const bool european = neverEarly(call, o);
  if (european) {
    expectSame("price where early exercise never pays differs from the European closed form",
               closedForm.price[i], price);
    expectSame("delta where early exercise never pays differs from the European one",
               closedForm.delta[i], delta);
    expectSame("gamma where early exercise never pays differs from the European one",
               closedForm.gamma[i], gamma);
    expectSame("theta where early exercise never pays differs from the European one",
               closedForm.theta[i], theta);
  } else if (!(in.v[kAccuracy] > 0.0)) {
    expectNaN("price solved to an accuracy that is not a positive number", price);
  }
  if (!ordinaryAmerican(in, o)) return;
  // One solve serves the options of one T, r and q, and fails for all of
  // them where it cannot reach the accuracy at one (a strike 1e300 away).
  if (!tameGroup && std::isnan(price)) return;
  if (!std::isfinite(price)) fail("price not finite in the ordinary region", payoff, price);
  // A solved price is raised to the payoff; the closed form may round a
  // hair below it.
  const double slack = european ? 1e-12 * (o.S + o.K) : 0.0;
  if (!(price >= payoff - slack)) fail("price below the payoff", payoff, price);
  const double floor = closedForm.price[i] - in.v[kAccuracy] * o.K;
  if (!(price >= floor)) {
    std::fprintf(stderr, "European %.17g, accuracy %.17g K\n", closedForm.price[i],
                 in.v[kAccuracy]);
    fail("price below the European one by more than the accuracy", closedForm.price[i], price);
  }
  // The value is monotone and convex in S, with the payoff's slope at most
  // 1 in size, and does not fall as the maturity grows: delta in [-1, 0]
  // for a put and [0, 1] for a call, gamma >= 0, theta = -dV/dT <= 0. The
  // solver's derivatives are not held to the accuracy, so the bounds are
  // loose, on the scales of an at-the-money option: S sigma sqrt(T) for
  // gamma, S sigma / sqrt(T) for theta. A derivative taken across the
  // payoff's kink or the exercise boundary misses them by far more.
  const double spread = in.v[kASigma] * std::sqrt(o.T);
  const double lo = call ? -0.02 : -1.02, hi = call ? 1.02 : 0.02;
  if (!(delta >= lo && delta <= hi)) fail("delta outside [-1, 0] (puts) or [0, 1] (calls)", hi, delta);
  // V = S dV/dS + K dV/dK (homogeneity), but for the floors that raise a
  // solved price by at most ten times the accuracy.
  const double homogeneous = o.S * delta + o.K * dualDelta;
  if (!(std::fabs(homogeneous - price) <= 10.0 * in.v[kAccuracy] * o.K + 1e-9 * (o.S + o.K))) {
    fail("S delta + K dual delta differs from the price", price, homogeneous);
  }
  const double gammaScale = 1.0 / (o.S * spread);
  if (!(gamma >= -0.2 * gammaScale)) {
    std::fprintf(stderr, "gamma's scale 1/(S sigma sqrt(T)) = %.17g\n", gammaScale);
    fail("gamma below 0", 0.0, gamma);
  }
  const double thetaScale = o.S * in.v[kASigma] / std::sqrt(o.T);
  if (!(theta <= 0.05 * thetaScale)) {
    std::fprintf(stderr, "theta's scale S sigma/sqrt(T) = %.17g\n", thetaScale);
    fail("theta above 0", 0.0, theta);
  }
}

// Whether every option solved with the i-th (same T, r and q) is within a
// factor of 3 of the money.
bool tameGroup(const Input& in, const AmericanBook& b, std::size_t i) {
  for (std::size_t j = 0; j < b.size(); ++j) {
    if (bitsOf(b.T[j]) != bitsOf(b.T[i]) || bitsOf(b.r[j]) != bitsOf(b.r[i]) ||
        bitsOf(b.q[j]) != bitsOf(b.q[i]) || !americanSolved(in, b.at(j))) {
      continue;
    }
    if (!(std::fabs(std::log(b.S[j] / b.K[j])) <= std::log(3.0))) return false;
  }
  return true;
}

// The solver stops refining when its error estimate is within the
// accuracy; a solve to a tenth of it must then agree within 1.1 times it.
// One option alone, the first solved one in the ordinary region: the
// tighter solve costs about 30 times the book's (up to seconds).
void checkRefinement(const Input& in, const AmericanBook& b, const AmericanValues& values) {
  const double accuracy = in.v[kAccuracy];
  for (std::size_t i = 0; i < b.size(); ++i) {
    const AmericanOption o = b.at(i);
    if (!americanSolved(in, o) || !ordinaryAmerican(in, o) || !std::isfinite(values.price[i])) {
      continue;
    }
    AmericanBook alone;
    alone.add(o);
    Input finer = in;
    finer.v[kAccuracy] = accuracy / 10.0;
    const double refined = americanValues(finer, alone, 1, false).price[0];
    if (!(std::fabs(values.price[i] - refined) <= 1.1 * accuracy * o.K)) {
      currentAmericanOption = &o;
      currentAmericanIndex = i;
      std::fprintf(stderr, "accuracy %.17g K = %.17g; priced to a tenth of it: %.17g\n",
                   accuracy, accuracy * o.K, refined);
      fail("price differs from the one to a tenth of the accuracy by more than the accuracy",
           refined, values.price[i]);
    }
    return;
  }
}

void checkAmericans(const Input& in) {
  const AmericanBook b = americanBook(in);
  if (b.size() == 0) return;
  // The solves are shared out whole; eight options make up to five of
  // them, cut between two workers. One pricing with the Greeks on two
  // workers against one without on one; a mismatch is priced again to name
  // its cause.
  const AmericanValues serial = americanValues(in, b, 1, false);
  const AmericanValues split = americanValues(in, b, 2, true);
  for (std::size_t i = 0; i < b.size(); ++i) {
    if (sameBits(serial.price[i], split.price[i])) continue;
    const AmericanOption o = b.at(i);
    currentAmericanOption = &o;
    currentAmericanIndex = i;
    if (!sameBits(serial.price[i], americanValues(in, b, 2, false).price[i])) {
      fail("American book on two workers differs from one worker", serial.price[i],
           americanValues(in, b, 2, false).price[i]);
    }
    fail("American prices priced with delta, gamma and theta differ", serial.price[i],
         americanValues(in, b, 1, true).price[i]);
  }
  const AmericanValues european = europeanValues(in, b);
  for (std::size_t i = 0; i < b.size(); ++i) {
    const AmericanOption o = b.at(i);
    currentAmericanOption = &o;
    currentAmericanIndex = i;
    checkAmericanOption(in, o, i, split, european, tameGroup(in, b, i));
  }
  currentAmericanOption = nullptr;
  // One record in eight: the accuracy itself.
  if ((in.shape[1] & 7) == 0) checkRefinement(in, b, serial);
  // Another in eight: the model's sensitivities by bumped solves, the same
  // bits on one worker and two, finite wherever the price is.
  if ((in.shape[1] & 7) == 1) {
    const AmericanValues one = americanValues(in, b, 1, true, true);
    const AmericanValues two = americanValues(in, b, 2, true, true);
    for (std::size_t i = 0; i < b.size(); ++i) {
      const AmericanOption o = b.at(i);
      currentAmericanOption = &o;
      currentAmericanIndex = i;
      if (!sameBits(one.price[i], serial.price[i])) {
        fail("American prices priced with the model's sensitivities differ", serial.price[i],
             one.price[i]);
      }
      for (std::size_t f = 0; f < one.model.size(); ++f) {
        if (!sameBits(one.model[f][i], two.model[f][i])) {
          std::fprintf(stderr, "sensitivity %zu\n", f);
          fail("American model sensitivity on two workers differs from one worker",
               one.model[f][i], two.model[f][i]);
        }
        if (std::isfinite(one.price[i]) && ordinaryAmerican(in, o) && tameGroup(in, b, i) &&
            !std::isfinite(one.model[f][i])) {
          std::fprintf(stderr, "sensitivity %zu\n", f);
          fail("American model sensitivity not finite where the price is", one.price[i],
               one.model[f][i]);
        }
      }
    }
    currentAmericanOption = nullptr;
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
    case Mode::kTouch: checkTouches(in); break;
    case Mode::kBarrier: checkBarriers(in); break;
    case Mode::kAmerican: checkAmericans(in); break;
  }
  current = nullptr;
  return 0;
}
