// The maxent commands of the verrin tool, run as a user would.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "cli/cli_test_util.h"
#include "test_util.h"

namespace verrin {
namespace {

using testing::Gbk;
using testing::ReadFile;
using testing::RunCommand;
using testing::WriteFile;

class MaxentCliTest : public testing::CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    WriteFile(dir_ + "/model.txt", Gbk("1\tchar=中\t0.5\n2\tchar=中\t-1.25\n2\tb\t1\n"));
  }
};

TEST_F(MaxentCliTest, ModelStatsCountsOutcomesPredicatesFeatures) {
  std::string out;
  ASSERT_EQ(Run("model --stats " + dir_ + "/model.txt", &out), 0) << Stderr();
  EXPECT_EQ(out, "outcomes: 2\npredicates: 2\nfeatures: 3\n");
  // A model with predicates of groups names them after the sizes.
  WriteFile(dir_ + "/groups.txt", "1\tlnname\t0.5\n2\tonname\t-1\n2\tchar=a\t1\n");
  ASSERT_EQ(Run("model --stats " + dir_ + "/groups.txt", &out), 0) << Stderr();
  EXPECT_EQ(out, "outcomes: 2\npredicates: 3\nfeatures: 3\ngroups: class-marks,org-items\n");
  EXPECT_EQ(Run("model --stats " + dir_ + "/none.txt"), 1);
  EXPECT_NE(Stderr().find("verrin model: cannot open the model " + dir_ +
                          "/none.txt: No such file or directory\n"),
            std::string::npos)
      << Stderr();
  EXPECT_EQ(Run("model"), 2);
  EXPECT_EQ(Run("model --stats " + dir_ + "/model.txt --bogus"), 2);
}

TEST_F(MaxentCliTest, EvaluateWritesTheResultFile) {
  // char=中 and b: score(1) = 0.5, score(2) = -0.25, p(1) = 1 / (1 + e^-0.75).
  WriteFile(dir_ + "/test.txt", Gbk("char=中 b 2\n\nzz 1\n"));
  ASSERT_EQ(
      Run("evaluate --model " + dir_ + "/model.txt " + dir_ + "/test.txt " + dir_ + "/result.txt"),
      0)
      << Stderr();
  EXPECT_EQ(ReadFile(dir_ + "/result.txt"), "0\t1\t0.679179\t2\n1\t1\t0.500000\t1\n");
  EXPECT_NE(Stderr().find("total=2, correct=1, rate=50.00\n"), std::string::npos) << Stderr();
}

TEST_F(MaxentCliTest, EvaluateFailures) {
  EXPECT_EQ(Run("evaluate " + dir_ + "/test.txt " + dir_ + "/result.txt"), 2);
  EXPECT_EQ(Run("evaluate --model " + dir_ + "/model.txt " + dir_ + "/test.txt"), 2);
  EXPECT_EQ(Run("evaluate --model " + dir_ + "/none.txt a b"), 1);
  EXPECT_EQ(
      Run("evaluate --model " + dir_ + "/model.txt " + dir_ + "/none.txt " + dir_ + "/result.txt"),
      1);
  EXPECT_NE(Stderr().find("verrin evaluate: cannot open the test file " + dir_ +
                          "/none.txt: No such file or directory\n"),
            std::string::npos)
      << Stderr();
}

class MaxentTrainCliTest : public MaxentCliTest {
 protected:
  void SetUp() override {
    MaxentCliTest::SetUp();
    // The event file is opened for update: work on a copy.
    WriteFile(dir_ + "/events.txt", ReadFile(testing::TestData("maxent/train_events.txt")));
  }
};

