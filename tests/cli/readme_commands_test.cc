// The README's command table against the tool's own help: every command and
// every option of `verrin <command> --help` must be in the table, and nothing
// else.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "test_util.h"

namespace verrin {
namespace {

const std::string kCli = VERRIN_CLI_PATH;

std::set<std::string> Options(const std::string& text) {
  std::set<std::string> options;
  static const std::regex kOption("--[a-z][a-z-]*");
  for (std::sregex_iterator it(text.begin(), text.end(), kOption), end; it != end; ++it) {
    options.insert(it->str());
  }
  return options;
}

// Command -> the options written in its row of the table under "## Commands".
std::map<std::string, std::set<std::string>> ReadmeTable() {
  std::map<std::string, std::set<std::string>> table;
  std::istringstream readme(testing::ReadFile(std::string(VERRIN_SOURCE_DIR) + "/README.md"));
  std::string line;
  static const std::regex kCommand("`([a-z][a-z-]*)");
  bool in_commands = false;
  while (std::getline(readme, line)) {
    if (line.rfind("## ", 0) == 0) in_commands = line == "## Commands";
    if (!in_commands || line.rfind("| `", 0) != 0) continue;
    const std::string usage = line.substr(0, line.rfind(" | "));
    const std::set<std::string> options = Options(usage);
    // "`protect IN OUT` / `unprotect IN OUT`": one row, two commands.
    for (std::sregex_iterator it(usage.begin(), usage.end(), kCommand), end; it != end; ++it) {
      table[(*it)[1]] = options;
    }
  }
  return table;
}

TEST(ReadmeCommandsTest, TableMatchesTheHelpOfEveryCommand) {
  std::string help;
  ASSERT_EQ(testing::RunCommand(kCli + " --help", &help), 0);
  std::set<std::string> commands;
  std::istringstream lines(help.substr(help.find("Commands:\n")));
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line) && line.rfind("  ", 0) == 0) {
    commands.insert(line.substr(2, line.find(' ', 2) - 2));
  }
  ASSERT_GE(commands.size(), 10u) << help;

  const auto table = ReadmeTable();
  std::set<std::string> documented;
  for (const auto& row : table) documented.insert(row.first);
  EXPECT_EQ(documented, commands);

  for (const std::string& command : commands) {
    std::string usage;
    ASSERT_EQ(testing::RunCommand(kCli + " " + command + " --help", &usage), 0) << command;
    // Options are the lines of the help that start with one.
    std::set<std::string> options;
    std::istringstream usage_lines(usage);
    static const std::regex kOptionLine("^\\s+(--[a-z][a-z-]*)");
    while (std::getline(usage_lines, line)) {
      std::smatch m;
      if (std::regex_search(line, m, kOptionLine)) options.insert(m[1]);
    }
    options.erase("--help");
    const auto row = table.find(command);
    ASSERT_TRUE(row != table.end()) << "no README row for " << command;
    EXPECT_EQ(row->second, options) << "README row of " << command;
  }
}

}  // namespace
}  // namespace verrin
