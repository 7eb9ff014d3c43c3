// The reader of People's Daily 1998 (PKU) lines: GBK, one paragraph per
// line, the first token the paragraph identifier, tokens "word/TAG" separated
// by spaces, compounds "[w/t  w/t]outer". nr -> P, ns -> L, nt -> O;
// "[...]nt" -> O with nested parts; "[...]ns" -> L; other compounds give plain
// words. Consecutive nr tokens form one person, except that a one-character
// token after a person of two or more tokens starts the next person.
#ifndef VERRIN_CORPUS_PD98_READER_H_
#define VERRIN_CORPUS_PD98_READER_H_

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "corpus/corpus_item.h"
#include "corpus/corpus_line.h"
#include "text/ustring.h"

namespace verrin {

// What the pd98 reader does beyond the plain tag mapping.
struct Pd98Rules {
  std::function<char16_t(const CUString&)> abbreviation_class;  // may be empty
  const std::set<std::u16string>* names = nullptr;              // names to cut out of words
};

// The items of one decoded line; false with `problem` set when the line is
// malformed or holds an unknown tag. Counts go to `stats`.
bool ConvertPd98Line(const CUString& line, const Pd98Rules& rules, std::vector<CorpusItem>* items,
                     ConversionStats* stats, CorpusProblem* problem);

}  // namespace verrin

#endif  // VERRIN_CORPUS_PD98_READER_H_
