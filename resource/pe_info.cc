#include "resource/pe_info.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "io/protected_file.h"
#include "resource/resource_file.h"
#include "text/char_class.h"
#include "text/code_page.h"
#include "text/diagnostics.h"
#include "text/file_system.h"

namespace verrin {
namespace {

// Exactly a decimal real: [+-]digits[.digits][(e|E)[+-]digits] or with the
// digits only after the point, finite. No "nan", "inf", hex or trailing text.
bool ParseExactReal(const char16_t* text, int32_t length, double* value) {
  std::string ascii;
  int32_t i = 0;
  auto digits = [&]() {
    const int32_t begin = i;
    while (i < length && text[i] >= u'0' && text[i] <= u'9')
      ascii.push_back(static_cast<char>(text[i++]));
    return i > begin;
  };
  if (i < length && (text[i] == u'+' || text[i] == u'-'))
    ascii.push_back(static_cast<char>(text[i++]));
  bool any = digits();
  if (i < length && text[i] == u'.') {
    ascii.push_back('.');
    ++i;
    any = digits() || any;
  }
  if (!any) return false;
  if (i < length && (text[i] == u'e' || text[i] == u'E')) {
    ascii.push_back('e');
    ++i;
    if (i < length && (text[i] == u'+' || text[i] == u'-'))
      ascii.push_back(static_cast<char>(text[i++]));
    if (!digits()) return false;
  }
  if (i != length) return false;
  const double read = ParseDouble(ascii.c_str());
  if (!std::isfinite(read)) return false;
  *value = read;
  return true;
}

// A "%C %d %lf %lf %lf %lf %lf %lf" line: the character is the first unit,
// then, separated by white space, the flags (exactly a decimal number from
// 0 to 2147483647) and six finite reals, nothing more. "" when the line
// set its entry or is empty, else why it cannot be read.
std::string ParsePeInfoLine(const CUString& line, std::vector<PeInfoEntry>& entries) {
  std::string problem = LineBytesProblem(line);
  if (!problem.empty()) return problem;
  const char16_t* text = line.c_str();
  int32_t end = line.Length();
  while (end > 0 && IsWhiteSpace(text[end - 1])) --end;
  if (end == 0) return "";
  const char16_t unit = text[0];
  int32_t i = 1;
  PeInfoEntry entry;
  for (int field = 0; field < 7; ++field) {
    const int32_t blank = i;
    while (i < end && IsWhiteSpace(text[i])) ++i;
    if (i == end || i == blank) {
      return "the line does not hold a character, its flags and six numbers separated by spaces";
    }
    const int32_t begin = i;
    while (i < end && !IsWhiteSpace(text[i])) ++i;
    if (field == 0) {
      int64_t flags = 0;
      if (!ParseExactInt(text + begin, i - begin, 0, INT32_MAX, &flags)) {
        return "flags '" + FieldForMessage(text + begin, i - begin) +
               "' are not a decimal number from 0 to 2147483647";
      }
      entry.flags = static_cast<int32_t>(flags);
    } else if (!ParseExactReal(text + begin, i - begin, &entry.values[field - 1])) {
      return "number '" + FieldForMessage(text + begin, i - begin) +
             "' is not a finite decimal number";
    }
  }
  if (i != end) return "the line holds more than a character, its flags and six numbers";
  entries[unit] = entry;
  return "";
}

// Warnings printed per file before the rest are only counted.
constexpr int32_t kMaxWarnings = 10;

}  // namespace

PeInfoTable::PeInfoTable() : entries_(65536) {}

bool PeInfoTable::LoadPeInfo(const std::string& path, bool protected_form) {
  const std::string opened = protected_form ? ProtectedPathFor(path) : path;
  int32_t skipped = 0;
  const ResourceFileRead read =
      ReadResourceFile(opened, protected_form, [&](const CUString& line, int64_t number) {
        const std::string problem = ParsePeInfoLine(line, entries_);
        if (!problem.empty() && ++skipped <= kMaxWarnings) {
          DiagnoseFormat("warning: person-name table %s, line %lld: %s; line skipped\n",
                         opened.c_str(), static_cast<long long>(number), problem.c_str());
        }
        return std::string();
      });
  if (skipped > kMaxWarnings) {
    DiagnoseFormat("warning: %d more lines of person-name table %s skipped\n",
                   static_cast<int>(skipped - kMaxWarnings), opened.c_str());
  }
  if (read.open_errno != 0) {
    // The plain table is optional: without it every flag stays 0.
    if (protected_form) DiagnoseFormat("open file %s failed.\n", opened.c_str());
    return false;
  }
  if (!read.problem.empty()) {
    DiagnoseFormat("warning: person-name table %s\n", read.Message().c_str());
    return false;
  }
  return true;
}

}  // namespace verrin
