// The per-character PeInfo table, plain and protected.
#include "resource/pe_info.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>

#include "io/protected_file.h"
#include "test_util.h"

namespace verrin {
namespace {

using testing::Gbk;
using testing::MakeTempDir;
using testing::WriteFile;

constexpr char kSample[] =
    "张 1 0.5 -2.25 3e-3 4 5.5 6\n"
    "王\t0\t1 2 3 4 5 6\r\n"
    "\n"
    "李 1 0.1 0 0 0 0 0\n"
    "赵 7 1 2 3 4 5 6\n"
    "赵 3 9 9 9 9 9 9";  // replaces the line before; no line end

void ExpectSampleEntries(const PeInfoTable& table) {
  const PeInfoEntry& zhang = table.At(u'张');
  EXPECT_EQ(zhang.flags, 1);
  EXPECT_DOUBLE_EQ(zhang.values[0], 0.5);
  EXPECT_DOUBLE_EQ(zhang.values[1], -2.25);
  EXPECT_DOUBLE_EQ(zhang.values[2], 0.003);
  EXPECT_DOUBLE_EQ(zhang.values[5], 6.0);
  EXPECT_EQ(table.At(u'王').flags, 0);
  EXPECT_DOUBLE_EQ(table.At(u'王').values[5], 6.0);
  EXPECT_EQ(table.At(u'李').flags, 1);
  EXPECT_DOUBLE_EQ(table.At(u'李').values[0], 0.1);
  EXPECT_DOUBLE_EQ(table.At(u'李').values[1], 0.0);
  EXPECT_EQ(table.At(u'赵').flags, 3);
  EXPECT_DOUBLE_EQ(table.At(u'赵').values[0], 9.0);
  EXPECT_EQ(table.At(u'钱').flags, 0);
}

TEST(PeInfoTest, PlainAndProtectedFormsLoadAlike) {
  const std::string dir = MakeTempDir("pe_info_forms");
  const std::string plain = dir + "/PeInfo.txt";
  WriteFile(plain, Gbk(kSample));
  std::FILE* in = std::fopen(plain.c_str(), "rb");
  std::FILE* out = std::fopen((dir + "/PeInfo.des").c_str(), "wb");
  ASSERT_TRUE(in && out && EncipherFile(in, out, kProtectedKey));
  std::fclose(in);
  std::fclose(out);

  PeInfoTable from_plain, from_protected;
  ASSERT_TRUE(from_plain.LoadPeInfo(plain, false));
  ASSERT_TRUE(from_protected.LoadPeInfo(plain, true));
  ExpectSampleEntries(from_plain);
  ExpectSampleEntries(from_protected);
  for (int unit = 0; unit < 65536; ++unit) {
    const PeInfoEntry& a = from_plain.At(static_cast<char16_t>(unit));
    const PeInfoEntry& b = from_protected.At(static_cast<char16_t>(unit));
    ASSERT_EQ(a.flags, b.flags) << unit;
    for (int k = 0; k < 6; ++k) ASSERT_EQ(a.values[k], b.values[k]) << unit;
  }
}

TEST(PeInfoTest, RealsDoNotDependOnProcessLocale) {
  const std::string dir = MakeTempDir("pe_info_locale");
  WriteFile(dir + "/PeInfo.txt", Gbk("张 1 0.5 1.25 0 0 0 0\n"));
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  const bool switched = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr ||
                        std::setlocale(LC_NUMERIC, "fr_FR.UTF-8") != nullptr;
  PeInfoTable table;
  const bool loaded = table.LoadPeInfo(dir + "/PeInfo.txt", false);
  std::setlocale(LC_NUMERIC, saved.c_str());
  ASSERT_TRUE(loaded);
  EXPECT_DOUBLE_EQ(table.At(u'张').values[1], 1.25);
  if (!switched) GTEST_SKIP() << "no locale with a decimal comma is installed";
}

TEST(PeInfoTest, MissingFiles) {
  const std::string dir = MakeTempDir("pe_info_missing");
  PeInfoTable table;
  testing::CaptureDiagnostics();
  EXPECT_FALSE(table.LoadPeInfo(dir + "/PeInfo.txt", false));
  EXPECT_EQ(testing::GetCapturedDiagnostics(), "");

  testing::CaptureDiagnostics();
  EXPECT_FALSE(table.LoadPeInfo(dir + "/PeInfo.txt", true));
  EXPECT_EQ(testing::GetCapturedDiagnostics(), "open file " + dir + "/PeInfo.des failed.\n");
  EXPECT_EQ(table.At(u'张').flags, 0);
}

}  // namespace
}  // namespace verrin
