#include "maxent/me_vocabulary.h"

#include <algorithm>
#include <numeric>

namespace verrin {
namespace {

constexpr size_t kInitialSlots = 16;

}  // namespace

CTextIndex::CTextIndex() { Clear(); }

void CTextIndex::Clear() {
  // Fresh vectors: clear() alone would keep the storage of a large table.
  CLargeTable<char16_t>().swap(arena_);
  CLargeTable<size_t>(1, 0).swap(offsets_);
  CLargeTable<uint64_t>().swap(hashes_);
  CLargeTable<Slot>(kInitialSlots, Slot{0, -1}).swap(slots_);
}

void CTextIndex::Reserve(size_t count, size_t units) {
  arena_.reserve(units + count);
  offsets_.reserve(count + 1);
  hashes_.reserve(count);
}

uint64_t CTextIndex::Hash(std::u16string_view text) {
  // FNV-1a over code units: predicate texts are short, and the table compares
  // the full hash before the text.
  uint64_t h = 0xcbf29ce484222325ull;
  for (char16_t unit : text) {
    h ^= unit;
    h *= 0x100000001b3ull;
  }
  // Final avalanche (MurmurHash3's fmix64): FNV's low bits depend only on the
  // low bits of the units, and the table indexes by low bits.
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ull;
  h ^= h >> 33;
  return h;
}

int32_t CTextIndex::Find(std::u16string_view text) const {
  const uint64_t h = Hash(text);
  const size_t mask = slots_.size() - 1;
  const uint32_t tag = static_cast<uint32_t>(h >> 32);
  for (size_t i = h & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.index < 0) return -1;
    if (slot.tag == tag && Text(slot.index) == text) return slot.index;
  }
}

int32_t CTextIndex::Insert(std::u16string_view text, uint64_t h) {
  size_t mask = slots_.size() - 1;
  const uint32_t tag = static_cast<uint32_t>(h >> 32);
  size_t i = h & mask;
  for (;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.index < 0) break;
    if (slot.tag == tag && Text(slot.index) == text) return slot.index;
  }
  const int32_t index = Size();
  arena_.insert(arena_.end(), text.begin(), text.end());
  arena_.push_back(0);
  offsets_.push_back(arena_.size());
  hashes_.push_back(h);
  slots_[i] = Slot{tag, index};
  // Keep the load factor at or below one half.
  if (static_cast<size_t>(Size()) * 2 > slots_.size()) Grow();
  return index;
}

void CTextIndex::Grow() {
  CLargeTable<Slot> slots(slots_.size() * 2, Slot{0, -1});
  const size_t mask = slots.size() - 1;
  for (int32_t index = 0; index < Size(); ++index) {
    size_t i = hashes_[index] & mask;
    while (slots[i].index >= 0) i = (i + 1) & mask;
    slots[i] = Slot{static_cast<uint32_t>(hashes_[index] >> 32), index};
  }
  slots_.swap(slots);
}

std::vector<int32_t> CTextIndex::SortedIndices() const {
  std::vector<int32_t> order(static_cast<size_t>(Size()));
  std::iota(order.begin(), order.end(), 0);
  // char16_t compares as an unsigned 16-bit value: binary code-unit order.
  std::sort(order.begin(), order.end(), [this](int32_t a, int32_t b) { return Text(a) < Text(b); });
  return order;
}

CKeyIndex::CKeyIndex() { Clear(); }

void CKeyIndex::Clear() {
  std::vector<Slot>(kInitialSlots, Slot{0, -1}).swap(slots_);
  size_ = 0;
}

void CKeyIndex::Reserve(size_t count) {
  size_t capacity = slots_.size();
  while (count * 2 > capacity) capacity *= 2;
  if (capacity != slots_.size()) Rehash(capacity);
}

int32_t CKeyIndex::Find(int32_t key) const {
  const size_t mask = slots_.size() - 1;
  for (size_t i = Mix(key) & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.index < 0) return -1;
    if (slot.key == key) return slot.index;
  }
}

int32_t CKeyIndex::Insert(int32_t key, int32_t next, bool* inserted) {
  size_t mask = slots_.size() - 1;
  size_t i = Mix(key) & mask;
  for (;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.index < 0) break;
    if (slot.key == key) {
      *inserted = false;
      return slot.index;
    }
  }
  slots_[i] = Slot{key, next};
  ++size_;
  *inserted = true;
  if (static_cast<size_t>(size_) * 2 > slots_.size()) Rehash(slots_.size() * 2);
  return next;
}

