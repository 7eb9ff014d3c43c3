#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corpus/corpus_converter.h"
#include "corpus/corpus_test_util.h"
#include "test_util.h"
#include "text/code_page.h"

namespace verrin {
namespace {

using testing::Conversion;
using testing::Convert;

TEST(MsraConverter, TagsBecomeBracketsAndOutputIsGbk) {
  const std::string input =
      "\xEF\xBB\xBF我们/o 是/o 受到/o 郑振铎/nr 先生/o 、/o 阿英/nr 在/o 北京/ns 古研所/nt 。/o \n"
      "１９４５年６月/o 的/o 《/o 报告/o 》/o\n";
  const Conversion run = Convert(CorpusFormat::kMsra, input);
  EXPECT_EQ(run.output,
            "我们 是 受到 [P 郑振铎] 先生 、 [P 阿英] 在 [L 北京] [O 古研所] 。\n"
            "１９４５年６月 的 《 报告 》\n");
  EXPECT_EQ(run.stats.persons, 2);
  EXPECT_EQ(run.stats.locations, 1);
  EXPECT_EQ(run.stats.organizations, 1);
}

TEST(MsraConverter, CharactersOutsideGbkBecomeTheStandIn) {
  // Hangul has no GBK code: each unit is written as 〓 and the line is kept.
  const Conversion run = Convert(CorpusFormat::kMsra, "北京/ns\n서울/ns 한/o\n上海/ns\n");
  EXPECT_EQ(run.output, "[L 北京]\n[L 〓〓] 〓\n[L 上海]\n");
  EXPECT_TRUE(run.reports.empty());
  EXPECT_EQ(run.stats.units_outside_gbk, 3);
  EXPECT_EQ(run.stats.locations, 3);
}

TEST(MsraConverter, EntitiesThatCannotBeBracketed) {
  // "/" would vanish inside a bracket: plain word, reported, line kept.
  Conversion run = Convert(CorpusFormat::kMsra, "AC/DC/nt 乐队/o\n");
  EXPECT_EQ(run.output, "AC/DC 乐队\n");
  ASSERT_EQ(run.reports.size(), 1u);
  EXPECT_EQ(run.reports[0].first, 1);
  EXPECT_NE(run.reports[0].second.find("'/'"), std::string::npos);
  EXPECT_EQ(run.stats.entities_unbracketed, 1);
  EXPECT_EQ(run.stats.organizations, 0);

  // A clause delimiter inside an entity would cut it into two clauses; as a
  // plain word it would still be cut, so the line is left out.
  run = Convert(CorpusFormat::kMsra, "甲，乙/nt 说/o\n北京/ns\n");
  EXPECT_EQ(run.output, "[L 北京]\n");
  ASSERT_EQ(run.reports.size(), 2u);
  EXPECT_NE(run.reports[0].second.find("plain words"), std::string::npos);
  EXPECT_NE(run.reports[1].second.find("would not read back"), std::string::npos);
  EXPECT_EQ(run.stats.lines_skipped, 1);
  EXPECT_EQ(run.stats.entities_unbracketed, 0);  // counted only on written lines

  // Plain words that would form a bracket together are caught by reading
  // back; with the "[" written as "【" they stand as they are, reported.
  run = Convert(CorpusFormat::kMsra, "x[P/o 甲]/o\n");
  EXPECT_EQ(run.output, "x【P 甲]\n");
  ASSERT_EQ(run.reports.size(), 1u);
  EXPECT_NE(run.reports[0].second.find("plain '[' written as '【'"), std::string::npos);
  EXPECT_NE(run.reports[0].second.find("'x[P' would be read as 'x'"), std::string::npos);
  EXPECT_EQ(run.stats.lines_brackets_replaced, 1);
}

TEST(MsraConverter, MalformedTokensAndUnknownTags) {
  const Conversion run = Convert(CorpusFormat::kMsra, "北京/ns 说\n北京/nz\n/o 说/o\n上海/ns\n");
  EXPECT_EQ(run.output, "[L 上海]\n");
  ASSERT_EQ(run.reports.size(), 3u);
  EXPECT_EQ(run.reports[0].first, 1);
  EXPECT_EQ(run.reports[1].first, 2);
  EXPECT_EQ(run.reports[2].first, 3);
  EXPECT_EQ(run.stats.skip_reasons.at("malformed token"), 2);
  EXPECT_EQ(run.stats.skip_reasons.at("unknown tag"), 1);
}

}  // namespace
}  // namespace verrin
