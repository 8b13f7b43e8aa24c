#include "pricing/common/fp_environment.hpp"

#if defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

namespace jdpricer {

#if defined(__x86_64__) || defined(_M_X64)

namespace {

// MXCSR: exception flags in bits 0-5, denormals-are-zero 6, exception masks
// 7-12, rounding 13-14, flush-to-zero 15. The standard setting has every
// exception masked, round to nearest, neither DAZ nor FTZ.
constexpr unsigned int kSseFlags = 0x3F;
constexpr unsigned int kSseStandard = 0x1F80;
// x87 control word: every exception masked, 64-bit precision, round to nearest.
constexpr unsigned short kX87Standard = 0x037F;

unsigned short x87ControlWord() {
  unsigned short word;
  __asm__ volatile("fnstcw %0" : "=m"(word));
  return word;
}

void setX87ControlWord(unsigned short word) { __asm__ volatile("fldcw %0" : : "m"(word)); }

}  // namespace

PinnedFloatingPoint::PinnedFloatingPoint() noexcept
    : callerSse_(_mm_getcsr()), callerX87_(x87ControlWord()) {
  if ((callerSse_ & ~kSseFlags) != kSseStandard) _mm_setcsr(kSseStandard | (callerSse_ & kSseFlags));
  if (callerX87_ != kX87Standard) setX87ControlWord(kX87Standard);
}

PinnedFloatingPoint::~PinnedFloatingPoint() {
  // The evaluation nearly always raises inexact (and often other) flags:
  // the caller gets its own back.
  if (_mm_getcsr() != callerSse_) _mm_setcsr(callerSse_);
  if (callerX87_ != kX87Standard) setX87ControlWord(callerX87_);
}

#else

PinnedFloatingPoint::PinnedFloatingPoint() noexcept {
  std::feholdexcept(&caller_);  // saves everything, clears the flags, masks traps
  std::fesetround(FE_TONEAREST);
}

PinnedFloatingPoint::~PinnedFloatingPoint() { std::fesetenv(&caller_); }

#endif

}  // namespace jdpricer
