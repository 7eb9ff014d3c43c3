// The "%f" text of saved weights and evaluation results must be ICU's.
#include "text/number_format.h"

#include <gtest/gtest.h>
#include <unicode/ustdio.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "test_util.h"

namespace verrin {
namespace {

using testing::MakeTempDir;
using testing::ReadFile;

// Differential test against u_fprintf itself, on values chosen to stress
// rounding at the sixth decimal, signs, tiny and huge magnitudes.
TEST(NumberFormatTest, MatchesIcuPrintf) {
  std::vector<double> values = {0.0,
                                -0.0,
                                0.5,
                                -1.25,
                                0.0000004,
                                0.0000005,
                                0.0000015,
                                0.0000025,
                                -0.0000005,
                                0.1234565,
                                2.5e-7,
                                9.9999995,
                                999999.9999995,
                                1234567.25,
                                1e15,
                                1e21,
                                -3e22,
                                1e300,
                                std::numeric_limits<double>::min(),
                                std::numeric_limits<double>::denorm_min(),
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity(),
                                std::numeric_limits<double>::quiet_NaN()};
  std::mt19937_64 random(99);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int i = 0; i < 3000; ++i) {
    const double scale = std::pow(10.0, static_cast<int>(random() % 16) - 8);
    values.push_back(unit(random) * scale);
    // Values on a half of the last printed digit, as far as binary allows.
    values.push_back((static_cast<double>(random() % 2000000) + 0.5) / 1e6);
  }
  const std::string path = MakeTempDir("number_format") + "/icu.txt";
  UFILE* file = u_fopen(path.c_str(), "w", kNumberLocale, "UTF-8");
  ASSERT_NE(file, nullptr);
  for (double v : values) u_fprintf(file, "%f\n", v);
  u_fclose(file);

  CFixedFormatter formatter;
  std::u16string text;
  for (double v : values) {
    formatter.Append(v, text);
    text.push_back(u'\n');
  }
  const std::string icu = ReadFile(path);
  std::string ours;
  for (char16_t unit_value : text) {
    // Every unit here is ASCII except ICU's infinity sign.
    if (unit_value < 0x80) {
      ours.push_back(static_cast<char>(unit_value));
    } else {
      ASSERT_EQ(unit_value, u'\u221E');
      ours += "\xE2\x88\x9E";
    }
  }
  EXPECT_EQ(ours, icu);
  EXPECT_NE(icu.find("0.000000\n0.000000\n"), std::string::npos);  // sanity: %f shapes
}

}  // namespace
}  // namespace verrin
