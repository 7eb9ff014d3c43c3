// Which resource directory a command reads without --res: the source tree's
// for the program the build wrote, the one beside it for an installed copy;
// and which one a bare name after --res reads.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_util.h"

namespace verrin {
namespace {

using testing::MakeTempDir;
using testing::RunCommand;
using testing::WriteFile;

// VERRIN_CLI_PATH is "[EMULATOR ...] PROGRAM": the launcher and the program.
std::string Launcher() {
  const std::string cli = VERRIN_CLI_PATH;
  const size_t space = cli.rfind(' ');
  return space == std::string::npos ? std::string() : cli.substr(0, space + 1);
}
std::string Program() {
  const std::string cli = VERRIN_CLI_PATH;
  const size_t space = cli.rfind(' ');
  return space == std::string::npos ? cli : cli.substr(space + 1);
}

// The build tree's program reads the resources it was built and tested with,
// and its help says so.
TEST(ResourceDirTest, HelpNamesTheDirectoryInUse) {
  std::string help;
  ASSERT_EQ(RunCommand(VERRIN_CLI_PATH " tag --help", &help), 0);
  EXPECT_NE(help.find("read from\n  " VERRIN_DEFAULT_RESOURCE_DIR
                      "\n  (the source tree of this build).\n"),
            std::string::npos)
      << help;
  // Commands without a resource directory say nothing about one.
  ASSERT_EQ(RunCommand(VERRIN_CLI_PATH " score --help", &help), 0);
  EXPECT_EQ(help.find("Without --res"), std::string::npos) << help;
}

// After `cmake --install`, the build tree's program switched to the installed
// resources. Resources installed in the configured directory (here in
// a mount namespace of the test's own, so nothing outside sees them) must not
// replace the source tree's for the build tree's program. Needs root.
TEST(ResourceDirTest, BuildTreeProgramIgnoresResourcesInstalledMeanwhile) {
  std::string help;
  ASSERT_EQ(RunCommand(VERRIN_CLI_PATH " tag --help", &help), 0);
  const size_t order = help.find("or library; ");
  ASSERT_NE(order, std::string::npos) << help;
  const std::string configured = help.substr(order + 12, help.find(".\n", order) - order - 12);
  // A tmpfs over the deepest folder of the configured directory that exists,
  // unless that is a system folder the program itself may need.
  const std::string script = MakeTempDir("resource_dir_namespace") + "/run.sh";
  WriteFile(script, "dir='" + configured +
                        "'\ntop=$dir\nwhile [ ! -d \"$top\" ]; do top=$(dirname \"$top\"); done\n"
                        "case $top in /|/usr|/usr/share|/usr/lib|/opt) exit 77;; esac\n"
                        "mount -t tmpfs tmpfs \"$top\" 2>/dev/null || exit 77\n"
                        "mkdir -p \"$dir\" && cp " VERRIN_TEST_DATA_DIR
                        "/tagger/* \"$dir\" || exit 1\n"
                        "[ -f \"$dir/model.txt\" ] || exit 1\n" VERRIN_CLI_PATH
                        " tag --help | grep -A2 '^Without --res'\n");
  std::string out;
  const int status = RunCommand("unshare -m sh " + script + " 2>/dev/null || echo $?", &out);
  if (status == 0 && (out == "77\n" || out == "1\n")) {
    GTEST_SKIP() << "needs root and mount namespaces (unshare -m)";
  }
  EXPECT_EQ(out, "Without --res, the resources are read from\n  " VERRIN_DEFAULT_RESOURCE_DIR
                 "\n  (the source tree of this build).\n");
}

TEST(ResourceDirTest, InstalledCopyReadsTheResourcesBesideIt) {
  const std::string prefix = MakeTempDir("resource_dir_install");
  const std::string resources = prefix + "/share/verrin/default";
  ASSERT_EQ(
      RunCommand("mkdir -p " + prefix + "/bin " + resources + " && cp " + Program() + " " + prefix +
                     "/bin/verrin && cp " VERRIN_TEST_DATA_DIR "/tagger/* " + resources,
                 nullptr),
      0);
  const std::string installed = Launcher() + prefix + "/bin/verrin";
  std::string help;
  ASSERT_EQ(RunCommand(installed + " tag --help", &help), 0);
  const std::string shown = std::filesystem::canonical(resources).string();
  EXPECT_NE(help.find("read from\n  " + shown + "\n  (installed).\n"), std::string::npos) << help;
  // The copy tags with those resources, as --res names them.
  std::string from_copy, from_res;
  ASSERT_EQ(RunCommand("printf '张三在北京工作。\\n' | " + installed + " tag", &from_copy), 0);
  ASSERT_EQ(RunCommand("printf '张三在北京工作。\\n' | " VERRIN_CLI_PATH
                       " tag --res " VERRIN_TEST_DATA_DIR "/tagger",
                       &from_res),
            0);
  EXPECT_EQ(from_copy, from_res);
  EXPECT_EQ(from_copy, "[P 张三] 在 [L 北京] 工作 。 \n");

  // --res NAME reads the bundled set of that name beside the default one (here
  // an empty one, so the message names where it looked), unless NAME is a
  // directory of the working directory; an unknown name is no directory.
  ASSERT_EQ(RunCommand("mkdir " + prefix + "/share/verrin/web", nullptr), 0);
  std::string message;
  EXPECT_EQ(RunCommand("echo x | " + installed + " tag --res web 2>&1", &message), 1);
  EXPECT_NE(message.find(std::filesystem::canonical(prefix).string() +
                         "/share/verrin/web/model.txt does not exist"),
            std::string::npos)
      << message;
  EXPECT_EQ(
      RunCommand("cd " + prefix + " && mkdir web && echo x | " + installed + " tag --res web 2>&1",
                 &message),
      1);
  EXPECT_NE(message.find("no model: web/model.txt does not exist"), std::string::npos) << message;
  EXPECT_EQ(RunCommand("echo x | " + installed + " tag --res nosuch 2>&1", &message), 1);
  EXPECT_NE(message.find("resource directory not found: nosuch"), std::string::npos) << message;
}

}  // namespace
}  // namespace verrin
