// The reader of MSRA NER lines (UTF-8): "word/o word/nr word/ns word/nt".
#ifndef VERRIN_CORPUS_MSRA_READER_H_
#define VERRIN_CORPUS_MSRA_READER_H_

#include <string>
#include <vector>

#include "corpus/corpus_item.h"
#include "corpus/corpus_line.h"
#include "text/ustring.h"

namespace verrin {

// "word/tag": false when there is no "/" after a non-empty word; `ascii`
// false when the tag is not ASCII.
bool SplitMsraToken(const CUString& token, CUString* word, std::string* tag, bool* ascii);

// The items of one decoded line; false with `problem` set when a token is
// malformed or its tag is not o, nr, ns or nt.
bool ConvertMsraLine(const CUString& line, std::vector<CorpusItem>* items, ConversionStats* stats,
                     CorpusProblem* problem);

}  // namespace verrin

#endif  // VERRIN_CORPUS_MSRA_READER_H_
