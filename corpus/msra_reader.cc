#include "corpus/msra_reader.h"

namespace verrin {

bool SplitMsraToken(const CUString& token, CUString* word, std::string* tag, bool* ascii) {
  int32_t slash = token.Length() - 1;
  while (slash >= 0 && token[slash] != u'/') --slash;
  if (slash <= 0) return false;
  word->Assign(token.c_str(), slash);
  *ascii = true;
  *tag = AsciiOf(token.c_str() + slash + 1, token.Length() - slash - 1, ascii);
  return true;
}

bool ConvertMsraLine(const CUString& line, std::vector<CorpusItem>* items, ConversionStats* stats,
                     CorpusProblem* problem) {
  items->clear();
  CItemBuilder builder(stats);
  for (const CUString& token : SplitTokens(line)) {
    CUString word;
    std::string tag;
    bool ascii = true;
    if (!SplitMsraToken(token, &word, &tag, &ascii)) {
      *problem = {"malformed token", "malformed token " + Quote(token) + " (expected word/TAG)"};
      return false;
    }
    if (ascii && tag == "o") {
      builder.AddPlain(word);
    } else if (ascii && tag == "nr") {
      builder.AddEntity(u'P', {word});
    } else if (ascii && tag == "ns") {
      builder.AddEntity(u'L', {word});
    } else if (ascii && tag == "nt") {
      builder.AddEntity(u'O', {word});
    } else {
      *problem = {"unknown tag", "unknown tag in token " + Quote(token)};
      return false;
    }
  }
  *items = builder.Finish();
  return true;
}

}  // namespace verrin
