#include "text/char_class.h"

#include <gtest/gtest.h>

#include "test_util.h"

namespace verrin {
namespace {

using testing::U;
using testing::Utf8;

TEST(CharClassTest, ClassCodes) {
  EXPECT_EQ(CharClassOf(0x0035), kClassDigit);
  EXPECT_EQ(CharClassOf(0xFF15), kClassDigit);
  EXPECT_EQ(CharClassOf(0x4E8C), kClassChineseNumeral);
  EXPECT_EQ(CharClassOf(0x0061), kClassLatin);
  EXPECT_EQ(CharClassOf(0xFF3A), kClassLatin);
  EXPECT_EQ(CharClassOf(0x002D), kClassSymbol);
  EXPECT_EQ(CharClassOf(0x0020), kClassSymbol);
  EXPECT_EQ(CharClassOf(0x0002), kClassSymbol) << "control units are symbols";
  EXPECT_EQ(CharClassOf(0x3002), kClassSymbol);
  EXPECT_EQ(CharClassOf(0x203B), kClassSymbol);
  EXPECT_EQ(CharClassOf(0x5F20), kClassOther);
  EXPECT_EQ(CharClassOf(0x00B7), kClassOther) << "middle dot is in no set";
  EXPECT_EQ(CharClassOf(0xD840), kClassOther) << "surrogates are plain units";
}

TEST(CharClassTest, DelimitersAndBreakingSymbols) {
  for (char16_t u : std::u16string(u"\u3002\uFF1F\uFF01\uFF0C\uFF1B\uFE56\uFE50\uFE54?!;,")) {
    EXPECT_TRUE(IsSentenceDelimiter(u)) << static_cast<int>(u);
  }
  EXPECT_FALSE(IsSentenceDelimiter(0x3001));
  EXPECT_TRUE(IsEnumerationComma(0x3001));
  EXPECT_TRUE(IsClosingQuote(0x201D));
  EXPECT_TRUE(IsBreakingSymbol(0x300A));
  EXPECT_FALSE(IsBreakingSymbol(0x002D));
  EXPECT_FALSE(IsBreakingSymbol(0x3002)) << "joining list";
  EXPECT_TRUE(IsBreakingSymbol(0x0021));
  EXPECT_FALSE(IsBreakingSymbol(0x5F20)) << "not a symbol at all";
}

TEST(CharClassTest, ChineseNumeralWords) {
  EXPECT_TRUE(IsChineseNumeralWord(u"\u4E09\u5343"));
  EXPECT_FALSE(IsChineseNumeralWord(u"\u4E09\u4E2A"));
  EXPECT_TRUE(IsChineseNumeralWord(u""));
}

TEST(CharClassTest, TrimAndTokens) {
  CUString line = U(" \t中 国\r\n");
  char16_t* trimmed = TrimWhiteSpace(line.MutableBuffer());
  EXPECT_EQ(Utf8(trimmed), "中 国");

  CUString words = U("  ab  cd\te ");
  char16_t* cursor = words.MutableBuffer();
  EXPECT_EQ(Utf8(NextToken(&cursor)), "ab");
  EXPECT_EQ(Utf8(NextToken(&cursor)), "cd");
  EXPECT_EQ(Utf8(NextToken(&cursor)), "e");
  EXPECT_EQ(NextToken(&cursor), nullptr);
}

TEST(CharClassTest, NextFieldYieldsEmptyFieldForWhiteSpace) {
  CUString text = U("甲/ /乙");
  char16_t* cursor = text.MutableBuffer();
  EXPECT_EQ(Utf8(NextField(&cursor, u'/')), "甲");
  EXPECT_EQ(Utf8(NextField(&cursor, u'/')), "");
  EXPECT_EQ(Utf8(NextField(&cursor, u'/')), "乙");
  EXPECT_EQ(NextField(&cursor, u'/'), nullptr);
}

TEST(CharClassTest, BracketTags) {
  CUString text = U("甲[P 张/三]乙");
  BracketTag tag;
  ASSERT_TRUE(ParseBracketTag(text.MutableBuffer(), tag));
  EXPECT_EQ(tag.start, 1);
  EXPECT_EQ(tag.length, 7);
  EXPECT_EQ(Utf8(tag.tag), "P");
  EXPECT_EQ(Utf8(tag.word), "张三");
  EXPECT_EQ(Utf8(tag.rest), "乙");

  CUString two_spaces = U("[P 张 三]");
  EXPECT_FALSE(ParseBracketTag(two_spaces.MutableBuffer(), tag));
  CUString unclosed = U("[P 张三");
  EXPECT_FALSE(ParseBracketTag(unclosed.MutableBuffer(), tag));
  // The first space lies beyond the "]": no class inside the bracket.
  CUString late_space = U("[abc] d");
  EXPECT_FALSE(ParseBracketTag(late_space.MutableBuffer(), tag));
  CUString empty_word = U("[ns ]x");
  ASSERT_TRUE(ParseBracketTag(empty_word.MutableBuffer(), tag));
  EXPECT_TRUE(tag.word.Empty());
  EXPECT_EQ(Utf8(tag.rest), "x");
}

}  // namespace
}  // namespace verrin
