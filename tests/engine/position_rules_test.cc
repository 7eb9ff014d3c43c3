// The decoder's position and transition rules against a table written out by
// hand, so that a change to any rule shows up here as a changed row.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "engine/decoder.h"

namespace verrin {
namespace {

// Labels: 1 single-character word, 2/3/4 person begin/inner/end, 5/6/7 word
// begin/inner/end, 8/9/10 location begin/inner/end, 11/12/13 organization
// begin/inner/end, 18 punctuation, 19 class word, 20 "mdw" word, 51 start,
// 52 end of clause.
struct Row {
  int previous;
  std::set<int> next;  // labels allowed after `previous` in the middle of a clause
};

// The words that may start after a finished word or entity.
#define STARTS 1, 2, 5, 8, 11, 18, 19, 20
const std::vector<Row> kRows = {
    {0, {}},
    {1, {STARTS}},
    {2, {3, 4, STARTS}},  // a one-character surname ends the person too
    {3, {3, 4}},
    {4, {12, 13, STARTS}},  // a person can continue an organization
    {5, {6, 7}},
    {6, {6, 7}},
    {7, {STARTS}},
    {8, {9, 10, STARTS}},
    {9, {9, 10}},
    {10, {12, 13, STARTS}},  // a location can continue an organization
    {11, {2, 8, 12, 13}},
    {12, {2, 8, 12, 13}},
    {13, {STARTS}},
    {18, {STARTS}},
    {19, {STARTS}},
    {20, {STARTS}},
    {51, {STARTS}},
    {52, {}},
};
#undef STARTS

// Continuing labels never stand on a clause's first character.
const std::set<int> kNeverFirst = {3, 4, 6, 7, 9, 10, 12, 13};
// Open labels never stand on its last character.
const std::set<int> kNeverLast = {3, 5, 6, 9, 11, 12};

TEST(PositionRulesTest, EveryPairAtEveryPositionFollowsTheTable) {
  constexpr int kLength = 5;
  for (const Row& row : kRows) {
    for (int label = 0; label <= 60; ++label) {
      if (label == 52) continue;
      const bool follows = row.next.count(label) > 0;
      // Middle of the clause: the transition alone decides.
      EXPECT_EQ(IsLabelAllowed(kLength, row.previous, label, 2), follows)
          << row.previous << " -> " << label;
      EXPECT_EQ(IsLabelAllowed(kLength, row.previous, label, 0),
                follows && kNeverFirst.count(label) == 0)
          << row.previous << " -> " << label << " first";
      EXPECT_EQ(IsLabelAllowed(kLength, row.previous, label, kLength - 1),
                follows && kNeverLast.count(label) == 0)
          << row.previous << " -> " << label << " last";
    }
    // The end label follows anything: the last character's label was checked.
    for (int index = 0; index <= kLength; ++index) {
      EXPECT_TRUE(IsLabelAllowed(kLength, row.previous, 52, index)) << row.previous;
    }
  }
  // Open labels are refused even as a one-character clause's only label.
  for (int label : kNeverLast) EXPECT_FALSE(IsLabelAllowed(1, 51, label, 0)) << label;
  EXPECT_TRUE(IsLabelAllowed(1, 51, 1, 0));
}

}  // namespace
}  // namespace verrin
