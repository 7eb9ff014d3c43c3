// BIO tags from tagging records, and gold sentences tagged and aligned.
#include "eval/record_bio.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_util.h"

namespace verrin {
namespace {

using testing::U;

struct Record {
  std::u16string word;
  uint8_t type;
  const char16_t* tag;  // null for plain words
};

// Records as the tagger hands them out, with cLength as the record's length.
std::vector<std::string> TagsOf(const std::vector<Record>& input) {
  std::vector<tag_WordInfoW> records(input.size());
  for (size_t i = 0; i < input.size(); ++i) {
    records[i].SetWord(input[i].word.c_str(), static_cast<int32_t>(input[i].word.size()));
    if (input[i].tag != nullptr) records[i].SetTag(input[i].tag, 1);
    records[i].cLength = static_cast<uint8_t>(input[i].word.size());
    records[i].cWordType = input[i].type;
  }
  return UnitTags(records.data(), static_cast<int>(records.size()));
}

TEST(UnitTagsTest, OneTagPerUnitAndWordsOver255UnitsStayOneEntity) {
  EXPECT_EQ(TagsOf({{u"张三", 3, u"P"}, {u"在", 0, nullptr}, {u"北京", 3, u"L"}}),
            (std::vector<std::string>{"B-PER", "I-PER", "O", "B-LOC", "I-LOC"}));
  // Class words and mdw words are no entities.
  EXPECT_EQ(TagsOf({{u"2007", 2, u"n"}, {u"大学", 1, u"m"}}), std::vector<std::string>(6, "O"));
  // Two persons side by side stay two.
  EXPECT_EQ(TagsOf({{u"张三", 3, u"P"}, {u"李四", 3, u"P"}}),
            (std::vector<std::string>{"B-PER", "I-PER", "B-PER", "I-PER"}));

  // A 300-unit organization comes back as records of 255 and 45 units.
  const std::u16string head(255, u'国'), tail(45, u'院');
  std::vector<std::string> expected(300, "I-ORG");
  expected[0] = "B-ORG";
  EXPECT_EQ(TagsOf({{head, 3, u"O"}, {tail, 3, u"O"}}), expected);
  // A full 255-unit record followed by an entity of another class: two entities.
  std::vector<std::string> two(256, "I-ORG");
  two[0] = "B-ORG";
  two[255] = "B-LOC";
  EXPECT_EQ(TagsOf({{head, 3, u"O"}, {u"京", 3, u"L"}}), two);
}

TEST(TagBioSentencesTest, PredictedTagsLineUpWithTheGoldCharacters) {
  CNEResourceManager manager;
  ASSERT_TRUE(manager.LoadResource(
      (std::string(VERRIN_TEST_DATA_DIR) + "/tagger").c_str(),
      (std::string(VERRIN_TEST_DATA_DIR) + "/tagger/model.txt").c_str(), false));
  CKyVerrin tagger(&manager);
  // Raw-text tagging drops the space; it must still get its own tag, and the
  // characters after it theirs.
  BioSentence gold;
  gold.chars = {"张", "三", " ", "在", "北", "京"};
  gold.tags = {"B-PER", "I-PER", "O", "O", "B-ORG", "I-ORG"};
  gold.first_line = 7;
  const std::vector<BioSentence> predicted = TagBioSentences(tagger, {gold, gold}, nullptr);
  ASSERT_EQ(predicted.size(), 2u);
  for (const BioSentence& p : predicted) {
    EXPECT_EQ(p.chars, gold.chars);
    EXPECT_EQ(p.first_line, 7);
    EXPECT_EQ(p.tags, (std::vector<std::string>{"B-PER", "I-PER", "O", "O", "B-LOC", "I-LOC"}));
  }
}

}  // namespace
}  // namespace verrin
