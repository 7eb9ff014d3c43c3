// Lines of any length: the hard clause limit, and the reader that hands a
// long line out in pieces whose clauses are those of the whole line.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/clause_reader.h"
#include "engine/ne_engine.h"
#include "test_util.h"
#include "text/char_class.h"
#include "text/code_page.h"

namespace verrin {
namespace {

using testing::U;
using testing::Utf8;

std::vector<std::u16string> Clauses(const std::u16string& text, bool segmented) {
  CNEEngine engine(nullptr);
  std::vector<CUString> sentences;
  engine.SplitSentences(text.c_str(), sentences, segmented);
  std::vector<std::u16string> out;
  for (const CUString& s : sentences) out.emplace_back(s.c_str(), s.Length());
  return out;
}

TEST(ClauseLimitTest, RunsPastTheLimitAreCutIntoShortPiecesAndNothingIsLost) {
  const size_t limit = CNEEngine::kMaxClauseUnits;
  // 255 units, a surrogate pair across the longest piece's end (256), 343 units
  // without "的", then "的" ending every 40 units.
  std::u16string raw(255, u'国');
  raw += u"\U00020000";
  raw += std::u16string(343, u'国');
  while (raw.size() < 3 * limit) raw += std::u16string(39, u'国') + u"的";
  const auto clauses = Clauses(raw, false);
  std::vector<size_t> expected = {255, 256, 129};  // 129: up to the first "的" (unit 639)
  size_t at = 640;
  while (raw.size() - at > limit) {
    expected.push_back(40);
    at += 40;
  }
  expected.push_back(raw.size() - at);  // the rest closes within the limit
  std::vector<size_t> lengths;
  std::u16string joined;
  for (const auto& c : clauses) {
    lengths.push_back(c.size());
    joined += c;
  }
  EXPECT_EQ(lengths, expected);
  EXPECT_EQ(joined, raw);

  // Segmented text is cut after the separator that follows "的"; "的" inside
  // a word ("的确") is no place to cut.
  std::u16string words;
  while (words.size() < 2 * limit) words += u"人民/国家/的确/的/";
  for (const bool segmented : {true, false}) {
    const auto pieces = Clauses(words, segmented);
    ASSERT_GT(pieces.size(), 2u);
    // Raw text takes the first "的" from unit 16 on, the one of "的确".
    EXPECT_EQ(pieces[0], segmented ? u"人民/国家/的确/的/人民/国家/的确/的/"
                                   : u"人民/国家/的确/的/人民/国家/的");
    std::u16string all;
    for (const auto& c : pieces) all += c;
    EXPECT_EQ(all, words);
  }
}

TEST(ClauseLimitTest, CutsNeverPartABracket) {
  const std::u16string run(2 * CNEEngine::kMaxClauseUnits, u'国');
  // The 256-unit cut falls before a bracket it would part; a bracket that
  // starts a clause and runs past the cut ends the clause after its "]".
  const std::u16string across = u"[mdw 某某某某某某某某]";
  const std::u16string long_one = u"[mdw " + std::u16string(300, u'某') + u"]";
  const auto raw = Clauses(std::u16string(250, u'国') + across + long_one + run, false);
  ASSERT_GE(raw.size(), 4u);
  EXPECT_EQ(raw[0], std::u16string(250, u'国'));
  EXPECT_EQ(raw[1], across);
  EXPECT_EQ(raw[2], long_one);
  // Segmented text: a "的" inside a bracket is no place to cut.
  const std::u16string bracket = u"[O 中国/的/公司]/";
  const auto words = Clauses(std::u16string(20, u'国') + u"/" + bracket + run, true);
  ASSERT_GE(words.size(), 2u);
  EXPECT_EQ(words[0], std::u16string(20, u'国') + u"/");
  EXPECT_EQ(words[1].substr(0, bracket.size()), bracket);
}

TEST(ClauseLimitTest, ClausesBelowTheLimitAreCutAsBefore) {
  // 3,000 units between delimiters, with enumeration commas every 50 units
  // before the soft limit only: one clause per delimiter, as without a limit.
  std::u16string clause;
  for (int i = 0; i < 3000; ++i) clause.push_back(i < 100 && i % 50 == 49 ? u'、' : u'国');
  const std::u16string text = clause + u"。" + clause + u"。" + clause;
  for (const bool segmented : {false, true}) {
    const auto clauses = Clauses(text, segmented);
    ASSERT_EQ(clauses.size(), 3u);
    EXPECT_EQ(clauses[0], clause + u"。");
    EXPECT_EQ(clauses[1], clause + u"。");
    EXPECT_EQ(clauses[2], clause);
  }
  // A delimiter anywhere in a run of ideographs (passed in blocks) ends it.
  for (size_t at = 0; at < 40; ++at) {
    std::u16string run(CNEEngine::kMaxClauseUnits + 100, u'国');
    run[at] = u'。';
    EXPECT_EQ(Clauses(run, false)[0].size(), at + 1) << at;
  }
}

TEST(ClauseLimitTest, DelimiterALongClauseBreaksBeforeOpensTheNextClauseWithoutClosingIt) {
  // Past twice the soft limit (100 segmented, 200 raw) a clause closes before
  // a breaking symbol; a "，" there opens the next clause, which goes on to
  // the next delimiter instead of being a clause of its own.
  for (const bool segmented : {true, false}) {
    const std::u16string lead(segmented ? 200 : 400, u'国');
    const auto clauses =
        Clauses(lead + u"，高度评价，他说。" + lead + u"、" + lead + u"，", segmented);
    const std::vector<std::u16string> expected = {lead, u"，高度评价，", u"他说。",
                                                  lead, u"、" + lead,    u"，"};
    EXPECT_EQ(clauses, expected) << segmented;
  }
}

// One piece of a line, and whether it ends the line.
struct Piece {
  std::u16string text;
  bool line_end;
};

std::vector<Piece> ReadPieces(const std::string& bytes, int code_page, bool segmented,
                              CClauseReader::Trim trim, int32_t piece_units) {
  const std::string path = testing::MakeTempDir("clause_reader") + "/in.txt";
  testing::WriteFile(path, bytes);
  std::FILE* file = std::fopen(path.c_str(), "rb");
  EXPECT_NE(file, nullptr);
  CTextLineReader lines(
      file, code_page == CCodePageSet::kGbk ? CTextEncoding::kGbk : CTextEncoding::kUtf8);
  CClauseReader reader(lines, segmented, trim, piece_units);
  std::vector<Piece> pieces;
  CUString piece;
  bool line_end = false;
  while (reader.Next(piece, line_end)) {
    pieces.push_back({std::u16string(piece.c_str(), piece.Length()), line_end});
  }
  std::fclose(file);
  return pieces;
}

TEST(ClauseReaderTest, PiecesOfLongLinesGiveTheClausesOfTheWholeLines) {
  // Lines far longer than a read chunk (64 KiB) and a piece, so that chunk
  // ends fall inside multi-byte characters and pieces end mid-line; clauses
  // of all kinds, carriage returns and white space at the line ends.
  std::string body;
  for (int i = 0; i < 9000; ++i) {
    body += i % 7 == 0 ? "新华社北京电，" : i % 5 == 0 ? "他说：“好。”" : "国务院总理李鹏 ab ";
  }
  // Clauses past twice the soft limit (200 segmented, 400 raw), each closed
  // before the "，" that opens the next one; a piece must not start there.
  std::string breaks;
  for (int i = 0; i < 160; ++i) {
    for (int k = 0; k < 50; ++k) breaks += "国务院总理李鹏会见";
    breaks += i % 4 == 3 ? "，他说。" : "，";
  }
  // No delimiter: clauses of a long run, each needing the look-ahead; some
  // brackets that cuts would part.
  std::string run;
  for (int i = 0; i < 6000; ++i) run += i % 37 == 0 ? "[mdw 某的某某的某]" : "国务院的李鹏";
  const std::vector<std::string> lines = {
      "  " + body + "  \r", "", "短句。", body + body, run, breaks, "\t \r"};
  std::string utf8;
  for (const std::string& line : lines) utf8 += line + "\n";
  utf8 += "最后一行没有换行";  // the last line ends at the end of the file
  const std::vector<std::string> expected_lines = [&] {
    std::vector<std::string> out(lines);
    out.push_back("最后一行没有换行");
    return out;
  }();

  for (const int code_page : {CCodePageSet::kUtf8, CCodePageSet::kGbk}) {
    const std::string bytes = code_page == CCodePageSet::kGbk ? testing::Gbk(utf8) : utf8;
    for (const auto trim : {CClauseReader::Trim::kLineEnd, CClauseReader::Trim::kWhiteSpace}) {
      for (const bool segmented : {false, true}) {
        const auto pieces = ReadPieces(bytes, code_page, segmented, trim, 5000);
        size_t line = 0;
        std::u16string joined;
        std::vector<std::u16string> clauses;
        bool several = false;
        for (const Piece& piece : pieces) {
          joined += piece.text;
          for (const auto& c : Clauses(piece.text, segmented)) clauses.push_back(c);
          if (!piece.line_end) {
            several = true;
            EXPECT_LE(piece.text.size(), 5000u + CNEEngine::kMaxClauseUnits);
            continue;
          }
          ASSERT_LT(line, expected_lines.size());
          std::u16string whole = U(expected_lines[line]).c_str();
          if (trim == CClauseReader::Trim::kWhiteSpace) {
            CUString w(whole.c_str());
            TrimWhiteSpace(w);
            whole.assign(w.c_str(), w.Length());
          } else {
            while (!whole.empty() && whole.back() == u'\r') whole.pop_back();
          }
          EXPECT_EQ(joined, whole) << "line " << line;
          EXPECT_EQ(clauses, Clauses(whole, segmented)) << "line " << line;
          joined.clear();
          clauses.clear();
          ++line;
        }
        EXPECT_EQ(line, expected_lines.size());
        EXPECT_TRUE(several) << "the long lines must come in several pieces";
      }
    }
  }
}

}  // namespace
}  // namespace verrin
