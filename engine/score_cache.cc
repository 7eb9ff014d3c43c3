#include "engine/score_cache.h"

#include "engine/feature_extractor.h"
#include "maxent/me_classifier.h"
#include "maxent/me_model.h"
#include "maxent/me_sample.h"
#include "text/code_page.h"

namespace verrin {

CNEScoreCache::CNEScoreCache()
    : context_stamp_(static_cast<size_t>(kContextLabels * kContextLabels), 0),
      context_offset_(static_cast<size_t>(kContextLabels * kContextLabels), 0) {}

bool CNEScoreCache::Bind(const NEIndexedSamples& samples, const CMEClassifier* model) {
  samples_ = &samples;
  const CMEModel* before = tables_.model;
  const int32_t outcomes = tables_.outcomes, predicates = tables_.predicates,
                features = tables_.features;
  PrepareModel(model);
  const bool fresh = model == nullptr || tables_.model != before || tables_.outcomes != outcomes ||
                     tables_.predicates != predicates || tables_.features != features;
  rows_floor_ = 0;
  seeded_ = false;
  walking_ = false;
  Clear();
  position_ = -1;
  base_index_ = -1;
  if (++clause_stamp_ == 0) {
    std::fill(kept_stamp_.begin(), kept_stamp_.end(), 0u);
    clause_stamp_ = 1;
  }
  return fresh;
}

void CNEScoreCache::PrepareModel(const CMEClassifier* classifier) {
  const CMEModel* model = classifier != nullptr ? &classifier->Model() : nullptr;
  if (model == nullptr) {
    tables_ = NEModelTables();
    return;
  }
  // A reload of the same holder changes at least one of these sizes.
  const int32_t outcomes = model->OutcomeCount();
  const int32_t predicates = model->PredicateCount();
  const int32_t features = model->FeatureCount();
  if (tables_.model == model && tables_.outcomes == outcomes && tables_.predicates == predicates &&
      tables_.features == features) {
    return;
  }
  tables_ = NEModelTables();
  tables_.model = model;
  tables_.outcomes = outcomes;
  tables_.predicates = predicates;
  tables_.features = features;
  tables_.label_outcome.assign(kNearLabels, -1);
  for (int32_t j = 0; j < outcomes; ++j) {
    // A later outcome with the same number takes over the label.
    const int32_t label = ParseNarrowInt(model->GetOutcome(j).c_str());
    if (label >= 0 && label < kNearLabels) {
      tables_.label_outcome[static_cast<size_t>(label)] = j;
    } else {
      tables_.far_label_outcome[label] = j;
    }
  }
  tables_.outcome_label.assign(static_cast<size_t>(outcomes), -1);
  for (int32_t j = 0; j < outcomes; ++j) {
    tables_.outcome_label[static_cast<size_t>(j)] = ParseNarrowInt(model->GetOutcome(j).c_str());
  }
  tables_.known.assign(kNearLabels, 0);
  for (int32_t label = 0; label < kNearLabels; ++label) {
    tables_.known[static_cast<size_t>(label)] = model->FindOutcome(DecimalText(label)) >= 0;
  }
  tables_.history[0].assign(kNearLabels, kUnresolved);
  tables_.history[1].assign(kNearLabels, kUnresolved);
}

bool CNEScoreCache::KnowsFarLabel(int32_t label) const {
  return tables_.model->FindOutcome(DecimalText(label)) >= 0;
}

int32_t CNEScoreCache::FarOutcomeOfLabel(int32_t label) const {
  auto it = tables_.far_label_outcome.find(label);
  return it == tables_.far_label_outcome.end() ? -1 : it->second;
}

int32_t CNEScoreCache::HistoryPredicate(int which, int32_t label) {
  if (static_cast<uint32_t>(label) < static_cast<uint32_t>(kNearLabels)) {
    const int32_t known = tables_.history[which][static_cast<size_t>(label)];
    if (known != kUnresolved) return known;
  }
  auto lookup = [&]() {
    CMESample history;
    AddLabelHistory(history, which == 0 ? label : 0, which == 0 ? 0 : label);
    return tables_.model->PredicateIndex(history.predicates[static_cast<size_t>(which)]);
  };
  if (label < 0 || label >= kNearLabels) return lookup();
  int32_t& slot = tables_.history[which][static_cast<size_t>(label)];
  if (slot == kUnresolved) slot = lookup();
  return slot;
}

void CNEScoreCache::Clear() {
  if (++stamp_ == 0) {
    // The stamp wrapped: forget every old mark for real.
    std::fill(context_stamp_.begin(), context_stamp_.end(), 0u);
    stamp_ = 1;
  }
  far_contexts_.clear();
  rows_used_ = rows_floor_;
  row_keys_.clear();
}

void CNEScoreCache::ComputeBaseScores(int32_t index) {
  const CMEModel& model = *tables_.model;
  const size_t outcomes = static_cast<size_t>(tables_.outcomes);
  base_index_ = index;
  if (samples_ == nullptr || index < 0 || static_cast<size_t>(index) >= samples_->Size()) {
    base_.assign(outcomes, 0.0);
    base_scores_ = base_.data();
    return;
  }
  const size_t at = static_cast<size_t>(index);
  if (kept_stamp_.size() < samples_->Size()) {
    kept_stamp_.resize(samples_->Size(), 0u);
    kept_base_.resize(samples_->Size() * outcomes);
  }
  if (kept_base_.size() < kept_stamp_.size() * outcomes) {
    kept_base_.resize(kept_stamp_.size() * outcomes);
  }
  // The sums are made in place and read from there until the next call.
  double* kept = kept_base_.data() + at * outcomes;
  base_scores_ = kept;
  if (kept_stamp_[at] == clause_stamp_) return;
  std::fill(kept, kept + outcomes, 0.0);
  const int32_t* predicates = samples_->predicates.data();
  const int32_t* predicate = predicates + samples_->starts[index];
  const int32_t* end = predicates + samples_->starts[index + 1];
  // The rows of the next sample are fetched while this one is summed.
  if (static_cast<size_t>(index) + 1 < samples_->Size()) {
    const int32_t* next_end = predicates + samples_->starts[index + 2];
    for (const int32_t* next = end; next != next_end; ++next) model.PrefetchRow(*next);
  }
  for (; predicate != end; ++predicate) model.AddPredicateScores(*predicate, kept);
  kept_stamp_[at] = clause_stamp_;
}

inline size_t CNEScoreCache::NewRow() {
  const size_t offset = rows_used_;
  const size_t end = offset + RowStride();
  if (rows_.size() < end) rows_.resize(std::max(end, 2 * rows_.size()));
  rows_used_ = end;
  return offset;
}

inline void CNEScoreCache::RegisterRow(int32_t second_previous, int32_t previous, size_t offset) {
  // Only the walk hands its rows on (KeepSeeds).
  if (walking_) row_keys_.push_back(RowKey{second_previous, previous, offset});
  if (second_previous >= 0 && second_previous < kContextLabels && previous >= 0 &&
      previous < kContextLabels) {
    const size_t slot = static_cast<size_t>(second_previous * kContextLabels + previous);
    context_stamp_[slot] = stamp_;
    context_offset_[slot] = static_cast<uint32_t>(offset);
  } else {
    far_contexts_[{second_previous, previous}] = offset;
  }
}

size_t CNEScoreCache::EvaluateContext(int32_t second_previous, int32_t previous, int32_t index) {
  // The fixed predicates come before the two history predicates in the
  // sample, so their partial sums are shared by every context of the
  // character; adding the history rows afterwards keeps the model's order of
  // additions and therefore its exact results.
  if (base_index_ != index) ComputeBaseScores(index);
  const size_t outcomes = static_cast<size_t>(tables_.outcomes);
  const size_t offset = NewRow();
  double* scores = rows_.data() + offset;
  // One pass for the row's fixed sums and its unscored labels (a row is
  // short: a call to memcpy costs more than the copy).
  for (size_t o = 0; o < outcomes; ++o) {
    scores[o] = base_scores_[o];
    scores[outcomes + o] = kNotScored;
  }
  scores[2 * outcomes] = 0.0;
  const CMEModel& model = *tables_.model;
  // Interned once per label value and model.
  const int32_t pv1 = History(0, previous);
  if (pv1 >= 0) model.AddPredicateScores(pv1, scores);
  const int32_t pv2 = History(1, second_previous);
  if (pv2 >= 0) model.AddPredicateScores(pv2, scores);
  // The probabilities themselves (term / normaliser) are only divided out
  // for the labels that are asked for.
  if (outcomes > 0) scores[2 * outcomes] = model.ScoresToTerms(scores);
  ++evaluations_;
  RegisterRow(second_previous, previous, offset);
  return offset;
}

double CNEScoreCache::ScoreLabel(int32_t second_previous, int32_t previous, int32_t label,
                                 int32_t index) {
  if (tables_.model == nullptr) return 0.0;
  return RowScore(ContextRow(second_previous, previous, index), OutcomeOfLabel(label));
}

void CNEScoreCache::BeginWalk(int32_t positions) {
  seeds_.assign(static_cast<size_t>(std::max(positions, 0)), Seed());
  seed_keys_.clear();
  rows_floor_ = 0;
}

void CNEScoreCache::KeepSeeds(int32_t position) {
  // The rows stay where the walk made them: the next position's cache starts
  // after them.
  rows_floor_ = rows_used_;
  if (row_keys_.empty()) return;
  Seed& seed = seeds_[static_cast<size_t>(position)];
  seed.first = seed_keys_.size();
  seed.count = row_keys_.size();
  seed_keys_.insert(seed_keys_.end(), row_keys_.begin(), row_keys_.end());
}

void CNEScoreCache::SeedCache(int32_t position) {
  if (!seeded_ || static_cast<size_t>(position) >= seeds_.size()) return;
  const Seed& seed = seeds_[static_cast<size_t>(position)];
  for (size_t k = 0; k < seed.count; ++k) {
    const RowKey& key = seed_keys_[seed.first + k];
    RegisterRow(key.second_previous, key.previous, key.offset);
  }
}

}  // namespace verrin
