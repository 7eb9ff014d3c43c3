// The bounded search does not extend nodes that cannot be on a best path
// (below the score of a path found first, or beaten by another node of its
// position whatever comes next); it must still find the same path with
// the same score, ties included, as the search that extends every node, and
// never make a node that search does not make.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/decoder.h"
#include "engine/engine_test_util.h"
#include "engine/lattice.h"
#include "maxent/me_classifier.h"
#include "maxent/me_model_impl.h"
#include "text/code_page.h"

namespace verrin {
namespace {

using testing::MakeClause;

struct Search {
  bool found = false;
  NEPath path;
  std::vector<int32_t> node_counts;
  uint64_t evaluations = 0;
};

// `reference` and `cost` as AddEdgeCosts takes them (cost 0: none).
Search Decode(CNEDecoder& decoder, const CUString& text, const std::vector<CMESample>& samples,
              const std::vector<int32_t>& bits, const CMEClassifier& classifier, bool bounded,
              const std::vector<int32_t>& reference = {}, double cost = 0.0) {
  CNEFallbackLabels fallback;
  decoder.BuildLattice(text, samples, bits, fallback.Labels());
  if (cost != 0.0) decoder.AddEdgeCosts(reference, cost);
  decoder.SetInput(text, samples, &classifier);
  if (bounded) {
    decoder.BoundedForwardPass();
  } else {
    decoder.ForwardPass();
  }
  Search search;
  search.found = decoder.BestPath(search.path);
  for (int32_t i = 0; i < decoder.PositionCount(); ++i) {
    search.node_counts.push_back(decoder.NodesAt(i).count);
  }
  search.evaluations = decoder.Evaluations();
  decoder.Release();
  return search;
}

Search Decode(const CUString& text, const std::vector<CMESample>& samples,
              const std::vector<int32_t>& bits, const CMEClassifier& classifier, bool bounded,
              const std::vector<int32_t>& reference = {}, double cost = 0.0) {
  CNEDecoder decoder;
  return Decode(decoder, text, samples, bits, classifier, bounded, reference, cost);
}

// The bounded search found the full search's path: same score, same labels.
void ExpectSamePath(const Search& bounded, const Search& full, int trial) {
  EXPECT_EQ(bounded.path.score, full.path.score) << "trial " << trial;
  ASSERT_EQ(bounded.path.edges.size(), full.path.edges.size()) << "trial " << trial;
  for (size_t i = 0; i < full.path.edges.size(); ++i) {
    EXPECT_EQ(bounded.path.edges[i].label, full.path.edges[i].label)
        << "trial " << trial << " edge " << i;
  }
}

// A random clause of `n` characters (a few of them punctuation), its
// samples, candidate label bits and a random model over its predicates.
struct RandomCase {
  CUString text;
  std::vector<CMESample> samples;
  std::vector<int32_t> bits;
  CMEClassifier classifier;
};

// `second_scale` > 1: a few large weights in the "pv2lb=" rows, so that
// the step two characters on decides between labels.
void MakeRandomCase(std::mt19937& rng, int32_t n, bool equal_weights, RandomCase& out,
                    double weight_scale = 1.0, double second_scale = 1.0, bool large_end = false) {
  const std::vector<std::string> chars = {"甲", "乙", "丙", "丁", "，", "戊"};
  std::vector<std::string> words;
  for (int32_t i = 0; i < n; ++i) words.push_back(chars[rng() % chars.size()]);
  NEClause clause = MakeClause(words);
  out.samples = testing::TaggingSamples(clause);
  std::vector<std::u16string> predicates = testing::HistoryPredicates();
  for (const CMESample& s : out.samples) {
    for (const CUString& p : s.predicates) {
      if (rng() % 3 == 0) predicates.push_back(std::u16string(p.View()));
    }
  }
  testing::ModelRecipe recipe = testing::RandomModel(rng, testing::StandardOutcomes(), predicates);
  // Equal weights everywhere: many paths then tie.
  if (equal_weights) {
    for (auto& entry : recipe.entries) entry.weight = 0.5;
  }
  for (auto& entry : recipe.entries) {
    entry.weight *= weight_scale;
    if (second_scale != 1.0 && entry.predicate.rfind(u"pv2lb=", 0) == 0) {
      // With `large_end`, the end (outcome "52") wherever it has a weight.
      const bool large = (large_end && entry.outcome == u"52") || rng() % 4 == 0;
      entry.weight = large ? entry.weight * second_scale : 0.0;
    }
  }
  ASSERT_TRUE(testing::LoadModel(recipe, out.classifier));
  out.bits.clear();
  for (int32_t i = 0; i < n; ++i) {
    out.bits.push_back(rng() % 4 == 0 ? 0 : static_cast<int32_t>(rng() & 0x3FFE));
    // Fixed labels: punctuation and class words, which the context may
    // leave unscored.
    if (rng() % 8 == 0) out.samples[static_cast<size_t>(i)].label = DecimalText(18);
    if (rng() % 16 == 0) out.samples[static_cast<size_t>(i)].label = DecimalText(19);
  }
  out.text = CUString(clause.text.c_str(), n);
}

// Short clauses (where B alone prunes) and long ones (where far from the end
// only the comparison of the nodes of a position can), with random and with
// tying weights.
TEST(BoundedSearchTest, SamePathAndScoreAsTheFullSearchWithFewerNodes) {
  std::mt19937 rng(7);
  int fewer = 0, fewer_nodes = 0, early = 0, long_cases = 0;
  for (int trial = 0; trial < 200; ++trial) {
    const bool long_clause = trial % 2 == 1;
    const int32_t n =
        long_clause ? 40 + static_cast<int32_t>(rng() % 40) : 1 + static_cast<int32_t>(rng() % 12);
    RandomCase c;
    MakeRandomCase(rng, n, trial % 3 == 2, c);
    const Search full = Decode(c.text, c.samples, c.bits, c.classifier, false);
    const Search bounded = Decode(c.text, c.samples, c.bits, c.classifier, true);
    ASSERT_EQ(bounded.found, full.found) << "trial " << trial;
    ASSERT_EQ(bounded.node_counts.size(), full.node_counts.size()) << "trial " << trial;
    bool pruned_early = false;
    for (size_t i = 0; i < full.node_counts.size(); ++i) {
      EXPECT_LE(bounded.node_counts[i], full.node_counts[i]) << "trial " << trial << " at " << i;
      if (i < full.node_counts.size() / 2 && bounded.node_counts[i] < full.node_counts[i]) {
        pruned_early = true;
      }
    }
    if (bounded.node_counts != full.node_counts) ++fewer_nodes;
    if (long_clause) {
      ++long_cases;
      if (pruned_early) ++early;
    }
    if (!full.found) continue;
    ExpectSamePath(bounded, full, trial);
    if (bounded.evaluations < full.evaluations) ++fewer;
  }
  // The bound did leave work out, or the comparison above proves nothing;
  // in long clauses also in their first half, far from the end.
  EXPECT_GT(fewer, 40);
  EXPECT_GT(fewer_nodes, 40);
  EXPECT_GT(early, long_cases / 10);
}

// Long clauses whose best path is pushed through nodes that trail others of
// their position (by penalties on the edges that leave a random labelling),
// with weights large enough that probabilities reach the floor: a node may
// only be dropped by what the next two steps can really give it.
TEST(BoundedSearchTest, KeepsTrailingNodesThatTheNextStepsCanLift) {
  std::mt19937 rng(23);
  int dropped = 0;
  for (int trial = 0; trial < 80; ++trial) {
    const int32_t n = 30 + static_cast<int32_t>(rng() % 30);
    RandomCase c;
    MakeRandomCase(rng, n, false, c, 12.0);
    std::vector<int32_t> reference;
    for (int32_t i = 0; i < n; ++i) reference.push_back(1 + static_cast<int32_t>(rng() % 13));
    const double cost = -0.5 - static_cast<double>(rng() % 8);
    const Search full = Decode(c.text, c.samples, c.bits, c.classifier, false, reference, cost);
    const Search bounded = Decode(c.text, c.samples, c.bits, c.classifier, true, reference, cost);
    ASSERT_EQ(bounded.found, full.found) << "trial " << trial;
    if (!full.found) continue;
    ExpectSamePath(bounded, full, trial);
    if (bounded.node_counts != full.node_counts) ++dropped;
  }
  EXPECT_GT(dropped, 20) << "of 80";
}

// Short clauses whose "pv2lb=" rows favour a few labels strongly, the end
// among them: a node trailing another of its position by less than what
// the step two characters on can give it (on any label that may come
// there, the end where that step leaves the last character) must live.
TEST(BoundedSearchTest, KeepsNodesThatTheSecondStepCanLift) {
  int dropped = 0;
  for (int trial = 0; trial < 200; ++trial) {
    std::mt19937 rng(static_cast<uint32_t>(trial));
    const int32_t n = 2 + static_cast<int32_t>(rng() % 6);
    RandomCase c;
    MakeRandomCase(rng, n, false, c, 1.0, 12.0, true);
    const Search full = Decode(c.text, c.samples, c.bits, c.classifier, false);
    const Search bounded = Decode(c.text, c.samples, c.bits, c.classifier, true);
    ASSERT_EQ(bounded.found, full.found) << "trial " << trial;
    if (!full.found) continue;
    ExpectSamePath(bounded, full, trial);
    if (bounded.node_counts != full.node_counts) ++dropped;
  }
  EXPECT_GT(dropped, 20) << "of 200";
}

// A trainer changes the weights of the model in place between searches; the
// bound must follow them.
TEST(BoundedSearchTest, FollowsWeightsChangedInPlace) {
  std::mt19937 rng(11);
  int differed = 0;
  for (int trial = 0; trial < 20; ++trial) {
    RandomCase c;
    MakeRandomCase(rng, 30, false, c);
    CNEDecoder decoder;
    const Search before = Decode(decoder, c.text, c.samples, c.bits, c.classifier, true);
    for (double& weight : c.classifier.Model().Internals().row_weight) weight *= -3.0;
    const Search full = Decode(c.text, c.samples, c.bits, c.classifier, false);
    const Search bounded = Decode(decoder, c.text, c.samples, c.bits, c.classifier, true);
    ASSERT_EQ(bounded.found, full.found) << "trial " << trial;
    if (!full.found) continue;
    EXPECT_EQ(bounded.path.score, full.path.score) << "trial " << trial;
    if (before.path.score != full.path.score) ++differed;
  }
  EXPECT_GT(differed, 10);
}

}  // namespace
}  // namespace verrin
