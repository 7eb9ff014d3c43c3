#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "engine/decoder.h"
#include "engine/engine_test_util.h"
#include "engine/feature_extractor.h"
#include "engine/lattice.h"
#include "maxent/me_classifier.h"
#include "test_util.h"
#include "text/code_page.h"

namespace verrin {
namespace {

using testing::MakeClause;
using testing::ModelRecipe;

// ln max(p, 1e-15) of `label` through CMEModel::Eval on a copy of the sample
// with the two history predicates appended: the plain reading of the scorer.
double ReferenceScore(const CMEClassifier& model, const CMESample& sample, int32_t p2, int32_t p1,
                      int32_t label) {
  CMESample extended = sample;
  AddLabelHistory(extended, p1, p2);
  std::vector<double> probs;
  model.Model().Eval(extended, probs);
  const int32_t outcome = model.Model().FindOutcome(DecimalText(label));
  if (outcome < 0) return 0.0;
  double p = probs[static_cast<size_t>(outcome)];
  if (!(p > 1e-15)) p = 1e-15;
  return std::log(p);
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class LabelScorerTest : public ::testing::Test {
 protected:
  void SetUpRandom(unsigned seed) {
    std::mt19937 rng(seed);
    clause_ = MakeClause({"甲乙", "丙", "丁"});
    samples_ = testing::TaggingSamples(clause_);
    std::vector<std::u16string> predicates = testing::HistoryPredicates();
    for (const CMESample& s : samples_) {
      for (const CUString& p : s.predicates) predicates.push_back(std::u16string(p.View()));
    }
    ASSERT_TRUE(testing::LoadModel(
        testing::RandomModel(rng, testing::StandardOutcomes(), predicates), classifier_));
  }

  NEClause clause_;
  std::vector<CMESample> samples_;
  CMEClassifier classifier_;
  CNEDecoder decoder_;
};

TEST_F(LabelScorerTest, FastPathGivesTheSameBitsAsEval) {
  SetUpRandom(11);
  decoder_.SetInput(clause_.text, samples_, &classifier_);
  const int32_t histories[] = {0, 1, 2, 4, 5, 7, 8, 10, 13, 18, 19, 51};
  for (int32_t index = 0; index < static_cast<int32_t>(samples_.size()); ++index) {
    for (int32_t p2 : histories) {
      for (int32_t p1 : histories) {
        for (int32_t label : {1, 2, 3, 5, 7, 8, 11, 13, 18, 52}) {
          const double fast = decoder_.ScoreLabel(p2, p1, label, index);
          const double plain =
              ReferenceScore(classifier_, samples_[static_cast<size_t>(index)], p2, p1, label);
          ASSERT_TRUE(SameBits(fast, plain))
              << "index " << index << " context " << p2 << "," << p1 << " label " << label << ": "
              << fast << " vs " << plain;
        }
      }
    }
    // A new character belongs to a new position.
    decoder_.SetInput(clause_.text, samples_, &classifier_);
  }
}

TEST_F(LabelScorerTest, OneEvaluationPerContext) {
  SetUpRandom(12);
  decoder_.SetInput(clause_.text, samples_, &classifier_);
  const uint64_t start = decoder_.Evaluations();
  for (int32_t label = 1; label <= 13; ++label) decoder_.ScoreLabel(51, 2, label, 1);
  EXPECT_EQ(decoder_.Evaluations(), start + 1);
  decoder_.ScoreLabel(51, 1, 3, 1);
  decoder_.ScoreLabel(0, 2, 3, 1);  // (second previous, previous) order matters
  EXPECT_EQ(decoder_.Evaluations(), start + 3);
  decoder_.ScoreLabel(51, 2, 7, 1);
  EXPECT_EQ(decoder_.Evaluations(), start + 3);
  // Labels beyond the flat table take the same road.
  decoder_.ScoreLabel(300, 2, 7, 1);
  decoder_.ScoreLabel(300, 2, 8, 1);
  EXPECT_EQ(decoder_.Evaluations(), start + 4);
}

TEST_F(LabelScorerTest, ZeroProbabilityIsFlooredNotMinusInfinity) {
  // exp(-1000 - shift) underflows: p("2") == 0 exactly.
  ModelRecipe recipe;
  recipe.outcomes = testing::StandardOutcomes();
  recipe.entries.push_back({u"2", testing::U16("char=甲"), -1000.0});
  ASSERT_TRUE(testing::LoadModel(recipe, classifier_));
  clause_ = MakeClause({"甲", "乙"});
  samples_ = testing::TaggingSamples(clause_);
  decoder_.SetInput(clause_.text, samples_, &classifier_);
  std::vector<double> probs;
  classifier_.Model().Eval(samples_[0], probs);
  ASSERT_EQ(probs[1], 0.0);  // outcome "2" is the second one
  EXPECT_EQ(decoder_.ScoreLabel(0, 51, 2, 0), -34.538776394910684);
  // ln(1/16): the other sixteen outcomes share the mass.
  EXPECT_DOUBLE_EQ(decoder_.ScoreLabel(0, 51, 1, 0), std::log(1.0 / 16.0));
}

TEST_F(LabelScorerTest, LabelThatIsNoOutcomeScoresZeroAndIsNotKnown) {
  SetUpRandom(13);
  decoder_.SetInput(clause_.text, samples_, &classifier_);
  EXPECT_FALSE(decoder_.KnowsLabel(14));
  EXPECT_FALSE(decoder_.KnowsLabel(0));
  EXPECT_FALSE(decoder_.KnowsLabel(51));
  EXPECT_TRUE(decoder_.KnowsLabel(52));
  EXPECT_TRUE(decoder_.KnowsLabel(13));
  EXPECT_EQ(decoder_.ScoreLabel(51, 1, 14, 1), 0.0);
}

TEST_F(LabelScorerTest, OutcomeTextsAreReadAsNumbers) {
  // "07" is the number 7 but not the decimal text of 7: label 7 is scored
  // through it, yet Extend's outcome test ("7") rejects the label.
  ModelRecipe recipe;
  recipe.outcomes = {u"1", u"07", u"52"};
  recipe.entries.push_back({u"07", testing::U16("char=甲"), 1.5});
  ASSERT_TRUE(testing::LoadModel(recipe, classifier_));
  clause_ = MakeClause({"甲"});
  samples_ = testing::TaggingSamples(clause_);
  decoder_.SetInput(clause_.text, samples_, &classifier_);
  EXPECT_FALSE(decoder_.KnowsLabel(7));
  // p("07") = e^1.5 / (2 + e^1.5)
  EXPECT_DOUBLE_EQ(decoder_.ScoreLabel(0, 51, 7, 0), std::log(std::exp(1.5) / (2 + std::exp(1.5))));
}

TEST_F(LabelScorerTest, HistoryOfTheFirstCharactersComesFromTheStartNode) {
  // Only "pv1lb=51" + "pv2lb=0" (first character) and "pv2lb=51" (second)
  // move label 2; a decode that ignored them would not prefer it.
  ModelRecipe recipe;
  recipe.outcomes = testing::StandardOutcomes();
  recipe.entries.push_back({u"2", u"pv1lb=51", 3.0});
  recipe.entries.push_back({u"2", u"pv2lb=0", 3.0});
  recipe.entries.push_back({u"4", u"pv2lb=51", 6.0});
  ASSERT_TRUE(testing::LoadModel(recipe, classifier_));
  CNELattice lattice;
  lattice.SetModel(&classifier_);
  clause_ = MakeClause({"甲", "乙"});
  samples_ = testing::TaggingSamples(clause_);
  ASSERT_TRUE(lattice.DecodeWithLabelBits(CUString(u"甲乙"), samples_, {0, 0}));
  std::vector<int32_t> labels;
  for (const NEEdge& e : lattice.Path().edges) labels.push_back(e.label);
  EXPECT_EQ(labels, (std::vector<int32_t>{2, 4}));
  lattice.ResetLattice();
}

// Every context whose step the decoder has to score is evaluated exactly
// once per position: the count of distinct (position, second previous,
// previous) triples of scored steps, read off the finished lattice.
TEST_F(LabelScorerTest, DecodeEvaluatesEachContextOncePerPosition) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    std::mt19937 rng(seed);
    std::vector<std::string> words;
    const char* chars[] = {"甲", "乙", "丙", "丁", "戊"};
    const int n = 2 + static_cast<int>(rng() % 5);
    for (int i = 0; i < n; ++i) words.push_back(chars[rng() % 5]);
    NEClause clause = MakeClause(words);
    std::vector<CMESample> samples = testing::TaggingSamples(clause);
    std::vector<std::u16string> predicates = testing::HistoryPredicates();
    CMEClassifier classifier;
    ASSERT_TRUE(testing::LoadModel(
        testing::RandomModel(rng, testing::StandardOutcomes(), predicates), classifier));
    CNELattice lattice;
    lattice.SetModel(&classifier);
    std::vector<int32_t> bits;
    for (int i = 0; i < n; ++i)
      bits.push_back(rng() % 3 == 0 ? 0 : static_cast<int32_t>(rng() & 0x3FFE));
    const CUString text(clause.text.c_str(), n);
    lattice.DecodeWithLabelBits(text, samples, bits);
    const CNEDecoder& decoder = lattice.Decoder();

    uint64_t expected = 0;
    for (int32_t i = 1; i < decoder.PositionCount(); ++i) {
      std::set<std::pair<int32_t, int32_t>> contexts;
      for (const NEEdge* e = decoder.EdgesEndingAt(i); e != nullptr; e = e->next_by_end) {
        for (const NEPathNode* node = decoder.NodesAt(e->start).head; node != nullptr;
             node = node->next) {
          if (!IsLabelAllowed(n, node->label, e->label, e->index)) continue;
          if (AllUnscoredLabels(e->label, node->label, node->previous_label)) continue;
          contexts.insert({node->previous_label, node->label});
        }
      }
      expected += contexts.size();
    }
    EXPECT_EQ(decoder.Evaluations(), expected) << "seed " << seed;
    EXPECT_GT(expected, 0u);
    lattice.ResetLattice();
  }
}

}  // namespace
}  // namespace verrin