TEST_F(MaxentTrainCliTest, TrainsSavesAndTheModelEvaluates) {
  // The prior weighs against the mean log-likelihood: sigma 10 keeps it mild.
  ASSERT_EQ(Run("train --sigma 10 --heldout 8 --early-stop 2 " + dir_ + "/events.txt " + dir_ +
                "/trained.txt"),
            0)
      << Stderr();
  const std::string messages = Stderr();
  EXPECT_NE(messages.find("Gaussian prior sigma = 10\n"), std::string::npos) << messages;
  EXPECT_NE(messages.find("number of samples = 40\n"), std::string::npos) << messages;
  EXPECT_NE(messages.find("performing LMVM\n"), std::string::npos) << messages;
  std::string out;
  ASSERT_EQ(Run("model --stats " + dir_ + "/trained.txt", &out), 0);
  EXPECT_EQ(out.rfind("outcomes: 4\n", 0), 0u) << out;
  // The character decides the label in this sample: everything comes out right.
  ASSERT_EQ(Run("evaluate --model " + dir_ + "/trained.txt " + dir_ + "/events.txt " + dir_ +
                "/result.txt"),
            0);
  EXPECT_NE(Stderr().find("total=48, correct=48, rate=100.00"), std::string::npos) << Stderr();
}

TEST_F(MaxentTrainCliTest, HeldoutShareAndOneLinePerIterationInALog) {
  // 25% of 48 events: the last 12 are held out, 36 remain for training.
  ASSERT_EQ(Run("train --heldout 25% " + dir_ + "/events.txt " + dir_ + "/m.txt"), 0) << Stderr();
  const std::string messages = Stderr();
  EXPECT_NE(messages.find("held out: the last 12 of 48 events (25%)\n"), std::string::npos)
      << messages;
  EXPECT_NE(messages.find("number of samples = 36\n"), std::string::npos) << messages;
  // Standard error is a file here: no carriage returns, every iteration on
  // a line of its own, starting with iteration 0 and 1.
  EXPECT_EQ(messages.find('\r'), std::string::npos);
  EXPECT_NE(messages.find("\n  0  logl(err) = "), std::string::npos) << messages;
  EXPECT_NE(messages.find("\n  1  logl(err) = "), std::string::npos) << messages;
  EXPECT_EQ(Run("train --heldout 100% " + dir_ + "/events.txt " + dir_ + "/m.txt"), 2);
  EXPECT_EQ(Run("train --heldout 5%% " + dir_ + "/events.txt " + dir_ + "/m.txt"), 2);
}

