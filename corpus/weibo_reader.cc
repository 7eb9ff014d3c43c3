#include "corpus/weibo_reader.h"

#include <utility>

namespace verrin {

bool ParseWeiboLine(const CUString& line, const BioLabelMap& map,
                    const std::vector<BioChar>& sentence, BioChar* out, bool* lone_inside,
                    CorpusProblem* problem) {
  int32_t end = line.Length();
  while (end > 0 && (line[end - 1] == u' ' || line[end - 1] == u'\t')) --end;
  int32_t split = end - 1;
  while (split >= 0 && line[split] != u' ' && line[split] != u'\t') --split;
  int32_t field_end = split;
  while (field_end > 0 && (line[field_end - 1] == u' ' || line[field_end - 1] == u'\t')) {
    --field_end;
  }
  if (split <= 0 || field_end < 2 || line[field_end - 1] < u'0' || line[field_end - 1] > u'9') {
    *problem = {
        "malformed line",
        "expected a character with its position digit, a tab and a tag, found " + Quote(line)};
    return false;
  }
  BioChar c;
  const bool pair = line[0] >= 0xD800 && line[0] <= 0xDBFF && field_end > 2 && line[1] >= 0xDC00 &&
                    line[1] <= 0xDFFF;
  c.text.Assign(line.c_str(), pair ? 2 : 1);
  if (!ReadBioTag(CUString(line.c_str() + split + 1, end - split - 1), map, sentence, &c,
                  lone_inside, problem)) {
    if (problem->category == "unknown tag") problem->detail = "unknown tag in line " + Quote(line);
    return false;
  }
  *out = std::move(c);
  return true;
}

}  // namespace verrin
