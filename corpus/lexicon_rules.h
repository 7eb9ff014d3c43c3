// Corpus conversion rules that consult a lexicon.
#ifndef VERRIN_CORPUS_LEXICON_RULES_H_
#define VERRIN_CORPUS_LEXICON_RULES_H_

#include <cstdint>
#include <functional>

#include "corpus/corpus_item.h"
#include "text/ustring.h"

namespace verrin {

class CNELexicon;
class CNEValuedLexicon;

// Forward longest match over `dictionary` with runs of digits, Latin letters
// and Chinese numerals kept whole (CNELexicon::SegmentRawText with grouping).
// The lexicon must outlive the cutter.
WordCutter DictionaryWordCutter(const CNELexicon& dictionary);

// The location prefix of an organization written in one piece: the length of
// the longest item of `items` whose value has the location bit (2) that starts
// the organization, is at least two units long and leaves at least two units
// after it; 0 when there is none. For ConverterOptions::location_prefix; the
// lexicon must outlive the rule.
std::function<int32_t(const CUString& organization)> LocationPrefixRule(
    const CNEValuedLexicon& items);

}  // namespace verrin

#endif  // VERRIN_CORPUS_LEXICON_RULES_H_
