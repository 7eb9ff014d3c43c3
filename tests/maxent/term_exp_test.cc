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

}  // namespace
}  // namespace verrin
