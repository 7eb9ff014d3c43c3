// Write errors must not pass for success: a full device or a file size limit
// ends the command with status 1 and the reason, and a file the command makes
// is either complete or absent (an older file of that name is left as it was).
#include <gtest/gtest.h>

#include <string>

#include "test_util.h"

namespace verrin {
namespace {

const std::string kCli = VERRIN_CLI_PATH;
const std::string kRes = std::string(VERRIN_TEST_DATA_DIR) + "/tagger";
const std::string kEvents = std::string(VERRIN_TEST_DATA_DIR) + "/maxent/train_events.txt";

std::string Quote(const std::string& s) { return "'" + s + "'"; }

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

bool Exists(const std::string& path) {
  return testing::RunCommand("test -e " + Quote(path), nullptr) == 0;
}

TEST(WriteErrorTest, StandardOutputOnAFullDevice) {
  if (!Exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const std::string dir = testing::MakeTempDir("write-full");
  testing::WriteFile(dir + "/in.txt", "张三在北京\n");
  testing::WriteFile(dir + "/gold.bio", "张 B-PER\n三 I-PER\n\n");
  const std::string in = Quote(dir + "/in.txt"), gold = Quote(dir + "/gold.bio");
  for (const std::string& command :
       {"tag --res " + Quote(kRes) + " " + in, "tag --res " + Quote(kRes) + " --format json " + in,
        "tag --res " + Quote(kRes) + " --format bio " + in,
        "segment --res " + Quote(kRes) + " " + in, "score " + gold + " " + gold,
        "eval-ner --res " + Quote(kRes) + " " + gold,
        "model --stats " + Quote(kRes + "/model.txt")}) {
    std::string err;
    EXPECT_EQ(testing::RunCommand(kCli + " " + command + " 2>&1 >/dev/full", &err), 1) << command;
    EXPECT_NE(err.find("No space left on device"), std::string::npos) << command << ": " << err;
    // Said once: the exit check of standard output must not repeat it.
    EXPECT_EQ(err.find("No space left on device"), err.rfind("No space left on device"))
        << command << ": " << err;
    EXPECT_EQ(err.find("Input/output error"), std::string::npos) << command << ": " << err;
  }
}

TEST(WriteErrorTest, FileSizeLimitLeavesNoHalfWrittenFile) {
  const std::string dir = testing::MakeTempDir("write-limit");
  const std::string d = dir + "/";
  testing::WriteFile(d + "in.gbk", testing::Gbk(Repeat("张三在北京大学工作。\n", 2000)));
  testing::WriteFile(d + "corpus.gbk", testing::Gbk(Repeat("[P 张三] 在 [L 北京] 工作 。\n", 500)));
  testing::WriteFile(d + "gold.bio", Repeat("张 B-PER\n三 I-PER\n在 O\n\n", 2000));
  testing::WriteFile(d + "events.txt", Repeat(testing::ReadFile(kEvents), 100));
  testing::WriteFile(
      d + "pd.txt",
      testing::Gbk(Repeat("19980101-01-001-002/m  江/nr  泽民/nr  在/p  北京/ns\n", 500)));
  testing::WriteFile(d + "old.txt", "an older file\n");
  const std::string r = " --res " + Quote(kRes) + " ";
  struct Case {
    std::string command;
    std::string output;
  };
  const Case cases[] = {
      {"tagfile" + r + Quote(d + "in.gbk") + " " + Quote(d + "old.txt"), d + "old.txt"},
      {"tagfile" + r + Quote(d + "in.gbk") + " " + Quote(d + "tagged.txt"), d + "tagged.txt"},
      {"genfeatures" + r + Quote(d + "corpus.gbk") + " " + Quote(d + "features"),
       d + "features/ME_featuredata_tr.txt"},
      {"evaluate --model " + Quote(kRes + "/model.txt") + " " + Quote(d + "events.txt") + " " +
           Quote(d + "result.txt"),
       d + "result.txt"},
      {"convert --from pd98 " + Quote(d + "pd.txt") + " " + Quote(d + "converted.txt"),
       d + "converted.txt"},
      {"augment --copies 3 " + Quote(d + "corpus.gbk") + " " + Quote(d + "augmented.txt"),
       d + "augmented.txt"},
      {"protect " + Quote(d + "in.gbk") + " " + Quote(d + "in.des"), d + "in.des"},
      {"eval-ner" + r + "--output " + Quote(d + "pred.bio") + " " + Quote(d + "gold.bio"),
       d + "pred.bio"},
  };
  for (const Case& c : cases) {
    std::string err;
    // A limit of a few KB. The command itself ignores SIGXFSZ, so that its
    // writes fail with EFBIG instead of the signal killing it mid-file.
    EXPECT_EQ(testing::RunCommand("ulimit -f 8 && cd " + Quote(dir) + " && " + kCli + " " +
                                      c.command + " 2>&1 >/dev/null",
                                  &err),
              1)
        << c.command;
    EXPECT_NE(err.find("File too large"), std::string::npos) << c.command << ": " << err;
    if (c.output == d + "old.txt") {
      EXPECT_EQ(testing::ReadFile(c.output), "an older file\n") << c.command;
    } else {
      EXPECT_FALSE(Exists(c.output)) << c.command;
    }
  }
  // No temporary file is left behind either.
  std::string leftovers;
  testing::RunCommand("find " + Quote(dir) + " -name '*.tmp-*'", &leftovers);
  EXPECT_EQ(leftovers, "");
}

}  // namespace
}  // namespace verrin
