// Character classes, clause delimiters and the small in-place text utilities
// that splitting, pre-segmentation and the file readers share.
//
// Everything works on single UTF-16 code units; characters outside the Basic
// Multilingual Plane are two units of class 1.
#ifndef VERRIN_TEXT_CHAR_CLASS_H_
#define VERRIN_TEXT_CHAR_CLASS_H_

#include <cstdint>

#include "text/ustring.h"

namespace verrin {

// Class codes of single units. The engine adds 6 (class-word placeholder),
// 7 ("mdw" placeholder) and 11 (sentence sentinel).
enum CharClass : int32_t {
  kClassOther = 1,
  kClassDigit = 2,
  kClassLatin = 3,
  kClassSymbol = 4,
  kClassChineseNumeral = 5,
  kClassClassWord = 6,
  kClassMdwWord = 7,
  kClassSentinel = 11,
};

// Tests in the order digit, Chinese numeral, Latin letter, symbol; else 1.
int32_t CharClassOf(char16_t unit);

// 。？！，；﹖﹐﹔?!;,
bool IsSentenceDelimiter(char16_t unit);
// ”
bool IsClosingQuote(char16_t unit);
// 、
bool IsEnumerationComma(char16_t unit);
// Class 4 and not in the joining-symbol list.
bool IsBreakingSymbol(char16_t unit);
bool IsChineseNumeral(char16_t unit);
// Every unit is a Chinese numeral (true for the empty text).
bool IsChineseNumeralWord(const char16_t* text);
bool IsChineseNumeralWord(const char16_t* text, int32_t length);
// Tab, line feed, carriage return, space.
bool IsWhiteSpace(char16_t unit);

// Skips leading white space and overwrites trailing white space with NULs in
// place; returns the first non-white unit.
char16_t* TrimWhiteSpace(char16_t* text);
// Trims a CUString in place (same rule).
void TrimWhiteSpace(CUString& text);

// Skips white space, NUL-terminates the next run of non-white units and leaves
// *cursor behind that NUL. Returns the run, or null at the end.
char16_t* NextToken(char16_t** cursor);
// Skips a run of separators, cuts at the next separator and returns the field
// trimmed of white space (possibly empty); null at the end.
char16_t* NextField(char16_t** cursor, char16_t separator);
// Copies `source` to `dest` without any occurrence of `unit`; dest may equal
// source. Returns the new length.
int32_t RemoveUnit(const char16_t* source, char16_t* dest, char16_t unit);

// A bracketed mark "[" class " " word "]" found by ParseBracketTag.
struct BracketTag {
  int32_t start = 0;         // offset of "[" in the parsed text
  int32_t length = 0;        // units from "[" to "]" inclusive
  CUString tag;              // class text
  CUString word;             // word with every "/" removed
  char16_t* rest = nullptr;  // the unit after "]"
};

// Where a bracketed mark lies: offsets of its "[", of the space after the
// class and of its "]".
struct BracketSpan {
  int32_t open;
  int32_t space;
  int32_t close;
};

// Finds the first "[", the first "]" at or after it and the first space at or
// after the "[", in text[0, length) up to a NUL; fails when one is missing,
// when a second space lies between the first one and the "]", or when the
// first space lies beyond the "]". Reads the text only.
bool FindBracketTag(const char16_t* text, int32_t length, BracketSpan& span);
// The bracket FindBracketTag finds in the NUL-terminated `text`; on success
// the "[", the space and the "]" are overwritten with NULs.
bool ParseBracketTag(char16_t* text, BracketTag& record);

// The file opens for binary reading.
bool FileExists(const char* narrow_path);

}  // namespace verrin

#endif  // VERRIN_TEXT_CHAR_CLASS_H_
