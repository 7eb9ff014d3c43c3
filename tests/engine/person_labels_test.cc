// The person-label policy of training.
#include "engine/person_labels.h"

#include <gtest/gtest.h>

#include "engine/word_node.h"
#include "resource/char_label_table.h"

namespace verrin {
namespace {

TEST(PersonLabelsTest, ChineseCharactersWithLabelsAlsoTakeThePersonLabels) {
  CharLabelTable table;
  const int32_t single = 1 << kLabelSingle;  // 2
  table.Set(u'中', single);
  table.Set(u'丁', 30);          // single and the three person labels already
  table.Set(u'A', single);       // not a Chinese character
  table.Set(u'\u3400', single);  // extension A: outside U+4E00..U+9FFF
  EXPECT_EQ(AllowPersonLabels(table), 1);
  // Bits 1 (single), 2, 3, 4 (person begin, inner, end): 2 + 4 + 8 + 16.
  EXPECT_EQ(table.At(u'中'), 30);
  EXPECT_EQ(table.At(u'丁'), 30);
  EXPECT_EQ(table.At(u'A'), single);
  EXPECT_EQ(table.At(u'\u3400'), single);
  EXPECT_EQ(table.At(u'国'), 0);  // never seen: it keeps every label anyway
}

TEST(PersonLabelsTest, PersonLabelsNoCharacterShowsAreNotOpened) {
  // A corpus of two-character names only: begin and end, never inner. A
  // model trained on it has no outcome for the inner label, so the table
  // must not offer it, or the model and the table would not fit.
  CharLabelTable table;
  const int32_t single = 1 << kLabelSingle;                                     // 2
  const int32_t begin_end = (1 << kLabelPersonBegin) | (1 << kLabelPersonEnd);  // 4 + 16
  table.Set(u'中', single);
  table.Set(u'王', 1 << kLabelPersonBegin);
  table.Set(u'芳', 1 << kLabelPersonEnd);
  EXPECT_EQ(AllowPersonLabels(table), 3);
  EXPECT_EQ(table.At(u'中'), single | begin_end);
  EXPECT_EQ(table.At(u'王'), begin_end);
  EXPECT_EQ(table.At(u'芳'), begin_end);
}

}  // namespace
}  // namespace verrin
