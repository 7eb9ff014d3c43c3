#include "engine/feature_extractor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/engine_test_util.h"
#include "maxent/me_model.h"
#include "resource/pe_info.h"
#include "test_util.h"

namespace verrin {
namespace {

using testing::Gbk;
using testing::MakeClause;
using testing::MakeTempDir;
using testing::U;
using testing::Utf8;
using testing::WriteFile;

// Predicates of a sample as UTF-8, the sentinel written as "<S>".
std::vector<std::string> Texts(const CMESample& sample) {
  std::vector<std::string> out;
  for (const CUString& p : sample.predicates) {
    std::string text;
    for (int32_t i = 0; i < p.Length(); ++i) {
      if (p[i] == kSentinel) {
        text += "<S>";
      } else {
        text += Utf8(p.c_str() + i, 1);
      }
    }
    out.push_back(text);
  }
  return out;
}

int CountOf(const CMESample& sample, const std::string& predicate) {
  int n = 0;
  for (const std::string& p : Texts(sample)) n += p == predicate;
  return n;
}

// Five units c0..c4 = 甲 乙 丙 丁 A (A is a Latin letter, class 3) in three
// words, then the sentinel S (class 11).
TEST(FeatureExtractionTest, FiveUnitClauseGivesTheDocumentedPredicatesInOrder) {
  NEClause clause = MakeClause({"甲乙", "丙", "丁A"});
  std::vector<CMESample> samples;
  ExtractSentenceFeatures(clause.text, clause.words, clause.labels, clause.classes, false, samples);
  ASSERT_EQ(samples.size(), 6u);

  EXPECT_EQ(Texts(samples[3]),
            (std::vector<std::string>{"char=丁", "ct=1", "ntc1=A", "nt1ct=3", "ntc0c1=丁A",
                                      "ntc2=<S>", "ntc1c2=A<S>", "pvc1=丙", "pvc0c1=丙丁",
                                      "pvc1c2=乙丙", "pvc2=乙", "pv1nt1=丙A"}));
  // Position 2: two units before it are not enough for "pvc1c2=" / "pvc2=".
  EXPECT_EQ(Texts(samples[2]), (std::vector<std::string>{"char=丙", "ct=1", "ntc1=丁", "nt1ct=1",
                                                         "ntc0c1=丙丁", "ntc2=A", "ntc1c2=丁A",
                                                         "pvc1=乙", "pvc0c1=乙丙", "pv1nt1=乙丁"}));
  // The last real unit sees the sentinel as its next unit, nothing beyond.
  EXPECT_EQ(
      Texts(samples[4]),
      (std::vector<std::string>{"char=A", "ct=3", "ntc1=<S>", "nt1ct=11", "ntc0c1=A<S>", "pvc1=丁",
                                "pvc0c1=丁A", "pvc1c2=丙丁", "pvc2=丙", "pv1nt1=丁<S>"}));
  // The sentinel's own sample: no next-unit predicates and no "pv1nt1=".
  EXPECT_EQ(Texts(samples[5]), (std::vector<std::string>{"char=<S>", "ct=11", "pvc1=A",
                                                         "pvc0c1=A<S>", "pvc1c2=丁A", "pvc2=丁"}));
  EXPECT_EQ(Texts(samples[0]), (std::vector<std::string>{"char=甲", "ct=1", "ntc1=乙", "nt1ct=1",
                                                         "ntc0c1=甲乙", "ntc2=丙", "ntc1c2=乙丙"}));
  for (size_t i = 0; i + 1 < samples.size(); ++i) EXPECT_EQ(Utf8(samples[i].label), "1");
  EXPECT_EQ(Utf8(samples[5].label), "52");
}

TEST(FeatureExtractionTest, OneCharacterClause) {
  NEClause clause = MakeClause({"甲"});
  std::vector<CMESample> samples;
  ExtractSentenceFeatures(clause.text, clause.words, clause.labels, clause.classes, false, samples);
  ASSERT_EQ(samples.size(), 2u);
  EXPECT_EQ(Texts(samples[0]),
            (std::vector<std::string>{"char=甲", "ct=1", "ntc1=<S>", "nt1ct=11", "ntc0c1=甲<S>"}));
  EXPECT_EQ(Texts(samples[1]),
            (std::vector<std::string>{"char=<S>", "ct=11", "pvc1=甲", "pvc0c1=甲<S>"}));
}

TEST(FeatureExtractionTest, TheoryWordFiresOnlyBeforeZhuyiOrLilun) {
  // 甲 主 义 乙 理 论 丙 S: the units before 主义 (0) and 理论 (3) fire.
  NEClause clause = MakeClause({"甲", "主义", "乙", "理论", "丙"});
  std::vector<CMESample> samples = testing::TaggingSamples(clause);
  ASSERT_EQ(samples.size(), 8u);
  const int expected[8] = {1, 0, 0, 1, 0, 0, 0, 0};
  for (size_t i = 0; i < samples.size(); ++i) {
    EXPECT_EQ(CountOf(samples[i], "wd_therory"), expected[i]) << "position " << i;
  }
}

TEST(FeatureExtractionTest, PresetLabelsAndClassCodesAreCarried) {
  NEClause clause = MakeClause({"甲", "，", "\x11"});
  clause.labels = {1, 18, 19, 52};
  clause.classes = {1, 4, 6, 11};
  std::vector<CMESample> samples = testing::TaggingSamples(clause);
  ASSERT_EQ(samples.size(), 4u);
  EXPECT_EQ(Utf8(samples[1].label), "18");
  EXPECT_EQ(Utf8(samples[2].label), "19");
  EXPECT_EQ(Texts(samples[2])[1], "ct=6");
  EXPECT_EQ(Texts(samples[1])[3], "nt1ct=6");
}

TEST(FeatureExtractionTest, TrainingPutsLabelHistoryFirst) {
  NEClause clause = MakeClause({"甲乙", "丙"});
  clause.labels = {5, 7, 1, 52};
  std::vector<CMESample> samples;
  ExtractSentenceFeatures(clause.text, clause.words, clause.labels, clause.classes, true, samples);
  ASSERT_EQ(samples.size(), 4u);
  // The start node carries label 51 and a previous label of 0.
  EXPECT_EQ(Texts(samples[0])[0], "pv1lb=51");
  EXPECT_EQ(Texts(samples[0])[1], "pv2lb=0");
  EXPECT_EQ(Texts(samples[0])[2], "char=甲");
  EXPECT_EQ(Texts(samples[1])[0], "pv1lb=5");
  EXPECT_EQ(Texts(samples[1])[1], "pv2lb=51");
  EXPECT_EQ(Texts(samples[3])[0], "pv1lb=1");
  EXPECT_EQ(Texts(samples[3])[1], "pv2lb=7");
  EXPECT_EQ(Utf8(samples[1].label), "7");
  // Apart from the history the predicates are those of tagging.
  std::vector<CMESample> tagging;
  ExtractSentenceFeatures(clause.text, clause.words, clause.labels, clause.classes, false, tagging);
  for (size_t i = 0; i < samples.size(); ++i) {
    std::vector<std::string> trained = Texts(samples[i]);
    trained.erase(trained.begin(), trained.begin() + 2);
    EXPECT_EQ(trained, Texts(tagging[i]));
  }
}

TEST(FeatureExtractionTest, TrainingDropsSamplesWhoseThreeLabelsAreUnscored) {
  // Labels 18 18 18 1 52: positions 0 (18, 51, 0), 1 (18, 18, 51) and
  // 2 (18, 18, 18) are all unscored; position 3 and the sentinel (52, 1, 18)
  // are kept.
  NEClause clause = MakeClause({"，", "，", "，", "甲"});
  clause.labels = {18, 18, 18, 1, 52};
  std::vector<CMESample> samples;
  ExtractSentenceFeatures(clause.text, clause.words, clause.labels, clause.classes, true, samples);
  ASSERT_EQ(samples.size(), 2u);
  EXPECT_EQ(Texts(samples[0])[0], "pv1lb=18");
  EXPECT_EQ(Texts(samples[0])[1], "pv2lb=18");
  EXPECT_EQ(Texts(samples[0])[2], "char=甲");
  EXPECT_EQ(Utf8(samples[1].label), "52");
  EXPECT_EQ(Texts(samples[1])[0], "pv1lb=1");

  // Tagging keeps every position.
  std::vector<CMESample> tagging;
  ExtractSentenceFeatures(clause.text, clause.words, clause.labels, clause.classes, false, tagging);
  EXPECT_EQ(tagging.size(), 5u);
}

// The sample list is overwritten in place from clause to clause; what is
// left of a longer (or a training) clause must not show through.
TEST(FeatureExtractionTest, ReusedSampleListEqualsAFreshOne) {
  NEClause long_clause = MakeClause({"甲乙丙丁", "戊己", "庚辛壬"});
  long_clause.labels = {5, 6, 6, 7, 5, 7, 18, 19, 20, 52};
  NEClause short_clause = MakeClause({"子", "丑寅"});
  std::vector<CMESample> reused;
  for (bool first_training : {false, true}) {
    ExtractSentenceFeatures(long_clause.text, long_clause.words, long_clause.labels,
                            long_clause.classes, first_training, reused);
    for (bool training : {false, true}) {
      std::vector<CMESample> fresh;
      ExtractSentenceFeatures(short_clause.text, short_clause.words, short_clause.labels,
                              short_clause.classes, training, fresh);
      std::vector<CMESample> again = reused;
      ExtractSentenceFeatures(short_clause.text, short_clause.words, short_clause.labels,
                              short_clause.classes, training, again);
      ASSERT_EQ(again.size(), fresh.size());
      for (size_t i = 0; i < fresh.size(); ++i) {
        EXPECT_EQ(again[i].label, fresh[i].label);
        EXPECT_EQ(Texts(again[i]), Texts(fresh[i]));
      }
    }
  }
}

TEST(FeatureExtractionTest, UnscoredAndLexiconFreeLabelSets) {
  std::vector<int32_t> unscored;
  std::vector<int32_t> lexicon_free;
  for (int32_t label = -1; label <= 60; ++label) {
    if (IsUnscoredLabel(label)) unscored.push_back(label);
    if (IsLexiconFreeLabel(label)) lexicon_free.push_back(label);
  }
  EXPECT_EQ(unscored, (std::vector<int32_t>{0, 18, 19, 20, 51, 52}));
  EXPECT_EQ(lexicon_free, (std::vector<int32_t>{18, 19, 52}));
  EXPECT_TRUE(AllUnscoredLabels(18, 51, 0));
  EXPECT_FALSE(AllUnscoredLabels(18, 1, 0));
  EXPECT_FALSE(AllUnscoredLabels(52, 18, 13));
}

TEST(FeatureExtractionTest, WordShapeNamesFollowLengthAndOffset) {
  auto shape = [](const std::string& word, int32_t offset, bool generic, int32_t min_length) {
    NEWordNode node;
    node.strText = U(word);
    node.nTextLen = node.strText.Length();
    CMESample sample;
    AddWordShapeFeatures(node, offset, sample, generic, min_length);
    std::vector<std::string> out;
    for (const CUString& p : sample.predicates) out.push_back(Utf8(p));
    return out;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(shape("甲", 0, true, 2), V{"wdsingle"});
  EXPECT_EQ(shape("甲乙", 0, true, 2), (V{"wdbegin", "2wdbegin"}));
  EXPECT_EQ(shape("甲乙", 1, true, 2), (V{"wdend", "2wdend"}));
  EXPECT_EQ(shape("甲乙丙", 1, true, 2), V{"3wdcond"});
  EXPECT_EQ(shape("甲乙丙丁", 3, false, 4), V{"4wdend"});
  EXPECT_EQ(shape("甲乙丙丁", 3, false, 5), V{});
  EXPECT_EQ(shape("甲乙丙丁戊己", 0, false, 5), V{"5wdbegin"});
  EXPECT_EQ(shape("甲乙丙丁戊己", 2, false, 5), V{"5wdcond"});
  // What the engine passes: nothing at all.
  EXPECT_EQ(shape("甲乙丙丁戊己", 0, kGenericWordShape, kWordShapeMinLength), V{});
}

// The indexed samples are the string samples' known predicates, in order,
// also when other names crowd some of the extractor's out of the model's
// records by value (those are then found by their keys).
TEST(FeatureExtractionTest, IndexedSamplesAreTheKnownPredicatesOfTheStringSamples) {
  NEClause clause = MakeClause({"甲乙", "丙", "12", "甲乙丙", "AB", "主义", "丁"});
  std::vector<CMESample> strings;
  ExtractSentenceFeatures(clause.text, clause.words, clause.labels, clause.classes, false, strings);
  for (int crowd : {0, 40}) {
    // Every other predicate of the clause is known; `crowd` values each
    // for eight names of one unit and six of two units besides.
    std::vector<CUString> texts;
    int k = 0;
    for (const CMESample& sample : strings) {
      for (const CUString& predicate : sample.predicates) {
        if (k++ % 2 == 0) texts.push_back(predicate);
      }
    }
    // One-unit values are kept in records by value only from 64 such
    // predicates on: a name of no extractor's brings a small model there.
    for (int v = 0; v < 64; ++v) {
      const char16_t unit = static_cast<char16_t>(0x5000 + v);
      texts.push_back(U("filler=") + CUString(&unit, 1));
    }
    for (int name = 0; name < 8; ++name) {
      for (int v = 0; v < crowd; ++v) {
        const char16_t unit = static_cast<char16_t>(0x4e00 + v);
        texts.push_back(U("x" + std::to_string(name) + "=") + CUString(&unit, 1));
        const char16_t pair[2] = {unit, unit};
        if (name < 6) texts.push_back(U("y" + std::to_string(name) + "=") + CUString(pair, 2));
      }
    }
    std::vector<MEModelEntry> entries;
    for (const CUString& text : texts) entries.push_back({u"o", text.c_str(), 1.0});
    entries.push_back({u"///", u"", 0.0});
    CMEModel model;
    model.LoadTable(entries.data());
    NEPredicateNames names;
    names.Bind(&model);
    if (crowd > 0) {
      EXPECT_LT(names.UnitSlot(0), 0) << "char= has no slot";
      EXPECT_LT(names.PairSlot(4), 0) << "ntc0c1= has no slot";
    } else {
      EXPECT_GE(names.UnitSlot(0), 0);
    }
    NEIndexedSamples indexed;
    ExtractIndexedFeatures(clause.text, clause.words, clause.labels, clause.classes, names,
                           indexed);
    ASSERT_EQ(indexed.Size(), strings.size());
    for (size_t i = 0; i < strings.size(); ++i) {
      std::vector<int32_t> expected;
      for (const CUString& predicate : strings[i].predicates) {
        const int32_t index = model.PredicateIndex(predicate);
        if (index >= 0) expected.push_back(index);
      }
      const std::vector<int32_t> got(indexed.predicates.begin() + indexed.starts[i],
                                     indexed.predicates.begin() + indexed.starts[i + 1]);
      EXPECT_EQ(got, expected) << "sample " << i << ", crowd " << crowd;
    }
  }
}

// The lexicons of the group tests: 老 name prefix (16), 王 surname (8) and
// a PeInfo surname character (0x80), 先生 title (1), 市 location suffix (2),
// 公司 organization suffix (4), the item 北京 (64). The clause 老|王|先生|在|
// 北京市|公司 is 老0 王1 先2 生3 在4 北5 京6 市7 公8 司9 S10. The items
// 新浪, 新浪微博 (organizations, 4), 新浪微博客 (a location, 2) and 微博 (both,
// 6) serve org-items.
class FeatureGroupsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string dir = MakeTempDir("feature_groups");
    WriteFile(dir + "/affixes.txt", Gbk("老 16\n王 8\n先生 1\n市 2\n公司 4\n"));
    WriteFile(dir + "/items.txt", Gbk("北京 2\n新浪 4\n新浪微博 4\n新浪微博客 2\n微博 6\n"));
    ASSERT_TRUE(affixes_.LoadLexicon(dir + "/affixes.txt", false));
    ASSERT_TRUE(items_.LoadLexicon(dir + "/items.txt", false));
    pe_info_.At(u'王').flags = 1;
    marks_.affixes = &affixes_;
    marks_.items = &items_;
    marks_.pe_info = &pe_info_;
  }
  static NEFeatureGroups Groups(const std::string& list) {
    NEFeatureGroups groups;
    std::string error;
    EXPECT_TRUE(ParseFeatureGroups(list, &groups, &error)) << error;
    return groups;
  }
  std::vector<CMESample> Samples(NEClause& clause, const NEFeatureGroups& groups) {
    std::vector<CMESample> samples;
    ExtractSentenceFeatures(clause.text, clause.words, clause.labels, clause.classes, false,
                            samples, groups, &marks_);
    return samples;
  }

