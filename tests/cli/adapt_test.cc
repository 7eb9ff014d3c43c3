// verrin adapt, run as a user would: a small corpus of names the base model
// has no feature for, then the written directory used as it is.
#include <gtest/gtest.h>

#include <string>

#include "cli/cli_test_util.h"
#include "test_util.h"

namespace verrin {
namespace {

using testing::Gbk;
using testing::ReadFile;
using testing::RunCommand;
using testing::TestData;
using testing::WriteFile;

class AdaptCliTest : public testing::CliTest {
 protected:
  // The bracketed rendering of `text` tagged with the resources of `res`.
  std::string Tag(const std::string& res, const std::string& text) {
    WriteFile(dir_ + "/in.txt", Gbk(text + "\n"));
    EXPECT_EQ(Run("tagfile --res " + res + " " + dir_ + "/in.txt " + dir_ + "/out.txt"), 0)
        << Stderr();
    return ReadFile(dir_ + "/out.txt");
  }
};

TEST_F(AdaptCliTest, AdaptedDirectoryFindsNamesTheBaseMissedAndRepeatsByteForByte) {
  const std::string base = TestData("tagger");
  const std::string corpus = TestData("adapt/corpus.txt");
  const std::string sentence = "王五在深圳工作。";
  const std::string expected = Gbk("[P 王五] 在 [L 深圳] 工作 。 \n");
  ASSERT_NE(Tag(base, sentence), expected);

  ASSERT_EQ(Run("adapt --res " + base + " " + corpus + " " + dir_ + "/first"), 0) << Stderr();
  EXPECT_NE(Stderr().find("pass 10:"), std::string::npos) << Stderr();
  EXPECT_EQ(Tag(dir_ + "/first", sentence), expected);

  // Run again into an existing resource directory, and into a new one.
  ASSERT_EQ(Run("adapt --res " + base + " " + corpus + " " + dir_ + "/first"), 0) << Stderr();
  ASSERT_EQ(Run("adapt --res " + base + " " + corpus + " " + dir_ + "/second/"), 0) << Stderr();
  for (const char* name :
       {"/dict.txt", "/NeItem.txt", "/NeAffix.txt", "/charset_lableInfo_tr.txt", "/model.txt"}) {
    const std::string written = ReadFile(dir_ + "/first" + name);
    EXPECT_FALSE(written.empty()) << name;
    EXPECT_EQ(written, ReadFile(dir_ + "/second" + name)) << name;
  }
  std::string listing;
  RunCommand("ls " + dir_, &listing);
  EXPECT_EQ(listing.find("first."), std::string::npos) << listing;  // no .partial, .previous
}

// The groups' pairs join the model with the others: 北京 is a location item
// of the base directory, so its own first unit gets "lnname" and the unit
// before it the next-match predicates; the model holds no other group. An
// unknown group is a usage error.
TEST_F(AdaptCliTest, GroupsJoinTheModel) {
  const std::string args = "--res " + TestData("tagger") + " " + TestData("adapt/corpus.txt") + " ";
  ASSERT_EQ(Run("adapt --prune 0 --groups class-marks,next-match " + args + dir_ + "/groups"), 0)
      << Stderr();
  EXPECT_NE(Stderr().find("feature groups: class-marks,next-match\n"), std::string::npos)
      << Stderr();
  const std::string model = ReadFile(dir_ + "/groups/model.txt");
  EXPECT_NE(model.find(Gbk("\tntlnname_n=北京\t")), std::string::npos);
  EXPECT_NE(model.find("8\tlnname\t"), std::string::npos);

  // The organization items come by default (here 字节跳动, an organization
  // item of a copy of the base directory); "none" leaves the model's groups
  // as they were.
  const std::string res = dir_ + "/res";
  ASSERT_EQ(RunCommand("cp -r " + TestData("tagger") + " " + res, nullptr), 0);
  WriteFile(res + "/NeItem.txt", Gbk("北京 2\n字节跳动 4\n"));
  const std::string own = "--res " + res + " " + TestData("adapt/corpus.txt") + " ";
  ASSERT_EQ(Run("adapt --prune 0 " + own + dir_ + "/default"), 0) << Stderr();
  EXPECT_NE(Stderr().find("feature groups: org-items\n"), std::string::npos) << Stderr();
  EXPECT_NE(ReadFile(dir_ + "/default/model.txt").find("\tonname\t"), std::string::npos);
  ASSERT_EQ(Run("adapt --prune 0 --groups none " + own + dir_ + "/none"), 0) << Stderr();
  EXPECT_EQ(Stderr().find("feature groups:"), std::string::npos) << Stderr();
  EXPECT_EQ(ReadFile(dir_ + "/none/model.txt").find("\tonname\t"), std::string::npos);

  // Without --res, adapt starts from the bundled web set, which holds
  // class-marks.
  ASSERT_EQ(Run("adapt --passes 1 " + TestData("adapt/corpus.txt") + " " + dir_ + "/web"), 0)
      << Stderr();
  EXPECT_NE(Stderr().find("feature groups: class-marks,org-items\n"), std::string::npos)
      << Stderr();

  EXPECT_EQ(Run("adapt --groups person " + args + dir_ + "/bad"), 2);
  EXPECT_NE(Stderr().find("unknown feature group 'person'"), std::string::npos) << Stderr();
}

TEST_F(AdaptCliTest, LeavesADirectoryOfOtherFilesAlone) {
  const std::string out = dir_ + "/notes";
  RunCommand("mkdir " + out, nullptr);
  WriteFile(out + "/mine.txt", "keep me");
  EXPECT_EQ(
      Run("adapt --res " + TestData("tagger") + " " + TestData("adapt/corpus.txt") + " " + out), 1);
  EXPECT_NE(Stderr().find("is not a resource directory"), std::string::npos) << Stderr();
  EXPECT_EQ(ReadFile(out + "/mine.txt"), "keep me");
  std::string listing;
  RunCommand("ls " + dir_, &listing);
  EXPECT_EQ(listing.find("partial"), std::string::npos) << listing;
  // Nor is a directory written whose model every weight was pruned from.
  EXPECT_EQ(Run("adapt --passes 1 --prune 1e300 --res " + TestData("tagger") + " " +
                TestData("adapt/corpus.txt") + " " + dir_ + "/empty"),
            1);
  EXPECT_NE(Stderr().find("the model would hold no features"), std::string::npos) << Stderr();
  EXPECT_NE(RunCommand("test -e " + dir_ + "/empty", nullptr), 0);
}

}  // namespace
}  // namespace verrin
