// Kept apart from the converter so that the converter links without the
// lexicon code; only callers that consult a lexicon pull it in.
#include "corpus/lexicon_rules.h"

#include "resource/lexicon.h"

namespace verrin {

WordCutter DictionaryWordCutter(const CNELexicon& dictionary) {
  const CNELexicon* dict = &dictionary;
  return [dict](const char16_t* text, int32_t length) {
    return dict->SegmentRawText(text, length, /*group=*/true);
  };
}

std::function<int32_t(const CUString& organization)> LocationPrefixRule(
    const CNEValuedLexicon& items) {
  const CNEValuedLexicon* lexicon = &items;
  return [lexicon](const CUString& organization) -> int32_t {
    const int32_t n =
        LongestClassMatch(*lexicon, organization.c_str(), organization.Length() - 2, 2);
    return n >= 2 ? n : 0;
  };
}

}  // namespace verrin
