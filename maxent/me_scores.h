// The shift applied to scores before exp, shared by classification and training.
#ifndef VERRIN_MAXENT_ME_SCORES_H_
#define VERRIN_MAXENT_ME_SCORES_H_

#include <cmath>
#include <cstddef>

namespace verrin {

// Scores are turned into probabilities as exp(score - shift) / Z, with the
// shift taken from the largest score `max`:
//  - max - 700 when that is positive, so that no exp overflows (exp(700) is
//    about 1e304, and the other terms are smaller);
//  - max itself when max is below -708, where exp(max) would be subnormal or
//    0 and Z could vanish (0 / 0);
//  - 0 otherwise, so that ordinary scores go through exp unchanged.
inline double ScoreShift(double max) {
  const double excess = max - 700.0;
  if (excess > 0) return excess;
  if (max < -708.0) return max;
  return 0.0;
}

// exp(x) with exactly the bits of std::exp. Where the C library lets it, the
// call goes straight to its exp kernel, past the wrapper that only sets errno
// on overflow and underflow (nothing here reads errno).
double TermExp(double x);

// ln x with exactly the bits of std::log for x > 0 (the wrapper only sets
// errno for x <= 0), from the C library's kernel where it can be linked.
double TermLog(double x);

// True when SoftmaxTerms computes four exps at a time: on x86-64 with glibc,
// a CPU with AVX2 and FMA, and the bits of the scalar kernel confirmed on
// this machine (checked once). The results are the same either way.
bool SoftmaxExpFourActive();

// The terms of the normaliser: scores[o] = exp(scores[o] - shift) in place,
// with the shift of ScoreShift; returns their sum Z, added in index order.
double SoftmaxTerms(double* scores, size_t n);

// Turns n scores into probabilities in place: exp(score - shift) with the
// shift of ScoreShift, Z summed in index order, each divided by Z. Returns
// the first index of the greatest probability (ties to the lower index).
inline size_t SoftmaxInPlace(double* scores, size_t n) {
  if (n == 0) return 0;
  const double z = SoftmaxTerms(scores, n);
  double best_value = 0.0;
  size_t best = 0;
  for (size_t o = 0; o < n; ++o) {
    scores[o] = scores[o] / z;
    if (scores[o] > best_value) {
      best_value = scores[o];
      best = o;
    }
  }
  return best;
}

}  // namespace verrin

#endif  // VERRIN_MAXENT_ME_SCORES_H_
