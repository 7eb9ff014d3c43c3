#include "engine/assembler.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "engine/engine_test_util.h"
#include "test_util.h"

namespace verrin {
namespace {

using testing::Gbk;
using testing::PathOf;
using testing::U;
using testing::Utf8;

struct Assembled {
  std::string rendered;
  std::vector<NEWordNode> nodes;
  std::string errors;
};

Assembled Assemble(const std::string& text, const std::vector<int32_t>& labels,
                   const std::map<int32_t, const NEWordNode*>& positions = {}) {
  Assembled out;
  std::vector<const NEWordNode*> at;
  for (const auto& [position, node] : positions) {
    if (at.size() <= static_cast<size_t>(position)) at.resize(static_cast<size_t>(position) + 1);
    at[static_cast<size_t>(position)] = node;
  }
  testing::CaptureDiagnostics();
  const CUString rendered = AssembleClause(U(text), PathOf(labels), at, out.nodes);
  out.errors = testing::GetCapturedDiagnostics();
  out.rendered = Utf8(rendered);
  return out;
}

NEWordNode PreSegmented(int32_t type, const std::string& word, const std::string& tag,
                        int32_t start) {
  NEWordNode node;
  node.nType = type;
  node.strWord = U(word);
  node.strTag = U(tag);
  node.nStart = start;
  node.nLength = node.strWord.Length();
  node.nTextLen = 1;
  return node;
}

std::vector<std::string> Words(const std::vector<NEWordNode>& nodes) {
  std::vector<std::string> words;
  for (const NEWordNode& node : nodes) words.push_back(Utf8(node.strWord));
  return words;
}

std::vector<int32_t> Types(const std::vector<NEWordNode>& nodes) {
  std::vector<int32_t> types;
  for (const NEWordNode& node : nodes) types.push_back(node.nType);
  return types;
}

TEST(AssemblerTest, PersonThenSingleWord) {
  Assembled a = Assemble("张三丰来", {2, 3, 4, 1});
  EXPECT_EQ(a.rendered, "[P 张三丰] 来");
  EXPECT_EQ(Words(a.nodes), (std::vector<std::string>{"张三丰", "来"}));
  EXPECT_EQ(Types(a.nodes), (std::vector<int32_t>{2, 1}));
  EXPECT_EQ(a.nodes[1].nStart, 3);
  EXPECT_EQ(a.nodes[1].nLength, 1);
  EXPECT_EQ(a.errors, "");
}

TEST(AssemblerTest, WordTypesFollowTheLastLabel) {
  // 甲 (2) person; 乙丙 (5 7) word; 丁 (8) location; 戊己 (11 13) organization.
  Assembled a = Assemble("甲乙丙丁戊己", {2, 5, 7, 8, 11, 13});
  EXPECT_EQ(Types(a.nodes), (std::vector<int32_t>{2, 1, 4, 3}));
  // The organization absorbs the location before it (and the person is cut
  // off by the ordinary word in between).
  EXPECT_EQ(a.rendered, "[P 甲] 乙丙 [O 丁戊己]");
}

TEST(AssemblerTest, WordEndingInAnInnerLabelIsOrdinaryAndReported) {
  Assembled a = Assemble("甲乙", {2, 3});
  EXPECT_EQ(Types(a.nodes), (std::vector<int32_t>{1}));
  EXPECT_EQ(a.errors, Gbk("error label when get word type, lableID=3, index=0, word=甲乙\n"));
}

TEST(AssemblerTest, PercentInAReportedWordIsPrintedLiterally) {
  Assembled a = Assemble("%d%s", {2, 3, 3, 3});
  EXPECT_EQ(a.errors, "error label when get word type, lableID=3, index=0, word=%d%s\n");
  EXPECT_EQ(a.rendered, "%d%s");
}

TEST(AssemblerTest, InvalidTransitionIsReportedAndTheUnitLeftOut) {
  // The rejected label still becomes the previous one, so the word before
  // it is flushed with label 3 and reported as well.
  Assembled a = Assemble("ab", {1, 3});
  EXPECT_EQ(a.errors,
            "error state, prev[a]=0, curr[b]=1\n"
            "error label when get word type, lableID=3, index=0, word=a\n");
  EXPECT_EQ(Words(a.nodes), (std::vector<std::string>{"a"}));
  EXPECT_EQ(a.rendered, "a");
}

TEST(AssemblerTest, LocationBeforeUniversityRendersAsOneOrganization) {
  Assembled a = Assemble("北京大学", {8, 10, 5, 7});
  EXPECT_EQ(a.rendered, "[O 北京大学]");
  // The node list keeps the words as decoded.
  EXPECT_EQ(Words(a.nodes), (std::vector<std::string>{"北京", "大学"}));
  EXPECT_EQ(Types(a.nodes), (std::vector<int32_t>{4, 1}));
}

TEST(AssemblerTest, SchoolWordsMergeButOtherWordsDoNot) {
  EXPECT_EQ(Assemble("甲小学", {2, 5, 7}).rendered, "[O 甲小学]");
  EXPECT_EQ(Assemble("甲中学", {8, 5, 7}).rendered, "[O 甲中学]");
  EXPECT_EQ(Assemble("甲中心", {8, 5, 7}).rendered, "[L 甲] 中心");
}

TEST(AssemblerTest, NoEntityMeansNoMerging) {
  EXPECT_EQ(Assemble("我在大学", {1, 1, 5, 7}).rendered, "我 在 大学");
}

TEST(AssemblerTest, ClassWordComesBackWholeAndIsAbsorbedBetweenEntities) {
  // Processed: 张 三 <U+0011> 银 行; the placeholder stands for "2007".
  NEWordNode number = PreSegmented(kNodeClassWord, "2007", "number", 2);
  std::map<int32_t, const NEWordNode*> positions = {{2, &number}};
  Assembled a = Assemble("张三\x11银行", {2, 4, 19, 11, 13}, positions);
  EXPECT_EQ(Words(a.nodes), (std::vector<std::string>{"张三", "2007", "银行"}));
  EXPECT_EQ(Types(a.nodes), (std::vector<int32_t>{2, 6, 3}));
  EXPECT_EQ(Utf8(a.nodes[1].strTag), "number");
  EXPECT_EQ(a.nodes[2].nStart, 6);
  EXPECT_EQ(a.rendered, "[O 张三2007银行]");
}

TEST(AssemblerTest, ClassWordBeforeAnOrganizationWithoutEntityStaysApart) {
  NEWordNode number = PreSegmented(kNodeClassWord, "2007", "number", 0);
  std::map<int32_t, const NEWordNode*> positions = {{0, &number}};
  Assembled a = Assemble("\x11银行", {19, 11, 13}, positions);
  EXPECT_EQ(a.rendered, "[number 2007] [O 银行]");
}

TEST(AssemblerTest, RenderingOfEveryNodeKind) {
  NEWordNode mdw = PreSegmented(kNodeMdw, "某词", "mdw", 0);
  NEWordNode comma = PreSegmented(kNodePunctuation, "，", "", 3);
  std::map<int32_t, const NEWordNode*> positions = {{0, &mdw}, {2, &comma}};
  // <U+0012> 甲 ， 乙 丙
  Assembled a = Assemble("\x12甲，乙丙", {20, 1, 18, 8, 10}, positions);
  EXPECT_EQ(a.rendered, "[mdw 某词] 甲 ， [L 乙丙]");
  EXPECT_EQ(Types(a.nodes), (std::vector<int32_t>{5, 1, 9, 4}));
}

TEST(AssemblerTest, MergesChainThroughEarlierOrganizations) {
  // Person, organization, organization: the second merge starts where the
  // first one did.
  Assembled a = Assemble("甲乙丙丁戊", {2, 11, 13, 11, 13});
  EXPECT_EQ(a.rendered, "[O 甲乙丙丁戊]");
  // An ordinary word between them stops the second search.
  Assembled b = Assemble("甲乙丙己丁戊", {2, 11, 13, 1, 11, 13});
  EXPECT_EQ(b.rendered, "[O 甲乙丙] 己 [O 丁戊]");
}

TEST(AssemblerTest, EntityStartSearch) {
  // Word starts: 0 person, 2 class word, 3 location, 5 word, 6 organization.
  std::vector<int32_t> types = {2, 0, 6, 4, 0, 1, 3, 0, 1};
  EXPECT_EQ(FindEntityStart(types, 5, 0, true), 0);
  EXPECT_EQ(FindEntityStart(types, 6, 0, true), -1);
  EXPECT_EQ(FindEntityStart(types, 6, 1, true), 0);
  EXPECT_EQ(FindEntityStart(types, 5, 0, false), 3);
}

// Regression: long words, merged organizations beyond 99 units and clauses
// beyond 1,024 rendered units come out whole, not cut at a fixed buffer's size.
TEST(AssemblerTest, LongWordsAreNotCut) {
  std::string word;
  std::vector<int32_t> labels;
  for (int i = 0; i < 150; ++i) {
    word += "甲";
    labels.push_back(i == 0 ? 11 : (i == 149 ? 13 : 12));
  }
  Assembled a = Assemble(word, labels);
  EXPECT_EQ(a.rendered, "[O " + word + "]");

  std::string person;
  std::vector<int32_t> merged_labels;
  for (int i = 0; i < 80; ++i) {
    person += "乙";
    merged_labels.push_back(i == 0 ? 2 : (i == 79 ? 4 : 3));
  }
  merged_labels.insert(merged_labels.end(), labels.begin(), labels.end());
  Assembled b = Assemble(person + word, merged_labels);
  EXPECT_EQ(b.rendered, "[O " + person + word + "]");
}

TEST(AssemblerTest, LongClauseIsNotCut) {
  std::string text;
  std::string expected;
  std::vector<int32_t> labels;
  for (int i = 0; i < 9000; ++i) {
    text += "丙";
    expected += i == 0 ? "丙" : " 丙";
    labels.push_back(1);
  }
  Assembled a = Assemble(text, labels);
  EXPECT_EQ(a.nodes.size(), 9000u);
  EXPECT_EQ(a.nodes.back().nStart, 8999);
  EXPECT_EQ(a.rendered, expected);
}

}  // namespace
}  // namespace verrin
