// The one line reader: line ends, byte-order marks, NUL bytes and bytes that
// are not valid in the chosen encoding must never change the text silently.
#include "text/text_line_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "test_util.h"

namespace verrin {
namespace {

struct ReadLine {
  std::string text;  // UTF-8
  std::string problem;
};

std::vector<ReadLine> ReadAll(const std::string& bytes, CTextEncoding encoding) {
  std::FILE* file = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
  if (bytes.empty()) file = std::tmpfile();
  CTextLineReader reader(file, encoding);
  std::vector<ReadLine> lines;
  CUString line;
  while (reader.Next(line)) {
    EXPECT_EQ(reader.LineNumber(), static_cast<int64_t>(lines.size()) + 1);
    lines.push_back({testing::Utf8(line), reader.Problem()});
  }
  EXPECT_FALSE(reader.ReadFailed());
  std::fclose(file);
  return lines;
}

std::vector<std::string> Texts(const std::vector<ReadLine>& lines) {
  std::vector<std::string> texts;
  for (const ReadLine& l : lines) texts.push_back(l.text);
  return texts;
}

TEST(TextLineReaderTest, EveryLineEndEndsOneLineAndNothingIsGlued) {
  using V = std::vector<std::string>;
  // A lone CR ends a line: it must not merge its two lines into one.
  EXPECT_EQ(Texts(ReadAll("a\rb\r\nc\n\nd", CTextEncoding::kUtf8)), (V{"a", "b", "c", "", "d"}));
  EXPECT_EQ(Texts(ReadAll("", CTextEncoding::kUtf8)), V{});
  EXPECT_EQ(Texts(ReadAll("\r\n", CTextEncoding::kUtf8)), V{""});
  // A CR LF split across two reads of the 64 KiB buffer is still one end.
  const std::string long_line(65535, 'x');
  EXPECT_EQ(Texts(ReadAll(long_line + "\r\ny", CTextEncoding::kUtf8)), (V{long_line, "y"}));

  // The byte-order mark is skipped, not glued to the first word.
  EXPECT_EQ(Texts(ReadAll("\xEF\xBB\xBF张三\n\xEF\xBB\xBF", CTextEncoding::kUtf8)),
            (V{"张三", "\xEF\xBB\xBF"}))
      << "only a mark at the very start is skipped";
  const std::vector<ReadLine> gbk =
      ReadAll("\xEF\xBB\xBF" + testing::Gbk("张三"), CTextEncoding::kGbk);
  ASSERT_EQ(gbk.size(), 1u);
  EXPECT_EQ(gbk[0].text, "张三");
  EXPECT_EQ(gbk[0].problem, "a UTF-8 byte-order mark was skipped (use --encoding utf-8)");

  // A NUL must not end the line for the tagger and lose the text after it.
  const std::vector<ReadLine> nul =
      ReadAll(std::string("张三\0在北京\n", 17), CTextEncoding::kUtf8);
  ASSERT_EQ(nul.size(), 1u);
  EXPECT_EQ(nul[0].text, "张三 在北京");
  EXPECT_EQ(nul[0].problem, "1 NUL byte was read as a space");
}

TEST(TextLineReaderTest, InvalidBytesAreCountedWithAHintForTheOtherEncoding) {
  // GBK text read as UTF-8: 中国 is D6 D0 B9 FA; D6 lacks its trail byte,
  // D0 B9 happens to be a valid pair (U+0439) and FA is no lead byte: 2 bytes.
  const std::vector<ReadLine> gbk_as_utf8 =
      ReadAll("ok\n" + testing::Gbk("中国") + "x\n", CTextEncoding::kUtf8);
  ASSERT_EQ(gbk_as_utf8.size(), 2u);
  EXPECT_EQ(gbk_as_utf8[0].problem, "");
  EXPECT_EQ(gbk_as_utf8[1].problem,
            "2 bytes are not valid UTF-8 and became U+FFFD (use --encoding gbk)");
  EXPECT_EQ(gbk_as_utf8[1].text.substr(gbk_as_utf8[1].text.size() - 1), "x");

  // A lone 81 is valid in neither encoding (a trail byte in UTF-8, a lead
  // byte without its trail in GBK): no hint.
  const std::vector<ReadLine> neither = ReadAll("a\x81", CTextEncoding::kUtf8);
  ASSERT_EQ(neither.size(), 1u);
  EXPECT_EQ(neither[0].problem, "1 byte is not valid UTF-8 and became U+FFFD");

  // UTF-8 text read as GBK: 15 bytes pair up into 7 GBK characters and
  // leave the last byte (9C of 作) without its trail.
  const std::vector<ReadLine> utf8_as_gbk = ReadAll("在北京工作\n北京工作", CTextEncoding::kGbk);
  ASSERT_EQ(utf8_as_gbk.size(), 2u);
  EXPECT_EQ(utf8_as_gbk[0].problem,
            "1 byte is not valid GBK and became U+FFFD (use --encoding utf-8)");
  // 12 bytes make 6 valid GBK characters: flagged all the same.
  EXPECT_EQ(utf8_as_gbk[1].problem,
            "the line reads as UTF-8 too (if the file is UTF-8, use --encoding utf-8)");
  // Real GBK text is not.
  EXPECT_EQ(ReadAll(testing::Gbk("在北京工作\n"), CTextEncoding::kGbk)[0].problem, "");
}

}  // namespace
}  // namespace verrin
