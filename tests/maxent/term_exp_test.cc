// The softmax's exp: the same bits as std::exp on every kind of argument,
// however it reaches the C library's kernel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "maxent/me_scores.h"

namespace verrin {
namespace {

uint64_t Bits(double x) {
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  return bits;
}

TEST(TermExpTest, SameBitsAsStdExpAndSoftmaxTermsSumsThemInOrder) {
  const double inf = std::numeric_limits<double>::infinity();
  // Overflow, underflow to subnormals and to zero, signed zeros, infinities.
  std::vector<double> xs = {0.0,     -0.0,   1.0,     -1.0,    709.78,  709.79, 710.0,
                            -708.39, -708.4, -745.13, -745.14, -746.0,  -1e300, 1e300,
                            inf,     -inf,   1e-300,  -1e-300, 4.9e-324};
  std::mt19937_64 random(12345);
  std::uniform_real_distribution<double> wide(-760.0, 720.0), narrow(-40.0, 5.0);
  for (int i = 0; i < 200000; ++i) xs.push_back(i % 2 ? wide(random) : narrow(random));
  for (double x : xs) ASSERT_EQ(Bits(TermExp(x)), Bits(std::exp(x))) << x;
  EXPECT_TRUE(std::isnan(TermExp(std::numeric_limits<double>::quiet_NaN())));

  // Scores of every shift: none, above 700, below -708.
  for (double base : {0.0, 750.0, -900.0}) {
    double scores[16];
    double expected[16];
    for (int o = 0; o < 16; ++o) scores[o] = base + narrow(random);
    double max = scores[0];
    for (double s : scores) max = s > max ? s : max;
    const double shift = ScoreShift(max);
    double z = 0.0;
    for (int o = 0; o < 16; ++o) {
      expected[o] = std::exp(scores[o] - shift);
      z += expected[o];
    }
    ASSERT_EQ(Bits(SoftmaxTerms(scores, 16)), Bits(z)) << base;
    for (int o = 0; o < 16; ++o) ASSERT_EQ(Bits(scores[o]), Bits(expected[o])) << base;
  }
}

// Four lanes at a time where the CPU allows: every lane must keep the
// scalar bits, including lanes that fall back to the scalar kernel next to
// ordinary ones, arrays whose length is not a multiple of four, and the
// arguments at which each table entry and each rounding of the reduction is
// used.
TEST(TermExpTest, SoftmaxTermsKeepsTheScalarBitsInEveryLane) {
#if defined(__x86_64__) && defined(__GLIBC__)
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
    EXPECT_TRUE(SoftmaxExpFourActive());
  }
#endif
  const double inf = std::numeric_limits<double>::infinity();
  const double odd[] = {0.0,    -0.0,   1e-17,  -1e-17, 4.9e-324,     0x1p-54, -0x1p-54,
                        511.99, -511.9, 512.0,  -513.0, -708.39,      -745.2,  709.0,
                        -inf,   inf,    -1e300, 1e-300, std::nan(""), 720.0,   -900.0};
  std::mt19937_64 random(777);
  std::uniform_real_distribution<double> usual(-40.0, 8.0), wide(-745.0, 700.0), unit(0.0, 1.0);
  std::vector<double> scores, expected;
  for (int round = 0; round < 200000; ++round) {
    const size_t n = 1 + static_cast<size_t>(round % 19);
    scores.clear();
    for (size_t o = 0; o < n; ++o) {
      const int kind = static_cast<int>(random() % 16);
      double x = kind < 12 ? usual(random) : kind < 14 ? wide(random) : 0.0;
      // Near the boundaries of the reduction: k ln2 / 128 plus a little.
      if (kind == 14)
        x = (static_cast<int>(random() % 4096) - 3072) * 0.0054152123481117087 +
            (unit(random) - 0.5) * 1e-12;
      if (kind == 15) x = odd[random() % (sizeof odd / sizeof odd[0])];
      scores.push_back(x);
    }
    double max = scores[0];
    for (double s : scores) max = s > max ? s : max;
    const double shift = ScoreShift(max);
    expected.assign(n, 0.0);
    double z = 0.0;
    for (size_t o = 0; o < n; ++o) {
      expected[o] = std::exp(scores[o] - shift);
      z += expected[o];
    }
    const double sum = SoftmaxTerms(scores.data(), n);
    ASSERT_TRUE(Bits(sum) == Bits(z) || (std::isnan(sum) && std::isnan(z))) << round;
    for (size_t o = 0; o < n; ++o) {
      ASSERT_TRUE(Bits(scores[o]) == Bits(expected[o]) ||
                  (std::isnan(scores[o]) && std::isnan(expected[o])))
          << round << " " << o << " " << expected[o];
    }
  }
}

}  // namespace
}  // namespace verrin
