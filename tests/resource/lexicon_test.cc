// Loading lexicon files, plain and protected, and reading entries back.
#include "resource/lexicon.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "io/protected_file.h"
#include "test_util.h"

namespace verrin {
namespace {

using testing::Gbk;
using testing::MakeTempDir;
using testing::U;
using testing::Utf8;
using testing::WriteFile;

// Writes the GBK form of `utf8` to dir/name.txt and its protected twin to
// dir/name.des; returns the plain path.
std::string WriteBothForms(const std::string& dir, const std::string& name,
                           const std::string& utf8) {
  const std::string plain = dir + "/" + name + ".txt";
  WriteFile(plain, Gbk(utf8));
  std::FILE* in = std::fopen(plain.c_str(), "rb");
  std::FILE* out = std::fopen((dir + "/" + name + ".des").c_str(), "wb");
  EXPECT_TRUE(in && out && EncipherFile(in, out, kProtectedKey));
  if (in) std::fclose(in);
  if (out) std::fclose(out);
  return plain;
}

std::string Word(const CNELexicon& lexicon, int32_t n) {
  const char16_t* word = lexicon.WordAt(n);
  return word ? Utf8(word) : "<null>";
}

// Entry number of the longest stored word that is a prefix of `utf8`, 0 if none.
int32_t EntryOf(const CNELexicon& lexicon, const std::string& utf8) {
  const CUString text = U(utf8);
  PrefixMatchBuffer matches;
  const int32_t n = lexicon.PrefixMatches(text.c_str(), text.Length(), matches);
  return n > 0 && matches[n - 1].length == text.Length() ? matches[n - 1].entry : 0;
}

TEST(LexiconTest, ValuedEntriesLoadFromBothFormsAlike) {
  const std::string dir = MakeTempDir("lexicon_forms");
  const std::string path = WriteBothForms(dir, "NeAffix",
                                          "先生 4\n"
                                          "  张   2  \r\n"
                                          "有限公司\t32\n"
                                          "县 0\n"
                                          "市 17\n"
                                          "江");  // no line end, no value
  CNEValuedLexicon plain(ReadLexiconValue), enciphered(ReadLexiconValue);
  ASSERT_TRUE(plain.LoadLexicon(path, false));
  ASSERT_TRUE(enciphered.LoadLexicon(path, true));
  for (const CNEValuedLexicon* lexicon : {&plain, &enciphered}) {
    ASSERT_EQ(lexicon->EntryCount(), 6);
    EXPECT_EQ(Word(*lexicon, 1), "先生");
    EXPECT_EQ(Word(*lexicon, 2), "张");
    EXPECT_EQ(Word(*lexicon, 3), "有限公司");
    EXPECT_EQ(Word(*lexicon, 6), "江");
    EXPECT_EQ(Word(*lexicon, 0), "<null>");
    EXPECT_EQ(Word(*lexicon, 7), "<null>");
    EXPECT_EQ(lexicon->ValueAt(0), 0);
    EXPECT_EQ(lexicon->ValueAt(1), 4);
    EXPECT_EQ(lexicon->ValueAt(2), 2);
    EXPECT_EQ(lexicon->ValueAt(3), 32);
    EXPECT_EQ(lexicon->ValueAt(4), 0);
    EXPECT_EQ(lexicon->ValueAt(5), 17);
    EXPECT_EQ(lexicon->ValueAt(6), 0);  // absent
    EXPECT_EQ(lexicon->ValueAt(7), 0);
    EXPECT_EQ(EntryOf(*lexicon, "有限公司"), 3);
    EXPECT_EQ(EntryOf(*lexicon, "江"), 6);
  }
}

TEST(LexiconTest, BlankLinesDoNotShiftEntryNumbers) {
  // Entry numbers count stored entries only, so the number found through the
  // trie always names the same word in the word and value lists.
  const std::string dir = MakeTempDir("lexicon_blank");
  const std::string path = WriteBothForms(dir, "NeItem", "\n北京 2\n  \n\n上海 6\n\t\n广州 1\n");
  for (const bool protected_form : {false, true}) {
    CNEValuedLexicon lexicon(ReadLexiconValue);
    ASSERT_TRUE(lexicon.LoadLexicon(path, protected_form));
    ASSERT_EQ(lexicon.EntryCount(), 3);
    for (const std::string word : {"北京", "上海", "广州"}) {
      const int32_t entry = EntryOf(lexicon, word);
      EXPECT_EQ(Word(lexicon, entry), word) << protected_form;
    }
    EXPECT_EQ(lexicon.ValueAt(EntryOf(lexicon, "上海")), 6);
    EXPECT_EQ(lexicon.ValueAt(EntryOf(lexicon, "广州")), 1);
  }
}

TEST(LexiconTest, RepeatedWordKeepsFirstEntryNumber) {
  const std::string dir = MakeTempDir("lexicon_repeat");
  const std::string path = WriteBothForms(dir, "NeAffix", "张 2\n李 2\n张 8\n");
  CNEValuedLexicon lexicon(ReadLexiconValue);
  ASSERT_TRUE(lexicon.LoadLexicon(path, false));
  EXPECT_EQ(lexicon.EntryCount(), 3);
  EXPECT_EQ(EntryOf(lexicon, "张"), 1);
  EXPECT_EQ(lexicon.ValueAt(1), 2);
  EXPECT_EQ(lexicon.ValueAt(3), 8);  // its own slot, unreachable through the trie
  EXPECT_EQ(Word(lexicon, 3), "张");
  // The class match sees the first entry's value only.
  EXPECT_EQ(LongestClassMatch(lexicon, U("张三").c_str(), 2, 8), 0);
  EXPECT_EQ(LongestClassMatch(lexicon, U("张三").c_str(), 2, 2), 1);
}

TEST(LexiconTest, LongLinesAreStoredWhole) {
  // A line far beyond 1,024 bytes in both forms, and a word beyond 63 units.
  std::string long_word;
  for (int i = 0; i < 700; ++i) long_word += (i % 2 ? "国" : "中");
  const std::string dir = MakeTempDir("lexicon_long");
  const std::string path = WriteBothForms(dir, "dict", long_word + " 5\n尾\n");
  for (const bool protected_form : {false, true}) {
    CNEValuedLexicon lexicon(ReadLexiconValue);
    ASSERT_TRUE(lexicon.LoadLexicon(path, protected_form));
    ASSERT_EQ(lexicon.EntryCount(), 2);
    EXPECT_EQ(Word(lexicon, 1), long_word);
    EXPECT_EQ(lexicon.ValueAt(1), 5);
    EXPECT_EQ(EntryOf(lexicon, long_word), 1);
    EXPECT_EQ(Word(lexicon, 2), "尾");
  }
}

TEST(LexiconTest, MissingFileFailsAndLeavesLexiconEmpty) {
  const std::string dir = MakeTempDir("lexicon_missing");
  CNELexicon lexicon;
  EXPECT_FALSE(lexicon.LoadLexicon(dir + "/dict.txt", false));
  EXPECT_FALSE(lexicon.LoadLexicon(dir + "/dict.txt", true));
  WriteFile(dir + "/dict.txt", Gbk("中国\n"));  // plain exists, protected still missing
  EXPECT_FALSE(lexicon.LoadLexicon(dir + "/dict.txt", true));
  EXPECT_EQ(lexicon.EntryCount(), 0);
  PrefixMatchBuffer matches;
  EXPECT_EQ(lexicon.PrefixMatches(U("中国").c_str(), matches), 0);
  EXPECT_EQ(matches[0].length, -1);
}

TEST(LexiconTest, MatchBufferEndsWithTerminator) {
  const std::string dir = MakeTempDir("lexicon_buffer");
  WriteFile(dir + "/dict.txt", Gbk("中国\n中国人\n"));
  CNELexicon lexicon;
  ASSERT_TRUE(lexicon.LoadLexicon(dir + "/dict.txt", false));
  PrefixMatchBuffer matches;
  ASSERT_EQ(lexicon.PrefixMatches(U("中国人民").c_str(), matches), 2);
  EXPECT_EQ(matches[0].length, 2);
  EXPECT_EQ(matches[0].entry, 1);
  EXPECT_EQ(matches[1].length, 3);
  EXPECT_EQ(matches[1].entry, 2);
  EXPECT_EQ(matches[2].length, -1);
  ASSERT_EQ(lexicon.PrefixMatches(U("中国人民").c_str(), 2, matches), 1);
  EXPECT_EQ(matches[1].length, -1);
}

TEST(LexiconTest, ValueReaderReadsExactlyOneNumberAfterTheWord) {
  int32_t value = -1;
  EXPECT_TRUE(ReadLexiconValue(U("先生 12").c_str(), &value));
  EXPECT_EQ(value, 12);
  EXPECT_TRUE(ReadLexiconValue(U("先生\t 2147483647").c_str(), &value));
  EXPECT_EQ(value, 2147483647);
  EXPECT_TRUE(ReadLexiconValue(U("先生").c_str(), &value));
  EXPECT_EQ(value, 0);
  EXPECT_TRUE(ReadLexiconValue(U("").c_str(), &value));
  EXPECT_EQ(value, 0);
  for (const char* bad :
       {"先生 -3", "先生 3 9", "先生 七", "先生 012", "先生 2147483648", "先生 +1"}) {
    EXPECT_FALSE(ReadLexiconValue(U(bad).c_str(), &value)) << bad;
  }
}

}  // namespace
}  // namespace verrin
