#include "corpus/read_back.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corpus/corpus_converter.h"
#include "corpus/corpus_test_util.h"
#include "test_util.h"
#include "text/code_page.h"

namespace verrin {
namespace {

using testing::ReadBack;

TEST(ReadBracketedLine, FollowsTheCorpusReader) {
  // A bracket with two spaces is not a bracket; the rest of the clause is
  // plain, but the next clause is read afresh.
  EXPECT_EQ(ReadBack("[P 张 三] [L 北京] ， [L 上海]"),
            (std::vector<std::string>{"[P", "张", "三]", "[L", "北京]", "，", "[L 上海]"}));
  // Nested-part marks stay in the bracket word.
  EXPECT_EQ(ReadBack("[O 中国\x05L\x06银行\x05n\x06]"),
            (std::vector<std::string>{"[O 中国\x05L\x06银行\x05n\x06]"}));
  // After 100 units a clause breaks before an enumeration comma.
  const std::string long_word(100, 'a');
  EXPECT_EQ(ReadBack(long_word + " [O 甲、乙]"),
            (std::vector<std::string>{long_word, "[O", "甲", "、乙]"}));
}

}  // namespace
}  // namespace verrin
