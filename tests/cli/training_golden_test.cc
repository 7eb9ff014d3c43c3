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
#include <vector>

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

// The lines of a GBK event file, as UTF-8.
std::vector<std::string> EventLines(const std::string& path) {
  std::istringstream events(testing::Utf8(FromGbk(testing::ReadFile(path))));
  std::vector<std::string> lines;
  for (std::string line; std::getline(events, line);) lines.push_back(line);
  return lines;
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

// The events of one small line with every group: each group's predicates in
// their place (word shapes after "ct=", the rest after "pv1nt1="), from the
// words feature generation walks (a person bracket as its surname and given
// name: the word before 在 is 三) and the lexicons of the resource directory
// (大学 an organization suffix, 北京 a location item). Without --groups the
// events carry none of them.
TEST(TrainingGoldenTest, GenfeaturesGroupsAddTheirPredicatesInOrder) {
  const std::string dir = testing::MakeTempDir("training-golden-groups");
  testing::WriteFile(dir + "/corpus.txt", testing::Gbk("[P 张三] 在 北京 大学 工作 。\n"));
  const std::string res = testing::TestData("tagger");
  std::string out;
  ASSERT_EQ(testing::RunCommand(kCli + " genfeatures --res " + res +
                                    " --groups prev-word,person-marks,class-marks,"
                                    "continuation-marks,next-match,word-shape,word-position " +
                                    dir + "/corpus.txt " + dir + "/with 2>&1",
                                &out),
            0)
      << out;
  const std::vector<std::string> lines = EventLines(dir + "/with/ME_featuredata_tr.txt");
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[2],
            "pv1lb=4 pv2lb=2 char=在 ct=1 wdsingle ntc1=北 nt1ct=1 ntc0c1=在北 ntc2=京 "
            "ntc1c2=北京 pvc1=三 pvc0c1=三在 pv1nt1=三北 pv1wd=三 ntlnname_c=2 ntlnname_n=北京 "
            "ntislnname 1");
  EXPECT_EQ(lines[5],
            "pv1lb=7 pv2lb=5 char=大 ct=1 wdbegin 2wdbegin ntc1=学 nt1ct=1 ntc0c1=大学 ntc2=工 "
            "ntc1c2=学工 pvc1=京 pvc0c1=京大 pvc1c2=北京 pvc2=北 pv1nt1=京学 pv1wd=北京 onsfx 5");
  EXPECT_EQ(
      lines[6],
      "pv1lb=5 pv2lb=7 char=学 ct=1 wdend 2wdend ntc1=工 nt1ct=1 ntc0c1=学工 ntc2=作 "
      "ntc1c2=工作 pvc1=大 pvc0c1=大学 pvc1c2=京大 pvc2=京 pv1nt1=大工 pv1wd=北京 onsfxcon 7");

  ASSERT_EQ(testing::RunCommand(kCli + " genfeatures --res " + res + " " + dir + "/corpus.txt " +
                                    dir + "/without 2>&1",
                                &out),
            0)
      << out;
  const std::string plain = testing::ReadFile(dir + "/without/ME_featuredata_tr.txt");
  EXPECT_EQ(plain.find("pv1wd="), std::string::npos);
  EXPECT_EQ(plain.find("wdbegin"), std::string::npos);
  EXPECT_EQ(plain.find("onsfx"), std::string::npos);

  EXPECT_EQ(
      testing::RunCommand(
          kCli + " genfeatures --groups person " + dir + "/corpus.txt " + dir + "/bad 2>&1", &out),
      2);
  EXPECT_NE(out.find("unknown feature group 'person'"), std::string::npos) << out;
}

// org-items on the command line: with the organization item 北京大学 (value
// 4) beside the location 北京, the unit before it gets the match, its first
// unit "onname" and the others "onnamecon", after all other predicates.
TEST(TrainingGoldenTest, GenfeaturesOrgItemsMarkKnownOrganizations) {
  const std::string dir = testing::MakeTempDir("training-golden-org-items");
  ASSERT_EQ(
      testing::RunCommand("cp -r " + testing::TestData("tagger") + " " + dir + "/res", nullptr), 0);
  testing::WriteFile(dir + "/res/NeItem.txt", testing::Gbk("北京 2\n北京大学 4\n"));
  testing::WriteFile(dir + "/corpus.txt", testing::Gbk("[P 张三] 在 北京 大学 工作 。\n"));
  std::string out;
  ASSERT_EQ(testing::RunCommand(kCli + " genfeatures --res " + dir +
                                    "/res --groups org-items,class-marks " + dir + "/corpus.txt " +
                                    dir + "/with 2>&1",
                                &out),
            0)
      << out;
  const std::vector<std::string> lines = EventLines(dir + "/with/ME_featuredata_tr.txt");
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[2],
            "pv1lb=4 pv2lb=2 char=在 ct=1 ntc1=北 nt1ct=1 ntc0c1=在北 ntc2=京 ntc1c2=北京 pvc1=三 "
            "pvc0c1=三在 pv1nt1=三北 ntonname_c=3 ntonname_n=北京大学 ntisonname 1");
  EXPECT_EQ(lines[3],
            "pv1lb=1 pv2lb=4 char=北 ct=1 ntc1=京 nt1ct=1 ntc0c1=北京 ntc2=大 ntc1c2=京大 "
            "pvc1=在 pvc0c1=在北 pvc1c2=三在 pvc2=三 pv1nt1=在京 lnname onname 5");
  for (size_t k : {4, 5, 6}) {
    EXPECT_NE(lines[k].find(" onnamecon "), std::string::npos) << lines[k];
    EXPECT_EQ(lines[k].find(" onname "), std::string::npos) << lines[k];
  }
  EXPECT_EQ(lines[7].find("onname"), std::string::npos) << lines[7];
}

}  // namespace
}  // namespace verrin
