#include "test_util.h"

#include <sys/wait.h>
#include <unicode/ustring.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "text/code_page.h"

namespace verrin::testing {

CUString U(const std::string& utf8) {
  std::u16string out(utf8.size() + 1, u'\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8(out.data(), static_cast<int32_t>(out.size()), &length, utf8.data(),
                static_cast<int32_t>(utf8.size()), &status);
  return CUString(out.data(), length);
}

std::string Utf8(const char16_t* text, int length) {
  if (length < 0) length = UStrLen(text);
  std::string out(static_cast<size_t>(length) * 3 + 1, '\0');
  int32_t n = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &n, text, length, &status);
  out.resize(static_cast<size_t>(n));
  return out;
}

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
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace verrin::testing
