// Several options evaluated side by side, one per lane of a vector of
// doubles. Each lane is an independent accumulation chain in its own fixed
// order and every vector operation is the IEEE operation of each lane, so
// the lane count changes speed, never bits.
//
// The batch uses eight lanes held as four two-double vectors: SSE2 width,
// which every x86-64 has, and four independent chains per accumulation,
// enough to hide the latency of an addition. A single lane is a plain
// double.
#pragma once

namespace jdpricer {

inline constexpr int kBatchLanes = 8;

typedef double DoublePair __attribute__((vector_size(16)));

// kBatchLanes doubles with elementwise arithmetic.
struct alignas(64) LaneBlock {
  static constexpr int kParts = kBatchLanes / 2;
  DoublePair part[kParts];

  double& operator[](int l) { return reinterpret_cast<double*>(part)[l]; }
  double operator[](int l) const { return reinterpret_cast<const double*>(part)[l]; }
};

#define JDPRICER_LANE_OPERATOR(op)                                                        \
  inline LaneBlock operator op(const LaneBlock& a, const LaneBlock& b) {                  \
    LaneBlock r;                                                                          \
    for (int i = 0; i < LaneBlock::kParts; ++i) r.part[i] = a.part[i] op b.part[i];       \
    return r;                                                                             \
  }                                                                                       \
  inline LaneBlock operator op(const LaneBlock& a, double b) {                            \
    LaneBlock r;                                                                          \
    for (int i = 0; i < LaneBlock::kParts; ++i) r.part[i] = a.part[i] op b;               \
    return r;                                                                             \
  }                                                                                       \
  inline LaneBlock operator op(double a, const LaneBlock& b) {                            \
    LaneBlock r;                                                                          \
    for (int i = 0; i < LaneBlock::kParts; ++i) r.part[i] = a op b.part[i];               \
    return r;                                                                             \
  }
JDPRICER_LANE_OPERATOR(+)
JDPRICER_LANE_OPERATOR(-)
JDPRICER_LANE_OPERATOR(*)
JDPRICER_LANE_OPERATOR(/)
#undef JDPRICER_LANE_OPERATOR

inline LaneBlock operator-(const LaneBlock& a) {
  LaneBlock r;
  for (int i = 0; i < LaneBlock::kParts; ++i) r.part[i] = -a.part[i];
  return r;
}

inline LaneBlock zeroLanes() {
  LaneBlock r;
  for (int i = 0; i < LaneBlock::kParts; ++i) r.part[i] = DoublePair{0.0, 0.0};
  return r;
}

template <int Lanes>
struct LaneVector;
template <>
struct LaneVector<1> {
  using type = double;
};
template <>
struct LaneVector<kBatchLanes> {
  using type = LaneBlock;
};


// The value of lane l.
inline double& lane(double& v, int) { return v; }
inline double lane(const double& v, int) { return v; }
inline double& lane(LaneBlock& v, int l) { return v[l]; }
inline double lane(const LaneBlock& v, int l) { return v[l]; }

template <class Vec>
inline Vec zeroVector() {
  if constexpr (sizeof(Vec) == sizeof(double)) {
    return 0.0;
  } else {
    return zeroLanes();
  }
}

}  // namespace jdpricer
