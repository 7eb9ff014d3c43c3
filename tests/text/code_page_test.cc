#include "text/code_page.h"

#include <gtest/gtest.h>
#include <unicode/ustdio.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "test_util.h"

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

TEST(TextFileTest, NumbersIgnoreTheUserLocale) {
  const char* saved = std::getenv("LANG");
  const std::string previous = saved != nullptr ? saved : "";
  setenv("LANG", "ar_EG.UTF-8", 1);
  const std::string dir = testing::MakeTempDir("text-file");
  UFILE* file = OpenTextFile((dir + "/n.txt").c_str(), "w");
  ASSERT_NE(file, nullptr);
  u_fprintf(file, "%d\t%C\n", 1234567, static_cast<UChar>(0x4E2D));
  CloseTextFile(file);
  if (saved != nullptr)
    setenv("LANG", previous.c_str(), 1);
  else
    unsetenv("LANG");
  EXPECT_EQ(testing::ReadFile(dir + "/n.txt"), "1234567\t" + testing::Gbk("中") + "\n");
}

}  // namespace
}  // namespace verrin
