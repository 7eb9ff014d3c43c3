// Storage of CMEModel, shared by the classification, file and training units.
// Internal to maxent/ (tests and benchmarks read it; nothing else should).
#ifndef VERRIN_MAXENT_ME_MODEL_IMPL_H_
#define VERRIN_MAXENT_ME_MODEL_IMPL_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "maxent/me_model.h"
#include "maxent/me_vocabulary.h"

namespace verrin {

// The model's capacity: feature key = outcome + 256 * predicate in 32 bits.
inline constexpr int32_t kMaxOutcomes = 256;
inline constexpr int32_t kMaxPredicates = 1 << 23;

inline int32_t FeatureKey(int32_t outcome, int32_t predicate) {
  // Unsigned arithmetic: beyond the capacity keys collide (a warning is given
  // where vocabularies grow) but never overflow.
  return static_cast<int32_t>(static_cast<uint32_t>(outcome) +
                              256u * static_cast<uint32_t>(predicate));
}
// Key of a short predicate: name index, value length (0..2), value units.
inline uint64_t ShortPredicateKey(int32_t name, const char16_t* value, int32_t n) {
  return CMEModel::ShortKey(name, n > 0 ? value[0] : u'\0', n > 1 ? value[1] : u'\0', n);
}
inline int32_t KeyOutcome(int32_t key) { return key & 255; }
inline int32_t KeyPredicate(int32_t key) {
  return static_cast<int32_t>(static_cast<uint32_t>(key) >> 8);
}

// Indexed samples stored flat: sample i has outcome outcomes[i] and predicate
// indices predicates[starts[i] .. starts[i + 1]), in sample order.
struct IndexedSampleList {
  std::vector<int32_t> outcomes;
  std::vector<size_t> starts{0};
  std::vector<int32_t> predicates;

  size_t Size() const { return outcomes.size(); }
  void Add(int32_t outcome, const int32_t* first, size_t count) {
    outcomes.push_back(outcome);
    predicates.insert(predicates.end(), first, first + count);
    starts.push_back(predicates.size());
  }
  const int32_t* Begin(size_t i) const { return predicates.data() + starts[i]; }
  const int32_t* End(size_t i) const { return predicates.data() + starts[i + 1]; }
  size_t Count(size_t i) const { return starts[i + 1] - starts[i]; }
  void Clear() {
    outcomes.clear();
    starts.assign(1, 0);
    predicates.clear();
  }
};

struct CMEModel::Impl {
  IndexedSampleList pending;

  CTextIndex predicates;  // predicate vocabulary
  std::vector<double> weights;
  std::vector<double> alpha, beta;
  std::vector<int32_t> feature_keys;  // feature index -> key
  // Feature key -> feature index. Loading a file does not need it (repeated
  // pairs are found with `seen_outcomes`), so it is built on first use.
  CKeyIndex feature_index;
  bool feature_index_valid = true;
  // While loading: for every predicate, bits telling which outcomes have a
  // feature with it: outcomes 0 to 63 in one word per predicate, the others
  // in three more words per predicate, kept only once such an outcome occurs.
  CLargeTable<uint64_t> seen_outcomes;
  CLargeTable<uint64_t> seen_high_outcomes;
  // The word of `seen_outcomes` or `seen_high_outcomes` holding the bit of
  // the key's outcome (bit KeyOutcome(key) % 64), grown as needed.
  uint64_t& SeenOutcomes(int32_t key) {
    const size_t predicate = static_cast<size_t>(KeyPredicate(key));
    const size_t outcome = static_cast<size_t>(KeyOutcome(key));
    CLargeTable<uint64_t>& words = outcome < 64 ? seen_outcomes : seen_high_outcomes;
    const size_t word = outcome < 64 ? predicate : predicate * 3 + (outcome >> 6) - 1;
    if (word >= words.size()) {
      // Grown in steps within the reserved room: the vector is not copied,
      // and only the words the predicates reach are touched.
      words.resize(std::max(word + 1, std::min(words.capacity(), word + 4096)), 0);
    }
    return words[word];
  }

