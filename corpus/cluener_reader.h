// The reader of CLUENER2020 files: UTF-8 JSON lines,
// {"text": ..., "label": {TYPE: {MENTION: [[start, end], ...]}}}, with
// inclusive offsets in code points of the text. Types map to classes by a
// label map (CluenerBioMap); spans of types that are not names are checked
// and left out, so a name inside a book title stays a name.
#ifndef VERRIN_CORPUS_CLUENER_READER_H_
#define VERRIN_CORPUS_CLUENER_READER_H_

#include <string>
#include <vector>

#include "corpus/bio_reader.h"
#include "corpus/corpus_line.h"

namespace verrin {

// The characters of one line (without its line end), classed by its named
// spans. False with `problem` set when the line is not a JSON object with a
// string "text", a label is not of the shape above, a span lies outside the
// text or does not hold its mention, or two named spans overlap.
bool ParseCluenerLine(const std::string& utf8_line, const BioLabelMap& map,
                      std::vector<BioChar>* chars, CorpusProblem* problem);

// False in builds without a JSON library (Windows cross builds).
bool CluenerSupported();

}  // namespace verrin

#endif  // VERRIN_CORPUS_CLUENER_READER_H_
