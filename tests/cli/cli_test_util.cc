#include "cli/cli_test_util.h"

#include "test_util.h"

namespace verrin::testing {

void CliTest::SetUp() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(test->test_suite_name()) + "." + test->name();
  for (char& c : name) {
    if (c == '/') c = '_';  // parameterised names
  }
  dir_ = MakeTempDir(name);
}

int CliTest::Run(const std::string& args, std::string* out) {
  std::string ignored;
  return RunCommand(std::string(VERRIN_CLI_PATH) + " " + args + " 2>" + dir_ + "/stderr.txt",
                    out != nullptr ? out : &ignored);
}

std::string CliTest::Stderr() const { return ReadFile(dir_ + "/stderr.txt"); }

}  // namespace verrin::testing
