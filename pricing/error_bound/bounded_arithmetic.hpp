// Doubles that carry a bound on their own error: running forward error
// analysis, one operation at a time.
//
// Method. A Bounded holds the computed double v and a bound e >= |v - x| on
// its distance from the exact value x of the same expression in real
// arithmetic on the exact inputs. Each operation computes v exactly as the
// plain double code does (so v has the engine's bits) and propagates e:
//   x + y:  e = ex + ey + r
//   x * y:  e = |vx| ey + |vy| ex + ex ey + r
//   x / y:  e = (ex + |v| ey) / (|vy| - ey) + u|v|     (infinite if |vy| <= ey)
//   f(x):   e = max |f'| over [vx - ex, vx + ex] * ex + c_f u |v|
// where r is the exact rounding error of the operation itself (TwoSum and
// Dekker's product recover it, so an exact operation adds nothing), u = 2^-53
// the unit roundoff and c_f the accuracy of the maths
// library's f in units of u (glibc on x86-64: under 1 ulp for exp, log,
// pow; a few ulps for erfc; under 10 for tgamma; each doubled here for
// margin). Every operation also adds the smallest subnormal, which covers
// underflow. Literal constants (sqrt(2), sqrt(2 pi), 2 pi) carry the error of
// their rounding.
//
// Numerical caveats. The bounds are computed in double too, so they carry a
// relative rounding error of a few u per operation; callers widen the final
// bound by a safety factor far above the accumulated amount. A bound that
// overflows or meets a NaN is +infinity: it still bounds the error.
#pragma once

#include <cmath>
#include <limits>

namespace jdpricer {

struct Bounded {
  double v;  // the computed value
  double e;  // >= |v - exact value|

