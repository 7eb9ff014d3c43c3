#include "resource/resource_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "io/protected_file.h"
#include "text/code_page.h"
#include "text/file_system.h"

namespace verrin {

std::string ResourceFileRead::Message() const {
  if (open_errno != 0) return "cannot open " + path + ": " + std::strerror(open_errno);
  if (!problem.empty()) return path + ": " + problem;
  return "";
}

ResourceFileRead ReadResourceFile(
    const std::string& path, bool protected_form,
    const std::function<std::string(const CUString& line, int64_t number)>& on_line) {
  ResourceFileRead result;
  result.path = path;
  std::FILE* file = OpenFile(result.path, protected_form ? "rb" : "r");
  if (file == nullptr) {
    result.open_errno = errno != 0 ? errno : ENOENT;
    return result;
  }
  int64_t number = 0;
  auto take = [&](const CUString& line) {
    const std::string reason = on_line(line, ++number);
    if (!reason.empty()) result.problem = "line " + std::to_string(number) + ": " + reason;
    return reason.empty();
  };
  if (!protected_form) {
    CUString line;
    while (ReadNarrowLine(file, line)) {
      if (!take(line)) break;
    }
    if (result.problem.empty() && std::ferror(file) != 0) {
      result.problem = std::string("cannot read: ") + std::strerror(errno);
    }
    std::fclose(file);
    return result;
  }
  std::vector<unsigned char> buffer;
  const bool read = ReadProtectedFile(file, buffer);
  std::fclose(file);
  if (!read) {
    result.problem = "cannot read the whole file";
    return result;
  }
  result.problem = ProtectedTextProblem(buffer);
  if (!result.problem.empty()) return result;
  bool going = true;
  ScanProtectedLines(buffer, [&](CUString& line) {
    if (going) going = take(line);
  });
  return result;
}

std::string LineBytesProblem(const CUString& line) {
  for (int32_t i = 0; i < line.Length(); ++i) {
    if (line[i] == 0) return "the line holds a NUL byte";
    if (line[i] == u'\uFFFD') return "the line holds bytes that are not valid GBK";
  }
  return "";
}

bool ParseExactInt(const char16_t* text, int32_t length, int64_t min, int64_t max, int64_t* value) {
  int32_t i = 0;
  bool negative = false;
  if (length > 0 && text[0] == u'-' && min < 0) {
    negative = true;
    ++i;
  }
  if (i == length || length - i > 10) return false;
  if (text[i] == u'0' && length - i > 1) return false;
  int64_t v = 0;
  for (; i < length; ++i) {
    if (text[i] < u'0' || text[i] > u'9') return false;
    v = v * 10 + (text[i] - u'0');
  }
  if (negative) v = -v;
  if (v < min || v > max || (negative && v == 0)) return false;
  *value = v;
  return true;
}

std::string FieldForMessage(const char16_t* text, int32_t length) {
  std::string out = ToUtf8(text, length < 40 ? length : 40);
  if (length > 40) out += "...";
  return out;
}

}  // namespace verrin
