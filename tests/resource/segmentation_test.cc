// Dictionary segmentation, raw-text grouping, class matches and class marks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resource/lexicon.h"
#include "resource/pe_info.h"
#include "test_util.h"

namespace verrin {
namespace {

using testing::Gbk;
using testing::MakeTempDir;
using testing::U;
using testing::Utf8;
using testing::WriteFile;

void Load(CNELexicon& lexicon, const std::string& name, const std::string& utf8) {
  const std::string path = MakeTempDir("segmentation_" + name) + "/lexicon.txt";
  WriteFile(path, Gbk(utf8));
  ASSERT_TRUE(lexicon.LoadLexicon(path, false));
}

std::string Tokens(const CNELexicon& dict, const std::string& utf8, bool group = true) {
  const CUString text = U(utf8);
  std::string joined;
  for (const CUString& token : dict.SegmentRawText(text.c_str(), text.Length(), group)) {
    if (!joined.empty()) joined += "|";
    joined += Utf8(token);
  }
  return joined;
}

TEST(SegmentationTest, ForwardLongestMatch) {
  CNELexicon dict;
  Load(dict, "flm", "中国\n中国人\n");
  const CUString text = U("中国人民");
  EXPECT_EQ(dict.SegmentByDict(text.c_str(), 4), (std::vector<int32_t>{2, 0}));
  // The length bounds the matches: only 中国 fits in two units.
  EXPECT_EQ(dict.SegmentByDict(text.c_str(), 2), (std::vector<int32_t>{1}));
  EXPECT_EQ(dict.SegmentByDict(text.c_str(), 0), std::vector<int32_t>{});
}

TEST(SegmentationTest, GroupingJoinsRunsAndKeepsSymbolsSingle) {
  CNELexicon empty;
  Load(empty, "group_empty", "");
  EXPECT_EQ(Tokens(empty, "2007年"), "2007|年");
  EXPECT_EQ(Tokens(empty, ",,"), ",|,");
  EXPECT_EQ(Tokens(empty, "abc12"), "abc|12");
  EXPECT_EQ(Tokens(empty, "２００７ＡＢ"), "２００７|ＡＢ");  // full-width digits and letters
  EXPECT_EQ(Tokens(empty, "三百五十个"), "三百五十|个");
  EXPECT_EQ(Tokens(empty, "《书》"), "《|书|》");
  // White space is dropped without ending the run around it.
  EXPECT_EQ(Tokens(empty, " 12 34\t年 "), "1234|年");
  EXPECT_EQ(Tokens(empty, ""), "");
}

TEST(SegmentationTest, DictionaryWordsJoinRunsByTheirFirstUnit) {
  CNELexicon dict;
  Load(dict, "group_dict", "中国\n中国人\n人民\n3D\n打印\n万元\n--\n");
  EXPECT_EQ(Tokens(dict, "中国人民 2007年,, abc12 三百五"), "中国人|民|2007|年|,|,|abc|12|三百五");
  EXPECT_EQ(Tokens(dict, "123D打印"), "123D|打印");
  EXPECT_EQ(Tokens(dict, "三百五十万元"), "三百五十万元");
  // A run of symbols comes out unit by unit, dictionary word or not.
  EXPECT_EQ(Tokens(dict, "a--b"), "a|-|-|b");
}

TEST(SegmentationTest, LongRunIsNotCut) {
  CNELexicon empty;
  Load(empty, "long_run", "");
  const std::string digits(3000, '7');
  EXPECT_EQ(Tokens(empty, "年" + digits + "年"), "年|" + digits + "|年");
}

TEST(SegmentationTest, WithoutGroupingEveryTokenStandsAlone) {
  CNELexicon dict;
  Load(dict, "nogroup", "中国\n");
  EXPECT_EQ(Tokens(dict, "中国 2007年", false), "中国|2|0|0|7|年");
}

TEST(SegmentationTest, LongestClassMatchFiltersByMask) {
  CNEValuedLexicon affixes(ReadLexiconValue);
  Load(affixes, "class_match", "先 1\n先生 6\n先生们 1\n");
  const CUString text = U("先生们好");
  // Matches: 先 (1), 先生 (6), 先生们 (1).
  EXPECT_EQ(LongestClassMatch(affixes, text.c_str(), 4, 2), 2);
  EXPECT_EQ(LongestClassMatch(affixes, text.c_str(), 4, 4), 2);
  EXPECT_EQ(LongestClassMatch(affixes, text.c_str(), 4, 1), 3);
  EXPECT_EQ(LongestClassMatch(affixes, text.c_str(), 2, 1), 1);  // 先生们 beyond the maximum
  EXPECT_EQ(LongestClassMatch(affixes, text.c_str(), 4, 8), 0);
}

TEST(SegmentationTest, ClassMarksOfTwoUnitAffix) {
  CNEValuedLexicon items(ReadLexiconValue);
  Load(items, "marks_items", "");
  PeInfoTable pe_info;
  const CUString text = U("甲乙丙先生丁");
  std::vector<int32_t> marks;
  LexiconMatchMap matches;

  CNEValuedLexicon class4(ReadLexiconValue);
  Load(class4, "marks_4", "先生 4\n");
  MarkLexiconClasses(text.c_str(), text.Length(), class4, items, pe_info, marks, matches);
  EXPECT_EQ(marks, (std::vector<int32_t>{0, 0, 0, 4, 0x400, 0}));
  ASSERT_EQ(matches.size(), 1u);
  const LexiconMatch& match = matches.at(3 * 256 + 4);
  EXPECT_EQ(match.start, 3);
  EXPECT_EQ(match.length, 2);
  EXPECT_EQ(match.klass, 4);
  EXPECT_EQ(Utf8(match.text), "先生");

  // Class 8 marks every unit of the match with 8 itself.
  CNEValuedLexicon class8(ReadLexiconValue);
  Load(class8, "marks_8", "先生 8\n");
  MarkLexiconClasses(text.c_str(), text.Length(), class8, items, pe_info, marks, matches);
  EXPECT_EQ(marks, (std::vector<int32_t>{0, 0, 0, 8, 8, 0}));
  EXPECT_EQ(matches.count(3 * 256 + 8), 1u);
  EXPECT_EQ(matches.count(3 * 256 + 4), 0u);  // the map starts empty each time
}

TEST(SegmentationTest, ClassMarksOfSentenceWorkedByHand) {
  // 王先生住北京市: 王0 先1 生2 住3 北4 京5 市6.
  CNEValuedLexicon affixes(ReadLexiconValue), items(ReadLexiconValue);
  Load(affixes, "sentence_affixes", "王 2\n先生 6\n北京 16\n京市 8\n住 0\n");
  Load(items, "sentence_items", "北京市 2\n王先生 1\n");
  PeInfoTable pe_info;
  pe_info.At(u'王').flags = 1;
  pe_info.At(u'住').flags = 2;  // bit 0 clear: no mark
  const CUString text = U("王先生住北京市");
  std::vector<int32_t> marks{99};
  LexiconMatchMap matches;
  MarkLexiconClasses(text.c_str(), text.Length(), affixes, items, pe_info, marks, matches);
  // 0: 王 class 2, PeInfo 0x80                     -> 0x82
  // 1: 先生 classes 4 and 2 start here             -> 0x06
  // 2: follower of 先生 in classes 4 and 2          -> 0x600
  // 3: 住 has value 0, 王先生 is no item of class 2  -> 0
  // 4: item 北京市 (64) and affix 北京 (16)          -> 0x50
  // 5: followers 0x4000 and 0x1000, 京市 class 8     -> 0x5008
  // 6: follower 0x4000, class-8 follower 8          -> 0x4008
  EXPECT_EQ(marks, (std::vector<int32_t>{0x82, 0x06, 0x600, 0, 0x50, 0x5008, 0x4008}));
  std::vector<int32_t> keys;
  for (const auto& [key, match] : matches) keys.push_back(key);
  EXPECT_EQ(keys,
            (std::vector<int32_t>{2, 256 + 2, 256 + 4, 4 * 256 + 16, 4 * 256 + 64, 5 * 256 + 8}));
  EXPECT_EQ(Utf8(matches.at(4 * 256 + 64).text), "北京市");
  EXPECT_EQ(matches.at(4 * 256 + 64).length, 3);
}

}  // namespace
}  // namespace verrin
