// The CLUENER2020 reader, on the committed sample: offsets in code points
// (an emoji before a name), names inside a book title, adjacent names, types
// that are not names, a line without labels.
#include "corpus/cluener_reader.h"

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
using testing::SetCutter;

const std::string& Sample() {
  static const std::string bytes =
      testing::ReadFile(testing::TestData("corpus/cluener_sample.json"));
  return bytes;
}

ConverterOptions CluenerOptions(CorpusOutput output) {
  return ReaderOptions(CorpusFormat::kCluener, output, SetCutter({u"博士", u"认为", u"总部"}));
}

TEST(CluenerReader, SpansBecomeEntitiesByTheMap) {
  if (!CluenerSupported()) GTEST_SKIP() << "built without nlohmann-json";
  const Conversion run = ConvertWith(CluenerOptions(CorpusOutput::kCorpus), Sample());
  EXPECT_EQ(run.output,
            "[O 浙商银行] 企 业 信 贷 部 [P 叶老桂] 博士 则 从 另 一 个 角 度 对 五 道 门 槛 进 行 "
            "了 解 读 。 [P 叶老桂] 认为 ，\n"
            "《 [O 招商银行] ： 投 资 [O 永隆银行] 浮 亏 》 [L 北京] [L 上海]\n"
            "故 宫 旁 的 〓 〓 [O 腾讯] 总部\n"
            "没 有 实 体 的 一 句\n");
  EXPECT_TRUE(run.reports.empty());
  EXPECT_EQ(run.stats.lines_written, 4);
  EXPECT_EQ(run.stats.persons, 2);
  EXPECT_EQ(run.stats.locations, 2);
  EXPECT_EQ(run.stats.organizations, 4);
  EXPECT_EQ(run.stats.units_outside_gbk, 2);
}

TEST(CluenerReader, GoldBioCountsOffsetsInCodePoints) {
  if (!CluenerSupported()) GTEST_SKIP() << "built without nlohmann-json";
  const Conversion run = ConvertWith(CluenerOptions(CorpusOutput::kBio),
                                     "{\"text\": \"的😀腾讯北京上海\", \"label\": {\"company\": "
                                     "{\"腾讯\": [[2, 3]]}, \"address\": {\"北京\": [[4, 5]], "
                                     "\"上海\": [[6, 7]]}}}\n");
  EXPECT_EQ(run.output,
            "的 O\n😀 O\n腾 B-ORG\n讯 I-ORG\n北 B-LOC\n京 I-LOC\n上 B-LOC\n海 I-LOC\n\n");
}

TEST(CluenerReader, BadLinesAreReportedWithTheirNumberAndSkipped) {
  if (!CluenerSupported()) GTEST_SKIP() << "built without nlohmann-json";
  const Conversion run =
      ConvertWith(CluenerOptions(CorpusOutput::kCorpus),
                  "{\"text\": \"北京\"\n"                                                   // 1
                  "{\"label\": {}}\n"                                                       // 2
                  "{\"text\": \"北京\", \"label\": {\"address\": {\"北京\": [[0, 2]]}}}\n"  // 3
                  "{\"text\": \"北京\", \"label\": {\"address\": {\"上海\": [[0, 1]]}}}\n"  // 4
                  "{\"text\": \"北京大学\", \"label\": {\"address\": {\"北京\": [[0, 1]]}, "
                  "\"organization\": {\"北京大学\": [[0, 3]]}}}\n"                        // 5
                  "{\"text\": \"北京\", \"label\": {\"address\": {\"北京\": [0, 1]}}}\n"  // 6
                  "\n"
                  "{\"text\": \"上海\", \"label\": {\"address\": {\"上海\": [[0, 1]]}}}\n");  // 8
  EXPECT_EQ(run.output, "[L 上海]\n");
  ASSERT_EQ(run.reports.size(), 6u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(run.reports[static_cast<size_t>(i)].first, i + 1);
  EXPECT_NE(run.reports[0].second.find("not valid JSON"), std::string::npos);
  EXPECT_NE(run.reports[1].second.find("\"text\""), std::string::npos);
  EXPECT_NE(run.reports[2].second.find("outside the text"), std::string::npos);
  EXPECT_NE(run.reports[3].second.find("does not match the text there, '北京'"), std::string::npos);
  EXPECT_NE(run.reports[4].second.find("overlap"), std::string::npos);
  EXPECT_NE(run.reports[5].second.find("[start, end]"), std::string::npos);
  EXPECT_EQ(run.stats.lines_skipped, 6);
  EXPECT_EQ(run.stats.lines_empty, 1);
}

}  // namespace
}  // namespace verrin
