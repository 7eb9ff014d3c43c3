#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "corpus/corpus_converter.h"
#include "corpus/lexicon_rules.h"
#include "resource/lexicon.h"
#include "test_util.h"
#include "text/code_page.h"

namespace verrin {
namespace {

using testing::Gbk;
using testing::U;
using testing::Utf8;

struct Conversion {
  std::string output;  // UTF-8 form of the GBK output
  ConversionStats stats;
  std::vector<std::pair<int64_t, std::string>> reports;
};

// Cuts text by forward longest match over a small word set; unknown units
// become single-unit words, white space is dropped.
WordCutter SetCutter(std::set<std::u16string> words) {
  return [words](const char16_t* text, int32_t length) {
    std::vector<CUString> out;
    int32_t i = 0;
    while (i < length) {
      if (text[i] == u' ') {
        ++i;
        continue;
      }
      int32_t best = 1;
      for (const auto& w : words) {
        const int32_t n = static_cast<int32_t>(w.size());
        if (n > best && i + n <= length && std::u16string(text + i, n) == w) best = n;
      }
      out.emplace_back(text + i, best);
      i += best;
    }
    return out;
  };
}

Conversion Convert(CorpusFormat format, const std::string& input, WordCutter cutter = nullptr) {
  Conversion run;
  ConverterOptions options;
  options.format = format;
  options.cutter = std::move(cutter);
  options.report = [&run](int64_t line, const std::string& reason) {
    run.reports.emplace_back(line, reason);
  };
  std::string gbk, error;
  EXPECT_TRUE(ConvertCorpusText(input, &gbk, options, &run.stats, &error)) << error;
  run.output = Utf8(FromGbk(gbk));
  return run;
}

// Every written line must read back, through the corpus reader's rules, as
// the words and brackets it was meant to hold.
std::vector<std::string> ReadBack(const std::string& utf8_line) {
  std::vector<std::string> out;
  for (const ReadBackWord& w : ReadBracketedLine(U(utf8_line))) {
    out.push_back(w.klass.Empty() ? Utf8(w.word) : "[" + Utf8(w.klass) + " " + Utf8(w.word) + "]");
  }
  return out;
}

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

TEST(MsraConverter, CharactersOutsideGbkSkipTheLine) {
  // U+D55C (Hangul) has no GBK code.
  const Conversion run = Convert(CorpusFormat::kMsra, "北京/ns\n서울/ns 한/o\n上海/ns\n");
  EXPECT_EQ(run.output, "[L 北京]\n[L 上海]\n");
  ASSERT_EQ(run.reports.size(), 1u);
  EXPECT_EQ(run.reports[0].first, 2);
  EXPECT_NE(run.reports[0].second.find("U+C11C cannot be written in GBK"), std::string::npos);
  EXPECT_EQ(run.stats.skip_reasons.at("not encodable in GBK"), 1);
  EXPECT_EQ(run.stats.locations, 2);  // the skipped line's entity is not counted
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

  // Plain words that would form a bracket together are caught by reading back.
  run = Convert(CorpusFormat::kMsra, "x[P/o 甲]/o\n");
  EXPECT_EQ(run.output, "");
  ASSERT_EQ(run.reports.size(), 1u);
  EXPECT_NE(run.reports[0].second.find("'x[P' would be read as 'x'"), std::string::npos);
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

TEST(ConvertCorpusFile, WritesTheSameBytesAsTheTextForm) {
  const std::string dir = testing::MakeTempDir("converter");
  const std::string input = Gbk("19980101-01-001-002/m  江/nr  泽民/nr  在/p  北京/ns\r\n");
  testing::WriteFile(dir + "/in.txt", input);
  ConverterOptions options;
  int progress_calls = 0;
  options.progress = [&](const ConversionStats&) { ++progress_calls; };
  ConversionStats stats;
  std::string error;
  ASSERT_TRUE(ConvertCorpus(dir + "/in.txt", dir + "/out.txt", options, &stats, &error)) << error;
  EXPECT_EQ(testing::ReadFile(dir + "/out.txt"), Gbk("[P 江/泽民] 在 [L 北京]\n"));
  EXPECT_EQ(stats.lines_written, 1);
  EXPECT_EQ(progress_calls, 1);  // the final call

  EXPECT_FALSE(ConvertCorpus(dir + "/missing.txt", dir + "/out2.txt", options, &stats, &error));
  EXPECT_NE(error.find("missing.txt"), std::string::npos);
}

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

namespace verrin {
namespace {

std::string ConvertForRawText(const std::string& msra_line) {
  ConverterOptions options;
  options.format = CorpusFormat::kMsra;
  options.fold_full_width = true;
  options.raw_text_tokens = true;
  options.report = [](int64_t, const std::string&) {};
  ConversionStats stats;
  std::string gbk, error;
  EXPECT_TRUE(ConvertCorpusText(msra_line, &gbk, options, &stats, &error)) << error;
  return testing::Utf8(FromGbk(gbk));
}

TEST(RawTextTokensTest, PlainWordsAreCutAsRawTextWouldBe) {
  // "１９９８年" holds a digit run: raw text gives "1998" (a number) and "年".
  // "３０℃" likewise; "——" is two symbols; "三千多" gives the numeral run
  // "三千" (a number in raw text) and "多"; "一个" keeps no class word.
  EXPECT_EQ(ConvertForRawText("１９９８年/o  ３０℃/o  ——/o  三千多/o  一个/o  ＡＢ/nr\n"),
            "1998 年 30 ℃ — — [number 三千] 多 一 个 [P AB]\n");
}

TEST(RawTextTokensTest, EntitiesKeepTheirTextButFoldWidth) {
  EXPECT_EQ(ConvertForRawText("海卫１/ns  三千/o\n"), "[L 海卫1] [number 三千]\n");
}

}  // namespace
}  // namespace verrin

namespace verrin {
namespace {

TEST(NestLocationsTest, OrganizationStartingWithALocationGetsParts) {
  ConverterOptions options;
  options.format = CorpusFormat::kMsra;
  options.report = [](int64_t, const std::string&) {};
  // A stand-in lexicon: 中国 and 北京 are locations.
  options.location_prefix = [](const CUString& org) -> int32_t {
    for (const char16_t* loc : {u"\u4E2D\u56FD", u"\u5317\u4EAC"}) {
      const std::u16string_view l(loc);
      if (org.Length() >= static_cast<int32_t>(l.size()) + 2 &&
          org.View().substr(0, l.size()) == l) {
        return static_cast<int32_t>(l.size());
      }
    }
    return 0;
  };
  ConversionStats stats;
  std::string gbk, error;
  ASSERT_TRUE(
      ConvertCorpusText("中国新闻学院/nt  北京大/nt  中国/ns\n", &gbk, options, &stats, &error))
      << error;
  // 北京大 would leave one character: no parts.
  EXPECT_EQ(testing::Utf8(FromGbk(gbk)),
            "[O 中国\x05L\x06新闻学院\x05n\x06] [O 北京大] [L 中国]\n");
}

}  // namespace
}  // namespace verrin

namespace verrin {
namespace {

TEST(AbbreviationTableTest, ClassesFollowTheReferenceTags) {
  CAbbreviationTable table;
  // 中: 5 locations among 20 uses; 日: 4 locations and nothing else;
  // 人大: 2 of 4 occurrences an organization; 妇联: 2 of 5; 欧: one location,
  // one organization, one person.
  for (int i = 0; i < 5; ++i) table.AddText(testing::U("中/ns 在/o 中/o 中/o 中/o"));
  for (int i = 0; i < 4; ++i) table.AddText(testing::U("日/ns"));
  table.AddText(testing::U("人大/nt 人大/nt 人大/o 人大/o 妇联/nt 妇联/nt 妇联/o 妇联/o 妇联/o"));
  table.AddText(testing::U("欧/ns 欧/nt 欧/nr 毛/nr 毛/nr 毛/nr 毛/nr 毛/nr 坏/token 单/"));
  EXPECT_EQ(table.ClassOf(testing::U("中")), u'L');
  EXPECT_EQ(table.ClassOf(testing::U("日")), 0);
  EXPECT_EQ(table.ClassOf(testing::U("人大")), u'O');
  EXPECT_EQ(table.ClassOf(testing::U("妇联")), 0);
  EXPECT_EQ(table.ClassOf(testing::U("欧")), 0);
  EXPECT_EQ(table.ClassOf(testing::U("毛")), u'P');
  EXPECT_EQ(table.ClassOf(testing::U("在")), 0);
  EXPECT_EQ(table.ClassOf(testing::U("坏")), 0);  // an unknown tag counts for nothing
  EXPECT_EQ(table.ClassOf(testing::U("没有")), 0);
  table.AddText(testing::U("日/ns"));
  EXPECT_EQ(table.ClassOf(testing::U("日")), u'L');

  CAbbreviationTable few;
  few.AddText(testing::U("欧盟/nt 欧盟/ns 北约/nt"));
  EXPECT_EQ(few.ClassOf(testing::U("欧盟")), 0);  // 1 each: fewer than 2
  EXPECT_EQ(few.ClassOf(testing::U("北约")), 0);
  few.AddText(testing::U("欧盟/nt 欧盟/ns"));
  EXPECT_EQ(few.ClassOf(testing::U("欧盟")), u'L');  // 2 and 2: the location
}

TEST(AbbreviationTableTest, LoadsAFileAndReportsAMissingOne) {
  const std::string dir = testing::MakeTempDir("abbreviations");
  testing::WriteFile(dir + "/msra.txt",
                     "\xEF\xBB\xBF"
                     "北约/nt 北约/nt\r\n美/ns 美/ns 美/ns 美/ns 美/ns\n");
  CAbbreviationTable table;
  std::string error;
  ASSERT_TRUE(table.Load(dir + "/msra.txt", &error)) << error;
  EXPECT_EQ(table.ClassOf(testing::U("北约")), u'O');
  EXPECT_EQ(table.ClassOf(testing::U("美")), u'L');
  EXPECT_FALSE(table.Load(dir + "/none.txt", &error));
  EXPECT_NE(error.find("none.txt"), std::string::npos);
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
