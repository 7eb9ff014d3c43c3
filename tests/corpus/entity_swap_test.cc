#include "corpus/entity_swap.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "test_util.h"
#include "text/code_page.h"

namespace verrin {
namespace {

using testing::Gbk;
using testing::U;
using testing::Utf8;

std::vector<std::string> Lines(const std::string& utf8) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < utf8.size()) {
    const size_t end = utf8.find('\n', start);
    lines.push_back(utf8.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

TEST(EntitySwapTest, FindsOnlyWholeEntityBrackets) {
  const CUString line =
      U("[P 张三] 在 [L 北京] [mdw 一] [O 中国\x05L\x06银行\x05n\x06] [P 甲 乙] "
        "[Q 丙] [L ] [O 丁");
  const std::vector<EntityBracket> found = FindEntityBrackets(line);
  ASSERT_EQ(found.size(), 3u);
  const int32_t classes[] = {0, 1, 2};
  const char* texts[] = {"[P 张三]", "[L 北京]", "[O 中国\x05L\x06银行\x05n\x06]"};
  for (size_t i = 0; i < found.size(); ++i) {
    EXPECT_EQ(found[i].klass, classes[i]);
    EXPECT_EQ(Utf8(CUString(line.c_str() + found[i].begin, found[i].end - found[i].begin)),
              texts[i]);
  }
}

TEST(EntitySwapTest, CopiesKeepTheTextAroundAndDrawFromTheSameClass) {
  const std::string corpus =
      Gbk("[P 张三] 在 [L 北京] 工作 。\r\n"
          "今天 天气 很 好 。\n"
          "[O 国务院] 和 [O 外交部] 说 [P 李四] 去 了 [L 上海]\n"
          "[P 王五] 到 [L 广州] 。");
  EntitySwapOptions options;
  options.copies = 3;
  options.seed = 42;
  std::string output;
  EntitySwapStats stats;
  SwapEntities(corpus, options, &output, &stats);
  EXPECT_EQ(stats.lines_read, 4);
  EXPECT_EQ(stats.lines_with_entities, 3);
  EXPECT_EQ(stats.lines_written, 4 + 3 * 3);
  EXPECT_EQ(stats.distinct_entities[0], 3);
  EXPECT_EQ(stats.distinct_entities[1], 3);
  EXPECT_EQ(stats.distinct_entities[2], 2);

  const std::vector<std::string> lines = Lines(Utf8(FromGbk(output)));
  ASSERT_EQ(lines.size(), 13u);
  // The corpus itself comes first, line ends made "\n".
  EXPECT_EQ(lines[0], "[P 张三] 在 [L 北京] 工作 。");
  EXPECT_EQ(lines[1], "今天 天气 很 好 。");
  EXPECT_EQ(lines[3], "[P 王五] 到 [L 广州] 。");
  const std::map<int32_t, std::set<std::string>> pool = {{0, {"[P 张三]", "[P 李四]", "[P 王五]"}},
                                                         {1, {"[L 北京]", "[L 上海]", "[L 广州]"}},
                                                         {2, {"[O 国务院]", "[O 外交部]"}}};
  const std::vector<std::string> skeletons = {"# 在 # 工作 。", "# 和 # 说 # 去 了 #", "# 到 # 。"};
  const std::vector<std::vector<int32_t>> classes = {{0, 1}, {2, 2, 0, 1}, {0, 1}};
  std::set<std::string> drawn_persons;
  for (size_t i = 4; i < lines.size(); ++i) {
    const size_t source = (i - 4) % 3;
    const CUString line = U(lines[i]);
    const std::vector<EntityBracket> found = FindEntityBrackets(line);
    ASSERT_EQ(found.size(), classes[source].size()) << lines[i];
    std::string skeleton;
    int32_t at = 0;
    for (size_t k = 0; k < found.size(); ++k) {
      EXPECT_EQ(found[k].klass, classes[source][k]) << lines[i];
      const std::string text =
          Utf8(CUString(line.c_str() + found[k].begin, found[k].end - found[k].begin));
      EXPECT_EQ(pool.at(found[k].klass).count(text), 1u) << text;
      if (found[k].klass == 0) drawn_persons.insert(text);
      skeleton += Utf8(CUString(line.c_str() + at, found[k].begin - at)) + "#";
      at = found[k].end;
    }
    skeleton += Utf8(CUString(line.c_str() + at, line.Length() - at));
    EXPECT_EQ(skeleton, skeletons[source]);
  }
  // Nine draws from three persons: more than one of them comes up.
  EXPECT_GT(drawn_persons.size(), 1u);

  // The same seed gives the same text, another seed another one.
  std::string again, other;
  SwapEntities(corpus, options, &again, &stats);
  EXPECT_EQ(again, output);
  options.seed = 43;
  SwapEntities(corpus, options, &other, &stats);
  EXPECT_NE(other, output);
  // No copies: the corpus alone.
  options.copies = 0;
  SwapEntities(corpus, options, &other, &stats);
  EXPECT_EQ(Lines(Utf8(FromGbk(other))),
            std::vector<std::string>(lines.begin(), lines.begin() + 4));
}

TEST(EntitySwapTest, FileFormReportsFilesItCannotUse) {
  const std::string dir = testing::MakeTempDir("swap");
  testing::WriteFile(dir + "/in.txt", Gbk("[L 北京] 很 大\n"));
  EntitySwapOptions options;
  EntitySwapStats stats;
  std::string error;
  ASSERT_TRUE(SwapEntitiesInFile(dir + "/in.txt", dir + "/out.txt", options, &stats, &error))
      << error;
  EXPECT_EQ(testing::ReadFile(dir + "/out.txt"), Gbk("[L 北京] 很 大\n[L 北京] 很 大\n"));
  EXPECT_FALSE(SwapEntitiesInFile(dir + "/none.txt", dir + "/out.txt", options, &stats, &error));
  EXPECT_NE(error.find("none.txt"), std::string::npos);
  EXPECT_FALSE(
      SwapEntitiesInFile(dir + "/in.txt", dir + "/no/dir/out.txt", options, &stats, &error));
  EXPECT_NE(error.find("no/dir/out.txt"), std::string::npos);
}

}  // namespace
}  // namespace verrin
