// Clause splitting, pre-segmentation, processed text and fixed labels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/ne_engine.h"
#include "engine/ne_resource.h"
#include "test_util.h"

namespace verrin {
namespace {

using testing::U;
using testing::Utf8;

std::vector<std::string> Split(CNEEngine& engine, const std::string& text, bool segmented) {
  std::vector<CUString> sentences;
  CUString t = U(text);
  EXPECT_TRUE(engine.SplitSentences(t.c_str(), sentences, segmented));
  std::vector<std::string> out;
  for (const CUString& s : sentences) out.push_back(Utf8(s));
  return out;
}

struct Segmented {
  std::string text;
  std::vector<std::string> words;
  std::vector<int> types;
  std::vector<std::string> tags;
};

class PipelineTest : public ::testing::Test {
 protected:
  PipelineTest() : engine_(&resource_) {}

  Segmented PreSegment(const std::string& sentence, bool segmented, char16_t separator = u' ',
                       bool training = false) {
    clause_.training = training;
    clause_.segmented = segmented;
    clause_.separator = separator;
    engine_.PreSegment(U(sentence), clause_);
    Segmented out;
    out.text = Utf8(clause_.text);
    for (const NEWordNode& n : clause_.nodes) {
      out.words.push_back(Utf8(n.strWord));
      out.types.push_back(n.nType);
      out.tags.push_back(Utf8(n.strTag));
    }
    return out;
  }

