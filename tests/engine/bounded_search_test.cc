// The bounded search leaves steps of hopeless nodes unscored and does not
// extend runs of hopeless nodes at all; it must still find the same path with
// the same score, ties included, as the search that scores every step, and
// never make a node that search does not make.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/decoder.h"
#include "engine/engine_test_util.h"
#include "engine/lattice.h"
#include "maxent/me_classifier.h"
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

Search Decode(const CUString& text, const std::vector<CMESample>& samples,
              const std::vector<int32_t>& bits, const CMEClassifier& classifier, bool bounded) {
  CNEDecoder decoder;
  CNEFallbackLabels fallback;
  decoder.BuildLattice(text, samples, bits, fallback.Labels());
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

TEST(BoundedSearchTest, SamePathAndScoreAsTheFullSearchWithFewerNodes) {
  std::mt19937 rng(7);
  const std::vector<std::string> chars = {"甲", "乙", "丙", "丁", "，", "戊"};
  int fewer = 0, fewer_nodes = 0;
  for (int trial = 0; trial < 120; ++trial) {
    const int32_t n = 1 + static_cast<int32_t>(rng() % 12);
    std::vector<std::string> words;
    for (int32_t i = 0; i < n; ++i) words.push_back(chars[rng() % chars.size()]);
    NEClause clause = MakeClause(words);
    std::vector<CMESample> samples = testing::TaggingSamples(clause);

    std::vector<std::u16string> predicates = testing::HistoryPredicates();
    for (const CMESample& s : samples) {
      for (const CUString& p : s.predicates) {
        if (rng() % 3 == 0) predicates.push_back(std::u16string(p.View()));
      }
    }
    testing::ModelRecipe recipe =
        testing::RandomModel(rng, testing::StandardOutcomes(), predicates);
    // Every third model has equal weights everywhere: many paths then tie.
    if (trial % 3 == 2) {
      for (auto& entry : recipe.entries) entry.weight = 0.5;
    }
    CMEClassifier classifier;
    ASSERT_TRUE(testing::LoadModel(recipe, classifier));

    std::vector<int32_t> bits;
    for (int32_t i = 0; i < n; ++i) {
      bits.push_back(rng() % 4 == 0 ? 0 : static_cast<int32_t>(rng() & 0x3FFE));
      if (rng() % 8 == 0) samples[static_cast<size_t>(i)].label = DecimalText(18);
    }
    const CUString text(clause.text.c_str(), n);
    const Search full = Decode(text, samples, bits, classifier, false);
    const Search bounded = Decode(text, samples, bits, classifier, true);
    ASSERT_EQ(bounded.found, full.found) << "trial " << trial;
    ASSERT_EQ(bounded.node_counts.size(), full.node_counts.size()) << "trial " << trial;
    for (size_t i = 0; i < full.node_counts.size(); ++i) {
      EXPECT_LE(bounded.node_counts[i], full.node_counts[i]) << "trial " << trial << " at " << i;
    }
    if (bounded.node_counts != full.node_counts) ++fewer_nodes;
    if (!full.found) continue;
    EXPECT_EQ(bounded.path.score, full.path.score) << "trial " << trial;
    ASSERT_EQ(bounded.path.edges.size(), full.path.edges.size()) << "trial " << trial;
    for (size_t i = 0; i < full.path.edges.size(); ++i) {
      EXPECT_EQ(bounded.path.edges[i].label, full.path.edges[i].label)
          << "trial " << trial << " edge " << i;
    }
    if (bounded.evaluations < full.evaluations) ++fewer;
  }
  // The bound did leave work out, or the comparison above proves nothing.
  EXPECT_GT(fewer, 10);
  EXPECT_GT(fewer_nodes, 10);
}

}  // namespace
}  // namespace verrin
