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

// Lane masks (all bits set where a comparison holds) and the elementwise
// operations the error bounds need beside the arithmetic: magnitudes,
// comparisons and selection. Selection copies bits, so a NaN or an infinity
// in a lane that is not selected never leaks.
typedef long long MaskPair __attribute__((vector_size(16)));

struct alignas(64) LaneMask {
  MaskPair part[LaneBlock::kParts];
};

inline LaneBlock absLanes(const LaneBlock& x) {
  const MaskPair magnitude = {0x7fffffffffffffffLL, 0x7fffffffffffffffLL};
  LaneBlock r;
  for (int i = 0; i < LaneBlock::kParts; ++i) {
    r.part[i] = reinterpret_cast<DoublePair>(reinterpret_cast<MaskPair>(x.part[i]) & magnitude);
  }
  return r;
}

inline LaneBlock broadcastLanes(double x) {
  LaneBlock r;
  for (int i = 0; i < LaneBlock::kParts; ++i) r.part[i] = DoublePair{x, x};
  return r;
}

#define JDPRICER_LANE_COMPARISON(name, op)                                                 \
  inline LaneMask name(const LaneBlock& a, const LaneBlock& b) {                          \
    LaneMask r;                                                                           \
    for (int i = 0; i < LaneBlock::kParts; ++i) {                                         \
      r.part[i] = reinterpret_cast<MaskPair>(a.part[i] op b.part[i]);                     \
    }                                                                                     \
    return r;                                                                             \
  }
JDPRICER_LANE_COMPARISON(lessLanes, <)
JDPRICER_LANE_COMPARISON(lessEqualLanes, <=)
JDPRICER_LANE_COMPARISON(greaterLanes, >)
JDPRICER_LANE_COMPARISON(greaterEqualLanes, >=)
#undef JDPRICER_LANE_COMPARISON

inline LaneMask operator&(const LaneMask& a, const LaneMask& b) {
  LaneMask r;
  for (int i = 0; i < LaneBlock::kParts; ++i) r.part[i] = a.part[i] & b.part[i];
  return r;
}
inline LaneMask operator|(const LaneMask& a, const LaneMask& b) {
  LaneMask r;
  for (int i = 0; i < LaneBlock::kParts; ++i) r.part[i] = a.part[i] | b.part[i];
  return r;
}
inline LaneMask operator~(const LaneMask& a) {
  LaneMask r;
  for (int i = 0; i < LaneBlock::kParts; ++i) r.part[i] = ~a.part[i];
  return r;
}

// Lane by lane: `ifTrue` where `mask` holds, `ifFalse` elsewhere.
inline LaneBlock selectLanes(const LaneMask& mask, const LaneBlock& ifTrue,
                             const LaneBlock& ifFalse) {
  LaneBlock r;
  for (int i = 0; i < LaneBlock::kParts; ++i) {
    r.part[i] = reinterpret_cast<DoublePair>(
        (reinterpret_cast<MaskPair>(ifTrue.part[i]) & mask.part[i]) |
        (reinterpret_cast<MaskPair>(ifFalse.part[i]) & ~mask.part[i]));
  }
  return r;
}

// std::fmin lane by lane: a NaN operand yields the other one.
inline LaneBlock minLanes(const LaneBlock& a, const LaneBlock& b) {
  return selectLanes(lessLanes(b, a) | ~lessEqualLanes(a, a), b, a);
}

// Whether any lane of the mask holds.
inline bool anyLane(const LaneMask& mask) {
  MaskPair any = mask.part[0];
  for (int i = 1; i < LaneBlock::kParts; ++i) any = any | mask.part[i];
  return (any[0] | any[1]) != 0;
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
