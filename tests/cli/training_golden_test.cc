// The training path on real corpus lines, compared with results saved
// earlier (tests/data/training/pd98-nested.*): any change to an event or to
// the clauses training sees fails here.
//
// pd98-nested.txt holds 27 lines of People's Daily, January 1998, converted
// as the README's recipe converts a corpus (convert --from pd98 --fold-width
// --raw-tokens --nest-locations resources/default/NeItem.txt): organizations
// with their nested parts, and long clauses that break before "，", "、" or
// a symbol (the first line, 本报约翰内斯堡..., breaks before the "，" after
// 讲话). pd98-nested.events and pd98-nested.labels are what
// `genfeatures --person-labels` writes for them with the shipped lexicons and
// an empty label table. To re-create them after an intended change, run that
// command as GenfeaturesGivesTheSavedEventsAndLabels does and copy its two
// files over them.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>

#include "test_util.h"
#include "text/code_page.h"

namespace verrin {
namespace {

const std::string kCli = VERRIN_CLI_PATH;
const std::string kDefault = VERRIN_DEFAULT_RESOURCE_DIR;
const std::string kSaved = std::string(VERRIN_TEST_DATA_DIR) + "/training/pd98-nested";

// The first line where the GBK texts `actual` and `expected` differ, with
// both versions in UTF-8, or "" when they are the same.
std::string FirstDifference(const std::string& actual, const std::string& expected) {
  std::istringstream a(testing::Utf8(FromGbk(actual))), e(testing::Utf8(FromGbk(expected)));
  std::string line_a, line_e;
  for (int line = 1;; ++line) {
    const bool more_a = static_cast<bool>(std::getline(a, line_a));
    const bool more_e = static_cast<bool>(std::getline(e, line_e));
    if (!more_a && !more_e) return actual == expected ? "" : "line endings differ";
    if (more_a != more_e || line_a != line_e) {
      return "line " + std::to_string(line) + ": written '" + (more_a ? line_a : "(end)") +
             "', saved '" + (more_e ? line_e : "(end)") + "'";
    }
  }
}

TEST(TrainingGoldenTest, GenfeaturesGivesTheSavedEventsAndLabels) {
  const std::string dir = testing::MakeTempDir("training-golden");
  std::string out;
  ASSERT_EQ(testing::RunCommand("mkdir -p " + dir + "/res && cp " + kDefault + "/dict.txt " +
                                    kDefault + "/NeItem.txt " + kDefault + "/NeAffix.txt " +
                                    kDefault + "/PeInfo.txt " + dir + "/res/ && : > " + dir +
                                    "/res/charset_lableInfo_tr.txt",
                                &out),
            0)
      << out;
  ASSERT_EQ(testing::RunCommand(kCli + " genfeatures --person-labels --res " + dir + "/res " +
                                    kSaved + ".txt " + dir + "/out 2>&1",
                                &out),
            0)
      << out;
  EXPECT_EQ(FirstDifference(testing::ReadFile(dir + "/out/ME_featuredata_tr.txt"),
                            testing::ReadFile(kSaved + ".events")),
            "");
  EXPECT_EQ(FirstDifference(testing::ReadFile(dir + "/out/charset_lableInfo_tr.txt"),
                            testing::ReadFile(kSaved + ".labels")),
            "");
}

TEST(TrainingGoldenTest, RefineSeesTheClausesOfTheSplitter) {
  // One pass with the shipped model: the clauses refine takes (decoded or
  // skipped) are those the splitter cuts from the lines. A "，" that a long
  // clause broke before opens the next clause instead of being one.
  const std::string dir = testing::MakeTempDir("training-golden-refine");
  std::string out;
  ASSERT_EQ(testing::RunCommand(kCli + " refine --res " + kDefault + " --epochs 1 " + kSaved +
                                    ".txt " + dir + "/model.txt 2>&1",
                                &out),
            0)
      << out;
  std::smatch pass;
  ASSERT_TRUE(std::regex_search(out, pass, std::regex("pass 1: (\\d+) clauses, .* (\\d+) skipped")))
      << out;
  EXPECT_EQ(std::stoi(pass[1]) + std::stoi(pass[2]), 47) << pass[0];
}

}  // namespace
}  // namespace verrin
