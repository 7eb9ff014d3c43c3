#include "maxent/me_scores.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#ifdef VERRIN_EXP_KERNEL
// glibc keeps its exp and log kernels, the functions the public exp and log
// call before they look at errno, under these versioned names (ifuncs, so
// the CPU's best variants are chosen at load as for exp and log). CMake
// checks that they link.
extern "C" double __exp_finite(double);  // NOLINT(bugprone-reserved-identifier)
extern "C" double __log_finite(double);  // NOLINT(bugprone-reserved-identifier)
__asm__(".symver __exp_finite,__exp_finite@GLIBC_2.15");
__asm__(".symver __log_finite,__log_finite@GLIBC_2.15");
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VERRIN_EXP_FOUR 1
#include <immintrin.h>

#include "maxent/me_exp_table.h"
#endif
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

#ifdef VERRIN_EXP_FOUR
// Four exps at once with the operations of the C library's exp kernel in its
// FMA variant, the one it runs on a CPU with AVX2 and FMA: the same
// constants and table, the same fused multiply-adds in the same places and
// no others (this file is compiled without contraction), so each lane has
// the bits of the scalar kernel. Lanes outside 2^-54 <= |x| < 512 (tiny,
// huge, infinite, NaN) take the scalar kernel. Whether the bits really agree
// on this machine is checked once before the path is used.
double Constant(uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

struct ExpFourConstants {
  __m256d shifter, inverse_ln2, minus_ln2_high, minus_ln2_low, c2, c3, c4, c5;
};

__attribute__((target("avx2,fma"))) inline __m256d ExpFourLanes(__m256d x,
                                                                const ExpFourConstants& k) {
  const __m256i top_bits =
      _mm256_and_si256(_mm256_srli_epi64(_mm256_castpd_si256(x), 52), _mm256_set1_epi64x(0x7ff));
  const __m256i in_range =
      _mm256_and_si256(_mm256_cmpgt_epi64(top_bits, _mm256_set1_epi64x(0x3c8)),
                       _mm256_cmpgt_epi64(_mm256_set1_epi64x(0x408), top_bits));
  // x = (k + r') ln2 / 128 with k rounded to an integer by the shifter.
  __m256d kd = _mm256_fmadd_pd(x, k.inverse_ln2, k.shifter);
  const __m256i ki = _mm256_castpd_si256(kd);
  kd = _mm256_sub_pd(kd, k.shifter);
  __m256d r = _mm256_fmadd_pd(kd, k.minus_ln2_high, x);
  r = _mm256_fmadd_pd(kd, k.minus_ln2_low, r);
  // 2^(k/128) = scale (1 + tail).
  const __m256i slot = _mm256_slli_epi64(_mm256_and_si256(ki, _mm256_set1_epi64x(127)), 1);
  const auto* table = reinterpret_cast<const long long*>(kExpTable);
  const __m256d tail = _mm256_castsi256_pd(_mm256_i64gather_epi64(table, slot, 8));
  const __m256i scale_bits =
      _mm256_add_epi64(_mm256_i64gather_epi64(table + 1, slot, 8), _mm256_slli_epi64(ki, 45));
  // tail + r + r^2 (c2 + r c3) + r^4 (c4 + r c5), then scale + scale tmp.
  const __m256d r_tail = _mm256_add_pd(r, tail);
  const __m256d low = _mm256_fmadd_pd(r, k.c3, k.c2);
  const __m256d r2 = _mm256_mul_pd(r, r);
  const __m256d high = _mm256_fmadd_pd(r, k.c5, k.c4);
  const __m256d sum = _mm256_fmadd_pd(low, r2, r_tail);
  const __m256d tmp = _mm256_fmadd_pd(_mm256_mul_pd(r2, r2), high, sum);
  const __m256d scale = _mm256_castsi256_pd(scale_bits);
  __m256d y = _mm256_fmadd_pd(scale, tmp, scale);
  const int lanes = _mm256_movemask_pd(_mm256_castsi256_pd(in_range));
  if (lanes != 0xf) {
    double args[4];
    double values[4];
    _mm256_storeu_pd(args, x);
    _mm256_storeu_pd(values, y);
    for (int lane = 0; lane < 4; ++lane) {
      if ((lanes & (1 << lane)) == 0) values[lane] = KernelExp(args[lane]);
    }
    y = _mm256_loadu_pd(values);
  }
  return y;
}

// exp(scores[o] - shift) in place for the first n - n % 4 scores; returns
// how many were done.
__attribute__((target("avx2,fma"))) inline size_t ExpFour(double* scores, size_t n, double shift) {
  const ExpFourConstants k = {
      _mm256_set1_pd(Constant(0x4338000000000000)), _mm256_set1_pd(Constant(0x40671547652b82fe)),
      _mm256_set1_pd(Constant(0xbf762e42fefa0000)), _mm256_set1_pd(Constant(0xbd0cf79abc9e3b3a)),
      _mm256_set1_pd(Constant(0x3fdffffffffffdbd)), _mm256_set1_pd(Constant(0x3fc555555555543c)),
      _mm256_set1_pd(Constant(0x3fa55555cf172b91)), _mm256_set1_pd(Constant(0x3f81111167a4d017))};
  const __m256d by = _mm256_set1_pd(shift);
  size_t o = 0;
  for (; o + 4 <= n; o += 4) {
    const __m256d x = _mm256_sub_pd(_mm256_loadu_pd(scores + o), by);
    _mm256_storeu_pd(scores + o, ExpFourLanes(x, k));
  }
  return o;
}

// The largest of n >= 4 scores as far as ScoreShift can tell: NaN when the
// first score is NaN, else the largest of the others that are not NaN (the
// scalar loop's result, but for the sign of a zero, which ScoreShift ignores).
__attribute__((target("avx2,fma"), always_inline)) inline double MaxFour(const double* scores,
                                                                         size_t n) {
  if (scores[0] != scores[0]) return scores[0];
  // max_pd returns its second operand when the first is NaN.
  __m256d best = _mm256_set1_pd(scores[0]);
  size_t o = 0;
  for (; o + 4 <= n; o += 4) best = _mm256_max_pd(_mm256_loadu_pd(scores + o), best);
  double lanes[4];
  _mm256_storeu_pd(lanes, best);
  double max = lanes[0];
  for (int lane = 1; lane < 4; ++lane) {
    if (lanes[lane] > max) max = lanes[lane];
  }
  for (; o < n; ++o) {
    if (scores[o] > max) max = scores[o];
  }
  return max;
}

// True when the CPU runs ExpFour and it gives the scalar kernel's bits on a
// spread of arguments touching every table entry, both roundings of the
// reduction and the scalar lanes.
bool CheckExpFour() {
  if (!__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("fma")) return false;
  double in[4];
  double out[4];
  uint64_t state = 0x9e3779b97f4a7c15ULL;
  for (int i = 0; i < 8192; ++i) {
    for (int lane = 0; lane < 4; ++lane) {
      state = state * 6364136223846793005ULL + 1442695040888963407ULL;
      const double unit = static_cast<double>(state >> 11) * 0x1p-53;
      switch ((i + lane) % 4) {
        case 0:
          in[lane] = -40.0 + 48.0 * unit;
          break;
        case 1:
          in[lane] = -745.5 + 1456.0 * unit;
          break;
        case 2:  // each k of [-128, 128) near its boundaries
          in[lane] = (i % 256 - 128) * 0.0054152123481117087 + (unit - 0.5) * 1e-3;
          break;
        default:
          in[lane] = (unit - 0.5) * 0x1p-50;
          break;
      }
    }
    std::memcpy(out, in, sizeof out);
    ExpFour(out, 4, 0.0);
    for (int lane = 0; lane < 4; ++lane) {
      const double expected = KernelExp(in[lane]);
      if (std::memcmp(&expected, &out[lane], sizeof expected) != 0) return false;
    }
  }
  return true;
}

bool UseExpFour() {
  static const bool use = CheckExpFour();
  return use;
}

// SoftmaxTerms on the four-lane path (n >= 4) in one function, so that the
// largest score, the exps and the sum share their set-up: per row of 16
// scores the calls and the constants cost about as much as the sum.
__attribute__((target("avx2,fma"))) double SoftmaxTermsFour(double* scores, size_t n) {
  const double shift = ScoreShift(MaxFour(scores, n));
  size_t o = ExpFour(scores, n, shift);
  if (shift == 0.0) {
    for (; o < n; ++o) scores[o] = KernelExp(scores[o]);
  } else {
    for (; o < n; ++o) scores[o] = KernelExp(scores[o] - shift);
  }
  double z = 0.0;
  if (n == 16) {  // the shipped models' outcome count: the same sum, unrolled
#pragma GCC unroll 16
    for (size_t k = 0; k < 16; ++k) z += scores[k];
    return z;
  }
  for (size_t k = 0; k < n; ++k) z += scores[k];
  return z;
}
#endif

}  // namespace

