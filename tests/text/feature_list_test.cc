#include "text/feature_list.h"

#include <gtest/gtest.h>

namespace verrin {
namespace {

TEST(FeatureListTest, Formats) {
  FeatureList list;
  const CUString name(u"n=");
  AddCompareFeature(list, name, 1, 2);
  AddCompareFeature(list, name, 2, 2);
  AddCompareFeature(list, name, 3, 2);
  AddCharFeature(list, name, u'\u4E2D');
  AddStringFeature(list, name, u"");      // nothing
  AddStringFeature(list, name, nullptr);  // nothing
  AddStringFeature(list, name, u"ab");
  AddIntFeature(list, name, 51);
  AddFeature(list, CUString(u"wd_therory"));
  ASSERT_EQ(list.size(), 7u);
  EXPECT_EQ(list[0].View(), u"n=1");
  EXPECT_EQ(list[1].View(), u"n=2");
  EXPECT_EQ(list[2].View(), u"n=3");
  EXPECT_EQ(list[3].View(), u"n=\u4E2D");
  EXPECT_EQ(list[4].View(), u"n=ab");
  EXPECT_EQ(list[5].View(), u"n=51");
  EXPECT_EQ(list[6].View(), u"wd_therory");
}

}  // namespace
}  // namespace verrin
