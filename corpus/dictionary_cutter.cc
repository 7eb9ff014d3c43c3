// Kept apart from the converter so that the converter links without the
// lexicon code; only callers that cut by a dictionary pull it in.
#include "corpus/corpus_converter.h"
#include "resource/lexicon.h"

namespace verrin {

WordCutter DictionaryWordCutter(const CNELexicon& dictionary) {
  const CNELexicon* dict = &dictionary;
  return [dict](const char16_t* text, int32_t length) {
    return dict->SegmentRawText(text, length, /*group=*/true);
  };
}

}  // namespace verrin
