#include "maxent/me_scores.h"

#include <cfloat>
#include <cmath>

#ifdef VERRIN_EXP_KERNEL
// glibc keeps its exp kernel, the function the public exp calls before it
// looks at errno, under this versioned name (an ifunc, so the CPU's best
// variant is chosen at load as for exp). CMake checks that it links.
extern "C" double __exp_finite(double);  // NOLINT(bugprone-reserved-identifier)
__asm__(".symver __exp_finite,__exp_finite@GLIBC_2.15");
#endif

namespace verrin {
namespace {

inline double KernelExp(double x) {
#ifdef VERRIN_EXP_KERNEL
  return __exp_finite(x);
#else
  return std::exp(x);
#endif
}

}  // namespace

double TermExp(double x) { return KernelExp(x); }

double SoftmaxTerms(double* scores, size_t n) {
  double max = scores[0];
  for (size_t o = 1; o < n; ++o) {
    if (scores[o] > max) max = scores[o];
  }
  const double shift = ScoreShift(max);
#if FLT_EVAL_METHOD == 0
  // Doubles are computed as doubles, so Z may be summed after the exps
  // (nothing to keep across the calls), and x - 0 is x.
  if (shift == 0.0) {
    for (size_t o = 0; o < n; ++o) scores[o] = KernelExp(scores[o]);
  } else {
    for (size_t o = 0; o < n; ++o) scores[o] = KernelExp(scores[o] - shift);
  }
  double z = 0.0;
  for (size_t o = 0; o < n; ++o) z += scores[o];
#else
  // With wider intermediates (x87) Z is rounded where it was before.
  double z = 0.0;
  for (size_t o = 0; o < n; ++o) {
    scores[o] = KernelExp(scores[o] - shift);
    z += scores[o];
  }
#endif
  return z;
}

}  // namespace verrin
