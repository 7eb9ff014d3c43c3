// The protect, unprotect and segment commands, run through the built tool.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "io/protected_file.h"
#include "resource/lexicon.h"
#include "test_util.h"

namespace verrin {
namespace {

using testing::Gbk;
using testing::MakeTempDir;
using testing::ReadFile;
using testing::RunCommand;
using testing::WriteFile;

std::string Cli() { return VERRIN_CLI_PATH; }

TEST(CliResourceTest, ProtectedFileLoadsLikePlainAndUnprotectsBack) {
  const std::string dir = MakeTempDir("cli_protect");
  const std::string plain = Gbk("中国\n\n中国人 3\n人民");
  WriteFile(dir + "/dict.txt", plain);
  ASSERT_EQ(RunCommand(Cli() + " protect " + dir + "/dict.txt " + dir + "/dict.des", nullptr), 0);
  EXPECT_EQ(ReadFile(dir + "/dict.des").size(), 512u);

  CNEValuedLexicon from_plain(ReadLexiconValue), from_protected(ReadLexiconValue);
  ASSERT_TRUE(from_plain.LoadLexicon(dir + "/dict.txt", false));
  ASSERT_TRUE(from_protected.LoadLexicon(dir + "/dict.txt", true));
  ASSERT_EQ(from_protected.EntryCount(), 3);
  for (int32_t n = 1; n <= 3; ++n) {
    EXPECT_EQ(std::u16string(from_plain.WordAt(n)), std::u16string(from_protected.WordAt(n)));
    EXPECT_EQ(from_plain.ValueAt(n), from_protected.ValueAt(n));
  }

  ASSERT_EQ(RunCommand(Cli() + " unprotect " + dir + "/dict.des " + dir + "/back.txt", nullptr), 0);
  EXPECT_EQ(ReadFile(dir + "/back.txt"), plain);
}

TEST(CliResourceTest, ProtectErrors) {
  const std::string dir = MakeTempDir("cli_protect_errors");
  std::string output;
  EXPECT_EQ(RunCommand(Cli() + " protect " + dir + "/none.txt " + dir + "/none.des 2>&1", &output),
            1);
  EXPECT_NE(output.find("cannot open " + dir + "/none.txt"), std::string::npos) << output;
  EXPECT_EQ(RunCommand(Cli() + " protect only-one 2>/dev/null", nullptr), 2);
  EXPECT_EQ(RunCommand(Cli() + " unprotect --key x a b 2>/dev/null", nullptr), 2);
  WriteFile(dir + "/same.txt", "abc\n");
  EXPECT_EQ(
      RunCommand(Cli() + " protect " + dir + "/same.txt " + dir + "/same.txt 2>/dev/null", nullptr),
      1);
  EXPECT_EQ(ReadFile(dir + "/same.txt"), "abc\n");  // the input survives
}

TEST(CliResourceTest, SegmentPrintsGroupedTokensInUtf8ByDefaultOrGbk) {
  const std::string dir = MakeTempDir("cli_segment");
  WriteFile(dir + "/dict.txt", Gbk("中国\n中国人\n人民\n"));
  WriteFile(dir + "/in.txt", Gbk("中国人民 2007年,,\n\nabc12"));
  std::string output;
  ASSERT_EQ(
      RunCommand(Cli() + " segment --encoding gbk --res " + dir + " " + dir + "/in.txt", &output),
      0);
  EXPECT_EQ(output, Gbk("中国人 民 2007 年 , ,\n\nabc 12\n"));
  // Standard input, UTF-8 both ways by default.
  WriteFile(dir + "/in8.txt", "人民中国\n");
  ASSERT_EQ(RunCommand(Cli() + " segment --res " + dir + " < " + dir + "/in8.txt", &output), 0);
  EXPECT_EQ(output, "人民 中国\n");
}

TEST(CliResourceTest, SegmentErrors) {
  const std::string dir = MakeTempDir("cli_segment_errors");
  std::string output;
  EXPECT_EQ(RunCommand(Cli() + " segment --res " + dir + " 2>&1 </dev/null", &output), 1);
  EXPECT_EQ(output, "verrin segment: cannot load dictionary " + dir + "/dict.txt: cannot open " +
                        dir + "/dict.txt: No such file or directory\n");
  WriteFile(dir + "/dict.txt", "");
  EXPECT_EQ(RunCommand(Cli() + " segment --res " + dir + " " + dir + "/missing.txt 2>&1", &output),
            1);
  EXPECT_NE(output.find("cannot open " + dir + "/missing.txt"), std::string::npos) << output;
  EXPECT_EQ(RunCommand(Cli() + " segment --encoding latin1 --res " + dir + " 2>/dev/null", nullptr),
            2);
  EXPECT_EQ(RunCommand(Cli() + " segment --bogus 2>/dev/null", nullptr), 2);
}

}  // namespace
}  // namespace verrin
