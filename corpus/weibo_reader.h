// The reader of Weibo NER files (Peng and Dredze, 2nd edition): UTF-8, one
// "character+position<TAB>TAG" per line, where the character is followed by
// the digits of its position in a word ("科0", "技1"), a blank line after each
// message. Tags are BIO over PER.NAM, PER.NOM, LOC.NAM, ... (WeiboBioMap).
#ifndef VERRIN_CORPUS_WEIBO_READER_H_
#define VERRIN_CORPUS_WEIBO_READER_H_

#include <vector>

#include "corpus/bio_reader.h"
#include "corpus/corpus_line.h"
#include "text/ustring.h"

namespace verrin {

// One decoded, non-blank line of the message whose characters so far are
// `sentence`: the character is the first code point of the first field,
// which must end in an ASCII digit. False with `problem` set when the line
// is not a field, white space and a tag, or the tag is unknown or does not
// continue an entity; `lone_inside` as for ReadBioTag.
bool ParseWeiboLine(const CUString& line, const BioLabelMap& map,
                    const std::vector<BioChar>& sentence, BioChar* out, bool* lone_inside,
                    CorpusProblem* problem);

}  // namespace verrin

#endif  // VERRIN_CORPUS_WEIBO_READER_H_
