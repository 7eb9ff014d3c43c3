#include "corpus/abbreviation_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corpus/corpus_converter.h"
#include "corpus/corpus_test_util.h"
#include "test_util.h"
#include "text/code_page.h"

namespace verrin {
namespace {

TEST(AbbreviationTableTest, ClassesFollowTheReferenceTags) {
  CAbbreviationTable table;
  // 中: 5 locations among 20 uses; 日: 4 locations and nothing else;
  // 人大: 2 of 4 occurrences an organization; 妇联: 2 of 5; 欧: one location,
  // one organization, one person.
  for (int i = 0; i < 5; ++i) table.AddText(testing::U("中/ns 在/o 中/o 中/o 中/o"));
  for (int i = 0; i < 4; ++i) table.AddText(testing::U("日/ns"));
  table.AddText(testing::U("人大/nt 人大/nt 人大/o 人大/o 妇联/nt 妇联/nt 妇联/o 妇联/o 妇联/o"));
  table.AddText(testing::U("欧/ns 欧/nt 欧/nr 毛/nr 毛/nr 毛/nr 毛/nr 毛/nr 坏/token 单/"));
  EXPECT_EQ(table.ClassOf(testing::U("中")), u'L');
  EXPECT_EQ(table.ClassOf(testing::U("日")), 0);
  EXPECT_EQ(table.ClassOf(testing::U("人大")), u'O');
  EXPECT_EQ(table.ClassOf(testing::U("妇联")), 0);
  EXPECT_EQ(table.ClassOf(testing::U("欧")), 0);
  EXPECT_EQ(table.ClassOf(testing::U("毛")), u'P');
  EXPECT_EQ(table.ClassOf(testing::U("在")), 0);
  EXPECT_EQ(table.ClassOf(testing::U("坏")), 0);  // an unknown tag counts for nothing
  EXPECT_EQ(table.ClassOf(testing::U("没有")), 0);
  table.AddText(testing::U("日/ns"));
  EXPECT_EQ(table.ClassOf(testing::U("日")), u'L');

  CAbbreviationTable few;
  few.AddText(testing::U("欧盟/nt 欧盟/ns 北约/nt"));
  EXPECT_EQ(few.ClassOf(testing::U("欧盟")), 0);  // 1 each: fewer than 2
  EXPECT_EQ(few.ClassOf(testing::U("北约")), 0);
  few.AddText(testing::U("欧盟/nt 欧盟/ns"));
  EXPECT_EQ(few.ClassOf(testing::U("欧盟")), u'L');  // 2 and 2: the location
}

TEST(AbbreviationTableTest, LoadsAFileAndReportsAMissingOne) {
  const std::string dir = testing::MakeTempDir("abbreviations");
  testing::WriteFile(dir + "/msra.txt",
                     "\xEF\xBB\xBF"
                     "北约/nt 北约/nt\r\n美/ns 美/ns 美/ns 美/ns 美/ns\n");
  CAbbreviationTable table;
  std::string error;
  ASSERT_TRUE(table.Load(dir + "/msra.txt", &error)) << error;
  EXPECT_EQ(table.ClassOf(testing::U("北约")), u'O');
  EXPECT_EQ(table.ClassOf(testing::U("美")), u'L');
  EXPECT_FALSE(table.Load(dir + "/none.txt", &error));
  EXPECT_NE(error.find("none.txt"), std::string::npos);
}

}  // namespace
}  // namespace verrin
