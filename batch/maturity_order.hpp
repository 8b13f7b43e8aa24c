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

// The end of the run of one maturity that starts at order[begin]: options
// order[begin..end) share that maturity's bits, order[0..count) in
// maturity order.
inline std::size_t maturityRunEnd(const std::size_t* order, std::size_t begin, std::size_t count,
                                  const double* T) {
  const std::uint64_t key = maturityKey(T[order[begin]]);
  std::size_t end = begin + 1;
  while (end < count && maturityKey(T[order[end]]) == key) ++end;
  return end;
}

}  // namespace jdpricer
