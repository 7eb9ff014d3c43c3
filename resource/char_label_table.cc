#include "resource/char_label_table.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "resource/resource_file.h"
#include "text/char_class.h"
#include "text/code_page.h"
#include "text/diagnostics.h"
#include "text/file_system.h"

namespace verrin {

CharLabelTable::CharLabelTable() : bits_(kSize, 0) {}

void CharLabelTable::Reset() { bits_.assign(kSize, 0); }

std::string CharLabelTable::ParseLine(const CUString& line) {
  std::string problem = LineBytesProblem(line);
  if (!problem.empty()) return problem;
  const char16_t* text = line.c_str();
  int32_t end = line.Length();
  while (end > 0 && (text[end - 1] == u'\n' || text[end - 1] == u'\r')) --end;
  if (end == 0) return "";
  int32_t i = 1;
  if (i >= end || !IsWhiteSpace(text[i])) {
    return "the line does not hold one character, a tab and a label bit set";
  }
  while (i < end && IsWhiteSpace(text[i])) ++i;
  int32_t field_end = i;
  while (field_end < end && !IsWhiteSpace(text[field_end])) ++field_end;
  int64_t bits = 0;
  if (!ParseExactInt(text + i, field_end - i, 0, (1 << kRecordedLabels) - 1, &bits)) {
    return "label bit set '" + FieldForMessage(text + i, field_end - i) +
           "' is not a decimal number from 0 to 16383";
  }
  for (int32_t k = field_end; k < end; ++k) {
    if (!IsWhiteSpace(text[k])) return "the line holds more than a character and a bit set";
  }
  bits_[text[0]] = static_cast<int32_t>(bits);
  return "";
}

bool CharLabelTable::Load(const std::string& path, bool protected_form) {
  Reset();
  const ResourceFileRead read = ReadResourceFile(
      path, protected_form, [this](const CUString& line, int64_t) { return ParseLine(line); });
  if (read.open_errno != 0) {
    DiagnoseFormat("Could not open file %s: %s\n", read.path.c_str(),
                   std::strerror(read.open_errno));
    return false;
  }
  if (!read.problem.empty()) {
    DiagnoseFormat("error: label table %s, %s\n", read.path.c_str(), read.problem.c_str());
    Reset();
    return false;
  }
  return true;
}

void CharLabelTable::Record(const char16_t* text, const std::vector<int32_t>& labels) {
  for (size_t i = 0; text[i] != 0 && text[i] != 0x0002 && i < labels.size(); ++i) {
    const int32_t label = labels[i];
    if (label >= 0 && label < kRecordedLabels) bits_[GbkOrStandIn(text[i])] |= 1 << label;
  }
}

int32_t CharLabelTable::AllowLabels(char16_t first, char16_t last, int32_t bits) {
  int32_t changed = 0;
  for (int32_t unit = first; unit <= last; ++unit) {
    int32_t& entry = bits_[static_cast<size_t>(unit)];
    if (entry == 0 || (entry | bits) == entry) continue;
    entry |= bits;
    ++changed;
  }
  return changed;
}

bool CharLabelTable::Write(const std::string& path) const {
  CTextFile* file = OpenTextFile(path.c_str(), "w");
  if (file == nullptr) {
    DiagnoseFormat("Could not open file %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  // One "%C\t%d\n" line per character that has labels, written in one piece.
  CUString text;
  for (int32_t i = 0; i < kSize; ++i) {
    if (bits_[i] == 0) continue;
    text.Append(static_cast<char16_t>(i));
    text.Append(u'\t');
    text.Append(DecimalText(bits_[i]));
    text.Append(u'\n');
  }
  if (!text.Empty()) WriteText(file, text.c_str(), text.Length());
  std::string error;
  if (!CloseTextFile(file, &error)) {
    DiagnoseFormat("%s\n", error.c_str());
    return false;
  }
  return true;
}

}  // namespace verrin
