#include "resource/pe_info.h"

#include <cstdio>

#include "io/protected_file.h"
#include "text/char_class.h"
#include "text/code_page.h"
#include "text/diagnostics.h"
#include "text/file_system.h"

namespace verrin {
namespace {

// Scanning in the manner of "%C %d %lf %lf %lf %lf %lf %lf": the fields after
// the character skip white space before them; numbers are read without
// regard to the process locale.
class LineScanner {
 public:
  explicit LineScanner(const char16_t* p) : p_(p) {}

  bool Unit(char16_t* unit) {
    if (*p_ == 0) return false;
    *unit = *p_++;
    return true;
  }

  bool Int(int32_t* value) {
    std::string digits;
    if (!Number(false, &digits)) return false;
    *value = ParseInt(digits.c_str());
    return true;
  }

  bool Real(double* value) {
    std::string digits;
    if (!Number(true, &digits)) return false;
    *value = ParseDouble(digits.c_str());
    return true;
  }

 private:
  // Takes the longest [+-]digits[.digits][e[+-]digits] (the fraction and
  // exponent only when `real`); false when no digit was found.
  bool Number(bool real, std::string* out) {
    while (*p_ != 0 && IsWhiteSpace(*p_)) ++p_;
    const char16_t* p = p_;
    std::string text;
    if (*p == u'+' || *p == u'-') text.push_back(static_cast<char>(*p++));
    bool any_digit = false;
    while (*p >= u'0' && *p <= u'9') {
      text.push_back(static_cast<char>(*p++));
      any_digit = true;
    }
    if (real && *p == u'.') {
      text.push_back('.');
      ++p;
      while (*p >= u'0' && *p <= u'9') {
        text.push_back(static_cast<char>(*p++));
        any_digit = true;
      }
    }
    if (!any_digit) return false;
    if (real && (*p == u'e' || *p == u'E')) {
      const char16_t* q = p + 1;
      std::string exponent = "e";
      if (*q == u'+' || *q == u'-') exponent.push_back(static_cast<char>(*q++));
      if (*q >= u'0' && *q <= u'9') {
        while (*q >= u'0' && *q <= u'9') exponent.push_back(static_cast<char>(*q++));
        text += exponent;
        p = q;
      }
    }
    p_ = p;
    *out = text;
    return true;
  }

  const char16_t* p_;
};

// A line sets the entry of its character once the character and the flags
// have been read; reals that are missing or malformed are stored as 0.
void ParsePeInfoLine(const CUString& line, std::vector<PeInfoEntry>& entries) {
  LineScanner scanner(line.c_str());
  char16_t unit = 0;
  PeInfoEntry entry;
  if (!scanner.Unit(&unit) || !scanner.Int(&entry.flags)) return;
  for (double& value : entry.values) {
    if (!scanner.Real(&value)) break;
  }
  entries[unit] = entry;
}

}  // namespace

PeInfoTable::PeInfoTable() : entries_(65536) {}

bool PeInfoTable::LoadPeInfo(const std::string& path, bool protected_form) {
  if (!protected_form) {
    std::FILE* file = OpenFile(path, "r");
    if (file == nullptr) return false;
    CUString line;
    while (ReadNarrowLine(file, line)) ParsePeInfoLine(line, entries_);
    std::fclose(file);
    return true;
  }
  const std::string protected_path = ProtectedPathFor(path);
  std::FILE* file = OpenFile(protected_path, "rb");
  if (file == nullptr) {
    DiagnoseFormat("open file %s failed.\n", protected_path.c_str());
    return false;
  }
  std::vector<unsigned char> buffer;
  const bool read = ReadProtectedFile(file, buffer);
  std::fclose(file);
  if (!read) return false;
  ScanProtectedLines(buffer, [this](CUString& line) {
    if (!line.Empty()) ParsePeInfoLine(line, entries_);
  });
  return true;
}

}  // namespace verrin
