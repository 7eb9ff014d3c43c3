#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corpus/corpus_converter.h"
#include "corpus/corpus_test_util.h"
#include "test_util.h"
#include "text/code_page.h"

namespace verrin {
namespace {

using testing::Gbk;

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
