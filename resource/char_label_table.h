// CharLabelTable: for every UTF-16 unit, the set of labels (bit k for label k,
// k < 14) it was seen with in training text. 0 means never seen. A unit GBK
// cannot write is read and recorded as the stand-in 〓 (kNonGbkStandIn), the
// character training corpora hold in its place.
#ifndef VERRIN_RESOURCE_CHAR_LABEL_TABLE_H_
#define VERRIN_RESOURCE_CHAR_LABEL_TABLE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "text/gbk_unit.h"
#include "text/ustring.h"

namespace verrin {

class CharLabelTable {
 public:
  static constexpr int32_t kSize = 65536;
  static constexpr int32_t kRecordedLabels = 14;

  CharLabelTable();

  int32_t At(char16_t unit) const { return bits_[GbkOrStandIn(unit)]; }
  void Set(char16_t unit, int32_t bits) { bits_[GbkOrStandIn(unit)] = bits; }
  void Reset();

  // Reads "%C\t%d" lines from a plain GBK file or, with `protected_form`, from
  // a protected one: one unit, white space, exactly a decimal bit set from 0
  // to 16383 (labels 0 to 13), nothing after it but white space; empty lines
  // are skipped. The table is emptied first. False (with "Could not open file
  // %s: <reason>" on standard error) when the file cannot be opened, and with
  // "error: label table PATH, line N: <reason>" when a line cannot be read
  // (the table is then empty).
  bool Load(const std::string& path, bool protected_form);
  // For each position up to the end or the sentinel U+0002: when
  // labels[i] < 14, sets bit labels[i] of text[i].
  void Record(const char16_t* text, const std::vector<int32_t>& labels);
  // Adds `bits` to every entry of the units first..last that is not 0 (units
  // never seen keep every label anyway); returns how many entries changed.
  int32_t AllowLabels(char16_t first, char16_t last, int32_t bits);
  // Writes "%C\t%d\n" for every non-zero entry in code-unit order (GBK).
  bool Write(const std::string& path) const;

 private:
  // "" when the line was taken (or is empty), else why it cannot be read.
  std::string ParseLine(const CUString& line);

  std::vector<int32_t> bits_;
};

}  // namespace verrin

#endif  // VERRIN_RESOURCE_CHAR_LABEL_TABLE_H_
