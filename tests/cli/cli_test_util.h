// The fixture of the command tests: a fresh directory for each test, and the
// built verrin run through a shell with its standard error kept in a file.
#ifndef VERRIN_TESTS_CLI_CLI_TEST_UTIL_H_
#define VERRIN_TESTS_CLI_CLI_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <string>

namespace verrin::testing {

class CliTest : public ::testing::Test {
 protected:
  // dir_ becomes a fresh directory named after the test.
  void SetUp() override;
  // Runs `verrin ARGS` (ARGS as the shell reads them, redirections included):
  // standard output into `out` when given, standard error into Stderr().
  // Returns the exit status.
  int Run(const std::string& args, std::string* out = nullptr);
  // The standard error of the last Run.
  std::string Stderr() const;

  std::string dir_;
};

}  // namespace verrin::testing

#endif  // VERRIN_TESTS_CLI_CLI_TEST_UTIL_H_