double TermExp(double x) { return KernelExp(x); }

double TermLog(double x) {
#ifdef VERRIN_EXP_KERNEL
  return __log_finite(x);
#else
  return std::log(x);
#endif
}

bool SoftmaxExpFourActive() {
#ifdef VERRIN_EXP_FOUR
  return UseExpFour();
#else
  return false;
#endif
}

double SoftmaxTerms(double* scores, size_t n) {
#ifdef VERRIN_EXP_FOUR
  // Computed once; a plain flag read afterwards.
  static const bool four_active = UseExpFour();
  if (n >= 4 && four_active) return SoftmaxTermsFour(scores, n);
#endif
  double max = scores[0];
  for (size_t o = 1; o < n; ++o) {
    if (scores[o] > max) max = scores[o];
  }
  const double shift = ScoreShift(max);
#if FLT_EVAL_METHOD == 0
  // Doubles are computed as doubles, so Z may be summed after the exps
  // (nothing to keep across the calls), and x - 0 is x.
  size_t o = 0;
  if (shift == 0.0) {
    for (; o < n; ++o) scores[o] = KernelExp(scores[o]);
  } else {
    for (; o < n; ++o) scores[o] = KernelExp(scores[o] - shift);
  }
  double z = 0.0;
  for (size_t k = 0; k < n; ++k) z += scores[k];
#else
  // With wider intermediates (x87) each term is added to Z as it is made,
  // which fixes where Z is rounded.
  double z = 0.0;
  for (size_t o = 0; o < n; ++o) {
    scores[o] = KernelExp(scores[o] - shift);
    z += scores[o];
  }
#endif
  return z;
}

}  // namespace verrin
