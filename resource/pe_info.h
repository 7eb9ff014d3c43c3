// The per-character person-name table ("PeInfo.txt").
#ifndef VERRIN_RESOURCE_PE_INFO_H_
#define VERRIN_RESOURCE_PE_INFO_H_

#include <cstdint>
#include <string>
#include <vector>

namespace verrin {

struct PeInfoEntry {
  int32_t flags = 0;  // bit 0: the character is flagged in the lexicon marks (0x80)
  double values[6] = {0, 0, 0, 0, 0, 0};
};

class PeInfoTable {
 public:
  PeInfoTable();
  // Reads "%C %d %lf %lf %lf %lf %lf %lf" lines (GBK): the character is the
  // first unit of the line; the flags (a decimal number from 0 to
  // 2147483647) and six finite decimal reals follow, separated by white
  // space. Such a line sets that character's entry (a later line replaces an
  // earlier one). The table is optional, so a line that cannot be read is
  // skipped with a warning naming the file, the line and the reason (ten at
  // most, then a count), and the rest is read. Plain form: false silently
  // when the file cannot be opened. Protected form (last "txt" -> "des"):
  // prints "open file %s failed.\n" with that path and returns false when it
  // cannot, and a warning when the file is cut short or damaged. Entries not
  // named by the file are left as they were.
  bool LoadPeInfo(const std::string& path, bool protected_form);
  const PeInfoEntry& At(char16_t unit) const { return entries_[unit]; }
  PeInfoEntry& At(char16_t unit) { return entries_[unit]; }

 private:
  std::vector<PeInfoEntry> entries_;  // 65,536 entries
};

}  // namespace verrin

#endif  // VERRIN_RESOURCE_PE_INFO_H_
