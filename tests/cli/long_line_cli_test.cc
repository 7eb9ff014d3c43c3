// `verrin tag` on a line far longer than a clause or a read chunk prints what one
// library call on the whole line gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "test_util.h"
#include "text/spill_buffer.h"
#include "verrin/verrin.h"
#include "verrin/word_alignment.h"

namespace verrin {
namespace {

const std::string kCli = VERRIN_CLI_PATH;
const std::string kRes = std::string(VERRIN_TEST_DATA_DIR) + "/tagger";

TEST(LongLineCommandTest, LongLineIsTaggedAsOneWholeLine) {
  std::string line;
  for (int i = 0; i < 12000; ++i) line += i % 9 == 0 ? "张三在北京工作，" : "李四去上海 2007 abc";
  const std::string dir = testing::MakeTempDir("long-line");
  testing::WriteFile(dir + "/in.txt", line + "\n短。\n");

  CNEResourceManager manager;
  ASSERT_TRUE(manager.LoadResource(kRes.c_str(), (kRes + "/model.txt").c_str(), false));
  CKyVerrin tagger(&manager);
  std::string last_record, last_entity;
  auto render = [&](const std::string& utf8) {
    const CUString text = testing::U(utf8);
    tag_WordInfoW* records = nullptr;
    int count = 0;
    EXPECT_TRUE(tagger.KyTagNEInfo(text.c_str(), 0, records, count));
    std::u16string rendered(CKyVerrin::RenderedLength(records, count) + 1, u'\0');
    tagger.OutputTaggedSentence(records, count, rendered.data());
    if (count > 0) {
      const tag_WordInfoW& last = records[count - 1];
      last_record = "[" + std::to_string(last.nOffset) + ", " + std::to_string(last.cLength) +
                    ", \"" + testing::Utf8(last.pWord) + "\"";
      const CUString whole = testing::U(utf8);
      for (const CAlignedWord& w :
           AlignWords(whole.c_str(), static_cast<size_t>(whole.Length()), records, count)) {
        if (w.type == 3) last_entity = "{\"start\": " + std::to_string(w.start) + ", ";
      }
    }
    tagger.FreeWordSegResult(records, count);
    return testing::Utf8(rendered.c_str());
  };
  const std::string expected = render("短。") + "\n";
  const std::string expected_long = render(line) + "\n";
  const std::string long_last_entity = last_entity;
  const CUString text = testing::U(line);
  ASSERT_GT(text.Length(), 2 * 65536) << "the line must be longer than a read chunk";

  const std::string tag = kCli + " tag --res '" + kRes + "' --model '" + kRes + "/model.txt' ";
  std::string out;
  ASSERT_EQ(testing::RunCommand(tag + "< '" + dir + "/in.txt' 2>/dev/null", &out), 0);
  EXPECT_EQ(out, expected_long + expected);

  ASSERT_EQ(testing::RunCommand(tag + "--format json < '" + dir + "/in.txt' 2>/dev/null", &out), 0);
  const size_t first_end = out.find('\n');
  ASSERT_NE(first_end, std::string::npos);
  const std::string first = out.substr(0, first_end);
  // One object for the whole line: its records run on from piece to piece.
  EXPECT_EQ(first.rfind("{\"records\": ", 0), 0u);
  EXPECT_EQ(first.find("{", 1), std::string::npos);
  EXPECT_NE(first.find(last_record), std::string::npos) << last_record;
  // The rendered text of the whole line, longer than the part held in memory.
  const std::string rendered_end =
      "], \"rendered\": \"" + expected_long.substr(0, expected_long.size() - 1) + "\"}";
  ASSERT_GT(rendered_end.size(), CSpillBuffer::kDefaultMemoryLimit);
  EXPECT_EQ(first.size() - std::min(first.size(), rendered_end.size()), first.rfind(rendered_end));
#if !defined(_WIN32)
  // Without a place for that text the command fails and says why.
  std::string err;
  EXPECT_EQ(testing::RunCommand("TMPDIR=/nonexistent-verrin-dir " + tag + "--format json < '" +
                                    dir + "/in.txt' 2>&1 >/dev/null",
                                &err),
            1);
  EXPECT_EQ(err,
            "verrin tag: cannot hold a line's rendered text in a temporary file: No such file or "
            "directory\n");
#endif

  // Entities are placed in the whole line, in code points, past every piece.
  ASSERT_EQ(testing::RunCommand(tag + "--format entities < '" + dir + "/in.txt' 2>/dev/null", &out),
            0);
  ASSERT_FALSE(long_last_entity.empty());
  EXPECT_EQ(out.find("{\"entities\": ", 1), out.find('\n') + 1) << "one object per line";
  EXPECT_NE(out.substr(0, out.find('\n')).rfind(long_last_entity), std::string::npos)
      << long_last_entity;

  ASSERT_EQ(testing::RunCommand(tag + "--format bio < '" + dir + "/in.txt' 2>/dev/null", &out), 0);
  // One line per non-space unit, then a blank line, for each input line.
  int units = 0;
  for (const char16_t unit : std::u16string(text.c_str())) units += unit != u' ';
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), units + 1 + 2 + 1);
  size_t blank_lines = 0;
  for (size_t at = out.find("\n\n"); at != std::string::npos; at = out.find("\n\n", at + 1)) {
    ++blank_lines;
  }
  EXPECT_EQ(blank_lines, 2u);
}

}  // namespace
}  // namespace verrin
