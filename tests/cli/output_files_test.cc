// Files the commands write, when the run is interrupted or the path is odd,
// and the model command as the README writes it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "test_util.h"

namespace verrin {
namespace {

const std::string kCli = VERRIN_CLI_PATH;
const std::string kRes = std::string(VERRIN_TEST_DATA_DIR) + "/tagger";

std::string Quote(const std::string& s) { return "'" + s + "'"; }

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// An interrupted tagfile left its OUT.tmp-XXXXXX behind every time. The
// input is a FIFO kept open, so the run is surely under way (its temporary
// file exists) when the signal comes.
TEST(OutputFilesTest, InterruptedTagfileLeavesNoTemporaryFile) {
  for (const std::string signal : {"INT", "TERM", "HUP"}) {
    const std::string dir = testing::MakeTempDir("interrupted");
    // Job control (set -m) keeps SIGINT for the background job, as a
    // terminal would; the whole script has a minute at most.
    const std::string script =
        "set -m; cd " + Quote(dir) + " && mkfifo in || exit 1; " + kCli + " tagfile --res " +
        Quote(kRes) +
        " in out 2>err & pid=$!; exec 3>in; printf \"ab\\n\" >&3; i=0; "
        "while [ $i -lt 400 ] && ! ls out.tmp-* >/dev/null 2>&1; do sleep 0.05; i=$((i+1)); done; "
        "ls out.tmp-* >/dev/null 2>&1 && echo started; kill -" +
        signal + " $pid; wait $pid; echo status=$?; exec 3>&-; ls";
    std::string out;
    testing::RunCommand("timeout -s KILL 60 bash -c " + Quote(script), &out);
    EXPECT_TRUE(Has(out, "started\n")) << signal << ": " << out;
    EXPECT_FALSE(Has(out, "status=0")) << signal << ": " << out;
    EXPECT_FALSE(Has(out, "out.tmp-")) << signal << ": " << out;
    EXPECT_FALSE(Has(out, "out\n")) << signal << ": " << out;  // OUT is not made either
  }
}

// Files were renamed into place without fsync: after a crash the new name
// could stand for an empty or partial file. Seen through strace, where it
// can trace.
TEST(OutputFilesTest, FileIsSyncedBeforeItIsRenamedIntoPlace) {
  std::string out;
  if (testing::RunCommand("strace -o /dev/null true 2>/dev/null", &out) != 0) {
    GTEST_SKIP() << "strace cannot trace here";
  }
  const std::string dir = testing::MakeTempDir("synced-out");
  testing::WriteFile(dir + "/in.txt", testing::Gbk("张三说\n"));
  ASSERT_EQ(
      // LeakSanitizer cannot run under ptrace: a sanitized build checks no
      // leaks in the traced run.
      testing::RunCommand("ASAN_OPTIONS=\"${ASAN_OPTIONS}:detect_leaks=0\" strace -f -e "
                          "trace=fsync,rename,renameat,renameat2 -o " +
                              Quote(dir + "/trace") + " " + kCli + " tagfile --res " + Quote(kRes) +
                              " " + Quote(dir + "/in.txt") + " " + Quote(dir + "/out.txt"),
                          &out),
      0);
  const std::string trace = testing::ReadFile(dir + "/trace");
  const size_t rename = trace.find("out.txt.tmp-");
  ASSERT_NE(rename, std::string::npos) << trace;
  const size_t sync = trace.find("fsync(");
  EXPECT_LT(sync, rename) << trace;
}

// An output path that is a symbolic link was replaced by a regular file:
// the file it points to is replaced instead, and the link stays.
TEST(OutputFilesTest, OutputThroughASymbolicLinkReplacesItsTarget) {
  const std::string dir = testing::MakeTempDir("symlink-out");
  testing::WriteFile(dir + "/in.txt", testing::Gbk("张三说\n"));
  ASSERT_EQ(::mkdir((dir + "/real").c_str(), 0755), 0);
  testing::WriteFile(dir + "/real/out.txt", "old");
  ASSERT_EQ(::symlink("real/out.txt", (dir + "/link").c_str()), 0);
  ASSERT_EQ(::symlink("link", (dir + "/link2").c_str()), 0);             // a chain
  ASSERT_EQ(::symlink("real/new.txt", (dir + "/dangling").c_str()), 0);  // no target yet
  std::string out;
  for (const std::string name : {"link2", "dangling"}) {
    ASSERT_EQ(testing::RunCommand(kCli + " tagfile --res " + Quote(kRes) + " " +
                                      Quote(dir + "/in.txt") + " " + Quote(dir + "/" + name),
                                  &out),
              0)
        << name;
    struct stat st;
    ASSERT_EQ(::lstat((dir + "/" + name).c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << name;
  }
  const std::string tagged = testing::ReadFile(dir + "/real/out.txt");
  EXPECT_NE(tagged, "old");
  EXPECT_FALSE(tagged.empty());
  EXPECT_EQ(testing::ReadFile(dir + "/real/new.txt"), tagged);
  testing::RunCommand("ls -a " + Quote(dir) + " " + Quote(dir + "/real"), &out);
  EXPECT_FALSE(Has(out, ".tmp-")) << out;
}

// The README's synopsis `model --stats [--protected] PATH` was a usage
// error, and `--protected --model p/model.des` could not open the file.
TEST(OutputFilesTest, ProtectedModelsByTheirOwnPath) {
  const std::string dir = testing::MakeTempDir("protected-paths");
  std::string out;
  ASSERT_EQ(
      testing::RunCommand(
          kCli + " protect " + Quote(kRes + "/model.txt") + " " + Quote(dir + "/model.des"), &out),
      0);
  std::string stats;
  ASSERT_EQ(testing::RunCommand(kCli + " model --stats " + Quote(kRes + "/model.txt"), &stats), 0);
  EXPECT_TRUE(Has(stats, "features: ")) << stats;
  for (const std::string& args : {"--stats --protected " + Quote(dir + "/model.des"),
                                  "--protected --stats " + Quote(dir + "/model.des"),
                                  "--stats " + Quote(dir + "/model.des") + " --protected"}) {
    EXPECT_EQ(testing::RunCommand(kCli + " model " + args, &out), 0) << args;
    EXPECT_EQ(out, stats) << args;
  }
  EXPECT_EQ(
      testing::RunCommand(kCli + " model " + Quote(dir + "/model.des") + " 2>/dev/null", &out), 2);
  // A protected resource set with the model apart, named by its ".des" path.
  ASSERT_EQ(::mkdir((dir + "/res").c_str(), 0755), 0);
  for (const char* name : {"dict", "NeItem", "NeAffix", "charset_lableInfo_tr"}) {
    ASSERT_EQ(testing::RunCommand(kCli + " protect " + Quote(kRes + "/" + name + ".txt") + " " +
                                      Quote(dir + "/res/" + name + ".des"),
                                  &out),
              0);
  }
  std::string plain;
  ASSERT_EQ(testing::RunCommand("echo 张三说 | " + kCli + " tag --res " + Quote(kRes), &plain), 0);
  EXPECT_EQ(
      testing::RunCommand("echo 张三说 | " + kCli + " tag --res " + Quote(dir + "/res") +
                              " --protected --model " + Quote(dir + "/model.des") + " 2>/dev/null",
                          &out),
      0);
  EXPECT_EQ(out, plain);
}

}  // namespace
}  // namespace verrin
