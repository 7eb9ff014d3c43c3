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

}  // namespace
}  // namespace verrin
