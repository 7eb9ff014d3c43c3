// convert --from weibo / cluener, into the corpus and into gold BIO that
// eval-ner scores, as the help's recipe runs them.
#include <gtest/gtest.h>

#include <string>

#include "test_util.h"

namespace verrin {
namespace {

using testing::Gbk;
using testing::ReadFile;
using testing::RunCommand;

std::string Cli() { return VERRIN_CLI_PATH; }
std::string Sample(const std::string& name) {
  return std::string(VERRIN_TEST_DATA_DIR) + "/corpus/" + name;
}

TEST(ConvertReaders, WeiboIntoCorpusAndGoldThatEvalNerScores) {
  const std::string dir = testing::MakeTempDir("cli_weibo");
  std::string out;
  ASSERT_EQ(RunCommand(Cli() + " convert --from weibo " + Sample("weibo_sample.conll") + " " + dir +
                           "/train.txt 2>&1",
                       &out),
            0)
      << out;
  EXPECT_NE(out.find("line 22: tag I-PER.NAM continues no entity; read as B-PER.NAM"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("wrote 3 lines; skipped 0 sentences"), std::string::npos) << out;
  EXPECT_NE(out.find("4 characters outside GBK written as 〓"), std::string::npos) << out;
  EXPECT_NE(ReadFile(dir + "/train.txt").find(Gbk("[O 腾讯] 〓 〓\n")), std::string::npos);

  ASSERT_EQ(RunCommand(Cli() + " convert --from weibo --to bio " + Sample("weibo_sample.conll") +
                           " " + dir + "/dev.bio 2>&1",
                       &out),
            0)
      << out;
  EXPECT_EQ(ReadFile(dir + "/dev.bio").rfind("杰 B-PER\n克 I-PER\n• I-PER\n", 0), 0u);
  ASSERT_EQ(RunCommand(Cli() + " eval-ner --threads 1 " + dir + "/dev.bio 2>&1", &out), 0) << out;
  EXPECT_NE(out.find("overall"), std::string::npos) << out;
}

TEST(ConvertReaders, UsageOfToAndMap) {
  std::string out;
  EXPECT_EQ(RunCommand(Cli() + " convert --from pd98 --to bio a b 2>&1", &out), 2);
  EXPECT_NE(out.find("--to bio is used only with --from bio, weibo or cluener"), std::string::npos);
  EXPECT_EQ(RunCommand(Cli() + " convert --from weibo --to xml a b 2>&1", &out), 2);
  EXPECT_EQ(RunCommand(Cli() + " convert --from msra --map A=P a b 2>&1", &out), 2);
  EXPECT_EQ(RunCommand(Cli() + " convert --from bio --map A=Q a b 2>&1", &out), 2);
  EXPECT_NE(out.find("--map: map entry 'A=Q': the class must be P, L or O"), std::string::npos)
      << out;
  EXPECT_EQ(RunCommand(Cli() + " convert --from cluener --to bio --raw-tokens a b 2>&1", &out), 2);
}

}  // namespace
}  // namespace verrin
