// Which UTF-16 units GBK can hold, and the stand-in for those it cannot.
#ifndef VERRIN_TEXT_GBK_UNIT_H_
#define VERRIN_TEXT_GBK_UNIT_H_

namespace verrin {

// True when GBK can write the unit and reads it back as itself: ASCII, the
// CJK ideographs U+4E00..U+9FA5 and the rest of the code page. Surrogates
// and every other unit are not GBK. Thread-safe; each block of 256 units is
// worked out on its first query.
bool IsGbkUnit(char16_t unit);

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