  CNEResource resource_;
  CNEEngine engine_;
  NEClause clause_;
  const std::vector<NEWordNode>& nodes_ = clause_.nodes;
};

TEST_F(PipelineTest, SplitsAfterDelimitersAndAtTheFirstLineFeed) {
  EXPECT_EQ(Split(engine_, "甲。乙", false), (std::vector<std::string>{"甲。", "乙"}));
  EXPECT_EQ(Split(engine_, "甲，乙", true), (std::vector<std::string>{"甲，", "乙"}));
  // The closing quote stays with its clause in raw mode only.
  EXPECT_EQ(Split(engine_, "好。”他", false), (std::vector<std::string>{"好。”", "他"}));
  EXPECT_EQ(Split(engine_, "好。”他", true), (std::vector<std::string>{"好。", "”他"}));
  EXPECT_TRUE(Split(engine_, "\n甲", false).empty());
  EXPECT_EQ(Split(engine_, "甲\n乙", false), (std::vector<std::string>{"甲"}));
}

TEST_F(PipelineTest, LongClausesBreakAtEnumerationCommasAndSymbols) {
  std::string text;
  for (int i = 0; i < 201; ++i) text += "中";
  text += "、";
  for (int i = 0; i < 49; ++i) text += "国";
  auto raw = Split(engine_, text, false);
  ASSERT_EQ(raw.size(), 2u);
  EXPECT_EQ(U(raw[0]).Length(), 201);
  EXPECT_EQ(raw[1].substr(0, 3), "、") << "the comma starts the next clause";

  // Below the soft limit the comma does not break.
  EXPECT_EQ(Split(engine_, "甲、乙", false).size(), 1u);

  // Twice the soft limit (200 in segmented mode): a breaking symbol breaks.
  std::string seg;
  for (int i = 0; i < 200; ++i) seg += "中";
  seg += "《书》";
  auto parts = Split(engine_, seg, true);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[1], "《书》");
}

TEST_F(PipelineTest, LongClausePositionsDoNotWrap) {
  // 40,000 units: past the 16-bit range of positions; nothing may wrap. (The
  // splitter never makes such a clause; a caller of PreSegment may.)
  std::u16string units(40000, u'\u4E2D');
  engine_.PreSegment(CUString(units.c_str()), clause_);
  const std::vector<NEWordNode>& nodes = clause_.nodes;
  ASSERT_EQ(nodes.size(), 40001u);
  EXPECT_EQ(nodes[39999].nStart, 39999);
  EXPECT_EQ(nodes.back().nStart, 40000);
}

TEST_F(PipelineTest, SegmentedInputWithSlashSeparator) {
  Segmented s = PreSegment("//a//bc/", true, u'/');
  EXPECT_EQ(s.words, (std::vector<std::string>{"a", "bc", "\x02"}));
  EXPECT_EQ(s.types, (std::vector<int>{kNodeWord, kNodeClassWord, kNodePunctuation}));
  EXPECT_EQ(s.tags[1], "engstring");
  EXPECT_EQ(s.text, "abc\x02");
}

TEST_F(PipelineTest, BracketsClassWordsAndTokenRule) {
  Segmented s = PreSegment("我 在 [ns 北京] 和 [P 甲乙] ， 2007 年 7 [mdw X/Y]", true);
  EXPECT_EQ(s.words, (std::vector<std::string>{"我", "在", "北京", "和", "甲乙", "，", "2007", "年",
                                               "7", "XY", "\x02"}));
  EXPECT_EQ(s.types, (std::vector<int>{1, 1, kNodeClassWord, 1, kNodeWord, kNodePunctuation,
                                       kNodeClassWord, 1, 1, kNodeMdw, kNodePunctuation}));
  EXPECT_EQ(s.tags[2], "ns");
  EXPECT_EQ(s.tags[4], "") << "a P bracket is an ordinary word when tagging";
  EXPECT_EQ(s.tags[6], "number");
  EXPECT_EQ(s.tags[9], "mdw");
  EXPECT_EQ(nodes_[2].nStart, 2);
  EXPECT_EQ(nodes_[2].nLength, 2);
}

TEST_F(PipelineTest, TwoSpacesInsideBracketMakeNoBracket) {
  Segmented s = PreSegment("[a b c] 甲", true);
  EXPECT_EQ(s.words, (std::vector<std::string>{"[a", "b", "c]", "甲", "\x02"}));
}

TEST_F(PipelineTest, EmptyBracketYieldsNoNode) {
  Segmented s = PreSegment("[ns ] [ns ]", true);
  EXPECT_TRUE(s.words.empty());
  EXPECT_EQ(s.text, "");
  s = PreSegment("甲 [ns ] 乙", true);
  EXPECT_EQ(s.words, (std::vector<std::string>{"甲", "乙", "\x02"}));
}

TEST_F(PipelineTest, RawModeGroupsRunsAndTypesChineseNumerals) {
  // No dictionary: every unit is its own token, runs of one class join.
  Segmented s = PreSegment("三千 人 2007年ab", false);
  EXPECT_EQ(s.words, (std::vector<std::string>{"三千", "人", "2007", "年", "ab", "\x02"}));
  EXPECT_EQ(s.types, (std::vector<int>{kNodeClassWord, 1, kNodeClassWord, 1, kNodeClassWord,
                                       kNodePunctuation}));
  EXPECT_EQ(s.tags[0], "number");
  s = PreSegment("三", false);
  EXPECT_EQ(s.types[0], kNodeWord) << "a single numeral is an ordinary word";
}

TEST_F(PipelineTest, ProcessedTextUsesPlaceholdersAndFixedLabels) {
  PreSegment("张三 在 [ns 北京] ， [mdw 某某] 2007", true);
  engine_.BuildProcessedText(clause_);
  EXPECT_EQ(Utf8(clause_.text), "张三在\x11，\x12\x11\x02");
  ASSERT_EQ(clause_.words.size(), nodes_.size());
  // ns, comma, mdw, number, sentinel
  std::vector<int32_t> marked;
  for (size_t p = 0; p < clause_.positions.size(); ++p) {
    if (clause_.positions[p] != nullptr) marked.push_back(static_cast<int32_t>(p));
  }
  EXPECT_EQ(marked, (std::vector<int32_t>{3, 4, 5, 6, 7}));
  EXPECT_EQ(clause_.positions[3]->nType, kNodeClassWord);

  engine_.InitLabels(clause_);
  EXPECT_EQ(clause_.labels, (std::vector<int32_t>{1, 1, 1, 19, 18, 20, 19, 52}));
  // 三 is a Chinese numeral.
  EXPECT_EQ(clause_.classes, (std::vector<int32_t>{1, 5, 1, 6, 4, 7, 6, 11}));

  // With the training switch ordinary words get word labels.
  clause_.training = true;
  engine_.InitLabels(clause_);
  EXPECT_EQ(clause_.labels, (std::vector<int32_t>{5, 7, 1, 19, 18, 20, 19, 52}));
}

TEST_F(PipelineTest, TrainingBracketsKeepTheirTypeAndNestedParts) {
  const std::string sentence = "[P 甲乙] 说 [O 北京\x05L\x06大学\x05n\x06] [O 某] [L 丙]";
  PreSegment(sentence, true, u' ', true);
  ASSERT_EQ(nodes_.size(), 6u);
  EXPECT_EQ(nodes_[0].nType, kNodePerson);
  EXPECT_EQ(Utf8(nodes_[2].strWord), "北京大学");
  EXPECT_EQ(nodes_[2].nType, kNodeOrganization);
  ASSERT_EQ(clause_.org_parts.count(2), 1u);
  EXPECT_EQ(clause_.org_parts[2].size(), 2u);

  engine_.BuildProcessedText(clause_);
  EXPECT_EQ(Utf8(clause_.text), "甲乙说北京大学某丙\x02");
  // Entities are replaced by their sub-words (single units: no dictionary).
  EXPECT_EQ(clause_.words.size(), 2u + 1 + 4 + 1 + 1 + 1);
  engine_.InitLabels(clause_);
  // 甲乙 person; 说; 北京 location part then 大学 other part closing the
  // organization; 某 a one-unit organization; 丙 a one-unit location.
  EXPECT_EQ(clause_.labels, (std::vector<int32_t>{2, 4, 1, 8, 10, 12, 13, 13, 8, 52}));
}

TEST_F(PipelineTest, EmptyNestedPartIsSkipped) {
  PreSegment("[O \x05L\x06甲\x05P\x06乙丙\x05n\x06]", true, u' ', true);
  engine_.BuildProcessedText(clause_);
  engine_.InitLabels(clause_);
  // The empty location part labels nothing; the person part starts the text.
  EXPECT_EQ(clause_.labels, (std::vector<int32_t>{4, 12, 13, 52}));
}

}  // namespace
}  // namespace verrin
