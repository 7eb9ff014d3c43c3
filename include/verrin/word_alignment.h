// Verrin: the records of one tagging call placed in the text that was tagged.
//
// A record's nOffset counts only word units: white space, separators and
// bracket marks of the input are dropped before tagging, so nOffset is not a
// position in the caller's text. Programs that show or store results (the
// command's entity format, the HTTP service, the Python package) need the
// word's place in the text they sent, counted in Unicode code points, and the
// entities as whole words even where a long word took several records.
//
// C++ only (the types are those of the standard library the host shares with
// the library).
#ifndef VERRIN_WORD_ALIGNMENT_H_
#define VERRIN_WORD_ALIGNMENT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "verrin/verrin.h"

namespace verrin {

// One record and the span of the input it was read from.
struct CAlignedWord {
  std::u16string word;  // the record's word (pWord)
  std::u16string tag;   // the record's class text (pTag), empty when it has none
  bool hasTag = false;  // pTag was not null
  int type = 0;         // cWordType (kWordPlain ... kWordEntity)
  // The record continues the word of the record before it (see ContinuesWord).
  bool continued = false;
  // Span in the input, [start, end): in code points and in UTF-16 units. The
  // span runs from the word's first unit to its last, so it also covers the
  // dropped marks between them (the word of "[P 张三]说" tagged as one person
  // covers "张三]说"). A record that cannot be found gets an empty span at the
  // position where the search stood.
  int32_t start = 0;
  int32_t end = 0;
  int32_t unitStart = 0;
  int32_t unitEnd = 0;
};

// One named entity (persons "P", locations "L", organizations "O"): a record
// of type kWordEntity, or the records of one entity word longer than a record
// holds, joined.
struct CAlignedEntity {
  std::u16string label;  // the class text
  std::u16string text;   // the whole word
  // Span from the first record's start to the last record's end, in the
  // index spaces of the words it was made from.
  int32_t start = 0;
  int32_t end = 0;
  int32_t unitStart = 0;
  int32_t unitEnd = 0;
};

// True when record `index` (> 0) of `records` continues the word of the
// record before it: that record is full (kMaxRecordUnits units) and both
// have one type and one class text. Records cannot tell such a word from a
// word of exactly kMaxRecordUnits units followed by another word of the same
// type and class; both read as one word.
VERRIN_API bool ContinuesWord(const tag_WordInfoW* records, int index);

// Aligns `records` (`count` of them, as made by one KyTagNEInfo call on
// `text`) with `text` (`length` UTF-16 units; only the part up to the first
// line feed was tagged). Each unit of each word is looked up in order; units
// that no word holds (white space, separators, "[class " and "]" of bracket
// marks) are skipped. Never fails; never reads outside [text, text + length).
VERRIN_API std::vector<CAlignedWord> AlignWords(const char16_t* text, size_t length,
                                                const tag_WordInfoW* records, int count);

// The entities among `words`, the aligned records of one tagging call in
// order, with the records of one word joined. Spans are read from the words
// as they are, so a caller that moved them into its own index space (offsets
// in a whole document, say) gets the entities in that space.
VERRIN_API std::vector<CAlignedEntity> AlignedEntities(const std::vector<CAlignedWord>& words);

// Code-point index of every UTF-16 unit boundary of `text`: element i is the
// number of code points that start before unit i (a surrogate pair counts
// once; a lone surrogate counts as one). The vector has length + 1 elements.
VERRIN_API std::vector<int32_t> CodePointIndex(const char16_t* text, size_t length);

}  // namespace verrin

#endif  // VERRIN_WORD_ALIGNMENT_H_
