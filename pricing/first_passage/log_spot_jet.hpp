// Second-order forward-mode numbers in the log-spot x = ln S: a value with
// its first and second derivatives in x, carried through the transforms of
// the path-dependent prices, so that delta and gamma are the exact
// derivatives of the very sums that are inverted (the same nodes and
// weights), not differences of prices.
//
// Method. The rules of differentiation, term by term:
//   (a b)'' = a'' b + 2 a' b' + a b'',
//   (a / b)' = (a' - q b') / b, (a / b)'' = (a'' - 2 q' b' - q b'') / b with q = a / b,
//   (e^a)' = e^a a', (e^a)'' = e^a (a'' + a'^2).
// A jet's value is computed by exactly the operations of the plain
// arithmetic, so a price read from a jet has the bits of the price computed
// without one. A real times a complex number is the real scaling (two
// products), as in std::complex, in the value and in the derivatives alike.
//
// Numerical caveats. The derivatives round as the value does, but can lose
// digits to cancellation where the value does not (the terms of a
// derivative are larger by the roots' size, about sqrt(2 |s|)/sigma at a
// node s): relative 1e-12 for ordinary inputs, less for levels very near
// the spot.
#pragma once

#include <complex>

namespace jdpricer {

template <class T>
struct Jet {
  T v, d, dd;
};

// A constant: its derivatives are 0.
template <class T>
Jet<T> constantJet(T v) {
  return {v, T(0.0), T(0.0)};
}

template <class T>
Jet<T> operator+(const Jet<T>& a, const Jet<T>& b) {
  return {a.v + b.v, a.d + b.d, a.dd + b.dd};
}
template <class T>
Jet<T> operator-(const Jet<T>& a, const Jet<T>& b) {
  return {a.v - b.v, a.d - b.d, a.dd - b.dd};
}
template <class T>
Jet<T> operator-(const Jet<T>& a) {
  return {-a.v, -a.d, -a.dd};
}
template <class T>
Jet<T> operator*(const Jet<T>& a, const Jet<T>& b) {
  return {a.v * b.v, a.d * b.v + a.v * b.d, a.dd * b.v + 2.0 * (a.d * b.d) + a.v * b.dd};
}
template <class T>
Jet<T> operator/(const Jet<T>& a, const Jet<T>& b) {
  const T q = a.v / b.v;
  const T dq = (a.d - q * b.d) / b.v;
  return {q, dq, (a.dd - 2.0 * (dq * b.d) - q * b.dd) / b.v};
}

// With a constant (double or complex) on either side.
template <class T, class U>
Jet<T> operator+(const Jet<T>& a, const U& c) {
  return {a.v + c, a.d, a.dd};
}
template <class T, class U>
Jet<T> operator+(const U& c, const Jet<T>& a) {
  return {c + a.v, a.d, a.dd};
}
template <class T, class U>
Jet<T> operator-(const Jet<T>& a, const U& c) {
  return {a.v - c, a.d, a.dd};
}
template <class T, class U>
Jet<T> operator-(const U& c, const Jet<T>& a) {
  return {c - a.v, -a.d, -a.dd};
}
template <class T, class U>
Jet<T> operator*(const Jet<T>& a, const U& c) {
  return {a.v * c, a.d * c, a.dd * c};
}
template <class T, class U>
Jet<T> operator*(const U& c, const Jet<T>& a) {
  return {c * a.v, c * a.d, c * a.dd};
}
template <class T, class U>
Jet<T> operator/(const Jet<T>& a, const U& c) {
  return {a.v / c, a.d / c, a.dd / c};
}

// A complex constant times a real jet: a complex jet.
inline Jet<std::complex<double>> operator*(const std::complex<double>& c, const Jet<double>& a) {
  return {c * a.v, c * a.d, c * a.dd};
}

// A real jet times a complex one: real scalings throughout.
inline Jet<std::complex<double>> operator*(const Jet<double>& a,
                                           const Jet<std::complex<double>>& b) {
  return {a.v * b.v, a.d * b.v + a.v * b.d, a.dd * b.v + 2.0 * (a.d * b.d) + a.v * b.dd};
}

template <class T>
Jet<T> exp(const Jet<T>& a) {
  using std::exp;
  const T e = exp(a.v);
  return {e, e * a.d, e * (a.dd + a.d * a.d)};
}

inline Jet<double> imag(const Jet<std::complex<double>>& a) {
  return {a.v.imag(), a.d.imag(), a.dd.imag()};
}

// Delta and gamma in S from derivatives in x = ln S:
// dV/dS = V_x / S and d2V/dS2 = (V_xx - V_x) / S^2.
inline double deltaFromLogSpot(const Jet<double>& v, double S) { return v.d / S; }
inline double gammaFromLogSpot(const Jet<double>& v, double S) { return (v.dd - v.d) / S / S; }

}  // namespace jdpricer
