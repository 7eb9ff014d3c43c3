// Flat lookup tables behind the model: interned texts and feature keys.
//
// Both tables give dense indices from 0 in order of first insertion and never
// forget an entry until Clear(). They are open-addressing hash tables over
// flat arrays, so a model of millions of features loads without one heap
// allocation per entry.
#ifndef VERRIN_MAXENT_ME_VOCABULARY_H_
#define VERRIN_MAXENT_ME_VOCABULARY_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "text/large_table.h"

namespace verrin {

// UTF-16 texts -> dense indices. Texts are stored NUL-terminated in one arena;
// a text may contain any unit but NUL is taken as part of the text only
// through the length of the view it was inserted with.
class CTextIndex {
 public:
  CTextIndex();

  // Index of the text, -1 when absent.
  int32_t Find(std::u16string_view text) const;
  // Index of the text, inserted with the next index when absent.
  int32_t Insert(std::u16string_view text) { return Insert(text, Hash(text)); }
  // Insert with the text's Hash computed beforehand (on any thread).
  int32_t Insert(std::u16string_view text, uint64_t hash);
  // Starts fetching the slot where a look-up of `text` begins; no effect on
  // the contents. Lets a caller overlap the cache misses of several look-ups.
  void Prefetch(std::u16string_view text) const { PrefetchHash(Hash(text)); }
  // Prefetch for a text of Hash `hash`.
  void PrefetchHash(uint64_t hash) const {
    __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
  }
  // The hash a text is filed under; a pure function of the text.
  static uint64_t Hash(std::u16string_view text);

  int32_t Size() const { return static_cast<int32_t>(offsets_.size()) - 1; }
  std::u16string_view Text(int32_t index) const {
    return std::u16string_view(arena_.data() + offsets_[index],
                               offsets_[index + 1] - offsets_[index] - 1);
  }
  // The NUL-terminated text; valid until the next Insert.
  const char16_t* CStr(int32_t index) const { return arena_.data() + offsets_[index]; }

  // Indices ordered by binary code-unit order of their texts.
  std::vector<int32_t> SortedIndices() const;

  // Forgets every text and releases the storage.
  void Clear();
  // Room for `count` texts of `units` code units in all, so that a large
  // vocabulary is not copied while it grows (the slot table still grows).
  void Reserve(size_t count, size_t units);

 private:
  void Grow();

  CLargeTable<char16_t> arena_;
  CLargeTable<size_t> offsets_;  // Size() + 1 entries; text i is [offsets_[i], offsets_[i+1] - 1)
  struct Slot {
    uint32_t tag;   // high half of the text's hash, compared before the text
    int32_t index;  // -1: empty
  };
  CLargeTable<uint64_t> hashes_;  // per index
  CLargeTable<Slot> slots_;       // size a power of two
};

// Feature key -> dense feature index.
class CKeyIndex {
 public:
  CKeyIndex();

  int32_t Find(int32_t key) const;
  // Index of the key, inserted with index `next` when absent; `inserted` tells which.
  int32_t Insert(int32_t key, int32_t next, bool* inserted);
  int32_t Size() const { return size_; }
  // Forgets every key and releases the storage.
  void Clear();
  // Prepares for `count` entries without rehashing on the way.
  void Reserve(size_t count);

 private:
  struct Slot {
    int32_t key;
    int32_t index;  // -1: empty
  };
  static size_t Mix(int32_t key) {
    const uint64_t h = static_cast<uint64_t>(static_cast<uint32_t>(key)) * 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(h ^ (h >> 32));
  }
  void Rehash(size_t capacity);

  std::vector<Slot> slots_;  // size a power of two
  int32_t size_ = 0;
};

// 64-bit key -> index (keys are exact, never hashes of something longer).
class CWideKeyIndex {
 public:
  CWideKeyIndex();

  // Index of the key, -1 when absent.
  int32_t Find(uint64_t key) const {
    const size_t mask = slots_.size() - 1;
    for (size_t i = Mix(key) & mask;; i = (i + 1) & mask) {
      const Slot& slot = slots_[i];
      if (slot.index < 0) return -1;
      if (slot.key == key) return slot.index;
    }
  }
  // Starts fetching the slot where a look-up of `key` begins.
  void Prefetch(uint64_t key) const { __builtin_prefetch(&slots_[Mix(key) & (slots_.size() - 1)]); }
  // Adds the key with `index` unless it is there already (the first index stays).
  void Insert(uint64_t key, int32_t index);
  // Forgets every key; prepares for `count` entries.
  void Reset(size_t count);

