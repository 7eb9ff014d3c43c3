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
using testing::Gbk;
using testing::ReadBack;
using testing::Utf8;

TEST(Pd98Converter, EntitiesCompoundsAndLineEnds) {
  const std::string input =
      Gbk("19980101-01-001-002/m  中共中央/nt  总书记/n  、/w  国家/n  主席/n  江/nr  泽民/nr  \r\n"
          "19980101-01-001-006/m  通过/p  [中国/ns  国际/n  广播/vn  电台/n]nt  、/w  "
          "[香港/ns  特别/a  行政区/n]ns  和/c  [诺贝尔/nr  物理奖/n]nz  \r\r\n"
          "\r\n"
          "19980101-01-001-007/m  [中共中央/nt  文献/n  研究室/n  周/nr  恩来/nr  研究组/n]nt\r\n");
  const Conversion run = Convert(CorpusFormat::kPd98, input);
  EXPECT_EQ(run.output,
            "[O 中共中央] 总书记 、 国家 主席 [P 江/泽民]\n"
            "通过 [O 中国\x05L\x06国际\x05n\x06广播\x05n\x06电台\x05n\x06] 、 "
            "[L 香港/特别/行政区] 和 诺贝尔 物理奖\n"
            "[O 中共中央\x05n\x06文献\x05n\x06研究室\x05n\x06周恩来\x05P\x06研究组\x05n\x06]\n");
  EXPECT_TRUE(run.reports.empty());
  EXPECT_EQ(run.stats.lines_read, 4);
  EXPECT_EQ(run.stats.lines_written, 3);
  EXPECT_EQ(run.stats.lines_empty, 1);
  EXPECT_EQ(run.stats.lines_skipped, 0);
  EXPECT_EQ(run.stats.persons, 1);  // the nz compound's nr stays a plain word
  EXPECT_EQ(run.stats.locations, 1);
  EXPECT_EQ(run.stats.organizations, 3);
  // The reader drops "/" and keeps the nested-part marks for the engine.
  EXPECT_EQ(ReadBack("主席 [P 江/泽民] [L 香港/特别/行政区]"),
            (std::vector<std::string>{"主席", "[P 江泽民]", "[L 香港特别行政区]"}));
}

TEST(Pd98Converter, RunsOfNamesSplitAtSurnames) {
  // PKU lists names without punctuation: 江泽民 李鹏 乔石; a three-token name
  // whose last token has two characters (陈方安生) stays whole.
  const Conversion run = Convert(
      CorpusFormat::kPd98, Gbk("19980101-01-001-002/m  江/nr  泽民/nr  李/nr  鹏/nr  乔/nr  石/nr  "
                               "和/c  陈/nr  方/nr  安生/nr  、/w  克林顿/nr\n"));
  EXPECT_EQ(run.output, "[P 江/泽民] [P 李/鹏] [P 乔/石] 和 [P 陈/方/安生] 、 [P 克林顿]\n");
  EXPECT_EQ(run.stats.persons, 5);
  EXPECT_EQ(run.stats.persons_split, 2);
}

TEST(Pd98Converter, BadLinesAreReportedWithTheirNumberAndSkipped) {
  const std::string input =
      Gbk("19980101-01-001-001/m  迈向/v  新/a  世纪/n\n"
          "19980101-01-001-002/m  [中国/ns  政府/n  说/v\n"            // compound never closed
          "19980101-01-001-003/m  政府/n]nt  说/v\n"                   // closed without opening
          "19980101-01-001-004/m  [中国/ns  [北京/ns  大学/n]nt]nt\n"  // nested
          "19980101-01-001-005/m  贵乎/vvn  理/n\n"                    // unknown tag
          "19980101-01-001-006/m  理论\n"                              // no tag
          "迈向/v  新/a\n"                                             // no paragraph identifier
          "19980101-01-001-008/m  世纪/n\n");
  const Conversion run = Convert(CorpusFormat::kPd98, input);
  EXPECT_EQ(run.output, "迈向 新 世纪\n世纪\n");
  ASSERT_EQ(run.reports.size(), 6u);
  for (size_t i = 0; i < run.reports.size(); ++i) EXPECT_EQ(run.reports[i].first, int64_t(i) + 2);
  EXPECT_NE(run.reports[0].second.find("not closed"), std::string::npos);
  EXPECT_NE(run.reports[1].second.find("without '['"), std::string::npos);
  EXPECT_NE(run.reports[2].second.find("inside a compound"), std::string::npos);
  EXPECT_NE(run.reports[3].second.find("贵乎/vvn"), std::string::npos);
  EXPECT_NE(run.reports[4].second.find("理论"), std::string::npos);
  EXPECT_NE(run.reports[5].second.find("paragraph identifier"), std::string::npos);
  EXPECT_EQ(run.stats.lines_skipped, 6);
  EXPECT_EQ(run.stats.lines_written, 2);
  EXPECT_EQ(run.stats.skip_reasons.at("unbalanced compound"), 3);
  EXPECT_EQ(run.stats.skip_reasons.at("unknown tag"), 1);
}

TEST(Pd98Converter, BracketCharactersAsWords) {
  // "[/w" and "]/w" are words, not compound marks; a plain "]" cannot open a
  // bracket and a lone "[" finds no "]" after it, so both read back intact.
  const Conversion run =
      Convert(CorpusFormat::kPd98, Gbk("19980101-01-001-002/m  ]/w  北京/ns  [/w  说/v\n"));
  EXPECT_EQ(run.output, "] [L 北京] [ 说\n");
  EXPECT_TRUE(run.reports.empty());
}

