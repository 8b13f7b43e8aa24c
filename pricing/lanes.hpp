// How many options the batch evaluates side by side. Each lane is an
// independent accumulation chain in its own fixed order, so the lane count
// changes speed, never bits. Eight doubles fill four SSE2 registers (two
// AVX ones), enough independent chains to hide the latency of an addition.
#pragma once

namespace jdpricer {

inline constexpr int kBatchLanes = 8;
inline constexpr int kLaneAlignment = 64;

}  // namespace jdpricer
