// Places the records of one tagging call in the text that was tagged.
//
// A record's nOffset counts only word units: white space, separators and
// bracket marks of the input are dropped before tagging, so nOffset is not a
// position in the caller's text. Programs that show or store results (the
// command's code-point format, the HTTP service, the Python package) need the
// word's place in the text they sent, counted in Unicode code points.
#ifndef VERRIN_API_WORD_ALIGNMENT_H_
#define VERRIN_API_WORD_ALIGNMENT_H_

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
  int type = 0;         // cWordType
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

// Aligns `records` (`count` of them, as made by one KyTagNEInfo call on
// `text`) with `text` (`length` UTF-16 units; only the part up to the first
// line feed was tagged). Each unit of each word is looked up in order; units
// that no word holds (white space, separators, "[class " and "]" of bracket
// marks) are skipped. Never fails; never reads outside [text, text + length).
std::vector<CAlignedWord> AlignWords(const char16_t* text, size_t length,
                                     const tag_WordInfoW* records, int count);

// Code-point index of every UTF-16 unit boundary of `text`: element i is the
// number of code points that start before unit i (a surrogate pair counts
// once; a lone surrogate counts as one). The vector has length + 1 elements.
std::vector<int32_t> CodePointIndex(const char16_t* text, size_t length);

}  // namespace verrin

#endif  // VERRIN_API_WORD_ALIGNMENT_H_
