// The tag and tagfile commands, run as a user would.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "test_util.h"
#include "verrin/verrin.h"

namespace verrin {
namespace {

const std::string kCli = VERRIN_CLI_PATH;
const std::string kRes = std::string(VERRIN_TEST_DATA_DIR) + "/tagger";

std::string Quote(const std::string& s) { return "'" + s + "'"; }

int RunTag(const std::string& args, const std::string& input, std::string* out) {
  const std::string dir = testing::MakeTempDir("cli-input");
  testing::WriteFile(dir + "/in.txt", input);
  return testing::RunCommand(kCli + " " + args + " < " + Quote(dir + "/in.txt") + " 2>/dev/null",
                             out);
}

TEST(TagCommandTest, JsonRecordsOfSegmentedInput) {
  std::string out;
  ASSERT_EQ(RunTag("tag --res " + Quote(kRes) + " --option 2 --format json",
                   "[P 张三] 在 [ns 北京] 工作 2007\n\n", &out),
            0);
  EXPECT_EQ(out,
            "{\"records\": [[0, 2, \"张三\", 3, \"P\"], [2, 1, \"在\", 0, null], "
            "[3, 2, \"北京\", 2, \"ns\"], [5, 2, \"工作\", 0, null], [7, 4, \"2007\", 2, "
            "\"number\"]], \"rendered\": \"[P 张三] 在 [ns 北京] 工作 [number 2007] \"}\n"
            "{\"records\": [], \"rendered\": \"\"}\n");

  ASSERT_EQ(
      RunTag("tag --res " + Quote(kRes) + " --option 1 --format json", "张三/[mdw 大学]\n", &out),
      0);
  EXPECT_EQ(out,
            "{\"records\": [[0, 2, \"张三\", 3, \"P\"], [2, 2, \"大学\", 1, \"mdw\"]], "
            "\"rendered\": \"[P 张三] [mdw 大学] \"}\n");
}

TEST(TagCommandTest, TextAndBioFormats) {
  std::string out;
  ASSERT_EQ(RunTag("tag --res " + Quote(kRes), "张三在北京大学工作。\n", &out), 0);
  EXPECT_EQ(out, "[P 张三] 在 [L 北京] 大学 工作 。 \n");
  ASSERT_EQ(RunTag("tag --res " + Quote(kRes) + " --format bio", "张三在北京\n", &out), 0);
  EXPECT_EQ(out, "张 B-PER\n三 I-PER\n在 O\n北 B-LOC\n京 I-LOC\n\n");
  ASSERT_EQ(
      RunTag("tag --res " + Quote(kRes) + " --encoding gbk", testing::Gbk("张三在北京\n"), &out),
      0);
  EXPECT_EQ(out, testing::Gbk("[P 张三] 在 [L 北京] \n"));
}

TEST(TagCommandTest, EntitiesFormatCountsCodePointsOfTheInputLine) {
  // U+20000 takes two UTF-16 units and the blank is dropped before tagging:
  // the records put 江泽民 at unit 2 and 北京 at unit 6 of the words alone;
  // in code points of the line they stand at 2 and 6, ending at 5 and 8,
  // and in UTF-16 units of the line they would stand at 3 and 7.
  std::string out;
  ASSERT_EQ(RunTag("tag --format entities --res " + Quote(VERRIN_DEFAULT_RESOURCE_DIR),
                   "𠀀 江泽民在北京。\n\n", &out),
            0);
  EXPECT_EQ(out,
            "{\"entities\": [{\"start\": 2, \"end\": 5, \"label\": \"P\", \"text\": \"江泽民\"}, "
            "{\"start\": 6, \"end\": 8, \"label\": \"L\", \"text\": \"北京\"}]}\n"
            "{\"entities\": []}\n");
}

TEST(TagCommandTest, AnswersALineFromAPipeBeforeTheInputEnds) {
  // The writer keeps the pipe open until the answer has come: a tagger that
  // waited for more input (or for the end) would leave `out` empty.
  const std::string dir = testing::MakeTempDir("tag-pipe");
  std::string out;
  ASSERT_EQ(testing::RunCommand(
                "cd " + Quote(dir) + " && mkfifo in && (" + kCli + " tag --threads 2 --res " +
                    Quote(kRes) +
                    " < in > out 2>/dev/null &) && exec 3>in && printf '张三在北京\\n' >&3 && "
                    "for i in $(seq 300); do [ -s out ] && break; sleep 0.1; done; cat out; "
                    "exec 3>&-",
                &out),
            0);
  EXPECT_EQ(out, "[P 张三] 在 [L 北京] \n");
}

TEST(TagCommandTest, SameOutputForEveryThreadCount) {
  // Varied lines (news, long clauses, brackets, digit and Latin runs) in
  // every separator option: four workers finish lines out of order, and the
  // output must still be byte for byte that of one.
  const std::string golden = std::string(VERRIN_TEST_DATA_DIR) + "/golden";
  const std::string dir = testing::MakeTempDir("tag-threads");
  for (const char* option : {"0", "1", "2"}) {
    const std::string in = Quote(golden + "/option" + option + ".txt");
    const std::string lines = testing::ReadFile(golden + "/option" + option + ".txt");
    for (const char* format : {"text", "json", "entities"}) {
      std::string one, four;
      const std::string command =
          kCli + " tag --res " + Quote(kRes) + " --option " + option + " --format " + format + " ";
      ASSERT_EQ(testing::RunCommand(command + "--threads 1 " + in + " 2>/dev/null", &one), 0);
      ASSERT_EQ(testing::RunCommand(command + "--threads 4 < " + in + " 2>/dev/null", &four), 0);
      EXPECT_EQ(std::count(one.begin(), one.end(), '\n'),
                std::count(lines.begin(), lines.end(), '\n'))
          << option << " " << format;
      EXPECT_TRUE(one == four) << "option " << option << ", format " << format;
    }
    std::string out;
    ASSERT_EQ(testing::RunCommand(kCli + " tagfile --encoding utf-8 --threads 1 --option " +
                                      option + " --res " + Quote(kRes) + " " + in + " " +
                                      Quote(dir + "/one.txt") + " 2>/dev/null",
                                  &out),
              0);
    ASSERT_EQ(testing::RunCommand(kCli + " tagfile --encoding utf-8 --threads 3 --option " +
                                      option + " --res " + Quote(kRes) + " " + in + " " +
                                      Quote(dir + "/three.txt") + " 2>/dev/null",
                                  &out),
              0);
    EXPECT_GT(testing::ReadFile(dir + "/one.txt").size(), lines.size());
    EXPECT_TRUE(testing::ReadFile(dir + "/one.txt") == testing::ReadFile(dir + "/three.txt"))
        << "tagfile, option " << option;
  }
  // eval-ner: the BIO file written from the raw lines serves as gold; the
  // predicted tags and the scores must not depend on the thread count.
  std::string bio, one, three;
  ASSERT_EQ(testing::RunCommand(kCli + " tag --format bio --res " + Quote(kRes) + " " +
                                    Quote(golden + "/option0.txt") + " 2>/dev/null",
                                &bio),
            0);
  testing::WriteFile(dir + "/gold.bio", bio);
  const std::string eval = kCli + " eval-ner --res " + Quote(kRes) + " " + Quote(dir + "/gold.bio");
  ASSERT_EQ(testing::RunCommand(eval + " --threads 1 --output " + Quote(dir + "/one.bio") +
                                    " 2>/dev/null | head -n 6",
                                &one),
            0);
  ASSERT_EQ(testing::RunCommand(eval + " --threads 3 --output " + Quote(dir + "/three.bio") +
                                    " 2>/dev/null | head -n 6",
                                &three),
            0);
  EXPECT_NE(one.find("overall"), std::string::npos) << one;
  EXPECT_EQ(one, three);
  EXPECT_TRUE(testing::ReadFile(dir + "/one.bio") == testing::ReadFile(dir + "/three.bio"));
  EXPECT_GT(testing::ReadFile(dir + "/one.bio").size(), bio.size() / 2);
}

TEST(TagCommandTest, TagFileWritesMergedOrganizations) {
  const std::string dir = testing::MakeTempDir("tagfile");
  testing::WriteFile(dir + "/in.txt",
                     testing::Gbk("张三在北京大学工作。\n\n   \n张三说，在北京\n"));
  std::string out;
  ASSERT_EQ(
      testing::RunCommand(kCli + " tagfile --res " + Quote(kRes) + " " + Quote(dir + "/in.txt") +
                              " " + Quote(dir + "/out.txt") + " 2>/dev/null",
                          &out),
      0);
  EXPECT_EQ(testing::ReadFile(dir + "/out.txt"),
            testing::Gbk("[P 张三] 在 [O 北京大学] 工作 。 \n[P 张三] 说 ， 在 [L 北京] \n"));
  // The same lines in UTF-8 give the same lines in UTF-8.
  testing::WriteFile(dir + "/in8.txt", "张三在北京大学工作。\n\n   \n张三说，在北京\n");
  ASSERT_EQ(testing::RunCommand(kCli + " tagfile --encoding utf-8 --res " + Quote(kRes) + " " +
                                    Quote(dir + "/in8.txt") + " " + Quote(dir + "/out8.txt") +
                                    " 2>/dev/null",
                                &out),
            0);
  EXPECT_EQ(testing::ReadFile(dir + "/out8.txt"),
            "[P 张三] 在 [O 北京大学] 工作 。 \n[P 张三] 说 ， 在 [L 北京] \n");
}

TEST(TagCommandTest, ErrorsAreOneLineWithStatus) {
  std::string out;
  EXPECT_EQ(testing::RunCommand(kCli + " tag --res /nonexistent/dir < /dev/null 2>&1", &out), 1);
  EXPECT_NE(out.find("resource directory not found: /nonexistent/dir"), std::string::npos) << out;
  EXPECT_EQ(testing::RunCommand(kCli + " tag --option 5 < /dev/null 2>&1", &out), 2);
  EXPECT_EQ(testing::RunCommand(kCli + " tag --frobnicate < /dev/null 2>&1", &out), 2);
  EXPECT_NE(out.find("unknown option --frobnicate"), std::string::npos);
  EXPECT_EQ(testing::RunCommand(kCli + " tag --res " + Quote(kRes) + " /no/such/file 2>&1", &out),
            1);
  EXPECT_EQ(testing::RunCommand(
                kCli + " tagfile --res " + Quote(kRes) + " /no/such/in /tmp/x.txt 2>&1", &out),
            1);
  EXPECT_EQ(testing::RunCommand(kCli + " nosuchcommand 2>&1", &out), 2);
}

TEST(TagCommandTest, HelpListsCommandsAndOptions) {
  std::string out;
  EXPECT_EQ(testing::RunCommand(kCli + " --help", &out), 0);
  EXPECT_NE(out.find("tagfile"), std::string::npos);
  EXPECT_EQ(testing::RunCommand(kCli + " tag --help", &out), 0);
  EXPECT_NE(out.find("--format"), std::string::npos);
  // The version printed is the header's, which is the one the library was
  // built with (and whose major number names the SONAME).
  EXPECT_EQ(testing::RunCommand(kCli + " --version", &out), 0);
  EXPECT_EQ(out, std::string("verrin ") + VERRIN_VERSION + "\n");
  EXPECT_EQ(std::string(VERRIN_VERSION), std::to_string(VERRIN_VERSION_MAJOR) + "." +
                                             std::to_string(VERRIN_VERSION_MINOR) + "." +
                                             std::to_string(VERRIN_VERSION_PATCH));
  EXPECT_STREQ(VerrinVersion(), VERRIN_VERSION);
}

}  // namespace
}  // namespace verrin
