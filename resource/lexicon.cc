#include "resource/lexicon.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "io/protected_file.h"
#include "resource/pe_info.h"
#include "resource/resource_file.h"
#include "text/char_class.h"
#include "text/code_page.h"
#include "text/file_system.h"

namespace verrin {

CNELexicon::CNELexicon() = default;

CNELexicon::~CNELexicon() = default;

std::string CNELexicon::OnEntryLine(const char16_t* /*line*/) { return ""; }

bool CNELexicon::LoadLexicon(const std::string& path, bool protected_form, std::string* error) {
  const ResourceFileRead read =
      ReadResourceFile(protected_form ? ProtectedPathFor(path) : path, protected_form,
                       [this](const CUString& line, int64_t) {
                         std::string problem = LineBytesProblem(line);
                         if (!problem.empty()) return problem;
                         CUString copy = line;
                         return AddEntryLine(copy);
                       });
  if (error != nullptr) *error = read.Message();
  return read.Ok();
}

std::string CNELexicon::AddEntryLine(CUString& line) {
  char16_t* buffer = line.MutableBuffer();
  if (buffer == nullptr) return "";
  char16_t* trimmed = TrimWhiteSpace(buffer);
  if (*trimmed == 0) return "";
  std::string problem = OnEntryLine(trimmed);
  if (!problem.empty()) return problem;
  char16_t* cursor = trimmed;
  const char16_t* word = NextToken(&cursor);
  const int32_t length = UStrLen(word);
  for (int32_t i = 0; i < length; ++i) {
    if (word[i] < 0x20 || word[i] == 0x7F) return "the word holds a control character";
  }
  // Numbering the stored entries only keeps entry n and words_[n - 1] together
  // whatever blank lines the file holds.
  const int32_t entry = static_cast<int32_t>(words_.size()) + 1;
  trie_.Insert(word, length, entry);
  words_.emplace_back(word);
  return "";
}

const char16_t* CNELexicon::WordAt(int32_t n) const {
  if (n <= 0 || n > static_cast<int32_t>(words_.size())) return nullptr;
  return words_[n - 1].c_str();
}

int32_t CNELexicon::EntryCount() const { return static_cast<int32_t>(words_.size()); }

int32_t CNELexicon::PrefixMatches(const char16_t* text, int32_t max_length,
                                  PrefixMatchBuffer& out) const {
  const int32_t count = trie_.PrefixMatches(text, max_length, out.data(), kMaxMatches);
  out[count] = PrefixMatch{-1, 0};
  return count;
}

int32_t CNELexicon::PrefixMatches(const char16_t* text, PrefixMatchBuffer& out) const {
  return PrefixMatches(text, UStrLen(text), out);
}

std::vector<int32_t> CNELexicon::SegmentByDict(const char16_t* text, int32_t length) const {
  std::vector<int32_t> entries;
  SegmentByDict(text, length, entries);
  return entries;
}

void CNELexicon::SegmentByDict(const char16_t* text, int32_t length,
                               std::vector<int32_t>& entries) const {
  entries.clear();
  int32_t position = 0;
  while (position < length) {
    int32_t entry = 0;
    const int32_t matched =
        trie_.LastPrefixMatch(text + position, length - position, kMaxMatches, &entry);
    entries.push_back(matched > 0 ? entry : 0);
    position += matched > 0 ? matched : 1;
  }
}

std::vector<CUString> CNELexicon::SegmentRawText(const char16_t* text, int32_t length,
                                                 bool group) const {
  RawTextTokens out;
  SegmentRawText(text, length, group, out);
  out.tokens.resize(static_cast<size_t>(out.count));
  return std::move(out.tokens);
}

void CNELexicon::SegmentRawText(const char16_t* text, int32_t length, bool group,
                                RawTextTokens& out) const {
  out.count = 0;
  auto add = [&out](const char16_t* token, int32_t token_length) {
    if (out.count == static_cast<int32_t>(out.tokens.size())) out.tokens.emplace_back();
    out.tokens[static_cast<size_t>(out.count++)].Refill(token, token_length);
  };
  CUString& run = out.run;
  run.Clear();
  int32_t run_class = 0;
  auto flush = [&]() {
    if (run.Empty()) return;
    if (run_class == kClassSymbol) {
      for (int32_t i = 0; i < run.Length(); ++i) add(run.c_str() + i, 1);
    } else {
      add(run.c_str(), run.Length());
    }
    run.Clear();
  };

  // Forward longest match, as SegmentByDict; a word's length is that of its
  // match (the word itself).
  int32_t offset = 0;
  int32_t fetched = 0;
  while (offset < length) {
    // The next walk starts at one of the next few positions: their first
    // reads are fetched while this one goes on.
    if (fetched < offset + kWalksAhead) {
      fetched = std::max(fetched, offset);
      trie_.PrefetchWalks(text, length, fetched, offset + kWalksAhead);
      fetched = offset + kWalksAhead;
    }
    const char16_t* token = text + offset;
    int32_t entry = 0;
    int32_t token_length = trie_.LastPrefixMatch(token, length - offset, kMaxMatches, &entry);
    if (token_length == 0) {
      token_length = 1;
      if (IsWhiteSpace(*token)) {
        ++offset;
        continue;
      }
    }
    offset += token_length;
    if (!group) {
      add(token, token_length);
      continue;
    }
    const int32_t klass = CharClassOf(token[0]);
    if (klass == kClassOther) {
      flush();
      add(token, token_length);
      continue;
    }
    if (!run.Empty() && klass != run_class) flush();
    run_class = klass;
    run.Append(token, token_length);
  }
  flush();
}

CNEValuedLexicon::CNEValuedLexicon(ValueReader reader) : reader_(reader) {}

CNEValuedLexicon::~CNEValuedLexicon() = default;

std::string CNEValuedLexicon::OnEntryLine(const char16_t* line) {
  int32_t value = 0;
  if (reader_ != nullptr && !reader_(line, &value)) {
    CUString copy(line);
    char16_t* cursor = copy.MutableBuffer();
    NextToken(&cursor);
    while (*cursor != 0 && IsWhiteSpace(*cursor)) ++cursor;
    return "value '" + FieldForMessage(cursor, UStrLen(cursor)) +
           "' is not a decimal number from 0 to 2147483647";
  }
  values_.push_back(value);
  return "";
}

int32_t CNEValuedLexicon::ValueAt(int32_t n) const {
  if (n <= 0 || n > static_cast<int32_t>(values_.size())) return 0;
  return values_[n - 1];
}

bool ReadLexiconValue(const char16_t* line, int32_t* value) {
  *value = 0;
  if (line == nullptr) return true;
  CUString copy(line);
  char16_t* cursor = copy.MutableBuffer();
  if (NextToken(&cursor) == nullptr) return true;
  while (*cursor != 0 && IsWhiteSpace(*cursor)) ++cursor;
  int32_t length = UStrLen(cursor);
  while (length > 0 && IsWhiteSpace(cursor[length - 1])) --length;
  if (length == 0) return true;
  int64_t read = 0;
  if (!ParseExactInt(cursor, length, 0, INT32_MAX, &read)) return false;
  *value = static_cast<int32_t>(read);
  return true;
}

int32_t LongestClassMatch(const CNEValuedLexicon& lexicon, const char16_t* text, int32_t max_length,
                          int32_t mask) {
  PrefixMatchBuffer matches;
  const int32_t count = lexicon.PrefixMatches(text, max_length, matches);
  // Matches come shortest first: the last one that fits is the longest.
  for (int32_t i = count - 1; i >= 0; --i) {
    if (lexicon.ValueAt(matches[i].entry) & mask) return matches[i].length;
  }
  return 0;
}

void MarkLexiconClasses(const char16_t* text, int32_t length, const CNEValuedLexicon& affixes,
                        const CNEValuedLexicon& items, const PeInfoTable& pe_info,
                        std::vector<int32_t>& marks, LexiconMatchMap& matches) {
  marks.assign(length > 0 ? static_cast<size_t>(length) : 0, 0);
  matches.clear();
  // The passes of one lexicon share its prefix matches at a position: one
  // search per lexicon and position. The order of the classes does not
  // matter (marks are or-ed, records have a key per class).
  constexpr int32_t kAffixClasses[] = {4, 2, 8, 1, 16, 32};
  PrefixMatchBuffer found;
  const auto mark = [&](int32_t i, int32_t klass, int32_t m) {
    LexiconMatch& record = matches[i * 256 + klass];
    record = LexiconMatch();
    record.start = i;
    record.length = m;
    record.klass = klass;
    record.text.Assign(text + i, m);
    marks[i] |= klass;
    const int32_t follower = klass == 8 ? 8 : klass * 256;
    for (int32_t j = 1; j < m; ++j) marks[i + j] |= follower;
  };
  // The longest of `count` matches (shortest first) whose value shares a bit
  // with `mask`, 0 if none.
  const auto longest = [&found](const CNEValuedLexicon& lexicon, int32_t count, int32_t mask) {
    for (int32_t k = count - 1; k >= 0; --k) {
      if (lexicon.ValueAt(found[k].entry) & mask) return found[k].length;
    }
    return 0;
  };
  for (int32_t i = 0; i < length; ++i) {
    int32_t count = affixes.PrefixMatches(text + i, length - i, found);
    for (int32_t klass : kAffixClasses) {
      const int32_t m = count > 0 ? longest(affixes, count, klass) : 0;
      if (m > 0) mark(i, klass, m);
    }
    count = items.PrefixMatches(text + i, length - i, found);
    const int32_t m = count > 0 ? longest(items, count, 2) : 0;
    if (m > 0) mark(i, 64, m);
  }
  for (int32_t i = 0; i < length; ++i) {
    if (pe_info.At(text[i]).flags & 1) marks[i] |= 0x80;
  }
}

}  // namespace verrin
