#include <gtest/gtest.h>

#include <string>

#include "test_util.h"

namespace verrin {
namespace {

using testing::Gbk;
using testing::ReadFile;
using testing::RunCommand;
using testing::WriteFile;

std::string Cli() { return VERRIN_CLI_PATH; }

TEST(ConvertCommand, ConvertsReportsAndSummarizes) {
  const std::string dir = testing::MakeTempDir("cli_convert");
  WriteFile(dir + "/pd.txt", Gbk("19980101-01-001-002/m  江/nr  泽民/nr  在/p  北京/ns\r\n"
                                 "19980101-01-001-003/m  [中国/ns  政府/n\r\n"));
  std::string out;
  // Not a terminal: no progress line, only the report and the summary.
  EXPECT_EQ(
      RunCommand(Cli() + " convert --from pd98 " + dir + "/pd.txt " + dir + "/out.txt 2>&1", &out),
      0);
  EXPECT_EQ(ReadFile(dir + "/out.txt"), Gbk("[P 江/泽民] 在 [L 北京]\n"));
  EXPECT_NE(out.find("line 2: compound not closed"), std::string::npos) << out;
  EXPECT_NE(out.find("read 2 lines; wrote 1 lines; skipped 1 lines"), std::string::npos) << out;
  EXPECT_EQ(out.find('\r'), std::string::npos);
}

TEST(ConvertCommand, UsageAndFailures) {
  const std::string dir = testing::MakeTempDir("cli_convert_usage");
  std::string out;
  EXPECT_EQ(RunCommand(Cli() + " convert --from xml a b 2>&1", &out), 2);
  EXPECT_NE(out.find("--from must be pd98, msra, bio, weibo or cluener"), std::string::npos);
  EXPECT_EQ(RunCommand(Cli() + " convert a b 2>&1", &out), 2);
  EXPECT_EQ(RunCommand(Cli() + " convert --from msra --dict d a b 2>&1", &out), 2);
  EXPECT_EQ(RunCommand(Cli() + " convert --from msra " + dir + "/missing " + dir + "/o 2>&1", &out),
            1);
  EXPECT_NE(out.find("cannot open"), std::string::npos);
  EXPECT_EQ(RunCommand(Cli() + " convert --from bio --dict " + dir + "/nodict " + dir + "/x " +
                           dir + "/o 2>&1",
                       &out),
            1);
  EXPECT_NE(out.find("cannot read the dictionary"), std::string::npos);
}

TEST(ScoreCommand, PrintsTheTableAndRejectsMisalignedFiles) {
  const std::string dir = testing::MakeTempDir("cli_score");
  WriteFile(dir + "/gold.bio", "北 B-LOC\n京 I-LOC\n的 O\n张 B-PER\n三 I-PER\n");
  WriteFile(dir + "/pred.bio", "北 B-LOC\n京 I-LOC\n的 O\n张 B-PER\n三 O\n");
  WriteFile(dir + "/short.bio", "北 B-LOC\n京 I-LOC\n");
  std::string out;
  ASSERT_EQ(RunCommand(Cli() + " score " + dir + "/gold.bio " + dir + "/pred.bio", &out), 0);
  // LOC 1/1/1; PER gold [3,5) vs predicted [3,4): 1/1/0; overall 2/2/1.
  EXPECT_NE(out.find("PER               1          1        0      0.00%    0.00%    0.00%"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("overall           2          2        1     50.00%   50.00%   50.00%"),
            std::string::npos)
      << out;
  EXPECT_EQ(RunCommand(Cli() + " score " + dir + "/gold.bio " + dir + "/short.bio 2>&1", &out), 1);
  EXPECT_NE(out.find("gold has 5 characters, prediction has 2"), std::string::npos) << out;
  EXPECT_EQ(RunCommand(Cli() + " score " + dir + "/gold.bio 2>&1", &out), 2);
}

}  // namespace
}  // namespace verrin
