// Predicates of at most two units are found from their name and value. Most
// are kept in records by value, a few slots per record; whatever does not
// fit (more names than slots, values with NUL, empty values) is kept by key.
// Every look-up must give what the predicate's full text gives.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "maxent/me_model.h"
#include "maxent_test_util.h"

namespace verrin {
namespace {

TEST(ShortPredicatesTest, EveryLookUpAgreesWithTheFullText) {
  std::mt19937 random(7);
  // Units drawn from a small set so that values repeat across names, with
  // the extremes of the unit range among them.
  const std::vector<char16_t> units = {u'a', u'b', u'c', u'1', u'\u4e00', u'\u4e01', 0xFFFF, 1};
  std::uniform_int_distribution<size_t> pick(0, units.size() - 1);
  // More names of each length than records have slots; name k gets fewer
  // values as k grows, so that the last names fall back to keys.
  std::vector<std::u16string> texts;
  for (int k = 0; k < 12; ++k) {
    const std::u16string one = u"u" + std::u16string(1, static_cast<char16_t>(u'a' + k)) + u"=";
    const std::u16string two = u"p" + std::u16string(1, static_cast<char16_t>(u'a' + k)) + u"=";
    for (int i = 0; i < 24 - k; ++i) {
      texts.push_back(one + std::u16string(1, units[pick(random)]));
      texts.push_back(two + std::u16string{units[pick(random)], units[pick(random)]});
    }
    // A name with values of both lengths, and values kept by key: empty,
    // three units (look-ups with NUL in the value are made below).
    texts.push_back(one + u"xy");
    texts.push_back(one);
    texts.push_back(two + u"abc");
  }
  texts.push_back(u"bare");
  // Many distinct pairs of one name: the pair records grow past their first size.
  for (int i = 0; i < 3000; ++i) {
    texts.push_back(u"pa=" + std::u16string{static_cast<char16_t>(0x5000 + i % 61),
                                            static_cast<char16_t>(0x6000 + i / 61)});
  }
  // Texts with units outside UTF-8's reach (U+FFFF, U+0001) go in as they are.
  std::vector<CUString> owned;
  std::vector<MEModelEntry> entries;
  for (const std::u16string& text : texts) {
    owned.emplace_back(text.data(), static_cast<int32_t>(text.size()));
  }
  for (const CUString& text : owned) entries.push_back({u"o", text.c_str(), 1.0});
  entries.push_back({u"///", u"", 0.0});
  CMEModel model;
  model.LoadTable(entries.data());

  // Every name and every value of at most two units from the unit set (and
  // NUL), known or not.
  std::vector<std::u16string> values = {u""};
  std::vector<char16_t> with_nul = units;
  with_nul.push_back(0);
  for (char16_t a : with_nul) {
    values.push_back(std::u16string(1, a));
    for (char16_t b : with_nul) values.push_back(std::u16string{a, b});
  }
  int known = 0;
  for (int k = 0; k < 12; ++k) {
    for (const char16_t* prefix : {u"u", u"p"}) {
      const std::u16string name =
          prefix + std::u16string(1, static_cast<char16_t>(u'a' + k)) + u"=";
      const int32_t name_index = model.ShortPredicateName(name);
      ASSERT_GE(name_index, 0);
      std::vector<uint64_t> keys;
      std::vector<int32_t> expected;
      for (const std::u16string& value : values) {
        const std::u16string text = name + value;
        const int32_t want = model.PredicateIndex(text.data(), static_cast<int32_t>(text.size()));
        const int32_t n = static_cast<int32_t>(value.size());
        EXPECT_EQ(model.ShortPredicateIndex(name_index, value.data(), n), want)
            << "name " << k << " value of " << n << " units";
        known += want >= 0;
        keys.push_back(
            CMEModel::ShortKey(name_index, n > 0 ? value[0] : u'\0', n > 1 ? value[1] : u'\0', n));
        if (want >= 0) expected.push_back(want);
      }
      std::vector<int32_t> found;
      model.AppendShortPredicates(keys.data(), static_cast<int32_t>(keys.size()), found);
      EXPECT_EQ(found, expected) << "name " << k;
    }
  }
  EXPECT_GT(known, 250);  // the set above is mostly known
  // The value records hold the names with the most values, the rest have none.
  const CShortValueTable& records = model.ShortValues();
  EXPECT_EQ(records.UnitSlot(model.ShortPredicateName(u"ua=")), 0);
  EXPECT_EQ(records.UnitSlot(model.ShortPredicateName(u"ul=")), -1);
  EXPECT_EQ(records.PairSlot(model.ShortPredicateName(u"pa=")), 0);
  EXPECT_EQ(records.PairSlot(model.ShortPredicateName(u"pl=")), -1);
  for (int i = 0; i < 3000; i += 7) {
    const std::u16string text = u"pa=" + std::u16string{static_cast<char16_t>(0x5000 + i % 61),
                                                        static_cast<char16_t>(0x6000 + i / 61)};
    EXPECT_EQ(model.ShortPredicateIndex(model.ShortPredicateName(u"pa="), text.data() + 3, 2),
              model.PredicateIndex(text.data(), 5));
  }
}

}  // namespace
}  // namespace verrin
