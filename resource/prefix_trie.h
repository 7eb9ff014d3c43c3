// CPrefixTrie: word -> entry number, searched by prefixes of a text.
//
// One tree per first code unit; lookups answer exactly as a PATRICIA tree over
// the key bits would (prefix matches shortest first). Keys of any length work.
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

  // Inserts the key with its value; a key already present keeps its value.
  // Returns true when the key was new.
  bool Insert(const char16_t* key, int32_t length, int32_t value);
  // Fills `out` with every key that is a prefix of text[0, max_length), as
  // (length, value), shortest first, at most `limit` of them. Returns the count.
  int32_t PrefixMatches(const char16_t* text, int32_t max_length, PrefixMatch* out,
                        int32_t limit) const;
  // The value of exactly this key, or 0.
  int32_t Find(const char16_t* key, int32_t length) const;

  int32_t InsertCount() const { return insert_count_; }
  int32_t LongestKey() const { return longest_key_; }
  void Clear();

 private:
  struct Impl;
  Impl* impl_;
  int32_t insert_count_ = 0;
  int32_t longest_key_ = 0;
};

}  // namespace verrin

#endif  // VERRIN_RESOURCE_PREFIX_TRIE_H_
