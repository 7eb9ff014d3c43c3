#include "text/char_class.h"

#include <cstdio>
#include <limits>

#include "text/file_system.h"

namespace verrin {
namespace {

// The sets, as code points; membership tests are small linear scans.
constexpr char16_t kSentenceDelimiters[] = u"\u3002\uFF1F\uFF01\uFF0C\uFF1B\uFE56\uFE50\uFE54?!;,";
constexpr char16_t kJoiningSymbols[] =
    u"].\uFF0E-/+_&%| =()$~\uFF5E\uFF03\uFFE5\uFF05\u00D7\uFF0D\u2014\uFF0B\uFF1D\u00A7\u00F7"
    u"\u3002\uFF1A\u2026\uFF08\uFF09";
constexpr char16_t kFullWidthSymbols[] =
    u"\uFFE5\uFF5E\uFF03\uFF05\u203B\u00D7\uFF0D\u2014\uFF0B\uFF1D\u00A7\u00F7\u300E\u300F"
    u"\u3010\u3011\u300A\u300B\u3002\uFF01\uFF1F\uFF1A\uFF1B\u2026\uFF0C\uFF08\uFF09\u201C"
    u"\u201D\u2018\u2019";

template <size_t N>
bool InSet(const char16_t (&set)[N], char16_t unit) {
  for (size_t i = 0; i + 1 < N; ++i) {
    if (set[i] == unit) return true;
  }
  return false;
}

bool IsDigit(char16_t u) { return (u >= 0x30 && u <= 0x39) || (u >= 0xFF10 && u <= 0xFF19); }

bool IsLatin(char16_t u) {
  return (u >= 0x41 && u <= 0x5A) || (u >= 0x61 && u <= 0x7A) || (u >= 0xFF21 && u <= 0xFF3A) ||
         (u >= 0xFF41 && u <= 0xFF5A);
}

}  // namespace

bool IsChineseNumeral(char16_t unit) {
  // 一二三四五六七八九十零百千万亿; a switch compiles to a few comparisons.
  switch (unit) {
    case 0x4E00:
    case 0x4E8C:
    case 0x4E09:
    case 0x56DB:
    case 0x4E94:
    case 0x516D:
    case 0x4E03:
    case 0x516B:
    case 0x4E5D:
    case 0x5341:
    case 0x96F6:
    case 0x767E:
    case 0x5343:
    case 0x4E07:
    case 0x4EBF:
      return true;
    default:
      return false;
  }
}

int32_t CharClassOf(char16_t unit) {
  // The CJK ideographs, most of any Chinese text, hold the Chinese numerals
  // and nothing of the other classes.
  if (unit >= 0x4E00 && unit <= 0x9FFF) {
    return IsChineseNumeral(unit) ? kClassChineseNumeral : kClassOther;
  }
  if (IsDigit(unit)) return kClassDigit;
  if (IsChineseNumeral(unit)) return kClassChineseNumeral;
  if (IsLatin(unit)) return kClassLatin;
  if (unit < 0x80 || InSet(kFullWidthSymbols, unit)) return kClassSymbol;
  return kClassOther;
}

bool IsSentenceDelimiter(char16_t unit) { return InSet(kSentenceDelimiters, unit); }
bool IsClosingQuote(char16_t unit) { return unit == 0x201D; }
bool IsEnumerationComma(char16_t unit) { return unit == 0x3001; }

bool IsBreakingSymbol(char16_t unit) {
  return CharClassOf(unit) == kClassSymbol && !InSet(kJoiningSymbols, unit);
}

bool IsChineseNumeralWord(const char16_t* text) {
  return IsChineseNumeralWord(text, UStrLen(text));
}

bool IsChineseNumeralWord(const char16_t* text, int32_t length) {
  for (int32_t i = 0; i < length; ++i) {
    if (!IsChineseNumeral(text[i])) return false;
  }
  return true;
}

bool IsWhiteSpace(char16_t unit) {
  return unit == 0x09 || unit == 0x0A || unit == 0x0D || unit == 0x20;
}

char16_t* TrimWhiteSpace(char16_t* text) {
  while (*text != 0 && IsWhiteSpace(*text)) ++text;
  int32_t n = UStrLen(text);
  while (n > 0 && IsWhiteSpace(text[n - 1])) text[--n] = 0;
  return text;
}

void TrimWhiteSpace(CUString& text) {
  const char16_t* p = text.c_str();
  int32_t begin = 0, end = text.Length();
  while (begin < end && IsWhiteSpace(p[begin])) ++begin;
  while (end > begin && IsWhiteSpace(p[end - 1])) --end;
  if (begin == 0) {
    text.Truncate(end);
  } else {
    CUString trimmed(p + begin, end - begin);
    text.Assign(trimmed);
  }
}

char16_t* NextToken(char16_t** cursor) {
  char16_t* p = *cursor;
  if (p == nullptr) return nullptr;
  while (*p != 0 && IsWhiteSpace(*p)) ++p;
  if (*p == 0) {
    *cursor = p;
    return nullptr;
  }
  char16_t* start = p;
  while (*p != 0 && !IsWhiteSpace(*p)) ++p;
  if (*p != 0) *p++ = 0;
  *cursor = p;
  return start;
}

char16_t* NextField(char16_t** cursor, char16_t separator) {
  char16_t* p = *cursor;
  if (p == nullptr) return nullptr;
  while (*p != 0 && *p == separator) ++p;
  if (*p == 0) {
    *cursor = p;
    return nullptr;
  }
  char16_t* start = p;
  while (*p != 0 && *p != separator) ++p;
  if (*p != 0) *p++ = 0;
  *cursor = p;
  return TrimWhiteSpace(start);
}

int32_t RemoveUnit(const char16_t* source, char16_t* dest, char16_t unit) {
  int32_t n = 0;
  for (const char16_t* p = source; *p != 0; ++p) {
    if (*p != unit) dest[n++] = *p;
  }
  dest[n] = 0;
  return n;
}

bool FindBracketTag(const char16_t* text, int32_t length, BracketSpan& span) {
  auto ends = [&](int32_t i) { return i >= length || text[i] == 0; };
  int32_t open = 0;
  while (!ends(open) && text[open] != u'[') ++open;
  if (ends(open)) return false;
  int32_t close = open;
  while (!ends(close) && text[close] != u']') ++close;
  if (ends(close)) return false;
  // No space before the "]" means the bracket holds no class: no tag.
  int32_t space = open;
  while (space < close && text[space] != u' ') ++space;
  if (space == close) return false;
  for (int32_t i = space + 1; i < close; ++i) {
    if (text[i] == u' ') return false;
  }
  span = BracketSpan{open, space, close};
  return true;
}

bool ParseBracketTag(char16_t* text, BracketTag& record) {
  record.start = 0;
  record.length = 0;
  BracketSpan span;
  if (!FindBracketTag(text, std::numeric_limits<int32_t>::max(), span)) return false;
  char16_t* open = text + span.open;
  char16_t* space = text + span.space;
  char16_t* close = text + span.close;
  record.length = span.close - span.open + 1;
  record.start = span.open;
  *open = 0;
  *space = 0;
  *close = 0;
  // Both fields keep their buffers from an earlier bracket when they can.
  record.tag.Refill(open + 1, static_cast<int32_t>(space - open - 1));
  record.word.Refill(space + 1, static_cast<int32_t>(close - space - 1));
  record.word.Truncate(RemoveUnit(record.word.c_str(), record.word.MutableBuffer(), u'/'));
  record.rest = close + 1;
  return true;
}

bool FileExists(const char* narrow_path) {
  std::FILE* f = OpenFile(narrow_path, "rb");
  if (f == nullptr) return false;
  std::fclose(f);
  return true;
}

}  // namespace verrin
