// Which UTF-16 units GBK can hold, and the stand-in for those it cannot.
#ifndef VERRIN_TEXT_GBK_UNIT_H_
#define VERRIN_TEXT_GBK_UNIT_H_

#include <atomic>
#include <cstdint>

namespace verrin {

namespace gbk_unit_internal {

// One bit per unit, worked out a block of 256 units at a time by
// FillBlockAndTest. A block's bits are written once, before its flag is set,
// and read only after the flag is seen set.
struct UnitBits {
  std::atomic<bool> ready[256];
  uint64_t bits[1024];
};
extern UnitBits unit_bits;

// Works out the unit's block (once per process) and answers for the unit.
bool FillBlockAndTest(char16_t unit);

}  // namespace gbk_unit_internal

// True when GBK can write the unit and reads it back as itself: ASCII, the
// CJK ideographs U+4E00..U+9FA5 and the rest of the code page. Surrogates
// and every other unit are not GBK. Thread-safe. Inline because the tagger
// asks for every character of every clause and every label-table look-up:
// ASCII and the ideographs are two comparisons, any other unit one bit of a
// table, whose blocks of 256 units are each worked out on their first query.
inline bool IsGbkUnit(char16_t unit) {
  if (unit < 0x80 || (unit >= 0x4E00 && unit <= 0x9FA5)) return true;
  const gbk_unit_internal::UnitBits& table = gbk_unit_internal::unit_bits;
  if (!table.ready[unit >> 8].load(std::memory_order_acquire)) {
    return gbk_unit_internal::FillBlockAndTest(unit);
  }
  return (table.bits[unit >> 6] >> (unit & 63)) & 1;
}

// The stand-in of a unit GBK cannot write wherever text must pass through
// GBK files: 〓 (U+3013, the geta mark that typesetting puts where a glyph is
// missing). The training corpus holds it in place of such units, and the
// tagger computes predicates and candidate labels with it, so that a model
// sees the same text in training and in tagging. No bundled resource holds it.
inline constexpr char16_t kNonGbkStandIn = 0x3013;

// The unit, or the stand-in when GBK cannot hold it.
inline char16_t GbkOrStandIn(char16_t unit) { return IsGbkUnit(unit) ? unit : kNonGbkStandIn; }

}  // namespace verrin

#endif  // VERRIN_TEXT_GBK_UNIT_H_
