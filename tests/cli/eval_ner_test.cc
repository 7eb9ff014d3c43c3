// The eval-ner command: tags the text of a BIO file and scores it.
#include <gtest/gtest.h>

#include <string>

#include "test_util.h"

namespace verrin {
namespace {

const std::string kCli = VERRIN_CLI_PATH;
const std::string kRes = std::string(VERRIN_TEST_DATA_DIR) + "/tagger";

TEST(EvalNerCommandTest, ScoresTheTaggedTextAndWritesThePrediction) {
  const std::string dir = testing::MakeTempDir("eval-ner");
  // The test resources tag 张三 as a person and 北京 as a location; the gold
  // organization 北京大学 is missed. PER 1/1/1; LOC 0 gold, 1 predicted;
  // ORG 1 gold, 0 predicted; overall 2 gold, 2 predicted, 1 correct: 50%.
  testing::WriteFile(dir + "/gold.bio",
                     "张 B-PER\n三 I-PER\n在 O\n北 B-ORG\n京 I-ORG\n大 I-ORG\n学 I-ORG\n"
                     "工 O\n作 O\n。 O\n\n");
  std::string out;
  ASSERT_EQ(testing::RunCommand(kCli + " eval-ner --res '" + kRes + "' --output '" + dir +
                                    "/pred.bio' '" + dir + "/gold.bio' 2>/dev/null",
                                &out),
            0);
  // Everything but the time it took.
  EXPECT_EQ(out.substr(0, out.find(" tagged in ")),
            "sentences 1, characters 10\n"
            "class          gold  predicted  correct  precision   recall       F1\n"
            "PER               1          1        1    100.00%  100.00%  100.00%\n"
            "LOC               0          1        0      0.00%    0.00%    0.00%\n"
            "ORG               1          0        0      0.00%    0.00%    0.00%\n"
            "overall           2          2        1     50.00%   50.00%   50.00%\n"
            "1 sentences, 10 characters");
  EXPECT_EQ(testing::ReadFile(dir + "/pred.bio"),
            "张 B-PER\n三 I-PER\n在 O\n北 B-LOC\n京 I-LOC\n大 O\n学 O\n工 O\n作 O\n。 O\n\n");

  // A gold line without a tag: failure naming the file and line, no table.
  testing::WriteFile(dir + "/bad.bio", "张 B-PER\n三\n");
  ASSERT_EQ(
      testing::RunCommand(kCli + " eval-ner --res '" + kRes + "' '" + dir + "/bad.bio' 2>&1", &out),
      1);
  EXPECT_NE(out.find(dir + "/bad.bio:2"), std::string::npos) << out;
  EXPECT_EQ(out.find("precision"), std::string::npos) << out;
  EXPECT_EQ(testing::RunCommand(kCli + " eval-ner 2>/dev/null", nullptr), 2);
}

}  // namespace
}  // namespace verrin
