#include "text/code_page.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "test_util.h"
#include "text/gbk_unit.h"

namespace verrin {
namespace {

using testing::U;
using testing::Utf8;

TEST(CodePageTest, GbkRoundTripAndRecreationAfterRelease) {
  const CUString text = U("人民日报 1998");
  const std::string bytes = ToGbk(text);
  EXPECT_EQ(bytes.size(), 13u);  // four two-byte characters, a space and four digits
  EXPECT_EQ(FromGbk(bytes), text);

  CCodePageSet::Release();
  EXPECT_FALSE(CCodePageSet::Exists());
  EXPECT_EQ(FromGbk(bytes), text) << "a released set is built again on demand";
  EXPECT_TRUE(CCodePageSet::Exists());
}

TEST(CodePageTest, EachThreadConvertsWithItsOwnSet) {
  const CUString text = U("国务院总理李鹏在北京会见了外宾");
  const std::string bytes = ToGbk(text);
  ASSERT_TRUE(CCodePageSet::Exists());
  const CCodePageSet* mine = &CCodePageSet::Get();
  // Another thread converts and releases its own set over and over; this
  // thread's set stays and keeps converting.
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::thread other([&] {
    for (int i = 0; i < 200 || !stop.load(); ++i) {
      if (CCodePageSet::Exists() && &CCodePageSet::Get() == mine) ++wrong;
      if (FromGbk(bytes) != text) ++wrong;
      CCodePageSet::Release();
    }
  });
  for (int i = 0; i < 200; ++i) {
    if (FromGbk(bytes) != text || ToGbk(text) != bytes) ++wrong;
  }
  stop = true;
  other.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_TRUE(CCodePageSet::Exists());
  EXPECT_EQ(&CCodePageSet::Get(), mine);
}

// The table behind IsGbkUnit, filled block by block from two threads at once,
// answers for every unit what a round trip through the converter says.
TEST(CodePageTest, GbkUnitTableAgreesWithTheConverterForEveryUnit) {
  std::atomic<int> wrong{0};
  auto query_all = [&wrong](bool backwards) {
    for (int k = 0; k < 65536; ++k) {
      const char16_t u = static_cast<char16_t>(backwards ? 65535 - k : k);
      const CUString one(&u, 1);
      const bool expected = u < 0x80 || (u >= 0x4E00 && u <= 0x9FA5) ||
                            ((u < 0xD800 || u > 0xDFFF) && FromGbk(ToGbk(one)) == one);
      if (IsGbkUnit(u) != expected) ++wrong;
    }
  };
  std::thread other(query_all, true);
  query_all(false);
  other.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_FALSE(IsGbkUnit(0x3400));  // CJK extension A: GB 18030, not GBK
  EXPECT_TRUE(IsGbkUnit(0x20AC));   // '€', GBK's one-byte 0x80
}

TEST(CodePageTest, FromUnicodeCutsAtTheCapacity) {
  char buffer[5];
  const int32_t n =
      CCodePageSet::Get().FromUnicode(CCodePageSet::kGbk, u"\u4E2D\u56FD\u4EBA", -1, buffer, 5);
  // Room for four bytes and the terminator: two characters.
  EXPECT_EQ(n, 4);
  EXPECT_EQ(std::string(buffer), testing::Gbk("中国"));
}

TEST(CodePageTest, LongLineIsNotSplit) {
  // A line far beyond any fixed buffer, with a GBK character straddling
  // every power-of-two boundary, must come back whole.
  std::string line;
  for (int i = 0; i < 30000; ++i) line += (i % 7 == 0) ? "a" : "中";
  const std::string dir = testing::MakeTempDir("long-line");
  const std::string path = dir + "/long.txt";
  testing::WriteFile(path, testing::Gbk(line) + "\nnext\n");
  std::FILE* f = std::fopen(path.c_str(), "r");
  ASSERT_NE(f, nullptr);
  CUString got;
  ASSERT_TRUE(ReadNarrowLine(f, got));
  EXPECT_EQ(Utf8(got), line + "\n");
  ASSERT_TRUE(ReadNarrowLine(f, got));
  EXPECT_EQ(Utf8(got), "next\n");
  EXPECT_FALSE(ReadNarrowLine(f, got));
  std::fclose(f);
}

TEST(CodePageTest, LastLineWithoutLineFeedIsRead) {
  const std::string dir = testing::MakeTempDir("no-lf");
  testing::WriteFile(dir + "/f.txt", "a\nb");
  std::FILE* f = std::fopen((dir + "/f.txt").c_str(), "r");
  ASSERT_NE(f, nullptr);
  CUString line;
  ASSERT_TRUE(ReadNarrowLine(f, line));
  ASSERT_TRUE(ReadNarrowLine(f, line));
  EXPECT_EQ(line.View(), u"b");
  EXPECT_FALSE(ReadNarrowLine(f, line));
  std::fclose(f);
}

TEST(CodePageTest, NumbersParseLikeTheCRuntimeInAnyLocale) {
  EXPECT_EQ(ParseInt("  42abc"), 42);
  EXPECT_EQ(ParseInt("-7"), -7);
  EXPECT_EQ(ParseInt("x1"), 0);
  EXPECT_EQ(ParseNarrowInt(u" \t13\r\n"), 13);
  EXPECT_EQ(ParseNarrowInt(u"\u4E00"), 0);
  EXPECT_DOUBLE_EQ(ParseDouble("-1.25\r\n"), -1.25);
  EXPECT_DOUBLE_EQ(ParseDouble("abc"), 0.0);
  EXPECT_EQ(DecimalText(-52).View(), u"-52");
}

}  // namespace
}  // namespace verrin

namespace verrin {
namespace {

// Text files are buffered and converted in blocks: a text longer than one
// block must come out whole, as GBK, with bare line feeds.
TEST(TextFileTest, LongTextArrivesWholeAsGbk) {
  const std::string dir = testing::MakeTempDir("text-file");
  CTextFile* file = OpenTextFile((dir + "/n.txt").c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::string expected;
  const CUString line = U("中文\t1234567\n");
  for (int i = 0; i < 5000; ++i) {  // 50,000 units, over one block
    WriteText(file, line.c_str(), line.Length());
    expected += testing::Gbk("中文\t1234567\n");
  }
  EXPECT_TRUE(CloseTextFile(file));
  EXPECT_EQ(testing::ReadFile(dir + "/n.txt"), expected);
  EXPECT_EQ(OpenTextFile((dir + "/no/such/dir/n.txt").c_str(), "w"), nullptr);
  EXPECT_FALSE(CloseTextFile(nullptr));
}

TEST(TextFileTest, FullDiskIsReportedAtClose) {
  CTextFile* full = OpenTextFile("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  WriteText(full, u"\u4E2D\n", 2);
  EXPECT_FALSE(CloseTextFile(full));
}

}  // namespace
}  // namespace verrin