  // The indexed samples of tagging with `names`, checked sample by sample
  // against the string samples of the same groups (the indices the model
  // has); returns the indices of each sample.
  std::vector<std::vector<int32_t>> IndexedAsStrings(NEClause& clause, const CMEModel& model,
                                                     const NEPredicateNames& names) {
    const std::vector<CMESample> strings = Samples(clause, names.Groups());
    NEIndexedSamples indexed;
    ExtractIndexedFeatures(clause.text, clause.words, clause.labels, clause.classes, names, indexed,
                           &marks_);
    EXPECT_EQ(indexed.Size(), strings.size());
    std::vector<std::vector<int32_t>> indices;
    for (size_t i = 0; i < strings.size() && i < indexed.Size(); ++i) {
      indices.emplace_back(indexed.predicates.begin() + indexed.starts[i],
                           indexed.predicates.begin() + indexed.starts[i + 1]);
      std::vector<int32_t> expected;
      for (const CUString& predicate : strings[i].predicates) {
        const int32_t index = model.PredicateIndex(predicate);
        if (index >= 0) expected.push_back(index);
      }
      EXPECT_EQ(indices.back(), expected) << "sample " << i;
    }
    return indices;
  }

  CNEValuedLexicon affixes_{ReadLexiconValue}, items_{ReadLexiconValue};
  PeInfoTable pe_info_;
  NELexiconMarks marks_;
};

// What the groups add to a sample of the base set, in order.
std::vector<std::string> Added(const CMESample& with, const CMESample& base) {
  std::vector<std::string> added;
  const std::vector<std::string> known = Texts(base);
  for (const std::string& p : Texts(with)) {
    if (std::find(known.begin(), known.end(), p) == known.end()) added.push_back(p);
  }
  return added;
}

TEST_F(FeatureGroupsTest, EachGroupGivesItsPredicatesInTheDocumentedOrder) {
  NEClause clause = MakeClause({"老", "王", "先生", "在", "北京市", "公司"});
  clause.labels[7] = kLabelPunctuation;  // lexicon-free: 市 loses its own mark
  const std::vector<CMESample> base = Samples(clause, NEFeatureGroups());
  const std::vector<CMESample> all =
      Samples(clause, Groups("prev-word,person-marks,class-marks,continuation-marks,next-match,"
                             "word-shape,word-position"));
  ASSERT_EQ(all.size(), 11u);
  using V = std::vector<std::string>;
  // Word shape after "ct=", the other groups after "pv1nt1=".
  EXPECT_EQ(Texts(all[1]),
            (V{"char=王", "ct=1", "wdsingle", "ntc1=先", "nt1ct=1", "ntc0c1=王先", "ntc2=生",
               "ntc1c2=先生", "pvc1=老", "pvc0c1=老王", "pv1nt1=老先", "pv1wd=老", "fnname",
               "pnsur", "pvpnpfx", "ntpnsfx_c=2", "ntpnsfx_n=先生", "ntispnsfx"}));
  EXPECT_EQ(Texts(all[2]), (V{"char=先", "ct=1", "wdbegin", "2wdbegin", "ntc1=生", "nt1ct=1",
                              "ntc0c1=先生", "ntc2=在", "ntc1c2=生在", "pvc1=王", "pvc0c1=王先",
                              "pv1nt1=王生", "pv1wd=王", "pvfnname", "pvpnsur", "pntitle"}));
  // The first word has no previous word; the marks of p+1 follow those of p.
  EXPECT_EQ(Added(all[0], base[0]), (V{"wdsingle", "pnpfx", "ntfnname", "ntpnsur"}));
  EXPECT_EQ(Added(all[3], base[3]), (V{"wdend", "2wdend", "pv1wd=王", "pnsfxcon"}));
  EXPECT_EQ(Added(all[4], base[4]),
            (V{"wdsingle", "pv1wd=先生", "ntlnname_c=2", "ntlnname_n=北京", "ntislnname"}));
  EXPECT_EQ(Added(all[5], base[5]), (V{"wdbegin", "3wdbegin", "pv1wd=在", "lnname"}));
  // The match of 市 at p+1 stays although its mark is cleared.
  EXPECT_EQ(Added(all[6], base[6]),
            (V{"3wdcond", "pv1wd=在", "lnnamecon", "ntlnsfx_c=1", "ntlnsfx_n=市", "ntislnsfx"}));
  EXPECT_EQ(Added(all[7], base[7]),
            (V{"wdend", "3wdend", "pv1wd=在", "ntonsfx_c=2", "ntonsfx_n=公司", "ntisonsfx"}));
  EXPECT_EQ(Added(all[9], base[9]), (V{"wdend", "2wdend", "pv1wd=北京市", "onsfxcon"}));
  EXPECT_EQ(Added(all[10], base[10]), (V{"wdsingle", "pv1wd=公司"}));

  // A minimum length leaves shorter words without shape predicates.
  const std::vector<CMESample> shape3 = Samples(clause, Groups("word-shape:3"));
  EXPECT_EQ(Added(shape3[2], base[2]), V{});
  EXPECT_EQ(Added(shape3[6], base[6]), V{"3wdcond"});
  // No group, no change: the base samples are those of the plain call.
  std::vector<CMESample> plain;
  ExtractSentenceFeatures(clause.text, clause.words, clause.labels, clause.classes, false, plain);
  for (size_t i = 0; i < plain.size(); ++i) EXPECT_EQ(Texts(plain[i]), Texts(base[i]));
}

// A model that holds predicates of a group makes tagging produce the whole
// group, exactly as the string samples of that group (which training uses),
// and nothing of the groups it lacks.
TEST_F(FeatureGroupsTest, TaggingProducesTheGroupsTheModelHolds) {
  NEClause clause = MakeClause({"老", "王", "先生", "在", "北京市", "公司"});
  std::vector<MEModelEntry> entries = {{u"2", u"pnsur", 1.0},     {u"3", u"pvpnsur", 1.0},
                                       {u"1", u"ntpnsur", 1.0},   {u"1", u"pv1wd=先生", 1.0},
                                       {u"11", u"4wdend", 1.0},   {u"1", u"char=王", 1.0},
                                       {u"1", u"ntisonsfx", 0.0}, {u"///", u"", 0.0}};
  CMEModel model;
  model.LoadTable(entries.data());
  NEPredicateNames names;
  names.Bind(&model);
  // "pv1wd=先生" has a value of more than two units; it still counts.
  EXPECT_EQ(FeatureGroupList(names.Groups()), "prev-word,person-marks,next-match,word-shape:4");
  const std::vector<std::vector<int32_t>> indexed = IndexedAsStrings(clause, model, names);
  ASSERT_EQ(indexed.size(), 11u);
  const auto indices = [&](size_t i) { return indexed[i]; };
  // The surname mark of 王 (1) shows at p, p+1 and p-1.
  const auto index = [&](const char16_t* text) { return model.PredicateIndex(CUString(text)); };
  EXPECT_EQ(indices(1), (std::vector<int32_t>{index(u"char=王"), index(u"pnsur")}));
  EXPECT_EQ(indices(2), std::vector<int32_t>{index(u"pvpnsur")});
  EXPECT_EQ(indices(0), std::vector<int32_t>{index(u"ntpnsur")});
  EXPECT_EQ(indices(4), std::vector<int32_t>{index(u"pv1wd=先生")});
  EXPECT_EQ(indices(7), std::vector<int32_t>{index(u"ntisonsfx")});  // weight 0 counts too
}

// org-items reads the longest item with the organization bit (新浪微博, not
// 新浪 nor the location 新浪微博客) in a pass of its own: the location marks
// of class-marks stay those of bit 2, and its predicates come last. 看0 新1
// 浪2 微3 博4 客5 说6 S7, with 博 lexicon-free.
TEST_F(FeatureGroupsTest, OrgItemsMarkTheLongestKnownOrganizationAfterTheOtherGroups) {
  NEClause clause = MakeClause({"看", "新浪微博客", "说"});
  clause.labels[4] = kLabelPunctuation;
  const std::vector<CMESample> base = Samples(clause, NEFeatureGroups());
  const std::vector<CMESample> both = Samples(clause, Groups("class-marks,org-items"));
  ASSERT_EQ(both.size(), 8u);
  using V = std::vector<std::string>;
  EXPECT_EQ(Added(both[0], base[0]), (V{"ntonname_c=3", "ntonname_n=新浪微博", "ntisonname"}));
  EXPECT_EQ(Added(both[1], base[1]), (V{"lnname", "onname"}));
  // 浪 and 微 lie inside 新浪微博, 微 starts 微博 too; 博 would lie inside
  // both but is lexicon-free.
  EXPECT_EQ(Added(both[2], base[2]),
            (V{"onnamecon", "ntonname_c=2", "ntonname_n=微博", "ntisonname"}));
  EXPECT_EQ(Added(both[3], base[3]), (V{"lnname", "onname", "onnamecon"}));
  for (size_t p : {4, 5, 6, 7}) EXPECT_EQ(Added(both[p], base[p]), V{}) << p;
  // Alone, org-items adds exactly its own predicates.
  const std::vector<CMESample> org = Samples(clause, Groups("org-items"));
  EXPECT_EQ(Added(org[1], base[1]), V{"onname"});
  EXPECT_EQ(Added(org[3], base[3]), (V{"onname", "onnamecon"}));
}

// A model holding one org-items predicate tags with the whole group, as the
// string samples give it.
TEST_F(FeatureGroupsTest, TaggingProducesOrgItemsWhenTheModelHoldsOnname) {
  NEClause clause = MakeClause({"看", "新浪微博客", "说"});
  std::vector<MEModelEntry> entries = {{u"1", u"onname", 1.0},
                                       {u"1", u"ntonname_n=新浪微博", 1.0},
                                       {u"1", u"char=微", 1.0},
                                       {u"1", u"lnname", 1.0},
                                       {u"///", u"", 0.0}};
  CMEModel model;
  model.LoadTable(entries.data());
  NEPredicateNames names;
  names.Bind(&model);
  EXPECT_EQ(FeatureGroupList(names.Groups()), "class-marks,org-items");
  const std::vector<std::vector<int32_t>> indexed = IndexedAsStrings(clause, model, names);
  ASSERT_EQ(indexed.size(), 8u);
  const auto indices = [&](size_t i) { return indexed[i]; };
  const auto index = [&](const char16_t* text) { return model.PredicateIndex(CUString(text)); };
  EXPECT_EQ(indices(0), std::vector<int32_t>{index(u"ntonname_n=新浪微博")});
  EXPECT_EQ(indices(1), (std::vector<int32_t>{index(u"lnname"), index(u"onname")}));
  EXPECT_EQ(indices(3),
            (std::vector<int32_t>{index(u"char=微"), index(u"lnname"), index(u"onname")}));
  EXPECT_EQ(indices(2), std::vector<int32_t>{});
}

TEST(FeatureGroupListTest, ListsReadBackAndUnknownNamesAreRefused) {
  NEFeatureGroups groups;
  std::string error;
  for (const std::string list :
       {"none", "prev-word", "person-marks,class-marks,continuation-marks,next-match", "word-shape",
        "word-shape:5,word-position", "class-marks,org-items"}) {
    ASSERT_TRUE(ParseFeatureGroups(list, &groups, &error)) << list << ": " << error;
    EXPECT_EQ(FeatureGroupList(groups), list);
  }
  ASSERT_TRUE(
      ParseFeatureGroups(" next-match , prev-word ,word-shape:4,word-shape:3", &groups, &error));
  EXPECT_EQ(FeatureGroupList(groups), "prev-word,next-match,word-shape:3");
  ASSERT_TRUE(ParseFeatureGroups("", &groups, &error));
  EXPECT_TRUE(groups.Empty());
  for (const std::string bad :
       {"person", "word-shape:6", "word-shape:", "prev-word:2", "prev-word,,next-match"}) {
    EXPECT_FALSE(ParseFeatureGroups(bad, &groups, &error)) << bad;
    EXPECT_NE(error.find("unknown feature group"), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace verrin