  static Bounded exact(double value) { return {value, 0.0}; }
};

namespace bounded_detail {

inline constexpr double kUnitRoundoff = 1.1102230246251565e-16;  // 2^-53
inline constexpr double kTiniest = std::numeric_limits<double>::denorm_min();
// Accuracy of the library functions, in units of u (twice the ulps).
inline constexpr double kExpLogPow = 2.0;
inline constexpr double kErfc = 10.0;
inline constexpr double kTgamma = 18.0;

// A new value with the propagated error and `rounding`, the error of
// computing v itself.
inline Bounded make(double v, double propagated, double rounding) {
  double e = propagated + rounding + kTiniest;
  if (std::isnan(e) || std::isnan(v)) e = std::numeric_limits<double>::infinity();
  return {v, e};
}

// Half an ulp: the rounding of an operation whose error is not known exactly.
inline double halfUlp(double v) { return kUnitRoundoff * std::fabs(v); }

// The exact rounding error of s = a + b (Knuth's TwoSum, exact in round to
// nearest whenever nothing overflows).
inline double sumRounding(double a, double b, double s) {
  const double bb = s - a;
  const double err = std::fabs((a - (s - bb)) + (b - bb));
  return std::isfinite(err) ? err : halfUlp(s);
}

// The exact rounding error of p = a * b (Dekker's product) where splitting
// can neither overflow nor lose bits to underflow; half an ulp elsewhere.
inline double productRounding(double a, double b, double p) {
  const double big = 0x1p+995, small = 0x1p-969;
  const double fa = std::fabs(a), fb = std::fabs(b), fp = std::fabs(p);
  if (!(fa < big && fb < big && fp < big && fp > small)) return halfUlp(p) + kTiniest;
  constexpr double kSplitter = 134217729.0;  // 2^27 + 1
  const double ca = kSplitter * a, cb = kSplitter * b;
  const double aHi = ca - (ca - a), aLo = a - aHi;
  const double bHi = cb - (cb - b), bLo = b - bHi;
  return std::fabs(((aHi * bHi - p) + aHi * bLo + aLo * bHi) + aLo * bLo);
}

// The rounding error of q = a / b: the exact residual a - q b (Dekker's
// product gives q b = p + pe exactly, and a - p is exact since p is within
// an ulp of a) over b.
inline double quotientRounding(double a, double b, double q) {
  const double p = q * b;
  const double pe = productRounding(q, b, p);
  if (!(pe < halfUlp(p) * 2.0) || !std::isfinite(p) || std::fabs(p) <= 0x1p-969) {
    return halfUlp(q) + kTiniest;
  }
  // productRounding gives |pe| only; the residual's size is bounded by both
  // signs: |a - p| + |pe|.
  return (std::fabs(a - p) + pe) / std::fabs(b) * (1.0 + 4.0 * kUnitRoundoff);
}

}  // namespace bounded_detail

inline Bounded operator+(Bounded x, Bounded y) {
  const double v = x.v + y.v;
  return bounded_detail::make(v, x.e + y.e, bounded_detail::sumRounding(x.v, y.v, v));
}
inline Bounded operator-(Bounded x, Bounded y) {
  const double v = x.v - y.v;
  return bounded_detail::make(v, x.e + y.e, bounded_detail::sumRounding(x.v, -y.v, v));
}
inline Bounded operator-(Bounded x) { return {-x.v, x.e}; }
inline Bounded operator*(Bounded x, Bounded y) {
  const double v = x.v * y.v;
  return bounded_detail::make(v, std::fabs(x.v) * y.e + std::fabs(y.v) * x.e + x.e * y.e,
                              bounded_detail::productRounding(x.v, y.v, v));
}
inline Bounded operator/(Bounded x, Bounded y) {
  const double v = x.v / y.v;
  const double room = std::fabs(y.v) - y.e;
  const double propagated = (x.e == 0.0 && y.e == 0.0)
                                ? 0.0
                                : (room > 0.0 ? (x.e + std::fabs(v) * y.e) / room
                                              : std::numeric_limits<double>::infinity());
  return bounded_detail::make(v, propagated, bounded_detail::quotientRounding(x.v, y.v, v));
}
// A divisor used many times, prepared once: its value, its error and
// 1/(|v| - e) from above. Dividing by it gives the quotient of the plain
// division (the same bits) and bounds its rounding by half an ulp instead of
// recovering it exactly: one division instead of three.
struct BoundedDivisor {
  double v, e, inverseRoom;
};
inline BoundedDivisor divisor(Bounded y) {
  const double room = std::fabs(y.v) - y.e;
  return {y.v, y.e,
          room > 0.0 ? (1.0 / room) * (1.0 + 4.0 * bounded_detail::kUnitRoundoff)
                     : std::numeric_limits<double>::infinity()};
}
inline Bounded operator/(Bounded x, const BoundedDivisor& y) {
  using namespace bounded_detail;
  const double v = x.v / y.v;
  const double propagated =
      (x.e == 0.0 && y.e == 0.0) ? 0.0 : (x.e + std::fabs(v) * y.e) * y.inverseRoom;
  // |a/b - v| <= u |a/b| <= u |v| (1 + u).
  return make(v, propagated, halfUlp(v) * (1.0 + 2.0 * kUnitRoundoff));
}

// Division by an exact divisor (a series index).
inline Bounded operator/(Bounded x, double exactDivisor) {
  const double v = x.v / exactDivisor;
  return bounded_detail::make(v, x.e / std::fabs(exactDivisor),
                              bounded_detail::quotientRounding(x.v, exactDivisor, v));
}
// Multiplication by an exact factor (one half).
inline Bounded operator*(double exactFactor, Bounded x) {
  const double v = exactFactor * x.v;
  // Halving a normal number is exact: no rounding to recover.
  if ((exactFactor == 0.5 || exactFactor == -0.5) && std::fabs(v) >= 0x1p-1021) {
    return bounded_detail::make(v, 0.5 * x.e, 0.0);
  }
  return bounded_detail::make(v, std::fabs(exactFactor) * x.e,
                              bounded_detail::productRounding(exactFactor, x.v, v));
}
inline Bounded operator*(Bounded x, double exactFactor) {
  const double v = x.v * exactFactor;
  return bounded_detail::make(v, std::fabs(exactFactor) * x.e,
                              bounded_detail::productRounding(x.v, exactFactor, v));
}

// A literal constant: the double nearest a real number.
inline Bounded literal(double value) { return {value, bounded_detail::halfUlp(value)}; }

// exp(x) where the caller has std::exp(x.v) already.
inline Bounded exp(Bounded x, double v) {
  using namespace bounded_detail;
  // exp(x) - exp(vx) <= exp(vx) (e^ex - 1) and exp(vx) <= v (1 + c u).
  const double exactExp = std::fabs(v) * (1.0 + kExpLogPow * kUnitRoundoff);
  // e^t - 1 <= t (1 + t) for 0 <= t <= 1: no library call for small errors.
  const double growth = x.e <= 1e-3 ? x.e * (1.0 + x.e) * (1.0 + 4.0 * kUnitRoundoff)
                                     : std::expm1(x.e);
  return make(v, exactExp * growth, kExpLogPow * halfUlp(v));
}

inline Bounded exp(Bounded x) { return exp(x, std::exp(x.v)); }

// log(x) where the caller has std::log(x.v) already.
inline Bounded log(Bounded x, double logValue) {
  using namespace bounded_detail;
  const double room = x.v - x.e;
  const double propagated =
      x.e == 0.0 ? 0.0 : (room > 0.0 ? x.e / room : std::numeric_limits<double>::infinity());
  return make(logValue, propagated, kExpLogPow * halfUlp(logValue));
}

inline Bounded log(Bounded x) { return log(x, std::log(x.v)); }

inline Bounded sqrt(Bounded x) {
  using namespace bounded_detail;
  const double v = std::sqrt(x.v);
  // |sqrt(x) - sqrt(vx)| = |x - vx| / (sqrt(x) + sqrt(vx)) <= ex / sqrt(vx).
  const double propagated = x.e == 0.0 ? 0.0 : (v > 0.0 ? x.e / v : std::sqrt(x.e));
  return make(v, propagated, halfUlp(v));
}

// pow(x, j) for an integer j >= 0 (exact as a double).
inline Bounded powInteger(Bounded x, int j) {
  using namespace bounded_detail;
  const double v = std::pow(x.v, static_cast<double>(j));
  if (j == 0) return {v, 0.0};
  // |x^j - vx^j| <= j (|vx| + ex)^(j-1) ex.
  const double propagated =
      x.e == 0.0 ? 0.0
                 : static_cast<double>(j) * std::pow(std::fabs(x.v) + x.e, j - 1.0) * x.e;
  return make(v, propagated, j == 1 ? 0.0 : kExpLogPow * halfUlp(v));
}

namespace bounded_detail {
// erfc at x.v with its error, given the library's value there and at -x.v
// (`mirrored`, the small tail when x.v < 0), and the largest slope over x's
// error interval.
inline Bounded erfcFrom(Bounded x, double value, double mirrored, double slope) {
  double rounding = kErfc * halfUlp(value);
  if (x.v < 0.0) {
    // For y < 0 the library forms erfc(y) = 2 - t with t = erfc(-y), the
    // small tail, accurate relative to itself; the result 2 - t then errs
    // by t's error plus the rounding of the difference, which is at most t
    // itself (2 is one of the candidates) and at most half an ulp.
    rounding = kErfc * kUnitRoundoff * mirrored + std::fmin(halfUlp(value), mirrored);
  }
  return make(value, slope * x.e, rounding);
}
// |erfc'(y)| = 2/sqrt(pi) e^(-y^2), largest where |y| is smallest.
inline double erfcSlope(Bounded x) {
  const double nearest = std::fmax(std::fabs(x.v) - x.e, 0.0);
  return 1.1283791670955127 * std::exp(-nearest * nearest) * (1.0 + 1e-15);
}
}  // namespace bounded_detail

// erfc at x and at -x (the same error bound): the two values of erfc(x) and
// erfc(-x), from two library calls instead of up to four.
struct BoundedPair {
  Bounded at, mirrored;
};
// `slope` bounds |erfc'| over x's error interval (erfcSlope's, or the
// caller's from what it knows).
inline BoundedPair erfcBothSides(Bounded x, double slope) {
  using namespace bounded_detail;
  const double v = std::erfc(x.v), w = std::erfc(-x.v);
  return {erfcFrom(x, v, w, slope), erfcFrom({-x.v, x.e}, w, v, slope)};
}

inline Bounded erfc(Bounded x, double slope) {
  using namespace bounded_detail;
  const double v = std::erfc(x.v);
  return erfcFrom(x, v, x.v < 0.0 ? std::erfc(-x.v) : 0.0, slope);
}
inline Bounded erfc(Bounded x) { return erfc(x, bounded_detail::erfcSlope(x)); }

// tgamma(m + 1) = m! (given, or one library call), the argument exact. Up to
// 22! the factorials are exact doubles, which tgamma returns.
inline Bounded factorial(int m, double v) {
  using namespace bounded_detail;
  return make(v, 0.0, m <= 22 ? 0.0 : kTgamma * halfUlp(v));
}
inline Bounded factorial(int m) { return factorial(m, std::tgamma(static_cast<double>(m) + 1.0)); }

}  // namespace jdpricer
