// CNEScoreCache: the label scores of one clause's search, one model
// evaluation per context.
//
// A context is the pair (second previous label, previous label) at a
// character. Its row holds the model's unnormalised terms of every outcome,
// the label scores asked for so far and the normaliser; rows live until the
// search moves to another position. The fixed predicates of a character are
// summed once per clause and shared by all its contexts. The bounding walk of
// the bounded search hands its rows on to the pass that follows it (seeds).
#ifndef VERRIN_ENGINE_SCORE_CACHE_H_
#define VERRIN_ENGINE_SCORE_CACHE_H_

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "engine/lattice.h"
#include "maxent/me_scores.h"

namespace verrin {

class CMEClassifier;
class CMEModel;

// Outcome numbers and history predicates of one loaded model.
struct NEModelTables {
  const CMEModel* model = nullptr;
  int32_t outcomes = -1;
  int32_t predicates = -1;
  int32_t features = -1;
  std::vector<int32_t> label_outcome;            // label 0..255 -> last outcome with that number
  std::map<int32_t, int32_t> far_label_outcome;  // other labels
  std::vector<int8_t> known;                     // label 0..255 -> decimal text is an outcome
  std::vector<int32_t> history[2];               // "pv1lb=" / "pv2lb=" + label -> predicate
  std::vector<int32_t> outcome_label;            // outcome -> the number of its text
};

class CNEScoreCache {
 public:
  static constexpr double kProbabilityFloor = 1.0E-15;
  static constexpr int32_t kNearLabels = 256;
  static constexpr int32_t kContextLabels = 64;  // flat context table covers labels below this
  static constexpr double kNotScored = 1.0;      // a label score (a log) is never positive

  CNEScoreCache();
  CNEScoreCache(const CNEScoreCache&) = delete;
  CNEScoreCache& operator=(const CNEScoreCache&) = delete;

  // Binds the samples and the model of a clause (nothing is copied) and
  // forgets every row. True when the model's tables were made afresh (another
  // model, or one reloaded).
  bool Bind(const NEIndexedSamples& samples, const CMEClassifier* model);
  const NEModelTables& Tables() const { return tables_; }

  // Makes `position` the cache's position: a new position starts with no
  // rows but the seeds of the walk, when a seeded pass runs.
  void MoveTo(int32_t position) {
    if (position == position_) return;
    Clear();
    position_ = position;
    SeedCache(position);
  }
  // Marks of cached rows: a node's row offset stays valid while the stamp
  // it was read under is current.
  uint32_t Stamp() const { return stamp_; }
  int32_t Position() const { return position_; }

