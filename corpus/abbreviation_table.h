// Entity classes of abbreviations, learnt from a corpus in the MSRA format.
#ifndef VERRIN_CORPUS_ABBREVIATION_TABLE_H_
#define VERRIN_CORPUS_ABBREVIATION_TABLE_H_

#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "text/ustring.h"

namespace verrin {

// Entity classes of words as a corpus in the MSRA format tags them, for
// classing the abbreviations of another corpus. A word of one character
// takes the entity tag it carries most often when it carries it at least 5
// times (its other senses are plain words: 中 "middle" / 中 "China"); a
// longer word takes it when it carries it at least twice and in at least
// half of its occurrences.
class CAbbreviationTable {
 public:
  // False with `error` set when the file cannot be read; tokens that are not
  // word/TAG are ignored.
  bool Load(const std::string& msra_path, std::string* error);
  void AddText(const CUString& line);
  // 'P', 'L', 'O' or 0.
  char16_t ClassOf(const CUString& word) const;
  size_t size() const { return counts_.size(); }

 private:
  // Occurrences as o, nr, ns, nt.
  std::map<std::u16string, std::array<int64_t, 4>> counts_;
};

}  // namespace verrin

#endif  // VERRIN_CORPUS_ABBREVIATION_TABLE_H_
