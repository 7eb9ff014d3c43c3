// Helpers shared by the maxent tests.
#ifndef VERRIN_TESTS_MAXENT_MAXENT_TEST_UTIL_H_
#define VERRIN_TESTS_MAXENT_MAXENT_TEST_UTIL_H_

#include <string>
#include <vector>

#include "maxent/me_model.h"
#include "maxent/me_sample.h"
#include "test_util.h"

namespace verrin::testing {

// Owns the texts of an in-memory entry table (UTF-8 literals), ending at "///".
class EntryTable {
 public:
  EntryTable& Add(const std::string& outcome, const std::string& predicate, double weight) {
    outcomes_.push_back(U(outcome));
    predicates_.push_back(U(predicate));
    weights_.push_back(weight);
    return *this;
  }
  // The table, valid while this object lives and is not changed.
  const MEModelEntry* Entries() {
    entries_.clear();
    for (size_t i = 0; i < weights_.size(); ++i) {
      entries_.push_back({outcomes_[i].c_str(), predicates_[i].c_str(), weights_[i]});
    }
    entries_.push_back({u"///", u"", 0.0});
    return entries_.data();
  }

 private:
  std::vector<CUString> outcomes_, predicates_;
  std::vector<double> weights_;
  std::vector<MEModelEntry> entries_;
};

inline CMESample Sample(const std::string& label, const std::vector<std::string>& predicates) {
  CMESample sample;
  sample.label = U(label);
  for (const std::string& p : predicates) sample.predicates.push_back(U(p));
  return sample;
}

}  // namespace verrin::testing

#endif  // VERRIN_TESTS_MAXENT_MAXENT_TEST_UTIL_H_
