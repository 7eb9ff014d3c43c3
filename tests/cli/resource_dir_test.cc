// Which resource directory a command reads without --res: the source tree's
// for the program the build wrote, the one beside it for an installed copy.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_util.h"

namespace verrin {
namespace {

using testing::MakeTempDir;
using testing::RunCommand;

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

// After `cmake --install`, the build tree's program switched to the installed
// resources; it must keep reading those it was built and tested with.
TEST(ResourceDirTest, BuildTreeProgramPrefersItsSourceTree) {
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
}

}  // namespace
}  // namespace verrin
