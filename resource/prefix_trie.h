// CPrefixTrie: word -> entry number, searched by prefixes of a text.
//
// A trie over UTF-16 code units: a table of 65,536 roots indexed by the first
// unit, and below them one hashed edge table (parent node, unit) -> child,
// filed by the hash of the prefix, so that a search costs one probe per unit
// of the text it walks, independent of the size of the lexicon, and the
// probes of the next few units are fetched together. Keys of any length work. Lookups give the same
// answers as a PATRICIA tree over the NUL-terminated key bits: the keys that
// are prefixes of the text, shortest first.
#ifndef VERRIN_RESOURCE_PREFIX_TRIE_H_
#define VERRIN_RESOURCE_PREFIX_TRIE_H_

#include <cstdint>
#include <vector>

namespace verrin {

struct PrefixMatch;

class CPrefixTrie {
 public:
  CPrefixTrie();
  ~CPrefixTrie();
  CPrefixTrie(const CPrefixTrie&) = delete;
  CPrefixTrie& operator=(const CPrefixTrie&) = delete;

  // Inserts the first `length` units of `key` (no NUL among them) with its
  // value; a key already present keeps its first value. Returns true when the
  // key was new. An empty key is not stored (false, nothing counted).
  bool Insert(const char16_t* key, int32_t length, int32_t value);
  // Fills `out` with every key that is a prefix of text[0, max_length), as
  // (length in units, value), shortest first, at most `limit` of them (the
  // shortest ones). The walk also stops at a NUL unit of the text, so a
  // max_length beyond the text's terminator is harmless. Returns the count.
  int32_t PrefixMatches(const char16_t* text, int32_t max_length, PrefixMatch* out,
                        int32_t limit) const;
  // The last of the matches PrefixMatches would give (the longest of the
  // `limit` shortest): its length, with its value in `value`; 0 (and `value`
  // untouched) when there is none.
  int32_t LastPrefixMatch(const char16_t* text, int32_t max_length, int32_t limit,
                          int32_t* value) const;
  // Starts fetching what walks from text + begin, ..., text + end - 1 read
  // first (the root entry, the slots of the two- and three-unit prefixes),
  // for a text of `length` units. No effect on the contents: a caller that
  // cuts a text into words calls it a few positions ahead of its next walk,
  // whose start it cannot know yet.
  void PrefetchWalks(const char16_t* text, int32_t length, int32_t begin, int32_t end) const;
  // The value of exactly this key, or 0 when it is not stored.
  int32_t Find(const char16_t* key, int32_t length) const;

  // Insert calls with a non-empty key, repeated keys included.
  int32_t InsertCount() const { return insert_count_; }
  // Distinct keys stored.
  int32_t KeyCount() const;
  // Length in units of the longest key inserted.
  int32_t LongestKey() const { return longest_key_; }
  // Removes every key.
  void Clear();

 private:
  struct Impl;
  Impl* impl_;
  int32_t insert_count_ = 0;
  int32_t longest_key_ = 0;
};

}  // namespace verrin

#endif  // VERRIN_RESOURCE_PREFIX_TRIE_H_
