// The order in which a book is priced: by maturity, so that options sharing
// a maturity are consecutive and each maturity's shared work is done once.
// Maturities are grouped by bit pattern (+0 and -0, or NaNs with different
// payloads, are different maturities), the book's own order kept within one.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace jdpricer {

inline std::uint64_t maturityKey(double T) {
  std::uint64_t bits;
  std::memcpy(&bits, &T, sizeof bits);
  return bits;
}

inline std::vector<std::size_t> maturityOrder(const double* T, std::size_t count) {
  std::vector<std::size_t> order(count);
  for (std::size_t i = 0; i < count; ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [T](std::size_t a, std::size_t b) {
    return maturityKey(T[a]) < maturityKey(T[b]);
  });
  return order;
}

}  // namespace jdpricer
