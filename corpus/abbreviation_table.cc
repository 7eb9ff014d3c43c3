#include "corpus/abbreviation_table.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "corpus/corpus_line.h"
#include "corpus/msra_reader.h"
#include "text/code_page.h"
#include "text/file_system.h"

namespace verrin {

void CAbbreviationTable::AddText(const CUString& line) {
  for (const CUString& token : SplitTokens(line)) {
    CUString word;
    std::string tag;
    bool ascii = true;
    if (!SplitMsraToken(token, &word, &tag, &ascii)) continue;
    int index = -1;
    if (tag == "o") index = 0;
    if (tag == "nr") index = 1;
    if (tag == "ns") index = 2;
    if (tag == "nt") index = 3;
    if (!ascii || index < 0) continue;
    auto& counts = counts_[std::u16string(word.c_str(), static_cast<size_t>(word.Length()))];
    ++counts[static_cast<size_t>(index)];
  }
}

bool CAbbreviationTable::Load(const std::string& msra_path, std::string* error) {
  std::FILE* in = OpenFile(msra_path, "rb");
  if (in == nullptr) {
    *error = "cannot open " + msra_path + ": " + std::strerror(errno);
    return false;
  }
  std::string line;
  bool first = true;
  while (ReadRawLine(in, line)) {
    StripLineEnd(line);
    if (first && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    first = false;
    AddText(FromUtf8(line));
  }
  const bool failed = std::ferror(in) != 0;
  std::fclose(in);
  if (failed) {
    *error = "reading " + msra_path + " failed";
    return false;
  }
  return true;
}

char16_t CAbbreviationTable::ClassOf(const CUString& word) const {
  const auto it = counts_.find(std::u16string(word.c_str(), static_cast<size_t>(word.Length())));
  if (it == counts_.end()) return 0;
  const auto& counts = it->second;
  // Ties go to the location, then the organization, then the person.
  static constexpr size_t kOrder[3] = {2, 3, 1};
  static constexpr char16_t kClass[4] = {0, u'P', u'L', u'O'};
  size_t best = kOrder[0];
  for (size_t index : kOrder) {
    if (counts[index] > counts[best]) best = index;
  }
  const int64_t total = counts[0] + counts[1] + counts[2] + counts[3];
  const int64_t n = counts[best];
  const bool taken = word.Length() == 1 ? n >= 5 : n >= 2 && 2 * n >= total;
  return taken ? kClass[best] : 0;
}

}  // namespace verrin
