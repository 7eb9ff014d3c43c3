// Helpers for the engine tests: clauses built from words, hand-made models
// and label paths.
#ifndef VERRIN_TESTS_ENGINE_ENGINE_TEST_UTIL_H_
#define VERRIN_TESTS_ENGINE_ENGINE_TEST_UTIL_H_

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "engine/clause.h"
#include "engine/lattice.h"
#include "engine/word_node.h"
#include "maxent/me_classifier.h"
#include "maxent/me_sample.h"
#include "text/ustring.h"

namespace verrin::testing {

// A processed clause of the words (UTF-8), then the sentinel word: labels 1
// everywhere and 52 at the sentinel, classes CharClassOf and 11 at the
// sentinel.
NEClause MakeClause(const std::vector<std::string>& words_utf8);

// Tagging samples of a clause; entry N is the sentinel's.
std::vector<CMESample> TaggingSamples(const NEClause& clause);

// Model entries; every outcome listed in `outcomes` is present even without
// features.
struct ModelRecipe {
  std::vector<std::u16string> outcomes;
  struct Entry {
    std::u16string outcome;
    std::u16string predicate;
    double weight;
  };
  std::vector<Entry> entries;
};
// The outcomes "1".."13", "18", "19", "20", "52".
std::vector<std::u16string> StandardOutcomes();
// Loads the recipe into `classifier` through CMEModel::LoadTable.
bool LoadModel(const ModelRecipe& recipe, CMEClassifier& classifier);
// Random weights in [-2, 2] on the given predicates for a random half of the
// (outcome, predicate) pairs.
ModelRecipe RandomModel(std::mt19937& rng, const std::vector<std::u16string>& outcomes,
                        const std::vector<std::u16string>& predicates);
// Predicates of the history shapes for the labels a clause can see.
std::vector<std::u16string> HistoryPredicates();

// A path with one edge per label.
NEPath PathOf(const std::vector<int32_t>& labels);

std::u16string U16(const std::string& utf8);

}  // namespace verrin::testing

#endif  // VERRIN_TESTS_ENGINE_ENGINE_TEST_UTIL_H_
