#include "corpus/bio_reader.h"

#include <string>

namespace verrin {

bool ParseBioLine(const CUString& line, const std::vector<BioChar>& sentence, BioChar* out,
                  CorpusProblem* problem) {
  int32_t end = line.Length();
  while (end > 0 && (line[end - 1] == u' ' || line[end - 1] == u'\t')) --end;
  int32_t split = end - 1;
  while (split >= 0 && line[split] != u' ' && line[split] != u'\t') --split;
  if (split <= 0) {
    *problem = {"malformed line", "expected a character, a space and a tag, found " + Quote(line)};
    return false;
  }
  BioChar c;
  c.text.Assign(line.c_str(), split);
  bool ascii = true;
  const std::string tag = AsciiOf(line.c_str() + split + 1, end - split - 1, &ascii);
  if (ascii && tag == "O") {
    c.klass = 0;
  } else if (ascii && tag.size() == 5 && (tag[0] == 'B' || tag[0] == 'I') && tag[1] == '-' &&
             (tag.compare(2, 3, "PER") == 0 || tag.compare(2, 3, "LOC") == 0 ||
              tag.compare(2, 3, "ORG") == 0)) {
    c.klass = tag[2] == 'P' ? u'P' : tag[2] == 'L' ? u'L' : u'O';
    c.begins = tag[0] == 'B';
    if (!c.begins && (sentence.empty() || sentence.back().klass != c.klass)) {
      *problem = {"I- without B-", "tag " + tag + " does not continue an entity"};
      return false;
    }
  } else {
    *problem = {"unknown tag", "unknown tag in line " + Quote(line)};
    return false;
  }
  *out = std::move(c);
  return true;
}

std::vector<CorpusItem> BioSentenceItems(const std::vector<BioChar>& chars,
                                         const WordCutter& cutter) {
  ConversionStats unused;
  CItemBuilder builder(&unused);  // no nr runs in BIO input
  CUString plain;
  size_t i = 0;
  while (i < chars.size()) {
    if (chars[i].klass == 0) {
      plain.Append(chars[i++].text);
      continue;
    }
    if (!plain.Empty()) {
      for (const CUString& w : cutter(plain.c_str(), plain.Length())) builder.AddPlain(w);
      plain.Clear();
    }
    const char16_t klass = chars[i].klass;
    CUString entity(chars[i++].text);
    while (i < chars.size() && chars[i].klass == klass && !chars[i].begins) {
      entity.Append(chars[i++].text);
    }
    builder.AddEntity(klass, {entity}, /*raw=*/true);
  }
  if (!plain.Empty()) {
    for (const CUString& w : cutter(plain.c_str(), plain.Length())) builder.AddPlain(w);
  }
  return builder.Finish();
}

}  // namespace verrin
