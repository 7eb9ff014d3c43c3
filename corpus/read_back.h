// The read-back check: a converted line is written only when the training-
// corpus reader would read it back as the items it was made from.
#ifndef VERRIN_CORPUS_READ_BACK_H_
#define VERRIN_CORPUS_READ_BACK_H_

#include <string>
#include <vector>

#include "corpus/corpus_item.h"
#include "text/ustring.h"

namespace verrin {

// What the training-corpus reader makes of one line: every word in order,
// with the class text of its bracket (empty for plain words) and, for
// brackets, the word with "/" removed and nested-part marks kept. The line is
// trimmed, cut into clauses at the clause delimiters (soft limit 100, as for
// segmented text), each clause scanned for brackets and its plain stretches
// cut at spaces.
struct ReadBackWord {
  CUString klass;
  CUString word;
};
std::vector<ReadBackWord> ReadBracketedLine(const CUString& line);

// Empty when `rendered` (the bracketed text of `items`) reads back as the
// items; else what differs first, for a message.
std::string ReadBackMismatch(const std::vector<CorpusItem>& items, const CUString& rendered);

// Turns nested parts into plain entity words; false when there were none.
bool FlattenParts(std::vector<CorpusItem>* items);

}  // namespace verrin

#endif  // VERRIN_CORPUS_READ_BACK_H_
