#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corpus/corpus_converter.h"
#include "corpus/corpus_test_util.h"
#include "corpus/lexicon_rules.h"
#include "resource/lexicon.h"
#include "test_util.h"
#include "text/code_page.h"

namespace verrin {
namespace {

using testing::Conversion;
using testing::Convert;
using testing::Gbk;
using testing::SetCutter;

TEST(BioConverter, EntitiesAndDictionaryCut) {
  const std::string input =
      "我 O\n们 O\n在 O\n北 B-LOC\n京 I-LOC\n大 B-ORG\n学 I-ORG\n见 O\n到 O\n江 B-PER\n泽 I-PER\n"
      "民 I-PER\n\n"
      "港 B-LOC\n台 B-LOC\n两 O\n地 O\n\n\n"
      "上 B-LOC\n海 I-LOC\r\n";  // last sentence without a blank line after it
  const Conversion run = Convert(CorpusFormat::kBio, input, SetCutter({u"我们", u"见到", u"两地"}));
  EXPECT_EQ(run.output,
            "我们 在 [L 北京] [O 大学] 见到 [P 江泽民]\n"
            "[L 港] [L 台] 两地\n"
            "[L 上海]\n");
  EXPECT_TRUE(run.reports.empty());
  EXPECT_EQ(run.stats.lines_written, 3);
  EXPECT_EQ(run.stats.persons, 1);
  EXPECT_EQ(run.stats.locations, 4);
  EXPECT_EQ(run.stats.organizations, 1);
}

TEST(BioConverter, BadSentencesAreSkippedWhole) {
  const std::string input =
      "在 O\n京 I-LOC\n说 O\n\n"  // I- after O: line 2
      "港 B-LOC\n岛 I-ORG\n\n"    // I- of another class: line 6
      "甲 B-MISC\n\n"             // unknown class: line 8
      "乙\n\n"                    // no tag: line 10
      "北 B-LOC\n京 I-LOC\n\n";
  const Conversion run = Convert(CorpusFormat::kBio, input, SetCutter({}));
  EXPECT_EQ(run.output, "[L 北京]\n");
  ASSERT_EQ(run.reports.size(), 4u);
  EXPECT_EQ(run.reports[0].first, 2);
  EXPECT_EQ(run.reports[1].first, 6);
  EXPECT_EQ(run.reports[2].first, 8);
  EXPECT_EQ(run.reports[3].first, 10);
  EXPECT_EQ(run.stats.lines_skipped, 4);
  EXPECT_EQ(run.stats.skip_reasons.at("I- without B-"), 2);
}

TEST(BioConverter, UnbracketedEntityIsCutIntoWords) {
  // The comma would cut the bracket; as plain text the entity is cut by the
  // dictionary, so the comma stands alone and the line reads back.
  const Conversion run =
      Convert(CorpusFormat::kBio, "在 O\n北 B-LOC\n纬 I-LOC\n， I-LOC\n东 I-LOC\n经 I-LOC\n\n",
              SetCutter({u"北纬", u"东经"}));
  EXPECT_EQ(run.output, "在 北纬 ， 东经\n");
  ASSERT_EQ(run.reports.size(), 1u);
  EXPECT_EQ(run.reports[0].first, 1);
  EXPECT_NE(run.reports[0].second.find("'，'"), std::string::npos);
  EXPECT_EQ(run.stats.entities_unbracketed, 1);
  EXPECT_EQ(run.stats.locations, 0);
}

TEST(BioConverter, CutsByALoadedDictionary) {
  // Forward longest match over dict.txt: 研究生 wins over 研究 at 研究生命
  // (the dictionary's known fault, kept); digit runs stay whole, spaces go.
  const std::string dir = testing::MakeTempDir("converter_dict");
  testing::WriteFile(dir + "/dict.txt", Gbk("研究\n研究生\n生命\n起源\n"));
  CNELexicon dict;
  ASSERT_TRUE(dict.LoadLexicon(dir + "/dict.txt", false));
  const Conversion run = Convert(
      CorpusFormat::kBio,
      "研 O\n究 O\n生 O\n命 O\n起 O\n源 O\n  O\n1 O\n9 O\n9 O\n8 O\n年 O\n中 B-LOC\n国 I-LOC\n",
      DictionaryWordCutter(dict));
  EXPECT_EQ(run.output, "研究生 命 起源 1998 年 [L 中国]\n");
  EXPECT_TRUE(run.reports.empty());
}

TEST(BioConverter, NeedsACutter) {
  ConverterOptions options;
  options.format = CorpusFormat::kBio;
  std::string out, error;
  ConversionStats stats;
  EXPECT_FALSE(ConvertCorpusText("甲 O\n", &out, options, &stats, &error));
  EXPECT_NE(error.find("dictionary"), std::string::npos);
}

}  // namespace
}  // namespace verrin
