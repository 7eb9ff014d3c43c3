#include "engine/lattice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <vector>

#include "engine/decoder.h"
#include "engine/engine_test_util.h"
#include "engine/feature_extractor.h"
#include "maxent/me_classifier.h"
#include "test_util.h"
#include "text/code_page.h"

namespace verrin {
namespace {

using testing::MakeClause;
using testing::ModelRecipe;

// Candidate labels of character i, read from the rules a caller can see:
// imposed label, table bits (label 1 always), or 1..13.
std::vector<int32_t> Candidates(const CMESample& sample, int32_t bits) {
  const int32_t imposed = ParseNarrowInt(sample.label.c_str());
  if (imposed != 1) return {imposed};
  std::vector<int32_t> labels;
  if (bits == 0) {
    for (int32_t l = 1; l <= 13; ++l) labels.push_back(l);
    return labels;
  }
  labels.push_back(1);
  for (int32_t l = 2; l <= 13; ++l) {
    if (bits & (1 << l)) labels.push_back(l);
  }
  return labels;
}

// Score of one step computed through CMEModel::Eval on a copy of the sample.
// Returns false when the step is not allowed.
bool StepScore(const CMEClassifier& model, const CMESample& sample, int32_t length, int32_t p2,
               int32_t p1, int32_t label, int32_t index, double& score) {
  if (!IsLabelAllowed(length, p1, label, index)) return false;
  if (AllUnscoredLabels(label, p1, p2)) {
    score = 0.0;
    return true;
  }
  const CUString text = DecimalText(label);
  const int32_t outcome = model.Model().FindOutcome(text);
  if (outcome < 0) return false;
  CMESample extended = sample;
  AddLabelHistory(extended, p1, p2);
  std::vector<double> probs;
  model.Model().Eval(extended, probs);
  double p = probs[static_cast<size_t>(outcome)];
  if (!(p > 1e-15)) p = 1e-15;
  score = std::log(p);
  return true;
}

struct BruteResult {
  bool any = false;
  double best = -std::numeric_limits<double>::infinity();
};

// Total score of a complete label sequence, summed in path order; false when
// the sequence is not a valid path.
bool SequenceScore(const CMEClassifier& model, const std::vector<CMESample>& samples,
                   const std::vector<int32_t>& labels, double& total) {
  const int32_t n = static_cast<int32_t>(labels.size());
  total = 0.0;
  int32_t p2 = 0;
  int32_t p1 = 51;
  for (int32_t i = 0; i <= n; ++i) {
    const int32_t label = i < n ? labels[static_cast<size_t>(i)] : 52;
    double step = 0.0;
    if (!StepScore(model, samples[static_cast<size_t>(i)], n, p2, p1, label, i, step)) return false;
    total = total + step + 0.0;
    p2 = p1;
    p1 = label;
  }
  return true;
}

BruteResult BruteForce(const CMEClassifier& model, const std::vector<CMESample>& samples,
                       const std::vector<int32_t>& bits, int32_t n) {
  std::vector<std::vector<int32_t>> candidates;
  for (int32_t i = 0; i < n; ++i) {
    candidates.push_back(Candidates(samples[static_cast<size_t>(i)], bits[static_cast<size_t>(i)]));
  }
  BruteResult result;
  std::vector<size_t> pick(static_cast<size_t>(n), 0);
  std::vector<int32_t> labels(static_cast<size_t>(n));
  while (true) {
    for (int32_t i = 0; i < n; ++i) {
      labels[static_cast<size_t>(i)] =
          candidates[static_cast<size_t>(i)][pick[static_cast<size_t>(i)]];
    }
    double total = 0.0;
    if (SequenceScore(model, samples, labels, total)) {
      if (!result.any || total > result.best) result.best = total;
      result.any = true;
    }
    int32_t i = 0;
    while (i < n && ++pick[static_cast<size_t>(i)] == candidates[static_cast<size_t>(i)].size()) {
      pick[static_cast<size_t>(i)] = 0;
      ++i;
    }
    if (i == n) break;
  }
  return result;
}

std::vector<int32_t> PathLabels(const NEPath& path) {
  std::vector<int32_t> labels;
  for (const NEEdge& edge : path.edges) labels.push_back(edge.label);
  return labels;
}

// A model whose features never fire: every scored step costs ln(1/17).
void LoadUniformModel(CMEClassifier& classifier) {
  ModelRecipe recipe;
  recipe.outcomes = testing::StandardOutcomes();
  ASSERT_TRUE(testing::LoadModel(recipe, classifier));
}

TEST(LabelRulesTest, TransitionTableRows) {
  // Hand-picked entries of every row kind.
  EXPECT_EQ(LabelTransition(51, 1), 0);
  EXPECT_EQ(LabelTransition(51, 3), -1);
  EXPECT_EQ(LabelTransition(1, 20), 0);
  EXPECT_EQ(LabelTransition(2, 3), 1);
  EXPECT_EQ(LabelTransition(2, 8), 0);
  EXPECT_EQ(LabelTransition(3, 1), -1);
  EXPECT_EQ(LabelTransition(4, 13), 1);
  EXPECT_EQ(LabelTransition(4, 6), -1);
  EXPECT_EQ(LabelTransition(5, 7), 1);
  EXPECT_EQ(LabelTransition(6, 1), -1);
  EXPECT_EQ(LabelTransition(10, 12), 1);
  EXPECT_EQ(LabelTransition(11, 2), 1);
  EXPECT_EQ(LabelTransition(12, 8), 1);
  EXPECT_EQ(LabelTransition(12, 1), -1);
  EXPECT_EQ(LabelTransition(13, 11), 0);
  EXPECT_EQ(LabelTransition(0, 1), -1);
  EXPECT_EQ(LabelTransition(52, 1), -1);
  EXPECT_EQ(LabelTransition(1, 52), -1);
  // Every row rejects labels above 20.
  for (int32_t previous = 0; previous <= 60; ++previous) {
    for (int32_t next = 21; next <= 60; ++next) EXPECT_EQ(LabelTransition(previous, next), -1);
  }
}

TEST(LabelRulesTest, OneCharacterClauseAllowsOnly1_2_8AndImposedStandAlones) {
  std::vector<int32_t> allowed;
  for (int32_t label = 1; label <= 20; ++label) {
    if (IsLabelAllowed(1, 51, label, 0)) allowed.push_back(label);
  }
  EXPECT_EQ(allowed, (std::vector<int32_t>{1, 2, 8, 18, 19, 20}));
  // The end label passes after any label.
  EXPECT_TRUE(IsLabelAllowed(1, 4, 52, 1));
}

class DecoderTest : public ::testing::Test {
 protected:
  CMEClassifier classifier_;
  CNELattice lattice_;
};

TEST_F(DecoderTest, TableEntry0x104GivesLabels1_2_8) {
  LoadUniformModel(classifier_);
  lattice_.SetModel(&classifier_);
  NEClause clause = MakeClause({"甲", "乙"});
  std::vector<CMESample> samples = testing::TaggingSamples(clause);
  const CUString text(clause.text.c_str(), 2);
  ASSERT_TRUE(lattice_.DecodeWithLabelBits(text, samples, {0x104, 0}));
  std::vector<int32_t> first;
  for (const NEEdge* e = lattice_.Decoder().EdgesStartingAt(0); e != nullptr;
       e = e->next_by_start) {
    first.push_back(e->label);
  }
  // Lists are push-front: reverse order of insertion.
  EXPECT_EQ(first, (std::vector<int32_t>{8, 2, 1}));
  std::vector<int32_t> second;
  for (const NEEdge* e = lattice_.Decoder().EdgesStartingAt(1); e != nullptr;
       e = e->next_by_start) {
    second.push_back(e->label);
  }
  EXPECT_EQ(second, (std::vector<int32_t>{13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}));
  // The end edge is scored with the sentinel's sample.
  EXPECT_EQ(lattice_.Decoder().EdgesEndingAt(3)->label, 52);
  EXPECT_EQ(lattice_.Decoder().EdgesEndingAt(3)->index, 2);
  lattice_.ResetLattice();
}

TEST_F(DecoderTest, EqualScoresAtTheEndPickTheNodeCreatedLast) {
  // One character with candidates 1, 2, 8 and a uniform model. Nodes at
  // position 1 are created for edges 8, 2, 1 (reverse insertion); the end
  // nodes then for 1, 2, 8, so the end node of label 8 is created last.
  LoadUniformModel(classifier_);
  lattice_.SetModel(&classifier_);
  NEClause clause = MakeClause({"甲"});
  std::vector<CMESample> samples = testing::TaggingSamples(clause);
  ASSERT_TRUE(lattice_.DecodeWithLabelBits(CUString(u"甲"), samples, {0x104}));
  EXPECT_EQ(PathLabels(lattice_.Path()), (std::vector<int32_t>{8}));
  EXPECT_EQ(lattice_.Path().score, 2 * std::log(1.0 / 17.0));
  lattice_.ResetLattice();
  EXPECT_TRUE(lattice_.Path().edges.empty());
}

TEST_F(DecoderTest, EqualScoresAtAMergeKeepTheNodeReachedFirst) {
  // Candidates {1, 2}, {1}, {1} (bit 1 alone means label 1 only), uniform
  // model. Position 1: edge 2 is extended first, so A(2) is created before
  // B(1) and the list reads B, A. Position 2: C (from B), then D (from A);
  // list D, C. Position 3: D is extended first into E; C has the same edge
  // as E's previous node D and the same label, and its equal total does not
  // replace E's. The path keeps A: 2 1 1 ("later wins" would give 1 1 1).
  LoadUniformModel(classifier_);
  lattice_.SetModel(&classifier_);
  NEClause clause = MakeClause({"甲", "乙", "丙"});
  std::vector<CMESample> samples = testing::TaggingSamples(clause);
  ASSERT_TRUE(lattice_.DecodeWithLabelBits(CUString(u"甲乙丙"), samples, {0x4, 0x2, 0x2}));
  EXPECT_EQ(PathLabels(lattice_.Path()), (std::vector<int32_t>{2, 1, 1}));
  EXPECT_EQ(lattice_.Decoder().NodesAt(3).count, 1);
  lattice_.ResetLattice();
}

TEST_F(DecoderTest, ImposedLabelsThatLeaveNoPathFail) {
  LoadUniformModel(classifier_);
  lattice_.SetModel(&classifier_);
  NEClause clause = MakeClause({"甲", "乙"});
  std::vector<CMESample> samples = testing::TaggingSamples(clause);
  samples[0].label = CUString(u"3");  // a person cannot continue at the first unit
  EXPECT_FALSE(lattice_.DecodeWithLabelBits(CUString(u"甲乙"), samples, {0, 0}));
  EXPECT_TRUE(lattice_.Path().edges.empty());
  // A failed clause needs no reset before the next one.
  samples[0].label = CUString(u"2");
  samples[1].label = CUString(u"4");
  ASSERT_TRUE(lattice_.DecodeWithLabelBits(CUString(u"甲乙"), samples, {0, 0}));
  EXPECT_EQ(PathLabels(lattice_.Path()), (std::vector<int32_t>{2, 4}));
  lattice_.ResetLattice();
}

TEST_F(DecoderTest, TooFewSamplesAreRefused) {
  LoadUniformModel(classifier_);
  lattice_.SetModel(&classifier_);
  NEClause clause = MakeClause({"甲"});
  std::vector<CMESample> samples = testing::TaggingSamples(clause);
  samples.pop_back();  // no sentinel sample
  EXPECT_FALSE(lattice_.DecodeWithLabelBits(CUString(u"甲"), samples, {0}));
}

TEST_F(DecoderTest, UnscoredRunsCostNothingAndAskNoModel) {
  LoadUniformModel(classifier_);
  lattice_.SetModel(&classifier_);
  NEClause clause = MakeClause({"，", "，", "，"});
  std::vector<CMESample> samples = testing::TaggingSamples(clause);
  for (int i = 0; i < 3; ++i) samples[static_cast<size_t>(i)].label = CUString(u"18");
  const uint64_t before = lattice_.Decoder().Evaluations();
  ASSERT_TRUE(lattice_.DecodeWithLabelBits(CUString(u"，，，"), samples, {0, 0, 0}));
  EXPECT_EQ(PathLabels(lattice_.Path()), (std::vector<int32_t>{18, 18, 18}));
  EXPECT_EQ(lattice_.Path().score, 0.0);
  EXPECT_EQ(lattice_.Decoder().Evaluations(), before);
  lattice_.ResetLattice();
}

TEST_F(DecoderTest, LabelsUnknownToTheModelNeverAppear) {
  // A model without outcome "1": free characters take other labels, and a
  // clause whose only candidate is label 1 has no path.
  ModelRecipe recipe;
  for (const std::u16string& o : testing::StandardOutcomes()) {
    if (o != u"1") recipe.outcomes.push_back(o);
  }
  ASSERT_TRUE(testing::LoadModel(recipe, classifier_));
  lattice_.SetModel(&classifier_);
  NEClause clause = MakeClause({"甲", "乙"});
  std::vector<CMESample> samples = testing::TaggingSamples(clause);
  ASSERT_TRUE(lattice_.DecodeWithLabelBits(CUString(u"甲乙"), samples, {0, 0}));
  for (int32_t label : PathLabels(lattice_.Path())) EXPECT_NE(label, 1);
  lattice_.ResetLattice();
  EXPECT_FALSE(lattice_.DecodeWithLabelBits(CUString(u"甲乙"), samples, {0x2, 0x2}));
  lattice_.ResetLattice();
}

TEST_F(DecoderTest, SamplesAreLeftExactlyAsBuilt) {
  std::mt19937 rng(7);
  std::vector<std::u16string> predicates = testing::HistoryPredicates();
  predicates.push_back(testing::U16("char=甲"));
  ASSERT_TRUE(testing::LoadModel(testing::RandomModel(rng, testing::StandardOutcomes(), predicates),
                                 classifier_));
  lattice_.SetModel(&classifier_);
  NEClause clause = MakeClause({"甲乙", "丙"});
  const std::vector<CMESample> built = testing::TaggingSamples(clause);
  std::vector<CMESample> samples = built;
  ASSERT_TRUE(lattice_.DecodeWithLabelBits(CUString(u"甲乙丙"), samples, {0, 0, 0}));
  ASSERT_EQ(samples.size(), built.size());
  for (size_t i = 0; i < built.size(); ++i) {
    EXPECT_EQ(samples[i].label, built[i].label);
    EXPECT_EQ(samples[i].predicates, built[i].predicates);
  }
  lattice_.ResetLattice();
}

// The decoder against enumeration of every label sequence: random tiny
// clauses, random candidate sets and imposed labels, random models (some
// missing outcomes).
TEST_F(DecoderTest, BestScoreEqualsBruteForceEnumeration) {
  std::mt19937 rng(20240611);
  const std::vector<std::string> chars = {"甲", "乙", "丙", "丁", "，"};
  int decoded = 0;
  int failed = 0;
  for (int trial = 0; trial < 150; ++trial) {
    const int32_t n = 1 + static_cast<int32_t>(rng() % 4);
    std::vector<std::string> words;
    for (int32_t i = 0; i < n; ++i) words.push_back(chars[rng() % chars.size()]);
    NEClause clause = MakeClause(words);
    std::vector<CMESample> samples = testing::TaggingSamples(clause);

    std::vector<std::u16string> outcomes = testing::StandardOutcomes();
    if (trial % 5 == 4) outcomes.erase(outcomes.begin() + static_cast<long>(rng() % 13));
    std::vector<std::u16string> predicates = testing::HistoryPredicates();
    for (const CMESample& s : samples) {
      for (const CUString& p : s.predicates) {
        if (rng() % 3 == 0) predicates.push_back(std::u16string(p.View()));
      }
    }
    CMEClassifier classifier;
    ASSERT_TRUE(testing::LoadModel(testing::RandomModel(rng, outcomes, predicates), classifier));

    std::vector<int32_t> bits;
    for (int32_t i = 0; i < n; ++i) {
      const uint32_t pick = rng() % 4;
      bits.push_back(pick == 0 ? 0 : static_cast<int32_t>(rng() & 0x3FFE));
      if (rng() % 6 == 0) {
        static const int32_t kImposed[] = {2, 3, 4, 8, 10, 13, 18, 19, 20};
        samples[static_cast<size_t>(i)].label = DecimalText(kImposed[rng() % 9]);
      }
    }
    // At most 13^4 sequences; keep the enumeration small.
    CNELattice lattice;
    lattice.SetModel(&classifier);
    const CUString text(clause.text.c_str(), n);
    const bool ok = lattice.DecodeWithLabelBits(text, samples, bits);
    const BruteResult brute = BruteForce(classifier, samples, bits, n);
    ASSERT_EQ(ok, brute.any) << "trial " << trial;
    if (!ok) {
      ++failed;
      continue;
    }
    ++decoded;
    EXPECT_EQ(lattice.Path().score, brute.best) << "trial " << trial;
    double total = 0.0;
    ASSERT_TRUE(SequenceScore(classifier, samples, PathLabels(lattice.Path()), total));
    EXPECT_EQ(total, lattice.Path().score) << "trial " << trial;
    ASSERT_EQ(lattice.Path().edges.size(), static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
      EXPECT_EQ(lattice.Path().edges[static_cast<size_t>(i)].index, i);
      EXPECT_EQ(lattice.Path().edges[static_cast<size_t>(i)].start, i);
    }
    lattice.ResetLattice();
  }
  // Both outcomes occurred.
  EXPECT_GT(decoded, 50);
  EXPECT_GT(failed, 0);
}

TEST_F(DecoderTest, PathTextSupportsOnlyOnePath) {
  EXPECT_TRUE(lattice_.PathText(1).Empty());
  testing::CaptureDiagnostics();
  const CUString text = lattice_.PathText(2);
  EXPECT_EQ(testing::GetCapturedDiagnostics(), "did not supoort multipath output\n");
  EXPECT_EQ(testing::Utf8(text), "error path set");
}

}  // namespace
}  // namespace verrin
