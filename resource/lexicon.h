// Name lexicons: the segmentation dictionary, the entity-item lexicon and the
// affix lexicon, with their prefix trie, dictionary segmentation and the
// per-character lexicon class marks.
#ifndef VERRIN_RESOURCE_LEXICON_H_
#define VERRIN_RESOURCE_LEXICON_H_

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
  int32_t reserved1 = 0;
  int32_t reserved2 = 0;
  CUString text;
};
// Keyed by start * 256 + class.
using LexiconMatchMap = std::map<int32_t, LexiconMatch>;

// (length, entry number) of one prefix match.
struct PrefixMatch {
  int32_t length;
  int32_t entry;
};

// A lexicon: words numbered from 1 in file order, found through a prefix trie.
class CNELexicon {
 public:
  static constexpr int kMaxMatches = 129;

  CNELexicon();
  virtual ~CNELexicon();

  // Reads a lexicon file (plain GBK, or with `protected_form` the file whose
  // last "txt" became "des"). False when the file cannot be opened, with
  // nothing changed. Only stored (non-blank) entries are numbered.
  bool LoadLexicon(const std::string& path, bool protected_form);
  // Called with every trimmed, non-empty line before the word is stored.
  virtual bool OnEntryLine(const char16_t* line);

  // The word of entry n, or null for 0 or beyond the list.
  const char16_t* WordAt(int32_t n) const;
  int32_t EntryCount() const;

  // Every stored word that is a prefix of `text` and at most `max_length`
  // units long, shortest first, at most 129. Returns the match count (0: none).
  // The results stay in this lexicon's match buffer until the next search.
  int32_t PrefixMatches(const char16_t* text, int32_t max_length) const;
  int32_t PrefixMatches(const char16_t* text) const;
  const PrefixMatch* Matches() const { return matches_.data(); }

  // Forward longest match over the whole text: one entry number per token,
  // 0 for a unit that starts no word.
  std::vector<int32_t> SegmentByDict(const char16_t* text, int32_t length) const;

  // Raw-text segmentation over this lexicon used as the dictionary; with
  // `group`, runs of digits, Latin letters and Chinese numerals become single
  // tokens and symbols stay single. White space is dropped.
  std::vector<CUString> SegmentRawText(const char16_t* text, int32_t length, bool group) const;

 protected:
  std::vector<CUString> words_;
  CPrefixTrie trie_;
  mutable std::vector<PrefixMatch> matches_;
};

// A lexicon whose entries carry an int value (a class bit set).
class CNEValuedLexicon : public CNELexicon {
 public:
  using ValueReader = int32_t (*)(const char16_t* line);

  explicit CNEValuedLexicon(ValueReader reader = nullptr);
  ~CNEValuedLexicon() override;

  bool OnEntryLine(const char16_t* line) override;
  // The value of entry n, 0 for n = 0 or beyond the list.
  int32_t ValueAt(int32_t n) const;
  void SetValueReader(ValueReader reader) { reader_ = reader; }

 private:
  ValueReader reader_;
  std::vector<int32_t> values_;
};

// The value field of a lexicon line: the rest after the first token, read as
// a decimal int (0 when absent).
int32_t ReadLexiconValue(const char16_t* line);

// The greatest prefix-match length whose value shares a bit with `mask`; 0 if none.
int32_t LongestClassMatch(const CNEValuedLexicon& lexicon, const char16_t* text,
                          int32_t max_length, int32_t mask);

class PeInfoTable;

// Per-character class marks and the match map of a sentence; see lexicon.cc.
void MarkLexiconClasses(const char16_t* text, int32_t length, const CNEValuedLexicon& affixes,
                        const CNEValuedLexicon& items, const PeInfoTable& pe_info,
                        std::vector<int32_t>& marks, LexiconMatchMap& matches);

}  // namespace verrin

#endif  // VERRIN_RESOURCE_LEXICON_H_
