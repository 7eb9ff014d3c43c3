// BIO tags of tagging records, for `tag --format bio` and `eval-ner`.
#ifndef VERRIN_EVAL_RECORD_BIO_H_
#define VERRIN_EVAL_RECORD_BIO_H_

#include <string>
#include <vector>

#include "eval/ner_scorer.h"
#include "text/diagnostics.h"
#include "verrin/verrin.h"

namespace verrin {

// One tag per UTF-16 unit of the records' words, in order: "O", or "B-X" /
// "I-X" with X = PER, LOC, ORG for records of type 3. A word split over
// several records (longer than 255 units) stays one entity.
std::vector<std::string> UnitTags(const tag_WordInfoW* records, int count);

// Tags the raw text of one gold sentence and returns it with the predicted
// tags (white space, which tagging drops, is tagged "O").
BioSentence TagBioSentence(CKyVerrin& tagger, const BioSentence& gold);

// Tags the raw text of every gold sentence and returns the sentences with the
// predicted tags (white space, which tagging drops, is tagged "O").
// `progress` (may be empty) hears the sentences tagged after each one.
std::vector<BioSentence> TagBioSentences(CKyVerrin& tagger, const std::vector<BioSentence>& gold,
                                         const ProgressHook& progress);

}  // namespace verrin

#endif  // VERRIN_EVAL_RECORD_BIO_H_
