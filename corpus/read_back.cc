#include "corpus/read_back.h"

#include "text/char_class.h"
#include "text/code_page.h"

namespace verrin {
namespace {

// The clause splitter's soft limit for segmented text: longer clauses break
// at an enumeration comma, or at twice the limit at a breaking symbol.
constexpr int32_t kSegmentedSoftLimit = 100;

// The clauses of a line as the segmented-mode splitter cuts them. Written
// here rather than borrowed from the engine so that conversion needs no loaded
// resource set, and so that the check is a second, independent reading.
std::vector<CUString> SplitClauses(const CUString& text) {
  std::vector<CUString> clauses;
  CUString current;
  for (int32_t i = 0; i < text.Length() && text[i] != 0x000A; ++i) {
    const char16_t unit = text[i];
    const int32_t held = current.Length();
    if ((held >= kSegmentedSoftLimit && IsEnumerationComma(unit)) ||
        (held >= 2 * kSegmentedSoftLimit && IsBreakingSymbol(unit))) {
      clauses.push_back(current);
      current.Assign(unit);
      continue;
    }
    current.Append(unit);
    if (IsSentenceDelimiter(unit)) {
      clauses.push_back(current);
      current.Clear();
    }
  }
  if (!current.Empty()) clauses.push_back(current);
  return clauses;
}

void ReadPlainStretch(const char16_t* stretch, int32_t length, std::vector<ReadBackWord>* out) {
  if (length <= 0) return;
  CUString copy(stretch, length);
  char16_t* cursor = copy.MutableBuffer();
  while (char16_t* field = NextField(&cursor, u' ')) {
    if (*field == 0) continue;
    out->push_back({CUString(), CUString(field)});
  }
}

std::vector<ReadBackWord> ExpectedWords(const std::vector<CorpusItem>& items) {
  std::vector<ReadBackWord> expected;
  for (const CorpusItem& item : items) {
    if (item.klass == 0) {
      expected.push_back({CUString(), item.words[0]});
      continue;
    }
    CUString word;
    if (!item.parts.empty()) {
      for (const CorpusPart& part : item.parts) {
        word.Append(part.text);
        word.Append(kPartTextEnd);
        word.Append(part.klass);
        word.Append(kPartClassEnd);
      }
    } else {
      word = Concatenate(item.words);
    }
    expected.push_back({item.klass == u'N' ? CUString(u"number") : CUString(&item.klass, 1), word});
  }
  return expected;
}

// For messages: the nested-part marks U+0005 and U+0006 are shown as "|" and ";".
std::string Describe(const ReadBackWord& w) {
  std::string text = ToUtf8(w.word);
  for (char& c : text) {
    if (c == '\x05') c = '|';
    if (c == '\x06') c = ';';
  }
  return w.klass.Empty() ? "'" + text + "'" : "[" + ToUtf8(w.klass) + " " + text + "]";
}

}  // namespace

std::vector<ReadBackWord> ReadBracketedLine(const CUString& line) {
  std::vector<ReadBackWord> out;
  CUString trimmed(line);
  TrimWhiteSpace(trimmed);
  for (const CUString& clause : SplitClauses(trimmed)) {
    CUString work(clause);
    char16_t* rest = work.MutableBuffer();
    BracketTag bracket;
    while (*rest != 0) {
      if (!ParseBracketTag(rest, bracket)) break;
      ReadPlainStretch(rest, bracket.start, &out);
      rest = bracket.rest;
      if (!bracket.word.Empty()) out.push_back({bracket.tag, bracket.word});
    }
    ReadPlainStretch(rest, UStrLen(rest), &out);
  }
  return out;
}

// Empty when the rendered line reads back as the items; else what differs.
std::string ReadBackMismatch(const std::vector<CorpusItem>& items, const CUString& rendered) {
  const std::vector<ReadBackWord> expected = ExpectedWords(items);
  const std::vector<ReadBackWord> read = ReadBracketedLine(rendered);
  size_t i = 0;
  while (i < expected.size() && i < read.size() && expected[i].klass == read[i].klass &&
         expected[i].word == read[i].word) {
    ++i;
  }
  if (i == expected.size() && i == read.size()) return std::string();
  std::string detail = i < expected.size() ? Describe(expected[i]) : "nothing";
  detail += " would be read as ";
  detail += i < read.size() ? Describe(read[i]) : "nothing";
  return detail;
}

// Turns nested parts into plain entity words; false when there were none.
bool FlattenParts(std::vector<CorpusItem>* items) {
  bool any = false;
  for (CorpusItem& item : *items) {
    if (item.parts.empty()) continue;
    any = true;
    item.words.clear();
    for (const CorpusPart& p : item.parts) item.words.push_back(p.text);
    item.parts.clear();
  }
  return any;
}

}  // namespace verrin
