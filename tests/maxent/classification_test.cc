// Classification: probabilities, tie rule, duplicates, unknown predicates,
// the fast path, and a differential test against a literal reading of the
// scoring rule.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "maxent/me_model.h"
#include "maxent_test_util.h"

namespace verrin {
namespace {

using testing::EntryTable;
using testing::Sample;
using testing::U;
using testing::Utf8;

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(ClassificationTest, EmptyModelReturnsZeroAndEmptyVector) {
  CMEModel model;
  std::vector<double> probs(3, 1.0);
  EXPECT_EQ(model.Eval(Sample("x", {"a"}), probs), 0);
  EXPECT_TRUE(probs.empty());
  CMESample sample = Sample("7", {"a"});
  EXPECT_TRUE(model.Predict(sample).empty());
  EXPECT_EQ(Utf8(sample.label), "7");
  EXPECT_EQ(model.GetOutcome(0).Length(), 0);
}

TEST(ClassificationTest, UnknownPredicatesGiveTheUniformDistribution) {
  EntryTable table;
  table.Add("1", "a", 2.0).Add("2", "a", -1.0).Add("3", "b", 0.5).Add("4", "b", 1.0);
  CMEModel model;
  model.LoadTable(table.Entries());
  std::vector<double> probs;
  EXPECT_EQ(model.Eval(Sample("", {"zz", "yy"}), probs), 0);
  ASSERT_EQ(probs.size(), 4u);
  for (double p : probs) EXPECT_DOUBLE_EQ(p, 0.25);
  EXPECT_EQ(model.Eval(Sample("", {}), probs), 0);
  for (double p : probs) EXPECT_DOUBLE_EQ(p, 0.25);
}

TEST(ClassificationTest, TiesKeepTheLowestIndex) {
  // Outcomes 0 "a", 1 "b", 2 "c": b and c both score 1.5, a scores 0.
  EntryTable table;
  table.Add("a", "x", 0.0).Add("b", "x", 1.5).Add("c", "y", 1.0).Add("c", "z", 0.5);
  CMEModel model;
  model.LoadTable(table.Entries());
  std::vector<double> probs;
  EXPECT_EQ(model.Eval(Sample("", {"x", "y", "z"}), probs), 1);
  EXPECT_EQ(probs[1], probs[2]);
}

TEST(ClassificationTest, DuplicatePredicateCountsTwice) {
  // score(x) = 1 + 1 = 2, score(y) = 0: p(x) = e^2 / (e^2 + 1) = 0.880797077977882.
  EntryTable table;
  table.Add("x", "a", 1.0).Add("y", "b", 3.0);
  CMEModel model;
  model.LoadTable(table.Entries());
  std::vector<double> probs;
  EXPECT_EQ(model.Eval(Sample("", {"a", "a"}), probs), 0);
  EXPECT_NEAR(probs[0], 0.880797077977882, 1e-15);
  EXPECT_NEAR(probs[1], 0.119202922022118, 1e-15);
  // Once: e^1 / (e^1 + 1) = 0.731058578630005.
  model.Eval(Sample("", {"a"}), probs);
  EXPECT_NEAR(probs[0], 0.731058578630005, 1e-15);
}

TEST(ClassificationTest, PredictRelabelsTheSampleAndReturnsTheEvalVector) {
  EntryTable table;
  for (int o = 0; o < 5; ++o) table.Add(std::to_string(o + 3), "p", o == 0 ? 2.0 : 0.1 * o);
  table.Add("7", "q", 0.0);
  CMEModel model;
  model.LoadTable(table.Entries());
  CMESample sample = Sample("7", {"p", "q"});
  std::vector<double> expected;
  const int32_t best = model.Eval(sample, expected);
  EXPECT_EQ(Utf8(model.GetOutcome(best)), "3");
  const std::vector<double> probs = model.Predict(sample);
  EXPECT_EQ(Utf8(sample.label), "3");
  EXPECT_EQ(probs, expected);
  EXPECT_EQ(model.FindOutcome(U("7")), 4);
  EXPECT_EQ(model.FindOutcome(U("8")), -1);
  EXPECT_EQ(model.FindOutcome(nullptr), -1);
}

TEST(ClassificationTest, OrdinaryScoresGoThroughExpUnshifted) {
  EntryTable table;
  table.Add("a", "p", 3.2).Add("b", "p", -1.1).Add("c", "p", 0.4).Add("a", "q", 0.3);
  CMEModel model;
  model.LoadTable(table.Entries());
  std::vector<double> probs;
  model.Eval(Sample("", {"p", "q"}), probs);
  const double qa = std::exp(3.2 + 0.3), qb = std::exp(-1.1), qc = std::exp(0.4);
  const double z = qa + qb + qc;
  EXPECT_TRUE(SameBits(probs[0], qa / z));
  EXPECT_TRUE(SameBits(probs[1], qb / z));
  EXPECT_TRUE(SameBits(probs[2], qc / z));
}

// exp(800) overflows to infinity, and inf / inf is not a number.
TEST(ClassificationTest, ExpOverflowRegression) {
  EntryTable table;
  table.Add("a", "p", 500.0).Add("b", "p", 499.0).Add("a", "q", 300.0).Add("b", "q", 300.0);
  CMEModel model;
  model.LoadTable(table.Entries());
  std::vector<double> probs;
  EXPECT_EQ(model.Eval(Sample("", {"p", "q"}), probs), 0);
  // Scores 800 and 799: p(a) = 1 / (1 + e^-1).
  EXPECT_NEAR(probs[0], 0.731058578630005, 1e-12);
  EXPECT_NEAR(probs[1], 0.268941421369995, 1e-12);
}

// Scores far below zero underflow exp to 0 for every outcome: 0 / 0.
TEST(ClassificationTest, ExpUnderflowRegression) {
  EntryTable table;
  table.Add("a", "p", -900.0).Add("b", "p", -901.0);
  CMEModel model;
  model.LoadTable(table.Entries());
  std::vector<double> probs;
  EXPECT_EQ(model.Eval(Sample("", {"p"}), probs), 0);
  EXPECT_NEAR(probs[0], 0.731058578630005, 1e-12);
  EXPECT_NEAR(probs[1], 0.268941421369995, 1e-12);
}

// A literal reading of the scoring rule: ordered maps, one look-up per
// (outcome, predicate), sums per outcome in sample order.
class NaiveModel {
 public:
  void Add(const std::u16string& outcome, const std::u16string& predicate, double weight) {
    const int o = Index(outcome_index_, outcome);
    const int p = Index(predicate_index_, predicate);
    const int key = o + 256 * p;
    if (features_.count(key) == 0) {
      features_[key] = static_cast<int>(weights_.size());
      weights_.push_back(weight);
    } else {
      weights_[features_[key]] = weight;
    }
  }
  int Eval(const std::vector<std::u16string>& sample, std::vector<double>& probs) const {
    const int outcome_count = static_cast<int>(outcome_index_.size());
    std::vector<int> indices;
    for (const auto& text : sample) {
      auto it = predicate_index_.find(text);
      if (it != predicate_index_.end()) indices.push_back(it->second);
    }
    probs.assign(outcome_count, 0.0);
    for (int o = 0; o < outcome_count; ++o) {
      double score = 0.0;
      for (int p : indices) {
        auto it = features_.find(o + 256 * p);
        if (it != features_.end()) score += weights_[it->second];
      }
      probs[o] = score;
    }
    double z = 0.0;
    for (int o = 0; o < outcome_count; ++o) {
      probs[o] = std::exp(probs[o]);
      z += probs[o];
    }
    double best_value = 0.0;
    int best = 0;
    for (int o = 0; o < outcome_count; ++o) {
      probs[o] = probs[o] / z;
      if (probs[o] > best_value) {
        best_value = probs[o];
        best = o;
      }
    }
    return best;
  }

