#include "text/ustring.h"

#include <gtest/gtest.h>

#include "test_util.h"
#include "text/code_page.h"

namespace verrin {
namespace {

using testing::U;
using testing::Utf8;

TEST(CUStringTest, CapacityRulesOfAssign) {
  CUString s;
  EXPECT_EQ(s.Length(), 0);
  EXPECT_EQ(s.Capacity(), 10);
  ASSERT_NE(s.Buffer(), nullptr);
  EXPECT_EQ(s.Buffer()[0], 0);

  // 10 is not below the capacity 10: reallocated to exactly 10.
  const char16_t* ten = u"0123456789";
  s.Assign(ten);
  EXPECT_EQ(s.Length(), 10);
  EXPECT_EQ(s.Capacity(), 10);
  const char16_t* buffer = s.Buffer();
  s.Assign(u"abc");
  EXPECT_EQ(s.Buffer(), buffer) << "a shorter text reuses the buffer";
  EXPECT_EQ(s.Capacity(), 10);
  EXPECT_EQ(s.View(), u"abc");

  // Longer than the capacity: exactly the new length.
  s.Assign(u"0123456789ABCDEF");
  EXPECT_EQ(s.Capacity(), 16);
}

TEST(CUStringTest, AppendGrowsWithHundredSpareUnits) {
  CUString s(u"0123456789");
  ASSERT_EQ(s.Capacity(), 10);
  EXPECT_EQ(s.Append(u"x"), 11);
  EXPECT_EQ(s.Capacity(), 111);
  EXPECT_EQ(s.View(), u"0123456789x");
  const char16_t* buffer = s.Buffer();
  s.Append(u"yz");
  EXPECT_EQ(s.Buffer(), buffer) << "appending within the capacity keeps the buffer";
  EXPECT_EQ(s.Length(), 13);
}

TEST(CUStringTest, LongTextBuiltUnitByUnitReallocatesRarely) {
  // A fixed growth step would reallocate (and copy everything) every 100
  // units: 10,000 times for a million units, a quadratic cost.
  CUString s;
  int reallocations = 0;
  for (int i = 0; i < 1000000; ++i) {
    const char16_t* before = s.Buffer();
    s.Append(static_cast<char16_t>(u'a' + i % 26));
    if (s.Buffer() != before) ++reallocations;
  }
  EXPECT_EQ(s.Length(), 1000000);
  EXPECT_EQ(s[999999], u'a' + 999999 % 26);
  EXPECT_LE(reallocations, 40);
}

TEST(CUStringTest, AppendOfItselfAndSelfAssignment) {
  CUString s(u"ab");
  s.Append(s);
  EXPECT_EQ(s.View(), u"abab");
  s = s;
  EXPECT_EQ(s.View(), u"abab");
  s.Assign(s.c_str() + 1);  // overlapping source, shorter than the capacity
  EXPECT_EQ(s.View(), u"bab");
}

TEST(CUStringTest, ConstructorsKeepTheirCapacities) {
  CUString one(u'x', 0);
  EXPECT_EQ(one.Capacity(), 1);
  EXPECT_EQ(one.View(), u"x");
  CUString roomy(u'x', 50);
  EXPECT_EQ(roomy.Capacity(), 50);

  CUString source(200);
  source.Append(u"abc");
  CUString copy(source);
  EXPECT_EQ(copy.Capacity(), 3) << "a copy is sized to the source's length";
  EXPECT_EQ(copy, source);

  // "主义" is four GBK bytes: two units, capacity four.
  const std::string gbk = testing::Gbk("主义");
  ASSERT_EQ(gbk.size(), 4u);
  CUString narrow(gbk.c_str(), CCodePageSet::kGbk);
  EXPECT_EQ(narrow.Length(), 2);
  EXPECT_EQ(narrow.Capacity(), 4);
  EXPECT_EQ(Utf8(narrow), "主义");
}

TEST(CUStringTest, ClearReleaseAndConcatenation) {
  CUString s(u"hello");
  s.Clear();
  EXPECT_EQ(s.Length(), 0);
  EXPECT_EQ(s.Capacity(), 5);
  s.Release();
  EXPECT_EQ(s.Buffer(), nullptr);
  EXPECT_EQ(s.Length(), 0);
  EXPECT_EQ(s.Capacity(), 0);
  s.Append(u"again");  // a released string can grow again
  EXPECT_EQ(s.View(), u"again");

  CUString joined = CUString(u"ab") + CUString(u"cd");
  EXPECT_EQ(joined.View(), u"abcd");
}

TEST(CUStringTest, OrderIsBinaryCodeUnitOrder) {
  // U+FF01 sorts after U+4E00 and "B" before "a", as code units do.
  EXPECT_LT(CUString(u"B"), CUString(u"a"));
  EXPECT_LT(CUString(u"\u4E00"), CUString(u"\uFF01"));
  EXPECT_LT(CUString(u"ab"), CUString(u"abc"));
  EXPECT_FALSE(CUString(u"abc") < CUString(u"abc"));
}

}  // namespace
}  // namespace verrin
