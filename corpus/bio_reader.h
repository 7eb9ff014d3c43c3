// The reader of BIO corpora: UTF-8, "char TAG" per line (O, B-TYPE, I-TYPE),
// a blank line after each sentence. A label map says which entity class each
// TYPE stands for; text outside entities is cut into words by the caller's
// word cutter.
#ifndef VERRIN_CORPUS_BIO_READER_H_
#define VERRIN_CORPUS_BIO_READER_H_

#include <map>
#include <string>
#include <vector>

#include "corpus/corpus_item.h"
#include "corpus/corpus_line.h"
#include "text/ustring.h"

namespace verrin {

// How the entity types of a tag set map to the classes P, L and O.
struct BioLabelMap {
  std::map<std::string, char16_t> classes;  // type -> 'P', 'L', 'O', or 0: not a name
  // A type not listed reads as outside any entity; when false it is an
  // unknown tag.
  bool others_outside = false;
  // An I- tag that continues no entity of its type starts one, as conlleval
  // reads it (the caller reports it); when false it is an error.
  bool lone_inside_begins = false;
};

// PER -> P, LOC -> L, ORG -> O; any other type is an unknown tag.
BioLabelMap DefaultBioMap();
// Weibo NER: PER.NAM -> P, LOC.NAM and GPE.NAM -> L, ORG.NAM -> O; nominal
// mentions (*.NOM) and any other type are not names; a lone I- starts a name.
BioLabelMap WeiboBioMap();
// CLUENER2020: name -> P, address -> L, company, government and organization
// -> O; book, game, movie, position, scene and any other type are not names.
BioLabelMap CluenerBioMap();
// "TYPE=CLASS,TYPE=CLASS,..." with CLASS P, L or O (PER, LOC, ORG are also
// accepted); every type not listed reads as outside any entity, and a lone
// I- tag starts an entity. False with
// `error` set when an entry is malformed, a class unknown or a type given twice.
bool ParseBioMap(const std::string& text, BioLabelMap* map, std::string* error);

struct BioChar {
  CUString text;       // one character (two units outside the BMP)
  char16_t klass = 0;  // 0 outside entities; 'P', 'L' or 'O'
  bool begins = false;
  std::string type;  // the tag's type, for the continuation check
};

// The tag of a corpus line is its last field: after the last space or tab,
// trailing spaces and tabs left out. `split` is that space or tab, -1 when
// the line has none (it is one field, or blank).
struct TagField {
  int32_t split = -1;
  int32_t end = 0;
};
TagField FindTagField(const CUString& line);

// Reads the tag ("O", "B-TYPE", "I-TYPE") of `line` at `tag` into `c` (class,
// start, type). An I- tag of a mapped type must continue an entity of the
// same type, unless the map lets it start one: then `lone_inside` is set.
// False with `problem` set when the tag is unknown (reported with the whole
// line) or does not continue.
bool ReadBioTag(const CUString& line, const TagField& tag, const BioLabelMap& map,
                const std::vector<BioChar>& sentence, BioChar* c, bool* lone_inside,
                CorpusProblem* problem);

// One decoded, non-blank line of the sentence whose characters so far are
// `sentence`. False with `problem` set when the line is not a character, a
// space and a tag, or the tag is unknown or does not continue an entity;
// `lone_inside` as for ReadBioTag.
bool ParseBioLine(const CUString& line, const BioLabelMap& map,
                  const std::vector<BioChar>& sentence, BioChar* out, bool* lone_inside,
                  CorpusProblem* problem);

// The items of a whole sentence: every run of B-/I- characters one entity
// (raw, so that it can be cut if it must be written plain), the text between
// entities cut by `cutter`.
std::vector<CorpusItem> BioSentenceItems(const std::vector<BioChar>& chars,
                                         const WordCutter& cutter);

// The sentence as gold BIO lines (UTF-8): "char TAG\n" with TAG O, B-PER,
// I-PER, B-LOC, I-LOC, B-ORG or I-ORG, then a blank line.
std::string BioSentenceText(const std::vector<BioChar>& chars);

}  // namespace verrin

#endif  // VERRIN_CORPUS_BIO_READER_H_
