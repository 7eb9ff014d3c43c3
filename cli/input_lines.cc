#include "cli/input_lines.h"

#include <cerrno>
#include <cstring>

#include "text/file_system.h"

namespace verrin::cli {

bool CheckReadable(const char* command, const std::string& path, const char* what) {
  if (IsDirectory(path)) {
    std::fprintf(stderr, "verrin %s: %s is a directory, not a file\n", command, path.c_str());
    return false;
  }
  std::FILE* probe = OpenFile(path, "rb");
  if (probe == nullptr) {
    std::fprintf(stderr, "verrin %s: cannot open %s%s%s: %s\n", command, what, *what ? " " : "",
                 path.c_str(), std::strerror(errno));
    return false;
  }
  std::fclose(probe);
  return true;
}

InputLines::InputLines(const char* command, CTextEncoding encoding)
    : command_(command), encoding_(encoding) {}

InputLines::~InputLines() {
  if (file_ != nullptr && file_ != stdin) std::fclose(file_);
}

bool InputLines::Open(const std::string& path) {
  if (path.empty() || path == "-") {
    file_ = stdin;
    name_ = "standard input";
  } else {
    name_ = path;
    if (IsDirectory(path)) {
      std::fprintf(stderr, "verrin %s: %s is a directory, not a file\n", command_, path.c_str());
      return false;
    }
    file_ = OpenFile(path, "rb");
    if (file_ == nullptr) {
      std::fprintf(stderr, "verrin %s: cannot open %s: %s\n", command_, path.c_str(),
                   std::strerror(errno));
      return false;
    }
  }
  reader_ = std::make_unique<CTextLineReader>(file_, encoding_);
  return true;
}

void InputLines::Report() {
  const std::string problem = reader_->Problem();
  if (problem.empty()) return;
  if (reader_->LineDamaged()) ++damaged_lines_;
  if (++odd_lines_ <= kMaxReported) {
    std::fprintf(stderr, "verrin %s: %s:%lld: %s\n", command_, name_.c_str(),
                 static_cast<long long>(reader_->LineNumber()), problem.c_str());
  }
}

bool InputLines::Next(CUString& line) {
  if (!reader_ || !reader_->Next(line)) return false;
  Report();
  return true;
}

bool InputLines::NextRaw(std::string& bytes) {
  if (!reader_ || !reader_->NextRaw(bytes)) return false;
  Report();
  return true;
}

bool InputLines::Finish() {
  if (odd_lines_ > kMaxReported) {
    std::fprintf(stderr, "verrin %s: %s: %lld more lines with odd bytes not shown\n", command_,
                 name_.c_str(), static_cast<long long>(odd_lines_ - kMaxReported));
  }
  if (reader_ && reader_->ReadFailed()) {
    std::fprintf(stderr, "verrin %s: error reading %s after line %lld: %s\n", command_,
                 name_.c_str(), static_cast<long long>(reader_->LineNumber()),
                 std::strerror(reader_->Errno()));
    return false;
  }
  return true;
}

}  // namespace verrin::cli
