// One input line of an annotated corpus as the readers see it: decoding,
// tokens, and the problem that makes a line unusable.
#ifndef VERRIN_CORPUS_CORPUS_LINE_H_
#define VERRIN_CORPUS_CORPUS_LINE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "text/ustring.h"

namespace verrin {

// A problem that makes a line (bio: a sentence) unusable.
struct CorpusProblem {
  std::string category;  // short, for the summary counts
  std::string detail;    // the reported reason
};

// The text in single quotes, as UTF-8.
std::string Quote(const CUString& text);
// "U+XXXX".
std::string CodePointName(uint32_t cp);
// Drops every line feed and carriage return at the end.
void StripLineEnd(std::string& line);
// True when the line holds only spaces, tabs and line ends.
bool IsBlank(const std::string& line);
// Decodes a line from GBK (`gbk`) or UTF-8, refusing bytes that do not
// round-trip: a decoder would otherwise put replacement characters into the
// corpus without a word.
bool DecodeLine(const std::string& bytes, bool gbk, CUString* text, CorpusProblem* problem);
// Cuts at runs of spaces and tabs.
std::vector<CUString> SplitTokens(const CUString& line);
// The units as bytes (the low seven bits of each); `ok` false when a unit
// was not ASCII.
std::string AsciiOf(const char16_t* text, int32_t length, bool* ok);

}  // namespace verrin

#endif  // VERRIN_CORPUS_CORPUS_LINE_H_
