#include "pricing/fourier/fourier_pricer.hpp"

#include <cmath>
#include <limits>

namespace jdpricer {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kPi = 3.14159265358979323846;
constexpr double kLn2 = 0.69314718055994530942;
// -log of the probability allowed in each tail of X.
constexpr double kTailLogBudget = 55.0 * kLn2;
// -log of the bound on the sum of the dropped Gaussian factors.
constexpr double kSeriesLogBudget = 56.0 * kLn2;
// Golden-section steps of the Chernoff minimisation: the bracket shrinks to
// 0.618^100 of its size. Any exponent gives a valid bound, so this only
// decides how tight the range is.
constexpr int kGoldenSteps = 100;
// Terms between fresh evaluations of cos and sin in the per-option sum.
constexpr std::size_t kRotationRun = 64;

bool finite(double v) { return v > -kInf && v < kInf; }

bool modelInDomain(double T, double sigma, double lam, double p, double eta1, double eta2) {
  return T > 0.0 && finite(T) && sigma > 0.0 && finite(sigma) && lam >= 0.0 && finite(lam) &&
         p >= 0.0 && p <= 1.0 && eta1 > 1.0 && finite(eta1) && eta2 > 0.0 && finite(eta2);
}

// Reach L of X - E[X] on one side: the least L found with
// exp(k(t) - t L) <= exp(-kTailLogBudget), the jumps towards that side having
// weight wNear and rate near, those away from it weight wFar and rate far.
double tailReach(double halfVariance, double lamT, double wNear, double near, double wFar,
                 double far) {
  const double nearWeight = lamT * wNear;
  const double farWeight = lamT * wFar;
  const auto reach = [&](double t) {
    const double nearJumps = nearWeight > 0.0 ? nearWeight / (near * (near - t)) : 0.0;
    const double farJumps = farWeight > 0.0 ? farWeight / (far * (far + t)) : 0.0;
    return (t * t * (halfVariance + nearJumps + farJumps) + kTailLogBudget) / t;
  };
  // The minimiser lies below the diffusion's own, and below near when jumps
  // go that way; reach is unimodal on that bracket (t k'(t) - k(t) grows).
  double hi = std::sqrt(kTailLogBudget / halfVariance);
  if (nearWeight > 0.0 && near < hi) hi = near;
  const double golden = 0.5 * (std::sqrt(5.0) - 1.0);
  double lo = 0.0;
  double left = hi - golden * (hi - lo);
  double right = lo + golden * (hi - lo);
  double leftReach = reach(left);
  double rightReach = reach(right);
  for (int step = 0; step < kGoldenSteps; ++step) {
    if (leftReach < rightReach) {
      hi = right;
      right = left;
      rightReach = leftReach;
      left = hi - golden * (hi - lo);
      leftReach = reach(left);
    } else {
      lo = left;
      left = right;
      leftReach = rightReach;
      right = lo + golden * (hi - lo);
      rightReach = reach(right);
    }
  }
  return leftReach < rightReach ? leftReach : rightReach;
}

struct Plan {
  int terms = 0;          // 0: outside the domain or too many terms
  double lowerReach = 0;  // E[X] - a
  double width = 0;       // b - a
};

Plan plan(double T, double sigma, double lam, double p, double eta1, double eta2) {
  Plan out;
  if (!modelInDomain(T, sigma, lam, p, eta1, eta2)) return out;
  const double q = 1.0 - p;
  const double halfVariance = 0.5 * sigma * sigma * T;
  const double lamT = lam * T;
  const double lower = tailReach(halfVariance, lamT, q, eta2, p, eta1);
  const double upper = tailReach(halfVariance, lamT, p, eta1, q, eta2);
  const double width = lower + upper;
  // Dropped terms: sum_{k>=N} e^(-beta k^2) <= e^(-beta N^2)/(1 - e^(-2 beta N))
  // <= e^(-beta N^2) (1 + 1/(2 beta N)); the second root takes that factor
  // at the first, smaller N, so it bounds the factor at the final N.
  const double beta = halfVariance * kPi * kPi / (width * width);
  const double first = std::ceil(std::sqrt(kSeriesLogBudget / beta));
  const double terms =
      std::ceil(std::sqrt((kSeriesLogBudget + std::log1p(1.0 / (2.0 * beta * first))) / beta));
  if (!(terms <= kMaxFourierTerms)) return out;
  out.terms = terms < 2.0 ? 2 : static_cast<int>(terms);
  out.lowerReach = lower;
  out.width = width;
  return out;
}

}  // namespace

