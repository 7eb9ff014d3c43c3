#include "corpus/weibo_reader.h"

#include <utility>

namespace verrin {

bool ParseWeiboLine(const CUString& line, const BioLabelMap& map,
                    const std::vector<BioChar>& sentence, BioChar* out, bool* lone_inside,
                    CorpusProblem* problem) {
  const TagField tag = FindTagField(line);
  int32_t field_end = tag.split;
  while (field_end > 0 && (line[field_end - 1] == u' ' || line[field_end - 1] == u'\t')) {
    --field_end;
  }
  if (tag.split <= 0 || field_end < 2 || line[field_end - 1] < u'0' || line[field_end - 1] > u'9') {
    *problem = {
        "malformed line",
        "expected a character with its position digit, a tab and a tag, found " + Quote(line)};
    return false;
  }
  BioChar c;
  const bool pair = line[0] >= 0xD800 && line[0] <= 0xDBFF && field_end > 2 && line[1] >= 0xDC00 &&
                    line[1] <= 0xDFFF;
  c.text.Assign(line.c_str(), pair ? 2 : 1);
  if (!ReadBioTag(line, tag, map, sentence, &c, lone_inside, problem)) return false;
  *out = std::move(c);
  return true;
}

}  // namespace verrin
