#include "maxent/me_scores.h"

#include <cmath>

#ifdef VERRIN_EXP_KERNEL
// glibc keeps its exp kernel, the function the public exp calls before it
// looks at errno, under this versioned name (an ifunc, so the CPU's best
// variant is chosen at load as for exp). CMake checks that it links.
extern "C" double __exp_finite(double);  // NOLINT(bugprone-reserved-identifier)
__asm__(".symver __exp_finite,__exp_finite@GLIBC_2.15");
#endif

namespace verrin {

double TermExp(double x) {
#ifdef VERRIN_EXP_KERNEL
  return __exp_finite(x);
#else
  return std::exp(x);
#endif
}

double SoftmaxTerms(double* scores, size_t n) {
  double max = scores[0];
  for (size_t o = 1; o < n; ++o) {
    if (scores[o] > max) max = scores[o];
  }
  const double shift = ScoreShift(max);
  double z = 0.0;
  for (size_t o = 0; o < n; ++o) {
#ifdef VERRIN_EXP_KERNEL
    scores[o] = __exp_finite(scores[o] - shift);
#else
    scores[o] = std::exp(scores[o] - shift);
#endif
    z += scores[o];
  }
  return z;
}

}  // namespace verrin