 private:
  struct Slot {
    uint64_t key;
    int32_t index;  // -1: empty
  };
  static size_t Mix(uint64_t key) {
    const uint64_t h = key * 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(h ^ (h >> 29));
  }

  CLargeTable<Slot> slots_;  // size a power of two, at most two thirds full
};

// Predicates of one or two units found from the value alone. Up to
// kUnitSlots names with one-unit values and kPairSlots names with two-unit
// values get a slot; the record of a value holds, slot by slot, the
// predicate of that name and value (-1: none). A character's predicates
// mostly name the units and unit pairs around it, which its neighbours name
// too: their records stay in cache from one character to the next, where a
// table keyed by name and value costs a miss per predicate.
class CShortValueTable {
 public:
  static constexpr int kUnitSlots = 8;
  static constexpr int kPairSlots = 6;

  CShortValueTable();

  // Slot of a name index, -1 when the name has none.
  int32_t UnitSlot(int32_t name) const { return SlotOf(unit_slots_, name); }
  int32_t PairSlot(int32_t name) const { return SlotOf(pair_slots_, name); }

  // The record of a one-unit value: kUnitSlots predicates.
  const int32_t* Unit(char16_t unit) const {
    return units_.empty() ? kNone : units_.data() + static_cast<size_t>(unit) * kUnitSlots;
  }
  void PrefetchUnit(char16_t unit) const {
    if (!units_.empty()) __builtin_prefetch(units_.data() + static_cast<size_t>(unit) * kUnitSlots);
  }
  // The record of a two-unit value: kPairSlots predicates.
  const int32_t* Pair(char16_t first, char16_t second) const {
    const uint32_t key = PairKey(first, second);
    const size_t mask = pairs_.size() - 1;
    for (size_t i = Mix(key) & mask;; i = (i + 1) & mask) {
      const PairRecord& record = pairs_[i];
      if (!record.used) return kNone;
      if (record.key == key) return record.predicate;
    }
  }
  void PrefetchPair(char16_t first, char16_t second) const {
    __builtin_prefetch(&pairs_[Mix(PairKey(first, second)) & (pairs_.size() - 1)]);
  }

  // Building. Reset forgets every slot and record; the names of one kind
  // get their slots in the order of Claim*Slot calls while slots are left.
  // Predicates are then added with their name's index and value; the first
  // predicate of a slot and value stays.
  void Reset(size_t names, size_t pair_predicates);
  // Room for the records of `pair_predicates` two-unit predicates (the
  // records made so far are dropped).
  void ReservePairs(size_t pair_predicates);
  int32_t ClaimUnitSlot(int32_t name) { return Claim(unit_slots_, &unit_count_, kUnitSlots, name); }
  int32_t ClaimPairSlot(int32_t name) { return Claim(pair_slots_, &pair_count_, kPairSlots, name); }
  void AddUnit(int32_t name, char16_t unit, int32_t predicate);
  void AddPair(int32_t name, char16_t first, char16_t second, int32_t predicate);

 private:
  struct PairRecord {  // 32 bytes: two to a cache line
    uint32_t key;
    uint32_t used;  // 0: an empty slot
    int32_t predicate[kPairSlots];
  };
  static const int32_t kNone[kUnitSlots > kPairSlots ? kUnitSlots : kPairSlots];
  static uint32_t PairKey(char16_t first, char16_t second) {
    return (static_cast<uint32_t>(first) << 16) | second;
  }
  static size_t Mix(uint32_t key) {
    return static_cast<size_t>((static_cast<uint64_t>(key) * 0x9E3779B97F4A7C15ull) >> 32);
  }
  static int32_t SlotOf(const std::vector<int8_t>& slots, int32_t name) {
    return name >= 0 && static_cast<size_t>(name) < slots.size() ? slots[static_cast<size_t>(name)]
                                                                 : -1;
  }
  static int32_t Claim(std::vector<int8_t>& slots, int32_t* count, int32_t limit, int32_t name);
  void GrowPairs();

  std::vector<int8_t> unit_slots_, pair_slots_;  // per name index
  int32_t unit_count_ = 0, pair_count_ = 0;
  CLargeTable<int32_t> units_;     // 65536 records, or none when no name has a slot
  CLargeTable<PairRecord> pairs_;  // size a power of two, at most two thirds used
  size_t pairs_used_ = 0;
};

}  // namespace verrin

#endif  // VERRIN_MAXENT_ME_VOCABULARY_H_
