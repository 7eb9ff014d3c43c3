// Conversion rules that consult a lexicon.
#include "corpus/lexicon_rules.h"

#include <gtest/gtest.h>

#include "resource/lexicon.h"
#include "test_util.h"

namespace verrin {
namespace {

using testing::Gbk;
using testing::U;

TEST(LocationPrefixRuleTest, LongestLocationOfTwoOrMoreThatLeavesTwo) {
  const std::string dir = testing::MakeTempDir("lexicon-rules");
  // Value bit 2 marks a location; 人民 (1) is none.
  testing::WriteFile(dir + "/items.txt", Gbk("中 2\n中国 2\n人民 1\n北京 2\n北京市 6\n"));
  CNEValuedLexicon items(ReadLexiconValue);
  ASSERT_TRUE(items.LoadLexicon(dir + "/items.txt", false));
  const auto rule = LocationPrefixRule(items);
  EXPECT_EQ(rule(U("北京市政府")), 3);  // the longest location
  EXPECT_EQ(rule(U("北京大学")), 2);
  EXPECT_EQ(rule(U("北京市")), 0);  // 北京 would leave one character
  EXPECT_EQ(rule(U("中国银行")), 2);
  EXPECT_EQ(rule(U("中华书局")), 0);    // 中 alone is too short
  EXPECT_EQ(rule(U("人民日报社")), 0);  // not a location
  EXPECT_EQ(rule(U("京")), 0);
}

}  // namespace
}  // namespace verrin
