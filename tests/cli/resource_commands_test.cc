// The protect, unprotect and segment commands, run through the built tool.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_test_util.h"
#include "io/protected_file.h"
#include "resource/lexicon.h"
#include "test_util.h"

namespace verrin {
namespace {

using testing::Gbk;
using testing::ReadFile;
using testing::WriteFile;

using CliResourceTest = testing::CliTest;

TEST_F(CliResourceTest, ProtectedFileLoadsLikePlainAndUnprotectsBack) {
  const std::string plain = Gbk("中国\n\n中国人 3\n人民");
  WriteFile(dir_ + "/dict.txt", plain);
  ASSERT_EQ(Run("protect " + dir_ + "/dict.txt " + dir_ + "/dict.des"), 0) << Stderr();
  EXPECT_EQ(ReadFile(dir_ + "/dict.des").size(), 512u);

  CNEValuedLexicon from_plain(ReadLexiconValue), from_protected(ReadLexiconValue);
  ASSERT_TRUE(from_plain.LoadLexicon(dir_ + "/dict.txt", false));
  ASSERT_TRUE(from_protected.LoadLexicon(dir_ + "/dict.txt", true));
  ASSERT_EQ(from_protected.EntryCount(), 3);
  for (int32_t n = 1; n <= 3; ++n) {
    EXPECT_EQ(std::u16string(from_plain.WordAt(n)), std::u16string(from_protected.WordAt(n)));
    EXPECT_EQ(from_plain.ValueAt(n), from_protected.ValueAt(n));
  }

  ASSERT_EQ(Run("unprotect " + dir_ + "/dict.des " + dir_ + "/back.txt"), 0) << Stderr();
  EXPECT_EQ(ReadFile(dir_ + "/back.txt"), plain);
}

TEST_F(CliResourceTest, ProtectErrors) {
  EXPECT_EQ(Run("protect " + dir_ + "/none.txt " + dir_ + "/none.des"), 1);
  EXPECT_NE(Stderr().find("cannot open " + dir_ + "/none.txt"), std::string::npos) << Stderr();
  EXPECT_EQ(Run("protect only-one"), 2);
  EXPECT_EQ(Run("unprotect --key x a b"), 2);
  WriteFile(dir_ + "/same.txt", "abc\n");
  EXPECT_EQ(Run("protect " + dir_ + "/same.txt " + dir_ + "/same.txt"), 1);
  EXPECT_EQ(ReadFile(dir_ + "/same.txt"), "abc\n");  // the input survives
}

TEST_F(CliResourceTest, SegmentPrintsGroupedTokensInUtf8ByDefaultOrGbk) {
  WriteFile(dir_ + "/dict.txt", Gbk("中国\n中国人\n人民\n"));
  WriteFile(dir_ + "/in.txt", Gbk("中国人民 2007年,,\n\nabc12"));
  std::string output;
  ASSERT_EQ(Run("segment --encoding gbk --res " + dir_ + " " + dir_ + "/in.txt", &output), 0)
      << Stderr();
  EXPECT_EQ(output, Gbk("中国人 民 2007 年 , ,\n\nabc 12\n"));
  // Standard input, UTF-8 both ways by default.
  WriteFile(dir_ + "/in8.txt", "人民中国\n");
  ASSERT_EQ(Run("segment --res " + dir_ + " < " + dir_ + "/in8.txt", &output), 0) << Stderr();
  EXPECT_EQ(output, "人民 中国\n");
}

TEST_F(CliResourceTest, SegmentErrors) {
  std::string output;
  EXPECT_EQ(Run("segment --res " + dir_ + " </dev/null", &output), 1);
  EXPECT_EQ(output, "");
  EXPECT_EQ(Stderr(), "verrin segment: cannot load dictionary " + dir_ + "/dict.txt: cannot open " +
                          dir_ + "/dict.txt: No such file or directory\n");
  WriteFile(dir_ + "/dict.txt", "");
  EXPECT_EQ(Run("segment --res " + dir_ + " " + dir_ + "/missing.txt"), 1);
  EXPECT_NE(Stderr().find("cannot open " + dir_ + "/missing.txt"), std::string::npos) << Stderr();
  EXPECT_EQ(Run("segment --encoding latin1 --res " + dir_), 2);
  EXPECT_EQ(Run("segment --bogus"), 2);
}

}  // namespace
}  // namespace verrin