int fourierTermCount(double T, double sigma, double lam, double p, double eta1, double eta2) {
  return plan(T, sigma, lam, p, eta1, eta2).terms;
}

std::size_t fourierWorkspaceDoubles(double T, double sigma, double lam, double p, double eta1,
                                    double eta2) {
  return kFourierDoublesPerTerm *
         static_cast<std::size_t>(fourierTermCount(T, sigma, lam, p, eta1, eta2));
}

FourierSlice::FourierSlice(double T, double sigma, double lam, double p, double eta1,
                           double eta2, double* workspace, std::size_t workspaceDoubles) {
  const Plan slicePlan = plan(T, sigma, lam, p, eta1, eta2);
  const std::size_t needed = kFourierDoublesPerTerm * static_cast<std::size_t>(slicePlan.terms);
  if (slicePlan.terms == 0 || workspace == nullptr || workspaceDoubles < needed) return;

  const double q = 1.0 - p;
  const double halfVariance = 0.5 * sigma * sigma * T;
  const double lamT = lam * T;
  T_ = T;
  width_ = slicePlan.width;
  piOverWidth_ = kPi / width_;
  // E[X] = r T - k(1), the centred cumulant generating function at 1.
  const double centredAtOne =
      T * (0.5 * sigma * sigma + lam * (p / (eta1 * (eta1 - 1.0)) + q / (eta2 * (eta2 + 1.0))));
  lowerOffset_ = -centredAtOne - slicePlan.lowerReach;

  const std::size_t count = static_cast<std::size_t>(slicePlan.terms - 1);
  double* cosine = workspace;
  double* sineLow = workspace + count;
  double* sineHigh = workspace + 2 * count;
  const double eta1Sq = eta1 * eta1;
  const double eta2Sq = eta2 * eta2;
  const double scale = 2.0 / width_;
  double sum = 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    const double u = static_cast<double>(i + 1) * piOverWidth_;
    const double u2 = u * u;
    const double d1 = eta1Sq + u2;
    const double d2 = eta2Sq + u2;
    // log phi(u) - i u a, written so that nothing cancels: the drift and the
    // first-order jump phase are absorbed by centring the range on E[X].
    const double logModulus = -u2 * (halfVariance + lamT * (p / d1 + q / d2));
    const double phase =
        u * slicePlan.lowerReach + lamT * u * u2 * (q / (eta2 * d2) - p / (eta1 * d1));
    const double coefficient = std::exp(logModulus) * std::cos(phase);
    cosine[i] = scale * coefficient / (1.0 + u2);
    sineLow[i] = cosine[i] / u;
    sineHigh[i] = cosine[i] * u;
    sum += cosine[i];
  }
  coefficientSum_ = sum;
  cosine_ = cosine;
  sineLow_ = sineLow;
  sineHigh_ = sineHigh;
  terms_ = slicePlan.terms;
}

