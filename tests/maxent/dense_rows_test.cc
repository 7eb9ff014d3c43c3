// Rows of many features are added from a dense copy: the scores must keep
// every bit of the sparse sums, for any outcome count, and follow the row
// weights when a trainer rewrites them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "maxent/me_model.h"
#include "maxent/me_model_impl.h"
#include "maxent_test_util.h"

namespace verrin {
namespace {

using testing::EntryTable;
using testing::U;

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(DenseRowsTest, ScoresKeepTheSparseSumsAndFollowRewrittenWeights) {
  for (int width : {16, 7}) {
    std::mt19937 random(static_cast<unsigned>(width));
    std::uniform_real_distribution<double> weight(-3.0, 3.0);
    EntryTable table;
    std::map<std::pair<int, int>, double> weights;  // (predicate, outcome)
    // Predicate k holds k features (all outcomes for k >= width), so the rows
    // run from sparse to full; predicate 0 fixes the outcome order.
    for (int o = 0; o < width; ++o) {
      table.Add("o" + std::to_string(o), "p0", weights[{0, o}] = weight(random));
    }
    const int predicates = width + 2;
    for (int k = 1; k < predicates; ++k) {
      std::vector<int> outcomes(static_cast<size_t>(width));
      for (int o = 0; o < width; ++o) outcomes[static_cast<size_t>(o)] = o;
      std::shuffle(outcomes.begin(), outcomes.end(), random);
      for (int i = 0; i < k && i < width; ++i) {
        const int o = outcomes[static_cast<size_t>(i)];
        table.Add("o" + std::to_string(o), "p" + std::to_string(k),
                  weights[{k, o}] = weight(random));
      }
    }
    CMEModel model;
    model.LoadTable(table.Entries());
    ASSERT_EQ(model.OutcomeCount(), width);
    ASSERT_TRUE(std::as_const(model).Internals().dense_valid);

    std::uniform_int_distribution<int> pick(0, predicates - 1);
    auto check = [&](double factor) {
      for (int round = 0; round < 50; ++round) {
        std::vector<double> scores(static_cast<size_t>(width), 0.0), expected = scores;
        for (int n = 0; n < 6; ++n) {
          const int k = pick(random);
          model.AddPredicateScores(model.PredicateIndex(U("p" + std::to_string(k))), scores.data());
          for (int o = 0; o < width; ++o) {
            auto found = weights.find({k, o});
            if (found != weights.end()) expected[static_cast<size_t>(o)] += found->second * factor;
          }
        }
        for (int o = 0; o < width; ++o) {
          ASSERT_TRUE(SameBits(scores[static_cast<size_t>(o)], expected[static_cast<size_t>(o)]))
              << "width " << width << " outcome " << o;
        }
      }
    };
    check(1.0);
    // A trainer writing the rows directly: the scores follow at once.
    CMEModel::Impl& m = model.Internals();
    for (double& w : m.row_weight) w *= 2.0;
    check(2.0);
  }
}

}  // namespace
}  // namespace verrin
