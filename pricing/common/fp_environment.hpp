// The floating-point environment that the prices' bits are defined in:
// IEEE round-to-nearest, subnormal numbers honoured, every exception masked.
//
// Method. The caller's thread may carry another rounding mode, flush-to-zero
// or denormals-are-zero (which any library built with -ffast-math may set
// for the whole process when it is loaded) or unmasked exceptions. Every
// pricing entry point holds a PinnedFloatingPoint for the whole evaluation:
// it saves the caller's settings and exception flags, installs the standard
// ones, and puts the caller's back exactly on the way out, so the flags that
// the evaluation raises never reach the caller. On x86-64 that is the SSE
// control register (all double arithmetic, glibc's libm included) and the
// x87 control word (should a math library use the x87 unit); a write
// happens only where the caller's settings differ. Elsewhere <cfenv> saves,
// clears and restores the whole environment.
//
// Numerical caveats. The evaluation itself must stay out of line from the
// code that pins the environment (in another translation unit), so that no
// compiler moves an arithmetic operation across the switch.
#pragma once

#if !(defined(__x86_64__) || defined(_M_X64))
#include <cfenv>
#endif

namespace jdpricer {

class PinnedFloatingPoint {
 public:
  PinnedFloatingPoint() noexcept;
  ~PinnedFloatingPoint();
  PinnedFloatingPoint(const PinnedFloatingPoint&) = delete;
  PinnedFloatingPoint& operator=(const PinnedFloatingPoint&) = delete;

 private:
#if defined(__x86_64__) || defined(_M_X64)
  unsigned int callerSse_;
  unsigned short callerX87_;
#else
  std::fenv_t caller_;
#endif
};

}  // namespace jdpricer