TEST(Pd98Converter, LongClauseDropsNestedPartsRatherThanTheLine) {
  // 97 one-character words take 194 units, so the "[" (a breaking symbol)
  // comes before the 200-unit limit and the reader would cut the clause at
  // the U+0005 after 中华人民共和国 (unit 204), inside the bracket.
  std::string line = "19980101-01-001-002/m";
  std::string expected;
  for (int i = 0; i < 97; ++i) {
    line += "  甲/n";
    expected += "甲 ";
  }
  line += "  [中华人民共和国/ns  政府/n]nt\n";
  const Conversion run = Convert(CorpusFormat::kPd98, Gbk(line));
  EXPECT_EQ(run.output, expected + "[O 中华人民共和国/政府]\n");
  ASSERT_EQ(run.reports.size(), 1u);
  EXPECT_NE(run.reports[0].second.find("written without nested parts"), std::string::npos);
  EXPECT_EQ(run.stats.lines_parts_dropped, 1);
  EXPECT_EQ(run.stats.organizations, 1);
}

TEST(Pd98Converter, InvalidGbkIsReportedNotReplaced) {
  const Conversion run = Convert(CorpusFormat::kPd98, Gbk("19980101-01-001-002/m  北京/ns\n") +
                                                          "19980101-01-001-003/m  \x81\x20/n\n");
  EXPECT_EQ(run.output, "[L 北京]\n");
  ASSERT_EQ(run.reports.size(), 1u);
  EXPECT_EQ(run.reports[0].first, 2);
  EXPECT_NE(run.reports[0].second.find("GBK"), std::string::npos);
}

Conversion ConvertPd98With(const std::string& utf8_input, bool cut_names) {
  Conversion run;
  ConverterOptions options;
  options.abbreviation_class = [](const CUString& word) -> char16_t {
    const std::string w = testing::Utf8(word);
    if (w == "中" || w == "美") return u'L';
    if (w == "人大" || w == "中共") return u'O';
    if (w == "毛") return u'P';
    return 0;
  };
  options.cut_names_in_words = cut_names;
  options.report = [&run](int64_t line, const std::string& reason) {
    run.reports.emplace_back(line, reason);
  };
  std::string gbk, error;
  EXPECT_TRUE(ConvertCorpusText(Gbk(utf8_input), &gbk, options, &run.stats, &error)) << error;
  run.output = Utf8(FromGbk(gbk));
  return run;
}

TEST(Pd98Converter, AbbreviationsBecomeEntitiesOrParts) {
  const Conversion run = ConvertPd98With(
      "19980101-01-001-001/m  中/j  美/j  关系/n  、/w  人大/j  和/c  高校/j\n"
      "19980101-01-001-002/m  [中/j  美/j  贸易/n  委员会/n]nt  [中共/j  中央/n]nt  毛/j\n",
      false);
  // Inside an organization an abbreviation is a location, a person or an
  // ordinary part.
  EXPECT_EQ(run.output,
            "[L 中] [L 美] 关系 、 [O 人大] 和 高校\n"
            "[O 中\x05L\x06美\x05L\x06贸易\x05n\x06委员会\x05n\x06] "
            "[O 中共\x05n\x06中央\x05n\x06] [P 毛]\n");
  EXPECT_EQ(run.stats.abbreviations_classed, 7);
  EXPECT_EQ(run.stats.locations, 2);
  EXPECT_EQ(run.stats.organizations, 3);
  EXPECT_EQ(run.stats.persons, 1);
  EXPECT_TRUE(run.reports.empty());
}

TEST(Pd98Converter, NamesAreCutOutOfWordsOnlyWhenSeenTwice) {
  const std::string input =
      "19980101-01-001-001/m  邓/nr  小平/nr  同志/n  、/w  邓/nr  小平/nr  和/c  李/nr  鹏/nr\n"
      "19980101-01-001-002/m  邓小平理论/n  邓小平/n  邓小平们/n  邓小平理论/v  李鹏思想/n  "
      "[邓小平理论/n  研究会/n]nt\n";
  const Conversion cut = ConvertPd98With(input, true);
  // 邓小平们 would leave one character; 理论 after a verb tag is left; 李鹏
  // has two characters; inside the organization the word is an ordinary part.
  EXPECT_EQ(cut.output,
            "[P 邓/小平] 同志 、 [P 邓/小平] 和 [P 李/鹏]\n"
            "[P 邓小平] 理论 邓小平 邓小平们 邓小平理论 李鹏思想 "
            "[O 邓小平理论\x05n\x06研究会\x05n\x06]\n");
  EXPECT_EQ(cut.stats.names_cut, 1);

  const Conversion kept = ConvertPd98With(input, false);
  EXPECT_EQ(kept.stats.names_cut, 0);
  EXPECT_NE(kept.output.find("同志 、 [P 邓/小平] 和 [P 李/鹏]\n邓小平理论 邓小平 "),
            std::string::npos);

  // A name written once is not cut; the file form reads the input twice.
  const std::string dir = testing::MakeTempDir("names");
  testing::WriteFile(dir + "/in.txt",
                     Gbk("19980101-01-001-001/m  江/nr  泽民/nr  江泽民同志/n  邓小平理论/n\n"
                         "19980101-01-001-002/m  江/nr  泽民/nr\n"));
  ConverterOptions options;
  options.cut_names_in_words = true;
  ConversionStats stats;
  std::string error;
  ASSERT_TRUE(ConvertCorpus(dir + "/in.txt", dir + "/out.txt", options, &stats, &error)) << error;
  EXPECT_EQ(Utf8(FromGbk(testing::ReadFile(dir + "/out.txt"))),
            "[P 江/泽民] [P 江泽民] 同志 邓小平理论\n[P 江/泽民]\n");
  EXPECT_EQ(stats.names_cut, 1);
  EXPECT_EQ(stats.lines_written, 2);
}

}  // namespace
}  // namespace verrin
