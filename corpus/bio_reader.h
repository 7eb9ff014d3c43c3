// The reader of BIO corpora: UTF-8, "char TAG" per line (O, B-X, I-X with X
// one of PER, LOC, ORG), a blank line after each sentence. Text outside
// entities is cut into words by the caller's word cutter.
#ifndef VERRIN_CORPUS_BIO_READER_H_
#define VERRIN_CORPUS_BIO_READER_H_

#include <vector>

#include "corpus/corpus_item.h"
#include "corpus/corpus_line.h"
#include "text/ustring.h"

namespace verrin {

struct BioChar {
  CUString text;
  char16_t klass = 0;  // 0 outside entities; 'P', 'L' or 'O'
  bool begins = false;
};

// One decoded, non-blank line of the sentence whose characters so far are
// `sentence`. False with `problem` set when the line is not a character, a
// space and a tag, the tag is unknown, or an I- tag does not continue an
// entity of its class.
bool ParseBioLine(const CUString& line, const std::vector<BioChar>& sentence, BioChar* out,
                  CorpusProblem* problem);

// The items of a whole sentence: every run of B-/I- characters one entity
// (raw, so that it can be cut if it must be written plain), the text between
// entities cut by `cutter`.
std::vector<CorpusItem> BioSentenceItems(const std::vector<BioChar>& chars,
                                         const WordCutter& cutter);

}  // namespace verrin

#endif  // VERRIN_CORPUS_BIO_READER_H_