TEST_F(MaxentTrainCliTest, OnATerminalEachIterationShowsItsTimes) {
  // script(1) gives the command a terminal and copies what it shows.
  if (std::system("script --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1)";
  std::string shown;
  ASSERT_EQ(RunCommand("script -qec '" VERRIN_CLI_PATH " train " + dir_ + "/events.txt " + dir_ +
                           "/m.txt' /dev/null",
                       &shown),
            0)
      << shown;
  // The optimiser's own line, then the times, redrawn in place.
  const size_t first = shown.find("  0  logl(err) = ");
  ASSERT_NE(first, std::string::npos) << shown;
  const size_t times = shown.find(" s/iteration\033[K\r", first);
  ASSERT_NE(times, std::string::npos) << shown;
  // Iteration 1 redraws the same terminal line.
  const size_t second = shown.find("  1  logl(err) = ", times);
  ASSERT_NE(second, std::string::npos) << shown;
  EXPECT_GT(shown.find('\n', first), second) << shown;
}

// Paths are bytes: a directory named "€" made `train` and `model --stats`
// fail with a garbled "cannot open" message.
TEST_F(MaxentTrainCliTest, PathsThroughANonGbkDirectoryRegression) {
  const std::string euro = dir_ + "/€";
  std::filesystem::create_directory(euro);
  ASSERT_EQ(Run("train " + dir_ + "/events.txt '" + euro + "/trained.txt'"), 0) << Stderr();
  std::string out;
  ASSERT_EQ(Run("model --stats '" + euro + "/trained.txt'", &out), 0) << Stderr();
  EXPECT_EQ(out.rfind("outcomes: 4\n", 0), 0u) << out;
  EXPECT_EQ(Run("model --stats '" + euro + "/none.txt'"), 1);
  EXPECT_NE(Stderr().find("cannot open the model " + euro + "/none.txt: No such file"),
            std::string::npos)
      << Stderr();
}

TEST_F(MaxentTrainCliTest, AgisAndCutoff) {
  ASSERT_EQ(Run("train --agis --cutoff 2 " + dir_ + "/events.txt " + dir_ + "/agis.txt"), 0)
      << Stderr();
  EXPECT_EQ(Stderr().rfind("cutoff threshold = 2\npreparing for estimation", 0), 0u) << Stderr();
  EXPECT_NE(Stderr().find("performing AGIS\n"), std::string::npos);
  EXPECT_EQ(Stderr().find("performing LMVM"), std::string::npos);
  EXPECT_FALSE(ReadFile(dir_ + "/agis.txt").empty());
}

TEST_F(MaxentTrainCliTest, PruneLeavesSmallWeightsOut) {
  ASSERT_EQ(Run("train " + dir_ + "/events.txt " + dir_ + "/whole.txt"), 0) << Stderr();
  ASSERT_EQ(Run("train --prune 0.5 " + dir_ + "/events.txt " + dir_ + "/pruned.txt"), 0)
      << Stderr();
  EXPECT_NE(Stderr().find("(weights within 0.5 of 0)"), std::string::npos) << Stderr();
  // The pruned file is the whole one without the lines of small weights.
  std::string kept;
  size_t dropped = 0;
  const std::string whole = ReadFile(dir_ + "/whole.txt");
  for (size_t start = 0; start < whole.size();) {
    const size_t end = whole.find('\n', start) + 1;
    const std::string line = whole.substr(start, end - start);
    const double weight = std::stod(line.substr(line.rfind('\t') + 1));
    if (std::fabs(weight) >= 0.5) {
      kept += line;
    } else {
      ++dropped;
    }
    start = end;
  }
  EXPECT_GT(dropped, 0u);
  EXPECT_EQ(ReadFile(dir_ + "/pruned.txt"), kept);
  EXPECT_NE(Stderr().find("pruned " + std::to_string(dropped) + " of "), std::string::npos)
      << Stderr();
  EXPECT_EQ(Run("train --prune -1 " + dir_ + "/events.txt " + dir_ + "/m.txt"), 2);
  // A prune that leaves no feature would write a model no loader takes.
  EXPECT_EQ(Run("train --prune 1e300 " + dir_ + "/events.txt " + dir_ + "/none.txt"), 1);
  EXPECT_NE(Stderr().find("the model would hold no features"), std::string::npos) << Stderr();
  EXPECT_NE(testing::RunCommand("test -e " + dir_ + "/none.txt", nullptr), 0);
}

TEST_F(MaxentTrainCliTest, Failures) {
  EXPECT_EQ(Run("train " + dir_ + "/events.txt"), 2);
  EXPECT_EQ(Run("train --cutoff x " + dir_ + "/events.txt " + dir_ + "/m.txt"), 2);
  EXPECT_EQ(Run("train --sigma -1 " + dir_ + "/events.txt " + dir_ + "/m.txt"), 2);
  EXPECT_EQ(Run("train --heldout " + dir_ + "/events.txt " + dir_ + "/m.txt"), 2);
  EXPECT_EQ(Run("train --bogus " + dir_ + "/events.txt " + dir_ + "/m.txt"), 2);
  EXPECT_EQ(Run("train " + dir_ + "/none.txt " + dir_ + "/m.txt"), 1);
  EXPECT_NE(Stderr().find("no such event file: " + dir_ + "/none.txt"), std::string::npos);
  EXPECT_EQ(Run("train --heldout 48 " + dir_ + "/events.txt " + dir_ + "/m.txt"), 1);
  EXPECT_NE(Stderr().find("error: too much heldout data. no training data is available.\n"),
            std::string::npos);
  EXPECT_EQ(Run("train " + dir_ + "/events.txt " + dir_ + "/no/dir/m.txt"), 1);
  EXPECT_NE(Stderr().find("error: cannot open " + dir_ + "/no/dir/m.txt!\n"), std::string::npos);
}

}  // namespace
}  // namespace verrin
