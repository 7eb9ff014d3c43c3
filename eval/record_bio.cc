#include "eval/record_bio.h"

#include <cstdio>

#include "text/char_class.h"
#include "text/code_page.h"
#include "text/diagnostics.h"
#include "verrin/word_alignment.h"

namespace verrin {

namespace {

const char* EntityClass(const tag_WordInfoW& r) {
  if (r.cWordType != kWordEntity || r.pTag == nullptr || r.pTag[0] == 0 || r.pTag[1] != 0)
    return nullptr;
  switch (r.pTag[0]) {
    case u'P':
      return "PER";
    case u'L':
      return "LOC";
    case u'O':
      return "ORG";
    default:
      return nullptr;
  }
}

}  // namespace

std::vector<std::string> UnitTags(const tag_WordInfoW* records, int count) {
  std::vector<std::string> tags;
  for (int i = 0; i < count; ++i) {
    const tag_WordInfoW& r = records[i];
    const char* klass = EntityClass(r);
    const bool continues = klass != nullptr && ContinuesWord(records, i);
    for (int k = 0; r.pWord != nullptr && r.pWord[k] != 0; ++k) {
      if (klass == nullptr) {
        tags.emplace_back("O");
      } else {
        tags.push_back(std::string(k == 0 && !continues ? "B-" : "I-") + klass);
      }
    }
  }
  return tags;
}

BioSentence TagBioSentence(CKyVerrin& tagger, const BioSentence& sentence) {
  std::string utf8;
  for (const std::string& c : sentence.chars) utf8 += c;
  const CUString text = FromUtf8(utf8);
  tag_WordInfoW* records = nullptr;
  int count = 0;
  tagger.KyTagNEInfo(text.c_str(), 0, records, count);
  const std::vector<std::string> unit_tags = UnitTags(records, count);
  tagger.FreeWordSegResult(records, count);

  // Raw text loses its white space in tagging; every other unit comes back
  // in order, so the predicted tags line up with the gold characters.
  BioSentence out;
  out.chars = sentence.chars;
  out.first_line = sentence.first_line;
  size_t unit = 0;
  for (const std::string& c : sentence.chars) {
    const CUString units = FromUtf8(c);
    if (units.Length() == 0 || IsWhiteSpace(units[0])) {
      out.tags.emplace_back("O");
      continue;
    }
    out.tags.push_back(unit < unit_tags.size() ? unit_tags[unit] : std::string("O"));
    unit += static_cast<size_t>(units.Length());
  }
  return out;
}

std::vector<BioSentence> TagBioSentences(CKyVerrin& tagger, const std::vector<BioSentence>& gold,
                                         const ProgressHook& progress) {
  std::vector<BioSentence> predicted;
  predicted.reserve(gold.size());
  for (size_t s = 0; s < gold.size(); ++s) {
    predicted.push_back(TagBioSentence(tagger, gold[s]));
    if (progress) {
      progress(static_cast<int64_t>(s + 1), static_cast<int64_t>(gold.size()));
    }
  }
  return predicted;
}

}  // namespace verrin
