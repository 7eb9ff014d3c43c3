// Name lexicons: the segmentation dictionary, the entity-item lexicon and the
// affix lexicon, with their prefix trie, dictionary segmentation and the
// per-character lexicon class marks.
#ifndef VERRIN_RESOURCE_LEXICON_H_
#define VERRIN_RESOURCE_LEXICON_H_

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "resource/prefix_trie.h"
#include "text/ustring.h"

namespace verrin {

// One class match of MarkLexiconClasses.
struct LexiconMatch {
  int32_t start = 0;
  int32_t length = 0;
  int32_t klass = 0;
  CUString text;
};
// Keyed by start * 256 + class.
using LexiconMatchMap = std::map<int32_t, LexiconMatch>;

// (length, entry number) of one prefix match.
struct PrefixMatch {
  int32_t length;
  int32_t entry;
};

// Room for the most prefix matches one search returns, plus the end pair.
inline constexpr int kMaxPrefixMatches = 129;
using PrefixMatchBuffer = std::array<PrefixMatch, kMaxPrefixMatches + 1>;

// The tokens of CNELexicon::SegmentRawText in storage kept for the next
// text: tokens[0 .. count) are the tokens; the strings beyond keep their
// buffers.
struct RawTextTokens {
  std::vector<CUString> tokens;
  int32_t count = 0;
  CUString run;  // working storage

  const CUString& operator[](int32_t i) const { return tokens[static_cast<size_t>(i)]; }
};

// A lexicon: words numbered from 1 in file order, found through a prefix trie.
//
// File format (GBK, plain or protected): one entry per line; the line is
// trimmed, blank lines hold no entry, the entry's word is its first run of
// non-white-space units. Entry n is the n-th non-blank line in both forms,
// so WordAt and the trie always agree. A word that appears again gets its own
// entry (and its own value) but the trie keeps the first entry's number.
//
// Once loaded, a lexicon is only read: searches write into the caller's
// buffer, so any number of threads may search one lexicon at once.
class CNELexicon {
 public:
  static constexpr int kMaxMatches = kMaxPrefixMatches;

  CNELexicon();
  virtual ~CNELexicon();

  // Reads a lexicon file (plain GBK, or with `protected_form` the file whose
  // last "txt" became "des", a path without "txt" as it is) and adds its
  // entries after those already held. False, with nothing said, when the
  // file cannot be opened or read, and when a line cannot be read: bytes
  // that are not valid GBK, a NUL byte, a word with a control character, or
  // what OnEntryLine refuses. Entries before that line stay. `error` (when
  // given) then says why: "cannot open PATH: REASON" or "PATH: line N: ...".
  bool LoadLexicon(const std::string& path, bool protected_form, std::string* error = nullptr);
  // Called with every trimmed, non-empty line before its word is stored:
  // "" when the line is an entry, or why it cannot be one. The base class
  // takes every line.
  virtual std::string OnEntryLine(const char16_t* line);

  // The word of entry n, or null for 0 or beyond the list.
  const char16_t* WordAt(int32_t n) const;
  int32_t EntryCount() const;

  // Every stored word that is a prefix of `text` and at most `max_length`
  // units long, shortest first, at most 129, into `out` as (length, entry
  // number) pairs followed by a pair whose length is -1. Returns the match
  // count (0: none).
  int32_t PrefixMatches(const char16_t* text, int32_t max_length, PrefixMatchBuffer& out) const;
  int32_t PrefixMatches(const char16_t* text, PrefixMatchBuffer& out) const;

  // Forward longest match over the whole text: one entry number per token,
  // 0 for a unit that starts no word.
  std::vector<int32_t> SegmentByDict(const char16_t* text, int32_t length) const;
  // The same into `entries` (emptied first).
  void SegmentByDict(const char16_t* text, int32_t length, std::vector<int32_t>& entries) const;

  // Raw-text segmentation over this lexicon used as the dictionary; with
  // `group`, runs of digits, Latin letters and Chinese numerals become single
  // tokens and symbols stay single. White space is dropped.
  std::vector<CUString> SegmentRawText(const char16_t* text, int32_t length, bool group) const;
  // The same tokens into `out`, reusing its storage.
  void SegmentRawText(const char16_t* text, int32_t length, bool group, RawTextTokens& out) const;

 private:
  // How many positions ahead of a word cut the trie's first reads are
  // fetched (a cut moves on by one word of a few units at most).
  static constexpr int32_t kWalksAhead = 8;
  // Trims `line` in place and stores its entry unless it is blank; "" or
  // why the line cannot be an entry.
  std::string AddEntryLine(CUString& line);

 protected:
  std::vector<CUString> words_;
  CPrefixTrie trie_;
};

// A lexicon whose entries carry an int value (a class bit set).
class CNEValuedLexicon : public CNELexicon {
 public:
  // Reads the value of a trimmed entry line into `value`; false when the
  // line's value field cannot be read.
  using ValueReader = bool (*)(const char16_t* line, int32_t* value);

  explicit CNEValuedLexicon(ValueReader reader = nullptr);
  ~CNEValuedLexicon() override;

  std::string OnEntryLine(const char16_t* line) override;
  // The value of entry n, 0 for n = 0 or beyond the list. Without a value
  // reader every entry's value is 0.
  int32_t ValueAt(int32_t n) const;

 private:
  ValueReader reader_;
  std::vector<int32_t> values_;
};

// The value field of a trimmed lexicon line: what follows the first token
// and white space, exactly one decimal number from 0 to 2147483647 (no sign,
// no leading zero; 0 when the line holds only its word). False for anything
// else: "nan", "1x", "-3", "4294967295", a second field.
bool ReadLexiconValue(const char16_t* line, int32_t* value);

// The greatest prefix-match length whose value shares a bit with `mask`; 0 if none.
int32_t LongestClassMatch(const CNEValuedLexicon& lexicon, const char16_t* text, int32_t max_length,
                          int32_t mask);

class PeInfoTable;

// Per-character class marks and the match map of text[0, length).
//
// `marks` becomes one int per unit, `matches` is emptied. Seven passes, in the
// order affix class 4, affix 2, items (mark 64, matched through item class 2),
// affix 8, affix 1, affix 16, affix 32; each finds at every position i the
// longest match of its class. A match of length m stores its record under
// i * 256 + class (replacing an earlier one), sets the class at i and the
// class * 256 at the m - 1 following units, except class 8, which sets 8 at
// every unit of the match. Last, 0x80 marks every unit whose PeInfo flags
// have bit 0 set.
void MarkLexiconClasses(const char16_t* text, int32_t length, const CNEValuedLexicon& affixes,
                        const CNEValuedLexicon& items, const PeInfoTable& pe_info,
                        std::vector<int32_t>& marks, LexiconMatchMap& matches);

}  // namespace verrin

#endif  // VERRIN_RESOURCE_LEXICON_H_