  std::vector<double> empirical;          // per feature
  std::vector<double> model_expectation;  // per feature
  IndexedSampleList training, heldout;
  double training_error = 0.0;
  double heldout_error = 0.0;
  std::vector<double> heldout_history;
  double width = 0.0;  // per-sample width of the inequality model

  CTextIndex outcomes;                 // outcome vocabulary
  std::vector<int64_t> outcome_lines;  // per outcome, the file line that named it first
  int32_t last_outcome = -1;           // outcome of the last model line read

  // Rows: for every predicate p, the features (o, p) with o below the outcome
  // count, ordered by outcome, at positions row_start[p] .. row_start[p + 1].
  // Scoring walks a row instead of probing the feature table once per
  // outcome; since a row holds each outcome at most once, every outcome's
  // score still receives its terms in sample order.
  CLargeTable<size_t> row_start;
  CLargeTable<uint8_t> row_outcome;
  std::vector<int32_t> row_feature;
  CLargeTable<double> row_weight;  // weights[row_feature[k]]
  // What scoring reads of a row, in one place per predicate: a row of one
  // feature is its outcome and weight, so that adding it is one read; a
  // longer row is where it lies, in the row arrays or, when it holds at
  // least `dense_min` features, in `dense_weight`, where it is kept once
  // more, whole: dense_weight[where + o] is the weight of (o, p), 0 where the
  // row has none. Adding such a row is one straight loop over the outcomes;
  // the added zeros change no bit of a score (see AddPredicateScores). Read
  // only while `dense_valid`: anything that may change the row weights
  // clears it, and only BuildRows sets it again.
  struct ScoreRow {
    double weight;   // count 1: the feature's weight
    uint32_t where;  // count 1: the outcome; kDenseRow: the dense row; else the row's start
    uint32_t count;  // features in the row, or kDenseRow
  };
  static constexpr uint32_t kDenseRow = 0xFFFFFFFFu;
  CLargeTable<ScoreRow> score_rows;  // per predicate
  CLargeTable<double> dense_weight;  // rows start on 64-byte lines
  size_t dense_min = 0;
  int32_t dense_width = 0;
  bool dense_valid = false;
  // See CMEModel::RowsVersion; TouchRows gives it a value never used before.
  uint64_t rows_version = 0;
  void TouchRows();
  // Predicates by name and short value (see CMEModel::ShortPredicateName),
  // rebuilt with the rows: those of the names with a slot in the value
  // records by value, the others by their key.
  CTextIndex short_names;
  // The names of the predicates whose value is longer than two units.
  CTextIndex long_names;
  CShortValueTable short_values;
  CWideKeyIndex short_predicates;
  // Training scratch, one value per row position.
  std::vector<double> row_expectation;

  bool capacity_warned = false;

  // Rebuilds the rows from the feature table for `outcome_count` outcomes
  // and fills the row weights from `weights` (0 where a weight is missing).
  void BuildRows(int32_t outcome_count);
  // Rebuilds short_names, short_values and short_predicates from the
  // predicate vocabulary.
  void BuildShortPredicates();
  // ShortPredicateIndex for a key of ShortKey, and the fetch of what it reads.
  int32_t FindShortPredicate(uint64_t key) const;
  void PrefetchShortPredicate(uint64_t key) const;
  // Copies the current weights into the rows (the dense copies are dropped).
  void RefreshRowWeights();
  // Copies the rows of many features into the dense table.
  void BuildDenseRows(int32_t outcome_count);
  // The feature table's key index, rebuilt from the keys when stale.
  CKeyIndex& FeatureIndex();
  // Warns once on standard error when an index is past the key capacity.
  void CheckCapacity(int32_t outcome, int32_t predicate);
};

}  // namespace verrin

#endif  // VERRIN_MAXENT_ME_MODEL_IMPL_H_