  // Offset of the row of context (second_previous, previous) at the cache
  // position, evaluating the model with sample `index` when the context is
  // new.
  size_t ContextRow(int32_t second_previous, int32_t previous, int32_t index) {
    if (second_previous >= 0 && second_previous < kContextLabels && previous >= 0 &&
        previous < kContextLabels) {
      const size_t slot = static_cast<size_t>(second_previous * kContextLabels + previous);
      if (context_stamp_[slot] == stamp_) return context_offset_[slot];
    } else {
      auto it = far_contexts_.find({second_previous, previous});
      if (it != far_contexts_.end()) return it->second;
    }
    return EvaluateContext(second_previous, previous, index);
  }
  // The row at `offset`: OutcomeCount terms, as many cached label scores,
  // the normaliser.
  const double* Row(size_t offset) const { return rows_.data() + offset; }
  // The cached score of `outcome` (>= 0) in the row at `row`, kNotScored
  // until asked for.
  double& CachedScore(size_t row, int32_t outcome) {
    return rows_[row + static_cast<size_t>(tables_.outcomes) + static_cast<size_t>(outcome)];
  }
  // ln p of `outcome` from the context row at `row` (0.0 for outcome -1).
  double RowScore(size_t row, int32_t outcome) {
    if (outcome < 0) return 0.0;
    double& score = CachedScore(row, outcome);
    if (score != kNotScored) return score;
    return ScoreFromTerms(score, row, outcome);
  }
  // The probability whose log is the score of `outcome` in the row at
  // `row`: the division and the floor of the model's own probabilities.
  double RowProbability(size_t row, int32_t outcome) const {
    const size_t outcomes = static_cast<size_t>(tables_.outcomes);
    const double probability =
        rows_[row + static_cast<size_t>(outcome)] / rows_[row + 2 * outcomes];
    return probability > kProbabilityFloor ? probability : kProbabilityFloor;
  }
  // At least TermLog(probability) for a probability from RowProbability,
  // without a logarithm: with p = m 2^k (1 <= m < 2), ln p = k ln 2 + ln m
  // and ln m <= m - 1; the margin covers the rounding of both sides.
  static double LogAtMost(double probability) {
    uint64_t bits;
    std::memcpy(&bits, &probability, sizeof bits);
    const int64_t exponent = static_cast<int64_t>(bits >> 52) - 1023;
    bits = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1023} << 52);
    double mantissa;
    std::memcpy(&mantissa, &bits, sizeof mantissa);
    return static_cast<double>(exponent) * 0.6931471805599453 + (mantissa - 1.0) + 1e-9;
  }
  // The fixed-predicate sums of sample `index` (zeros beyond the samples),
  // valid until the next call.
  const double* BaseScores(int32_t index) {
    if (base_index_ != index) ComputeBaseScores(index);
    return base_scores_;
  }

  // ln p(label | sample[index] + "pv1lb=<previous>" + "pv2lb=<second_previous>");
  // see CNEDecoder::ScoreLabel.
  double ScoreLabel(int32_t second_previous, int32_t previous, int32_t label, int32_t index);
  // The decimal text of `label` is an outcome of the bound model.
  bool KnowsLabel(int32_t label) {
    if (tables_.model == nullptr) return false;
    if (label >= 0 && label < kNearLabels) return tables_.known[static_cast<size_t>(label)] != 0;
    return KnowsFarLabel(label);
  }
  // The outcome that scores `label` (the last one with its number), -1 when
  // none does.
  int32_t OutcomeOfLabel(int32_t label) const {
    if (label >= 0 && label < kNearLabels) {
      return tables_.label_outcome.empty() ? -1 : tables_.label_outcome[static_cast<size_t>(label)];
    }
    return FarOutcomeOfLabel(label);
  }
  // The bound model's predicate "pv1lb=<label>" (which 0) or "pv2lb=<label>"
  // (which 1), -1 when unknown.
  int32_t HistoryPredicate(int which, int32_t label);
  // The history predicate of a label, from the table when already resolved.
  int32_t History(int which, int32_t label) {
    if (static_cast<uint32_t>(label) < static_cast<uint32_t>(kNearLabels)) {
      const int32_t known = tables_.history[which][static_cast<size_t>(label)];
      if (known != kUnresolved) return known;
    }
    return HistoryPredicate(which, label);
  }

  // ---- the rows of the bounding walk ----
  // A walk over `positions` positions starts: no seeds yet.
  void BeginWalk(int32_t positions);
  // While on, the rows made are recorded for KeepSeeds.
  void RecordWalk(bool on) { walking_ = on; }
  // The walk is done with `position`: its rows stay where they are (the
  // next position's rows go after them) and seed that position later.
  void KeepSeeds(int32_t position);
  // A pass over the lattice that starts each position with the walk's rows.
  void BeginSeededPass() {
    Clear();
    position_ = -1;
    seeded_ = true;
  }
  void EndSeededPass() {
    seeded_ = false;
    rows_floor_ = 0;
  }

  // Model evaluations since construction (one per scored context).
  uint64_t Evaluations() const { return evaluations_; }

 private:
  static constexpr int32_t kUnresolved = -2;

  void PrepareModel(const CMEClassifier* classifier);
  void Clear();
  void ComputeBaseScores(int32_t index);
  // A new row for the context, evaluated with sample `index`.
  size_t EvaluateContext(int32_t second_previous, int32_t previous, int32_t index);
  // Fills the cached score of `outcome` in the row at `row`.
  double ScoreFromTerms(double& score, size_t row, int32_t outcome) {
    score = TermLog(RowProbability(row, outcome));
    return score;
  }
  // KnowsLabel and OutcomeOfLabel of a label from kNearLabels up.
  bool KnowsFarLabel(int32_t label) const;
  int32_t FarOutcomeOfLabel(int32_t label) const;
  // Doubles per cached context: terms, label scores, normaliser.
  size_t RowStride() const { return 2 * static_cast<size_t>(std::max(tables_.outcomes, 0)) + 1; }
  // Room for one more row in rows_; returns its offset.
  size_t NewRow();
  // Makes the row at `offset` the cached one of the context.
  void RegisterRow(int32_t second_previous, int32_t previous, size_t offset);
  void SeedCache(int32_t position);

  const NEIndexedSamples* samples_ = nullptr;
  NEModelTables tables_;

  int32_t position_ = -1;
  uint32_t stamp_ = 1;
  std::vector<uint32_t> context_stamp_;  // kContextLabels^2, stamp_ when evaluated
  std::vector<uint32_t> context_offset_;
  std::map<std::pair<int32_t, int32_t>, size_t> far_contexts_;
  // Per evaluated context, OutcomeCount terms of the normaliser, as many
  // cached label scores (kNotScored until asked for) and the normaliser.
  std::vector<double> rows_;
  size_t rows_used_ = 0;
  // The context of each row of rows_, in order.
  struct RowKey {
    int32_t second_previous;
    int32_t previous;
    size_t offset;
  };
  std::vector<RowKey> row_keys_;
  bool walking_ = false;  // in the bounding walk: row_keys_ records the rows made
  // Rows of the bounding walk per position (see KeepSeeds): keys
  // seed_keys_[first, first + count), whose offsets are in rows_.
  struct Seed {
    size_t first = 0;
    size_t count = 0;
  };
  std::vector<Seed> seeds_;
  std::vector<RowKey> seed_keys_;
  // The walk's rows stay in rows_ below this offset; the cache of a
  // position starts there.
  size_t rows_floor_ = 0;
  bool seeded_ = false;
  // Fixed-predicate sums of every sample of the clause (kept_stamp_[i] ==
  // clause_stamp_ when filled): the walk, the comparison and the search share them.
  uint32_t clause_stamp_ = 0;
  std::vector<uint32_t> kept_stamp_;
  std::vector<double> kept_base_;
  int32_t base_index_ = -1;              // sample whose fixed-predicate scores base_scores_ holds
  const double* base_scores_ = nullptr;  // in kept_base_, or base_ (zeros)
  std::vector<double> base_;
  uint64_t evaluations_ = 0;
};

}  // namespace verrin

#endif  // VERRIN_ENGINE_SCORE_CACHE_H_
