#include "resource/char_label_table.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "io/protected_file.h"
#include "text/char_class.h"
#include "text/code_page.h"
#include "text/diagnostics.h"
#include "text/file_system.h"

namespace verrin {

CharLabelTable::CharLabelTable() : bits_(kSize, 0) {}

void CharLabelTable::Reset() { bits_.assign(kSize, 0); }

// One "%C\t%d" line: the first unit, white space (the tab of the format
// matches any run of it), a decimal int. A line that does not parse stores
// what was read so far (0 for a missing value).
void CharLabelTable::ParseLine(const CUString& line) {
  if (line.Empty()) return;
  bits_[line[0]] = ParseNarrowInt(line.c_str() + 1);
}

bool CharLabelTable::Load(const std::string& path, bool protected_form) {
  std::FILE* file = OpenFile(path, protected_form ? "rb" : "r");
  if (file == nullptr) {
    DiagnoseFormat("Could not open file %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  Reset();
  if (protected_form) {
    std::vector<unsigned char> buffer;
    ReadProtectedFile(file, buffer);
    ScanProtectedLines(buffer, [this](CUString& line) { ParseLine(line); });
  } else {
    CUString line;
    while (ReadNarrowLine(file, line)) ParseLine(line);
  }
  std::fclose(file);
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
  // One "%C\t%d\n" line per character that has labels.
  CUString line;
  for (int32_t i = 0; i < kSize; ++i) {
    if (bits_[i] == 0) continue;
    line.Assign(static_cast<char16_t>(i));
    line.Append(u'\t');
    line.Append(DecimalText(bits_[i]));
    line.Append(u'\n');
    WriteText(file, line.c_str(), line.Length());
  }
  std::string error;
  if (!CloseTextFile(file, &error)) {
    DiagnoseFormat("%s\n", error.c_str());
    return false;
  }
  return true;
}

}  // namespace verrin