void CKeyIndex::Rehash(size_t capacity) {
  std::vector<Slot> slots(capacity, Slot{0, -1});
  const size_t mask = capacity - 1;
  for (const Slot& slot : slots_) {
    if (slot.index < 0) continue;
    size_t i = Mix(slot.key) & mask;
    while (slots[i].index >= 0) i = (i + 1) & mask;
    slots[i] = slot;
  }
  slots_.swap(slots);
}

CWideKeyIndex::CWideKeyIndex() { Reset(0); }

void CWideKeyIndex::Reset(size_t count) {
  size_t capacity = kInitialSlots;
  while (count * 3 > capacity * 2) capacity *= 2;
  CLargeTable<Slot>(capacity, Slot{0, -1}).swap(slots_);
}

void CWideKeyIndex::Insert(uint64_t key, int32_t index) {
  const size_t mask = slots_.size() - 1;
  size_t i = Mix(key) & mask;
  for (; slots_[i].index >= 0; i = (i + 1) & mask) {
    if (slots_[i].key == key) return;
  }
  slots_[i] = Slot{key, index};
}

const int32_t CShortValueTable::kNone[] = {-1, -1, -1, -1, -1, -1, -1, -1};

CShortValueTable::CShortValueTable() { Reset(0, 0); }

void CShortValueTable::Reset(size_t names, size_t pair_predicates) {
  unit_slots_.assign(names, -1);
  pair_slots_.assign(names, -1);
  unit_count_ = 0;
  pair_count_ = 0;
  CLargeTable<int32_t>().swap(units_);
  ReservePairs(pair_predicates);
}

void CShortValueTable::ReservePairs(size_t pair_predicates) {
  size_t capacity = kInitialSlots;
  while (pair_predicates * 3 > capacity * 2) capacity *= 2;
  CLargeTable<PairRecord>(capacity, PairRecord{0, 0, {}}).swap(pairs_);
  pairs_used_ = 0;
}

int32_t CShortValueTable::Claim(std::vector<int8_t>& slots, int32_t* count, int32_t limit,
                                int32_t name) {
  if (name < 0 || static_cast<size_t>(name) >= slots.size()) return -1;
  int8_t& slot = slots[static_cast<size_t>(name)];
  if (slot < 0 && *count < limit) slot = static_cast<int8_t>((*count)++);
  return slot;
}

void CShortValueTable::AddUnit(int32_t name, char16_t unit, int32_t predicate) {
  const int32_t slot = UnitSlot(name);
  if (slot < 0) return;
  if (units_.empty()) units_.assign(size_t{65536} * kUnitSlots, -1);
  int32_t& entry = units_[static_cast<size_t>(unit) * kUnitSlots + static_cast<size_t>(slot)];
  if (entry < 0) entry = predicate;
}

void CShortValueTable::AddPair(int32_t name, char16_t first, char16_t second, int32_t predicate) {
  const int32_t slot = PairSlot(name);
  if (slot < 0) return;
  const uint32_t key = PairKey(first, second);
  size_t mask = pairs_.size() - 1;
  size_t i = Mix(key) & mask;
  for (; pairs_[i].used != 0; i = (i + 1) & mask) {
    if (pairs_[i].key == key) break;
  }
  if (pairs_[i].used == 0) {
    if ((pairs_used_ + 1) * 3 > pairs_.size() * 2) {
      GrowPairs();
      AddPair(name, first, second, predicate);
      return;
    }
    PairRecord& record = pairs_[i];
    record.key = key;
    record.used = 1;
    std::fill(record.predicate, record.predicate + kPairSlots, -1);
    ++pairs_used_;
  }
  int32_t& entry = pairs_[i].predicate[slot];
  if (entry < 0) entry = predicate;
}

void CShortValueTable::GrowPairs() {
  CLargeTable<PairRecord> pairs(pairs_.size() * 2, PairRecord{0, 0, {}});
  const size_t mask = pairs.size() - 1;
  for (const PairRecord& record : pairs_) {
    if (record.used == 0) continue;
    size_t i = Mix(record.key) & mask;
    while (pairs[i].used != 0) i = (i + 1) & mask;
    pairs[i] = record;
  }
  pairs_.swap(pairs);
}

}  // namespace verrin
