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
#include <memory>
#include <sstream>

#include "text/code_page.h"
#include "text/diagnostics.h"

namespace verrin::testing {

CUString U(const std::string& utf8) { return FromUtf8(utf8); }

std::string Utf8(const char16_t* text, int length) { return ToUtf8(text, length); }

std::string Utf8(const CUString& text) { return Utf8(text.c_str(), text.Length()); }

namespace {

// The folder of this process's temporary directories, removed with
// everything in it when the process ends.
class CTempRoot {
 public:
  CTempRoot()
      : path_(std::filesystem::temp_directory_path() /
              ("verrin-test-" + std::to_string(getpid()))) {}
  ~CTempRoot() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace

std::string MakeTempDir(const std::string& name) {
  namespace fs = std::filesystem;
  static const CTempRoot root;
  fs::path dir = root.Path() / name;
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

namespace {

std::string g_captured;
std::unique_ptr<CDiagnosticsScope> g_capture;

}  // namespace

void CaptureDiagnostics() {
  g_captured.clear();
  g_capture = std::make_unique<CDiagnosticsScope>(
      [](std::string_view text) { g_captured.append(text.data(), text.size()); });
}

std::string GetCapturedDiagnostics() {
  g_capture.reset();
  std::string text;
  text.swap(g_captured);
  return text;
}

std::string TestData(const std::string& relative) {
  return std::string(VERRIN_TEST_DATA_DIR) + "/" + relative;
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