 private:
  static int Index(std::map<std::u16string, int>& map, const std::u16string& text) {
    auto it = map.find(text);
    if (it != map.end()) return it->second;
    const int index = static_cast<int>(map.size());
    map[text] = index;
    return index;
  }
  std::map<std::u16string, int> outcome_index_, predicate_index_;
  std::map<int, int> features_;
  std::vector<double> weights_;
};

std::u16string Text(const char* prefix, int n) {
  std::u16string out;
  for (const char* p = prefix; *p; ++p) out.push_back(static_cast<char16_t>(*p));
  for (char c : std::to_string(n)) out.push_back(static_cast<char16_t>(c));
  return out;
}

TEST(ClassificationTest, MatchesTheLiteralScoringRuleOnRandomModels) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 30; ++round) {
    const int outcome_count = 1 + static_cast<int>(random() % 25);
    const int predicate_count = 1 + static_cast<int>(random() % 300);
    const int entry_count = static_cast<int>(random() % 2000);
    std::uniform_real_distribution<double> weight(-4.0, 4.0);
    std::vector<std::u16string> outcome_texts, predicate_texts;
    std::vector<double> weights;
    NaiveModel naive;
    for (int i = 0; i < entry_count; ++i) {
      outcome_texts.push_back(Text("o", static_cast<int>(random() % outcome_count)));
      predicate_texts.push_back(Text("p", static_cast<int>(random() % predicate_count)));
      weights.push_back(random() % 10 == 0 ? 0.0 : weight(random));
      naive.Add(outcome_texts.back(), predicate_texts.back(), weights.back());
    }
    std::vector<MEModelEntry> entries;
    for (int i = 0; i < entry_count; ++i) {
      entries.push_back({outcome_texts[i].c_str(), predicate_texts[i].c_str(), weights[i]});
    }
    entries.push_back({u"///", u"", 0.0});
    CMEModel model;
    model.LoadTable(entries.data());

    std::vector<double> probs, expected;
    std::vector<double> scores;
    for (int s = 0; s < 50; ++s) {
      std::vector<std::u16string> texts;
      CMESample sample;
      const int length = static_cast<int>(random() % 30);
      for (int i = 0; i < length; ++i) {
        // Some unknown predicates, some repeats.
        texts.push_back(Text("p", static_cast<int>(random() % (predicate_count + 20))));
        if (random() % 8 == 0) texts.push_back(texts.back());
      }
      for (const auto& t : texts) sample.predicates.emplace_back(t.c_str());
      const int expected_best = naive.Eval(texts, expected);
      const int best = model.Eval(sample, probs);
      ASSERT_EQ(best, expected_best);
      ASSERT_EQ(probs.size(), expected.size());
      for (size_t o = 0; o < probs.size(); ++o) ASSERT_TRUE(SameBits(probs[o], expected[o]));

      // The fast path gives the same bits.
      scores.assign(static_cast<size_t>(model.OutcomeCount()), 0.0);
      for (const CUString& text : sample.predicates) {
        const int32_t index = model.PredicateIndex(text);
        if (index >= 0) model.AddPredicateScores(index, scores.data());
      }
      ASSERT_EQ(model.ScoresToProbabilities(scores.data()), expected_best);
      for (size_t o = 0; o < scores.size(); ++o) ASSERT_TRUE(SameBits(scores[o], expected[o]));
    }
  }
}

TEST(ClassificationTest, PredicateIndexKnowsOnlyTheVocabulary) {
  EntryTable table;
  table.Add("1", "字=中", 1.0).Add("1", "b", 2.0);
  CMEModel model;
  model.LoadTable(table.Entries());
  EXPECT_EQ(model.PredicateIndex(U("字=中")), 0);
  EXPECT_EQ(model.PredicateIndex(U("b")), 1);
  EXPECT_EQ(model.PredicateIndex(U("字=")), -1);
  const CUString b = U("bc");
  EXPECT_EQ(model.PredicateIndex(b.c_str(), 1), 1);
  EXPECT_EQ(model.PredicateIndex(nullptr, 0), -1);
  // An index past the rows (no features) adds nothing.
  double scores[1] = {0.5};
  model.AddPredicateScores(99, scores);
  EXPECT_EQ(scores[0], 0.5);
}

}  // namespace
}  // namespace verrin
