#include <gtest/gtest.h>

#include <string>

#include "cli/cli_test_util.h"
#include "test_util.h"

namespace verrin {
namespace {

using testing::Gbk;
using testing::ReadFile;
using testing::WriteFile;

using ConvertCommand = testing::CliTest;
using ScoreCommand = testing::CliTest;

TEST_F(ConvertCommand, ConvertsReportsAndSummarizes) {
  WriteFile(dir_ + "/pd.txt", Gbk("19980101-01-001-002/m  江/nr  泽民/nr  在/p  北京/ns\r\n"
                                  "19980101-01-001-003/m  [中国/ns  政府/n\r\n"));
  std::string out;
  // Not a terminal: no progress line, only the report and the summary.
  EXPECT_EQ(Run("convert --from pd98 " + dir_ + "/pd.txt " + dir_ + "/out.txt", &out), 0);
  EXPECT_EQ(ReadFile(dir_ + "/out.txt"), Gbk("[P 江/泽民] 在 [L 北京]\n"));
  const std::string err = Stderr();
  EXPECT_NE(err.find("line 2: compound not closed"), std::string::npos) << err;
  EXPECT_NE(err.find("read 2 lines; wrote 1 lines; skipped 1 lines"), std::string::npos) << err;
  EXPECT_EQ((out + err).find('\r'), std::string::npos);
}

TEST_F(ConvertCommand, UsageAndFailures) {
  EXPECT_EQ(Run("convert --from xml a b"), 2);
  EXPECT_NE(Stderr().find("--from must be pd98, msra, bio, weibo or cluener"), std::string::npos);
  EXPECT_EQ(Run("convert a b"), 2);
  EXPECT_EQ(Run("convert --from msra --dict d a b"), 2);
  EXPECT_EQ(Run("convert --from msra " + dir_ + "/missing " + dir_ + "/o"), 1);
  EXPECT_NE(Stderr().find("cannot open"), std::string::npos);
  EXPECT_EQ(Run("convert --from bio --dict " + dir_ + "/nodict " + dir_ + "/x " + dir_ + "/o"), 1);
  EXPECT_NE(Stderr().find("cannot read the dictionary"), std::string::npos);
}

TEST_F(ScoreCommand, PrintsTheTableAndRejectsMisalignedFiles) {
  WriteFile(dir_ + "/gold.bio", "北 B-LOC\n京 I-LOC\n的 O\n张 B-PER\n三 I-PER\n");
  WriteFile(dir_ + "/pred.bio", "北 B-LOC\n京 I-LOC\n的 O\n张 B-PER\n三 O\n");
  WriteFile(dir_ + "/short.bio", "北 B-LOC\n京 I-LOC\n");
  std::string out;
  ASSERT_EQ(Run("score " + dir_ + "/gold.bio " + dir_ + "/pred.bio", &out), 0) << Stderr();
  // LOC 1/1/1; PER gold [3,5) vs predicted [3,4): 1/1/0; overall 2/2/1.
  EXPECT_NE(out.find("PER               1          1        0      0.00%    0.00%    0.00%"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("overall           2          2        1     50.00%   50.00%   50.00%"),
            std::string::npos)
      << out;
  EXPECT_EQ(Run("score " + dir_ + "/gold.bio " + dir_ + "/short.bio"), 1);
  EXPECT_NE(Stderr().find("gold has 5 characters, prediction has 2"), std::string::npos)
      << Stderr();
  EXPECT_EQ(Run("score " + dir_ + "/gold.bio"), 2);
}

}  // namespace
}  // namespace verrin
