// One European price in closed form: the two Upsilon probabilities of the
// call formula (kou_measures.hpp), each summed by the staged series of
// upsilon.hpp, and the put by parity.
#pragma once

#include "pricing/common/kou_measures.hpp"

namespace jdpricer {

// The call of maturity T and strike K, and the put by parity (the put prices
// its call first, with the same arguments). Both leave the floating-point
// environment alone: the option classes pin it.
double kouCallPrice(double T, double K, double S, double r, double sigma, double lam, double p,
                    double eta1, double eta2, int n);
double kouPutPrice(double T, double K, double S, double r, double sigma, double lam, double p,
                   double eta1, double eta2, int n);

}  // namespace jdpricer
