// European prices and error bounds of a fixed grid, through the book pricers,
// against the committed digests of tests/data/golden_digests.txt (whose
// header says how the grid is walked and hashed); the Python tests check the
// same file through the module. The bounded pricer's prices are checked
// against the price digests too: they must be the engine's bits.
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "batch/book_pricer.hpp"
#include "batch/bound_book.hpp"
#include "support/bits.hpp"
#include "support/sha256.hpp"

namespace {

using jdpricer::Payoff;
using testing_sha256::sha256Hex;

// The grid (the same lists as tests/python/test_golden_digests.py).
constexpr double kSpot = 100.0;
struct Regime {
  const char* name;
  double r, sigma, lam, p, eta1, eta2;
};
const Regime kRegimes[] = {
    {"no_jumps", 0.05, 0.2, 0.0, 0.5, 10.0, 5.0},
    {"ordinary", 0.05, 0.16, 1.0, 0.4, 10.0, 5.0},
    {"heavy_jumps", 0.03, 0.2, 8.0, 0.3, 3.5, 2.5},
    {"small_sigma", 0.02, 0.01, 1.0, 0.5, 20.0, 15.0},
    {"large_sigma", 0.05, 0.9, 1.0, 0.4, 10.0, 5.0},
    {"up_jumps_only", 0.0, 0.25, 2.0, 1.0, 6.0, 4.0},
    {"down_jumps_only", -0.01, 0.3, 2.0, 0.0, 6.0, 4.0},
};
constexpr int kAuto = -1000;  // "auto": each maturity's own series length
const int kSeriesLengths[] = {0, 3, 12, 40, 170, kAuto};
const double kMaturities[] = {0.01, 0.5, 2.0, 10.0};
const double kStrikes[] = {40.0, 95.0, 105.0, 250.0};

const char kRegenerate[] = ".venv-cpython/bin/python tools/regenerate_golden_digests.py";

std::map<std::string, std::string> committedDigests() {
  std::ifstream file(JDPRICER_GOLDEN_DIGESTS);
  std::map<std::string, std::string> digests;
  for (std::string line; std::getline(file, line);) {
    std::istringstream fields(line);
    std::string name, digest;
    if (line.empty() || line[0] == '#' || !(fields >> name >> digest)) continue;
    digests[name] = digest;
  }
  return digests;
}

// Little-endian bytes of each value, every NaN as the one quiet NaN: which
// NaN an operation propagates depends on the operand order a compiler picks.
void appendBytes(std::vector<unsigned char>& bytes, const std::vector<double>& values) {
  for (const double v : values) {
    const std::uint64_t bits = std::isnan(v) ? 0x7ff8000000000000u : testing_bits::bitsOf(v);
    for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<unsigned char>(bits >> (8 * i)));
  }
}

TEST(GoldenDigests, Sha256GivesTheStandardDigests) {
  EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  // 56 bytes: the length goes into a second padding block.
  EXPECT_EQ(sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(sha256Hex(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(GoldenDigests, PricesAndBoundsMatchTheCommittedDigests) {
  const std::map<std::string, std::string> committed = committedDigests();
  ASSERT_EQ(committed.size(), 4 * std::size(kRegimes)) << "sections in " JDPRICER_GOLDEN_DIGESTS;
  std::vector<double> T, K;
  for (const double maturity : kMaturities) {
    for (const double strike : kStrikes) T.push_back(maturity), K.push_back(strike);
  }
  const std::size_t count = T.size();
  const std::vector<double> S(count, kSpot);
  for (const Regime& regime : kRegimes) {
    const std::vector<double> r(count, regime.r);
    const jdpricer::OptionColumns book{T.data(), K.data(), S.data(), r.data(), count};
    // Per payoff: the book's prices, the bounded pricer's prices, its bounds.
    std::vector<unsigned char> prices[2], boundedPrices[2], bounds[2];
    for (const int n : kSeriesLengths) {
      jdpricer::KouModel model{regime.sigma, regime.lam, regime.p, regime.eta1, regime.eta2,
                               n == kAuto ? 0 : n};
      model.perMaturity = n == kAuto;
      for (const Payoff payoff : {Payoff::kCall, Payoff::kPut}) {
        const int side = payoff == Payoff::kPut;
        std::vector<double> price(count), boundedPrice(count), bound(count);
        jdpricer::priceBook(payoff, model, book, price.data(), 1, [] {});
        jdpricer::priceBoundedBook(payoff, model, book, boundedPrice.data(), bound.data(), 1,
                                   [] {});
        appendBytes(prices[side], price);
        appendBytes(boundedPrices[side], boundedPrice);
        appendBytes(bounds[side], bound);
      }
    }
    for (const int side : {0, 1}) {
      const std::string kind = side ? "put" : "call";
      const struct {
        std::string section, what;
        const std::vector<unsigned char>& bytes;
      } checks[] = {{kind, "book prices", prices[side]},
                    {kind, "bounded book prices", boundedPrices[side]},
                    {kind + "_bound", "bounds", bounds[side]}};
      for (const auto& check : checks) {
        const std::string name = std::string(regime.name) + "." + check.section;
        const auto found = committed.find(name);
        EXPECT_EQ(found == committed.end() ? "(none)" : found->second,
                  sha256Hex(check.bytes.data(), check.bytes.size()))
            << name << " (" << check.what << ") moved from " JDPRICER_GOLDEN_DIGESTS
            << "; if intended, rebuild the module and run " << kRegenerate;
      }
    }
  }
}

}  // namespace
