#include "test_util.h"

#if defined(_WIN32)
#include <process.h>
#define popen _popen
#define pclose _pclose
#define getpid _getpid
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "text/code_page.h"

namespace verrin::testing {

CUString U(const std::string& utf8) { return FromUtf8(utf8); }

std::string Utf8(const char16_t* text, int length) { return ToUtf8(text, length); }

std::string Utf8(const CUString& text) { return Utf8(text.c_str(), text.Length()); }

std::string MakeTempDir(const std::string& name) {
  namespace fs = std::filesystem;
  fs::path base = fs::temp_directory_path() / ("verrin-test-" + std::to_string(getpid()));
  fs::path dir = base / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir.string();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Gbk(const std::string& utf8) { return ToGbk(U(utf8)); }

int RunCommand(const std::string& command, std::string* output) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string captured;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) captured.append(buffer, n);
  int status = pclose(pipe);
  if (output != nullptr) *output = captured;
#if defined(_WIN32)
  return status;
#else
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

}  // namespace verrin::testing