void FourierSlice::discountedStrikeAndPut(double S, double K, double r, double& discountedStrike,
                                          double& put) const {
  discountedStrike = K * std::exp(-r * T_);
  // z = x + a with x = log(S/K); the payoff is non-zero on [a, -x].
  const double z = (std::log(S / K) + r * T_) + lowerOffset_;
  const double reach = -z;
  if (!(reach > 0.0)) {  // the strike lies below the range
    put = 0.0;
    return;
  }
  // Over [a, d], d = min(-x, b): the payoff integrates against cos(u (X - a))
  // to [sin(theta)(1/u + u m) - e^(x+d) cos(theta) + e^(x+a)]/(1 + u^2), with
  // theta = u (d - a) and m = 1 - e^(x+d); the k = 0 term is
  // (d - a) - e^(x+d) + e^(x+a).
  double span, atTop, belowOne, zeroth;
  const double atBottom = std::exp(z);
  if (reach < width_) {
    span = reach;
    atTop = 1.0;
    belowOne = 0.0;
    zeroth = std::expm1(z) - z;
  } else {
    span = width_;
    atTop = std::exp(z + width_);
    belowOne = -std::expm1(z + width_);
    zeroth = (width_ - atTop) + atBottom;
  }
  const double step = piOverWidth_ * span;
  double sineLowSum = 0.0;
  double sineHighSum = 0.0;
  double cosineSum = 0.0;
  const std::size_t count = static_cast<std::size_t>(terms_ - 1);
  // cos and sin of k*step by rotation, restarted from the library's values
  // every kRotationRun terms so that the rounding of the rotations cannot
  // build up beyond a few dozen ulps.
  const double stepCos = std::cos(step);
  const double stepSin = std::sin(step);
  double c = 1.0;
  double s = 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    if (i % kRotationRun == 0) {
      const double theta = static_cast<double>(i + 1) * step;
      c = std::cos(theta);
      s = std::sin(theta);
    } else {
      const double rotatedCos = c * stepCos - s * stepSin;
      s = s * stepCos + c * stepSin;
      c = rotatedCos;
    }
    sineLowSum += s * sineLow_[i];
    sineHighSum += s * sineHigh_[i];
    cosineSum += c * cosine_[i];
  }
  const double total = zeroth / width_ + sineLowSum + belowOne * sineHighSum -
                       atTop * cosineSum + atBottom * coefficientSum_;
  put = discountedStrike * total;
  const double intrinsic = discountedStrike - S;
  if (put < intrinsic) put = intrinsic;
  if (put < 0.0) put = 0.0;
}

double FourierSlice::put(double S, double K, double r) const {
  if (!valid() || !(S > 0.0 && finite(S) && K > 0.0 && finite(K) && finite(r))) return kNaN;
  double discountedStrike, price;
  discountedStrikeAndPut(S, K, r, discountedStrike, price);
  return price;
}

double FourierSlice::call(double S, double K, double r) const {
  if (!valid() || !(S > 0.0 && finite(S) && K > 0.0 && finite(K) && finite(r))) return kNaN;
  double discountedStrike, put;
  discountedStrikeAndPut(S, K, r, discountedStrike, put);
  const double price = (S - discountedStrike) + put;
  return price < 0.0 ? 0.0 : price;
}

void fourierPutPrices(double T, double sigma, double lam, double p, double eta1, double eta2,
                      const double* S, const double* K, const double* r, std::size_t count,
                      double* prices, double* workspace, std::size_t workspaceDoubles) {
  const FourierSlice slice(T, sigma, lam, p, eta1, eta2, workspace, workspaceDoubles);
  for (std::size_t i = 0; i < count; ++i) prices[i] = slice.put(S[i], K[i], r[i]);
}

void fourierCallPrices(double T, double sigma, double lam, double p, double eta1, double eta2,
                       const double* S, const double* K, const double* r, std::size_t count,
                       double* prices, double* workspace, std::size_t workspaceDoubles) {
  const FourierSlice slice(T, sigma, lam, p, eta1, eta2, workspace, workspaceDoubles);
  for (std::size_t i = 0; i < count; ++i) prices[i] = slice.call(S[i], K[i], r[i]);
}

}  // namespace jdpricer
