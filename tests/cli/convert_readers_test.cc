// convert --from weibo / cluener, into the corpus and into gold BIO that
// eval-ner scores, as the help's recipe runs them.
#include <gtest/gtest.h>

#include <string>

#include "cli/cli_test_util.h"
#include "test_util.h"

namespace verrin {
namespace {

using testing::Gbk;
using testing::ReadFile;
using testing::TestData;

using ConvertReaders = testing::CliTest;

TEST_F(ConvertReaders, WeiboIntoCorpusAndGoldThatEvalNerScores) {
  const std::string sample = TestData("corpus/weibo_sample.conll");
  ASSERT_EQ(Run("convert --from weibo " + sample + " " + dir_ + "/train.txt"), 0) << Stderr();
  const std::string err = Stderr();
  EXPECT_NE(err.find("line 22: tag I-PER.NAM continues no entity; read as B-PER.NAM"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("wrote 3 lines; skipped 0 sentences"), std::string::npos) << err;
  EXPECT_NE(err.find("4 characters outside GBK written as 〓"), std::string::npos) << err;
  EXPECT_NE(ReadFile(dir_ + "/train.txt").find(Gbk("[O 腾讯] 〓 〓\n")), std::string::npos);

  ASSERT_EQ(Run("convert --from weibo --to bio " + sample + " " + dir_ + "/dev.bio"), 0)
      << Stderr();
  EXPECT_EQ(ReadFile(dir_ + "/dev.bio").rfind("杰 B-PER\n克 I-PER\n• I-PER\n", 0), 0u);
  std::string out;
  ASSERT_EQ(Run("eval-ner --threads 1 " + dir_ + "/dev.bio", &out), 0) << Stderr();
  EXPECT_NE(out.find("overall"), std::string::npos) << out;
}

TEST_F(ConvertReaders, UsageOfToAndMap) {
  EXPECT_EQ(Run("convert --from pd98 --to bio a b"), 2);
  EXPECT_NE(Stderr().find("--to bio is used only with --from bio, weibo or cluener"),
            std::string::npos);
  EXPECT_EQ(Run("convert --from weibo --to xml a b"), 2);
  EXPECT_EQ(Run("convert --from msra --map A=P a b"), 2);
  EXPECT_EQ(Run("convert --from bio --map A=Q a b"), 2);
  EXPECT_NE(Stderr().find("--map: map entry 'A=Q': the class must be P, L or O"), std::string::npos)
      << Stderr();
  EXPECT_EQ(Run("convert --from cluener --to bio --raw-tokens a b"), 2);
}

}  // namespace
}  // namespace verrin
