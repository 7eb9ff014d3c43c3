// CPrefixTrie against hand-worked cases and a brute-force prefix search.
#include "resource/prefix_trie.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "resource/lexicon.h"
#include "test_util.h"

namespace verrin {
namespace {

using testing::U;
using Pairs = std::vector<std::pair<int32_t, int32_t>>;

Pairs Search(const CPrefixTrie& trie, const std::u16string& text, int32_t max_length,
             int32_t limit = CNELexicon::kMaxMatches) {
  std::vector<PrefixMatch> out(static_cast<size_t>(limit) + 1);
  const int32_t n = trie.PrefixMatches(text.c_str(), max_length, out.data(), limit);
  Pairs pairs;
  for (int32_t i = 0; i < n; ++i) pairs.emplace_back(out[i].length, out[i].entry);
  return pairs;
}

std::u16string S(const std::string& utf8) { return std::u16string(U(utf8).View()); }

TEST(PrefixTrieTest, MatchesComeShortestFirstWithinMaximum) {
  CPrefixTrie trie;
  EXPECT_TRUE(trie.Insert(S("中国").c_str(), 2, 1));
  EXPECT_TRUE(trie.Insert(S("中国人").c_str(), 3, 2));
  EXPECT_TRUE(trie.Insert(S("人民").c_str(), 2, 3));
  EXPECT_EQ(Search(trie, S("中国人民"), 4), (Pairs{{2, 1}, {3, 2}}));
  EXPECT_EQ(Search(trie, S("中国人民"), 2), (Pairs{{2, 1}}));
  EXPECT_EQ(Search(trie, S("中国人民"), 1), Pairs{});
  EXPECT_EQ(Search(trie, S("民"), 1), Pairs{});
  EXPECT_EQ(Search(trie, S("中"), 1), Pairs{});
}

TEST(PrefixTrieTest, LongerKeyIsNotReportedBeyondMaximum) {
  // With a single key a tree's root is that key's leaf; the answer must still
  // respect the maximum length.
  CPrefixTrie trie;
  trie.Insert(S("中国人").c_str(), 3, 7);
  EXPECT_EQ(Search(trie, S("中国人民"), 2), Pairs{});
  EXPECT_EQ(Search(trie, S("中国人民"), 3), (Pairs{{3, 7}}));
}

TEST(PrefixTrieTest, SearchStopsAtTerminatorEvenWithLargerMaximum) {
  CPrefixTrie trie;
  trie.Insert(u"ab", 2, 1);
  trie.Insert(u"abc", 3, 2);
  const char16_t text[] = {u'a', u'b', 0, u'c', 0};
  std::vector<PrefixMatch> out(10);
  EXPECT_EQ(trie.PrefixMatches(text, 4, out.data(), 10), 1);
  EXPECT_EQ(out[0].length, 2);
}

TEST(PrefixTrieTest, RepeatedKeyKeepsFirstValueAndIsCounted) {
  CPrefixTrie trie;
  EXPECT_TRUE(trie.Insert(u"ab", 2, 1));
  EXPECT_FALSE(trie.Insert(u"ab", 2, 5));
  EXPECT_EQ(trie.Find(u"ab", 2), 1);
  EXPECT_EQ(trie.Find(u"a", 1), 0);
  EXPECT_EQ(trie.InsertCount(), 2);
  EXPECT_EQ(trie.KeyCount(), 1);
  EXPECT_FALSE(trie.Insert(u"", 0, 3));
  EXPECT_EQ(trie.InsertCount(), 2);
  trie.Clear();
  EXPECT_EQ(trie.Find(u"ab", 2), 0);
  EXPECT_EQ(trie.KeyCount(), 0);
}

TEST(PrefixTrieTest, KeysLongerThanSixtyThreeUnitsAreKeptWhole) {
  // A tree over key bits with 10-bit positions would stop at 63 units; these
  // keys go well past that and share long prefixes.
  CPrefixTrie trie;
  std::u16string base(200, u'x');
  trie.Insert(base.c_str(), 64, 1);
  trie.Insert(base.c_str(), 65, 2);
  trie.Insert(base.c_str(), 200, 3);
  std::u16string other = base.substr(0, 150) + u"y";
  trie.Insert(other.c_str(), 151, 4);
  EXPECT_EQ(trie.LongestKey(), 200);
  EXPECT_EQ(Search(trie, base, 200), (Pairs{{64, 1}, {65, 2}, {200, 3}}));
  EXPECT_EQ(Search(trie, other, 151), (Pairs{{64, 1}, {65, 2}, {151, 4}}));
  EXPECT_EQ(Search(trie, base, 199), (Pairs{{64, 1}, {65, 2}}));
  EXPECT_EQ(trie.Find(base.c_str(), 63), 0);
  EXPECT_EQ(trie.Find(other.c_str(), 151), 4);
}

TEST(PrefixTrieTest, AtMostLimitShortestMatchesAreReturned) {
  CPrefixTrie trie;
  std::u16string text(300, u'a');
  for (int32_t n = 1; n <= 300; ++n) trie.Insert(text.c_str(), n, n);
  const Pairs pairs = Search(trie, text, 300);
  ASSERT_EQ(pairs.size(), 129u);
  EXPECT_EQ(pairs.front(), (std::pair<int32_t, int32_t>{1, 1}));
  EXPECT_EQ(pairs.back(), (std::pair<int32_t, int32_t>{129, 129}));
}

// Every stored key that equals text[0, n) for n <= max (the text ends at
// its first NUL), shortest first, at most 129.
Pairs BruteForce(const std::map<std::u16string, int32_t>& keys, const std::u16string& text,
                 int32_t max_length) {
  const std::u16string visible = text.substr(0, text.find(u'\0'));
  Pairs pairs;
  for (const auto& [key, value] : keys) {
    const int32_t n = static_cast<int32_t>(key.size());
    if (n <= max_length && visible.compare(0, key.size(), key) == 0) pairs.emplace_back(n, value);
  }
  std::sort(pairs.begin(), pairs.end());
  if (pairs.size() > 129) pairs.resize(129);
  return pairs;
}

TEST(PrefixTrieTest, AgreesWithBruteForceOnRandomKeys) {
  std::mt19937 rng(99);
  // A small alphabet makes prefixes common; some units differ in only one bit
  // (0x4E00 / 0x4E01 / 0xCE00) or sit at the ends of the range.
  const char16_t alphabet[] = {u'a', u'b', 0x4E00, 0x4E01, 0xCE00, 0xFFFF, 0x0001};
  auto random_string = [&](int max_len) {
    std::u16string s;
    const int n = 1 + static_cast<int>(rng() % static_cast<unsigned>(max_len));
    for (int i = 0; i < n; ++i) s.push_back(alphabet[rng() % 7]);
    return s;
  };
  for (int round = 0; round < 4; ++round) {
    CPrefixTrie trie;
    std::map<std::u16string, int32_t> keys;
    int32_t next_value = 1;
    int inserts = 0;
    for (int i = 0; i < 1500; ++i) {
      // Mostly short keys, some far beyond 63 units, some extending others.
      std::u16string key = i % 10 == 0 ? random_string(150) : random_string(6);
      if (i % 7 == 0 && !keys.empty()) key = keys.rbegin()->first + random_string(80);
      const bool fresh = keys.emplace(key, next_value).second;
      EXPECT_EQ(trie.Insert(key.c_str(), static_cast<int32_t>(key.size()), next_value), fresh);
      ++next_value;
      ++inserts;
    }
    EXPECT_EQ(trie.InsertCount(), inserts);
    EXPECT_EQ(trie.KeyCount(), static_cast<int32_t>(keys.size()));
    for (int q = 0; q < 3000; ++q) {
      std::u16string text;
      if (q % 2 == 0) {
        auto it = keys.begin();
        std::advance(it, rng() % keys.size());
        text = it->first + random_string(40);
      } else {
        text = random_string(q % 3 == 0 ? 300 : 10);
      }
      if (q % 11 == 0) text.insert(text.begin() + rng() % text.size(), u'\0');
      const int32_t max_length = 1 + static_cast<int32_t>(rng() % (text.size() + 5));
      const Pairs expected = BruteForce(keys, text, max_length);
      ASSERT_EQ(Search(trie, text, max_length), expected) << "round " << round << " query " << q;
      // The last match alone: the longest of the `limit` shortest.
      for (int32_t limit : {129, 2}) {
        int32_t value = -1;
        const int32_t length = trie.LastPrefixMatch(text.c_str(), max_length, limit, &value);
        const size_t kept = std::min(expected.size(), static_cast<size_t>(limit));
        const std::pair<int32_t, int32_t> last =
            kept > 0 ? expected[kept - 1] : std::pair<int32_t, int32_t>{0, -1};
        ASSERT_EQ(std::make_pair(length, value), last)
            << "round " << round << " query " << q << " limit " << limit;
      }
    }
    for (const auto& [key, value] : keys) {
      ASSERT_EQ(trie.Find(key.c_str(), static_cast<int32_t>(key.size())), value);
    }
  }
}

}  // namespace
}  // namespace verrin
