// The Weibo NER reader, on the committed sample: named mentions, a nominal
// one, a lone I- tag, an emoji, '•' inside a name and a lost character
// (U+FFFD).
#include <gtest/gtest.h>

#include <string>

#include "corpus/corpus_converter.h"
#include "corpus/corpus_test_util.h"
#include "test_util.h"

namespace verrin {
namespace {

using testing::Conversion;
using testing::ConvertWith;
using testing::ReaderOptions;

const std::string& Sample() {
  static const std::string bytes =
      testing::ReadFile(testing::TestData("corpus/weibo_sample.conll"));
  return bytes;
}

ConverterOptions WeiboOptions(CorpusOutput output) {
  return ReaderOptions(CorpusFormat::kWeibo, output);
}

TEST(WeiboReader, NamedMentionsBecomeEntitiesAndNothingIsLost) {
  const Conversion run = ConvertWith(WeiboOptions(CorpusOutput::kCorpus), Sample());
  // PER.NOM and LOC.NOM are not names; GPE.NAM and LOC.NAM are locations;
  // the emoji (two units), '•' and U+FFFD are written as the stand-in.
  EXPECT_EQ(run.output,
            "[P 杰克〓逊] 在 [O 腾讯] 〓 〓\n"
            "穷 人 去 [L 北京] [L 西湖] 宾 馆\n"
            "我 叫 [P 小明] 〓 e\n");
  EXPECT_EQ(run.stats.lines_written, 3);
  EXPECT_EQ(run.stats.lines_skipped, 0);
  EXPECT_EQ(run.stats.units_outside_gbk, 4);
  EXPECT_EQ(run.stats.persons, 2);
  EXPECT_EQ(run.stats.locations, 2);
  EXPECT_EQ(run.stats.organizations, 1);
  // 小0 I-PER.NAM after O starts the name, with a report naming its line.
  ASSERT_EQ(run.reports.size(), 1u);
  EXPECT_EQ(run.reports[0].first, 22);
  EXPECT_EQ(run.reports[0].second, "tag I-PER.NAM continues no entity; read as B-PER.NAM");
  EXPECT_EQ(run.stats.lone_inside, 1);
}

TEST(WeiboReader, GoldBioKeepsTheCharactersAndMapsTheClasses) {
  const Conversion run = ConvertWith(WeiboOptions(CorpusOutput::kBio), Sample());
  EXPECT_EQ(run.output,
            "杰 B-PER\n克 I-PER\n• I-PER\n逊 I-PER\n在 O\n腾 B-ORG\n讯 I-ORG\n😀 O\n\n"
            "穷 O\n人 O\n去 O\n北 B-LOC\n京 I-LOC\n西 B-LOC\n湖 I-LOC\n宾 O\n馆 O\n\n"
            "我 O\n叫 O\n小 B-PER\n明 I-PER\n\xEF\xBF\xBD O\ne O\n\n");
  EXPECT_EQ(run.stats.lines_written, 3);
  EXPECT_EQ(run.stats.locations, 2);
}

TEST(WeiboReader, BadLinesSkipTheirMessageWithTheLineNamed) {
  const Conversion run =
      ConvertWith(WeiboOptions(CorpusOutput::kCorpus),
                  "北\tO\n\n"                           // no position digit: line 1
                  "北0\tE-GPE.NAM\n\n"                  // not a BIO tag: line 3
                  "北0\tB-GPE.NAM\n京1\tI-LOC.NAM\n\n"  // another type: kept apart
                  "上0\tB-GPE.NAM\n海1\tI-GPE.NAM\n");
  EXPECT_EQ(run.output, "[L 北] [L 京]\n[L 上海]\n");
  ASSERT_EQ(run.reports.size(), 3u);
  EXPECT_EQ(run.reports[0].first, 1);
  EXPECT_NE(run.reports[0].second.find("position digit"), std::string::npos);
  EXPECT_EQ(run.reports[1].first, 3);
  EXPECT_NE(run.reports[1].second.find("unknown tag"), std::string::npos);
  EXPECT_EQ(run.reports[2].first, 6);  // I-LOC.NAM after GPE starts a name of its own
  EXPECT_EQ(run.stats.lines_skipped, 2);
}

TEST(WeiboReader, AMapReplacesTheFormatsOwn) {
  BioLabelMap map;
  std::string error;
  ASSERT_TRUE(ParseBioMap("PER.NOM=P, GPE.NAM=LOC", &map, &error)) << error;
  ConverterOptions options = WeiboOptions(CorpusOutput::kBio);
  options.label_map = &map;
  const Conversion run = ConvertWith(options,
                                     "穷0\tB-PER.NOM\n人1\tI-PER.NOM\n北0\tB-GPE.NAM\n"
                                     "杰0\tB-PER.NAM\n");
  EXPECT_EQ(run.output, "穷 B-PER\n人 I-PER\n北 B-LOC\n杰 O\n\n");

  EXPECT_FALSE(ParseBioMap("PER.NAM=X", &map, &error));
  EXPECT_NE(error.find("P, L or O"), std::string::npos);
  EXPECT_FALSE(ParseBioMap("PER.NAM=P,PER.NAM=L", &map, &error));
  EXPECT_NE(error.find("twice"), std::string::npos);
  EXPECT_FALSE(ParseBioMap("PER.NAM", &map, &error));
  EXPECT_FALSE(ParseBioMap(" , ", &map, &error));
}

}  // namespace
}  // namespace verrin
