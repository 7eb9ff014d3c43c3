// The maxent commands of the verrin tool, run as a user would.
#include <gtest/gtest.h>

#include <string>

#include "test_util.h"

namespace verrin {
namespace {

using testing::Gbk;
using testing::MakeTempDir;
using testing::ReadFile;
using testing::RunCommand;
using testing::WriteFile;

std::string Cli() { return VERRIN_CLI_PATH; }

class MaxentCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = MakeTempDir("maxent_cli");
    WriteFile(dir_ + "/model.txt", Gbk("1\tchar=中\t0.5\n2\tchar=中\t-1.25\n2\tb\t1\n"));
  }
  int Run(const std::string& args, std::string* out = nullptr) {
    std::string ignored;
    return RunCommand(Cli() + " " + args + " 2>" + dir_ + "/stderr.txt",
                      out != nullptr ? out : &ignored);
  }
  std::string Stderr() const { return ReadFile(dir_ + "/stderr.txt"); }
  std::string dir_;
};

TEST_F(MaxentCliTest, ModelStatsCountsOutcomesPredicatesFeatures) {
  std::string out;
  ASSERT_EQ(Run("model --stats " + dir_ + "/model.txt", &out), 0) << Stderr();
  EXPECT_EQ(out, "outcomes: 2\npredicates: 2\nfeatures: 3\n");
  EXPECT_EQ(Run("model --stats " + dir_ + "/none.txt"), 1);
  EXPECT_NE(Stderr().find("error: cannot open " + dir_ + "/none.txt !"), std::string::npos);
  EXPECT_EQ(Run("model"), 2);
  EXPECT_EQ(Run("model --stats " + dir_ + "/model.txt --bogus"), 2);
}

TEST_F(MaxentCliTest, EvaluateWritesTheResultFile) {
  // char=中 and b: score(1) = 0.5, score(2) = -0.25, p(1) = 1 / (1 + e^-0.75).
  WriteFile(dir_ + "/test.txt", Gbk("char=中 b 2\n\nzz 1\n"));
  ASSERT_EQ(Run("evaluate --model " + dir_ + "/model.txt " + dir_ + "/test.txt " + dir_ +
                "/result.txt"),
            0)
      << Stderr();
  EXPECT_EQ(ReadFile(dir_ + "/result.txt"), "0\t1\t0.679179\t2\n1\t1\t0.500000\t1\n");
  EXPECT_NE(Stderr().find("total=2, correct=1, rate=50.00\n"), std::string::npos) << Stderr();
}

TEST_F(MaxentCliTest, EvaluateFailures) {
  EXPECT_EQ(Run("evaluate " + dir_ + "/test.txt " + dir_ + "/result.txt"), 2);
  EXPECT_EQ(Run("evaluate --model " + dir_ + "/model.txt " + dir_ + "/test.txt"), 2);
  EXPECT_EQ(Run("evaluate --model " + dir_ + "/none.txt a b"), 1);
  EXPECT_EQ(Run("evaluate --model " + dir_ + "/model.txt " + dir_ + "/none.txt " + dir_ +
                "/result.txt"),
            1);
  EXPECT_NE(Stderr().find("open file " + dir_ + "/none.txt failed"), std::string::npos);
}

}  // namespace
}  // namespace verrin
