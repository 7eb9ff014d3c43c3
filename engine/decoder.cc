#include "engine/decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "engine/feature_extractor.h"
#include "engine/word_node.h"
#include "maxent/me_classifier.h"
#include "maxent/me_model.h"
#include "text/code_page.h"

namespace verrin {

namespace {

constexpr uint32_t Bits(std::initializer_list<int> labels) {
  uint32_t bits = 0;
  for (int label : labels) bits |= 1u << label;
  return bits;
}

// Labels that start a word; labels that only continue one (barred at the
// first character); labels that leave one open (barred at the last
// character).
constexpr uint32_t kWordStart =
    Bits({kLabelSingle, kLabelPersonBegin, kLabelWordBegin, kLabelLocationBegin, kLabelOrgBegin,
          kLabelPunctuation, kLabelClassWord, kLabelMdw});
constexpr uint32_t kContinuing =
    Bits({kLabelPersonInner, kLabelPersonEnd, kLabelWordInner, kLabelWordEnd, kLabelLocationInner,
          kLabelLocationEnd, kLabelOrgInner, kLabelOrgEnd});
constexpr uint32_t kOpen = Bits({kLabelPersonInner, kLabelWordBegin, kLabelWordInner,
                                 kLabelLocationInner, kLabelOrgBegin, kLabelOrgInner});

constexpr bool Has(uint32_t set, int32_t label) {
  return static_cast<uint32_t>(label) < 32 && ((set >> label) & 1u) != 0;
}

// Labels a word continues with after `previous` (value 1 in the table).
constexpr uint32_t ContinuationsOf(int32_t previous) {
  switch (previous) {
    case kLabelPersonBegin:
    case kLabelPersonInner:
      return Bits({kLabelPersonInner, kLabelPersonEnd});
    // A person or a location can be the first part of an organization.
    case kLabelPersonEnd:
    case kLabelLocationEnd:
      return Bits({kLabelOrgInner, kLabelOrgEnd});
    case kLabelWordBegin:
    case kLabelWordInner:
      return Bits({kLabelWordInner, kLabelWordEnd});
    case kLabelLocationBegin:
    case kLabelLocationInner:
      return Bits({kLabelLocationInner, kLabelLocationEnd});
    // An organization can hold a person or a location.
    case kLabelOrgBegin:
    case kLabelOrgInner:
      return Bits({kLabelPersonBegin, kLabelLocationBegin, kLabelOrgInner, kLabelOrgEnd});
    default:
      return 0;
  }
}

// Labels after which a word-start label may follow (value 0 in the table).
// A one-character person or location begin ends its name.
constexpr bool EndsWord(int32_t previous) {
  switch (previous) {
    case kLabelSingle:
    case kLabelPersonBegin:
    case kLabelPersonEnd:
    case kLabelWordEnd:
    case kLabelLocationBegin:
    case kLabelLocationEnd:
    case kLabelOrgEnd:
    case kLabelPunctuation:
    case kLabelClassWord:
    case kLabelMdw:
    case kLabelStart:
      return true;
    default:
      return false;
  }
}

constexpr int32_t kTableLabels = 64;

struct TransitionTable {
  int8_t value[kTableLabels][kTableLabels];
};

constexpr TransitionTable MakeTransitions() {
  TransitionTable table{};
  for (int32_t previous = 0; previous < kTableLabels; ++previous) {
    for (int32_t next = 0; next < kTableLabels; ++next) {
      int8_t v = -1;
      if (Has(ContinuationsOf(previous), next)) {
        v = 1;
      } else if (EndsWord(previous) && Has(kWordStart, next)) {
        v = 0;
      }
      table.value[previous][next] = v;
    }
  }
  return table;
}

constexpr TransitionTable kTransitions = MakeTransitions();
static_assert(kTransitions.value[kLabelPersonBegin][kLabelPersonInner] == 1 &&
                  kTransitions.value[kLabelPersonBegin][kLabelLocationBegin] == 0 &&
                  kTransitions.value[kLabelPersonInner][kLabelSingle] == -1 &&
                  kTransitions.value[kLabelStart][kLabelSingle] == 0,
              "transition table");

inline int32_t Transition(int32_t previous, int32_t next) {
  // Labels beyond the table are in no row and no column of the table.
  if (static_cast<uint32_t>(previous) >= static_cast<uint32_t>(kTableLabels) ||
      static_cast<uint32_t>(next) >= static_cast<uint32_t>(kTableLabels)) {
    return -1;
  }
  return kTransitions.value[previous][next];
}

inline bool Allowed(int32_t length, int32_t previous, int32_t label, int32_t index) {
  if (index == 0 && Has(kContinuing, label)) return false;
  if (index == length - 1 || label == kLabelEnd) {
    if (Has(kOpen, label)) return false;
    if (label == kLabelEnd) return true;
  }
  return Transition(previous, label) >= 0;
}

// The labels IsUnscoredLabel names, as a set.
constexpr uint64_t kUnscored = (1ull << kLabelNone) | (1ull << kLabelPunctuation) |
                               (1ull << kLabelClassWord) | (1ull << kLabelMdw) |
                               (1ull << kLabelStart) | (1ull << kLabelEnd);

inline bool Unscored(int32_t label) {
  return static_cast<uint32_t>(label) < 64 && ((kUnscored >> label) & 1u) != 0;
}

bool SameEdge(const NEEdge* a, const NEEdge* b) {
  return a != nullptr && b != nullptr && a->start == b->start && a->end == b->end &&
         a->label == b->label;
}

}  // namespace

int32_t LabelTransition(int32_t previous, int32_t next) { return Transition(previous, next); }

bool IsLabelAllowed(int32_t length, int32_t previous, int32_t label, int32_t index) {
  return Allowed(length, previous, label, index);
}

CNEDecoder::CNEDecoder()
    : context_stamp_(static_cast<size_t>(kContextLabels * kContextLabels), 0),
      context_offset_(static_cast<size_t>(kContextLabels * kContextLabels), 0) {}

CNEDecoder::~CNEDecoder() = default;

void CNEDecoder::InitPositions(int32_t n, int32_t start_label, int32_t end_label) {
  position_count_ = n + 2;
  const size_t count = static_cast<size_t>(position_count_);
  edges_by_end_ = edge_arena_.NewArray<NEEdge*>(count);
  edges_by_start_ = edge_arena_.NewArray<NEEdge*>(count);
  node_lists_ = node_arena_.NewArray<NENodeList>(count);

  NEPathNode* start = node_arena_.New<NEPathNode>();
  start->previous_label = kLabelNone;
  start->label = start_label;
  start->mark = -1;
  AddNode(0, start);

  NEEdge end;
  end.start = n;
  end.end = n + 1;
  end.label = end_label;
  AddEdge(end);
}

NEEdge* CNEDecoder::AddEdge(const NEEdge& edge) {
  NEEdge* copy = edge_arena_.New<NEEdge>(edge);
  copy->next_by_end = edges_by_end_[copy->end];
  edges_by_end_[copy->end] = copy;
  copy->next_by_start = edges_by_start_[copy->start];
  edges_by_start_[copy->start] = copy;
  return copy;
}

template <class LabelOf>
void CNEDecoder::BuildLatticeWith(const CUString& text, LabelOf label_of,
                                  const std::vector<int32_t>& label_bits,
                                  const std::vector<int32_t>& fallback_labels) {
  const int32_t n = text.Length();
  InitPositions(n, kLabelStart, kLabelEnd);
  edges_by_end_[n + 1]->index = n;  // the sentinel's sample scores the end edge

  NEEdge edge;
  for (int32_t i = 0; i < n; ++i) {
    edge.start = i;
    edge.end = i + 1;
    edge.index = i;
    const int32_t imposed = label_of(static_cast<size_t>(i));
    if (imposed != kLabelSingle) {
      edge.label = imposed;
      AddEdge(edge);
      continue;
    }
    const int32_t bits = label_bits[static_cast<size_t>(i)];
    if (bits != 0) {
      edge.label = kLabelSingle;
      AddEdge(edge);
      for (int32_t label = kLabelPersonBegin; label <= kLabelOrgEnd; ++label) {
        if ((bits & (1 << label)) == 0) continue;
        edge.label = label;
        AddEdge(edge);
      }
    } else {
      for (int32_t label : fallback_labels) {
        edge.label = label;
        AddEdge(edge);
      }
    }
  }
}

void CNEDecoder::BuildLattice(const CUString& text, const std::vector<CMESample>& samples,
                              const std::vector<int32_t>& label_bits,
                              const std::vector<int32_t>& fallback_labels) {
  BuildLatticeWith(
      text, [&samples](size_t i) { return ParseNarrowInt(samples[i].label.c_str()); }, label_bits,
      fallback_labels);
}

void CNEDecoder::BuildLattice(const CUString& text, const NEIndexedSamples& samples,
                              const std::vector<int32_t>& label_bits,
                              const std::vector<int32_t>& fallback_labels) {
  BuildLatticeWith(
      text, [&samples](size_t i) { return samples.labels[i]; }, label_bits, fallback_labels);
}

void CNEDecoder::AddEdgeCosts(const std::vector<int32_t>& reference, double cost,
                              const std::vector<int32_t>* groups) {
  auto group = [groups](int32_t label) {
    if (groups == nullptr || label < 0 || static_cast<size_t>(label) >= groups->size()) {
      return label;
    }
    return (*groups)[static_cast<size_t>(label)];
  };
  for (int32_t i = 0; i + 1 < position_count_; ++i) {
    for (NEEdge* edge = edges_by_start_[i]; edge != nullptr; edge = edge->next_by_start) {
      const size_t index = static_cast<size_t>(edge->index);
      if (edge->index >= 0 && index < reference.size() &&
          group(edge->label) != group(reference[index])) {
        edge->score += cost;
      }
    }
  }
}

void CNEDecoder::SetInput(const CUString& text, const std::vector<CMESample>& samples,
                          const CMEClassifier* model) {
  indexed_.Clear();
  const CMEModel* bound = model != nullptr ? &model->Model() : nullptr;
  for (const CMESample& sample : samples) {
    indexed_.labels.push_back(ParseNarrowInt(sample.label.c_str()));
    if (bound != nullptr) {
      for (const CUString& predicate : sample.predicates) {
        const int32_t p = bound->PredicateIndex(predicate);
        if (p >= 0) indexed_.predicates.push_back(p);
      }
    }
    indexed_.starts.push_back(static_cast<uint32_t>(indexed_.predicates.size()));
  }
  SetInput(text, indexed_, model);
}

void CNEDecoder::SetInput(const CUString& text, const NEIndexedSamples& samples,
                          const CMEClassifier* model) {
  text_ = &text;
  text_length_ = text.Length();
  samples_ = &samples;
  classifier_ = model;
  PrepareModel();
  ClearCache();
  cache_position_ = -1;
  base_index_ = -1;
}

void CNEDecoder::ForwardPass() {
  for (int32_t i = 1; i < position_count_; ++i) {
    for (NEEdge* edge = edges_by_end_[i]; edge != nullptr; edge = edge->next_by_end) {
      for (NEPathNode* node = node_lists_[edge->start].head; node != nullptr; node = node->next) {
        Extend(i, node, edge);
      }
    }
  }
}

void CNEDecoder::BoundedForwardPass() {
  bound_ = GreedyPathScore();
  // The walk filled the score cache of the last position only; start afresh.
  ClearCache();
  cache_position_ = -1;
  ForwardPass();
  bound_ = -std::numeric_limits<double>::infinity();
}

double CNEDecoder::GreedyPathScore() {
  const double none = -std::numeric_limits<double>::infinity();
  const NEPathNode* start = position_count_ > 0 ? node_lists_[0].head : nullptr;
  if (start == nullptr) return none;
  int32_t second_previous = start->previous_label;
  int32_t previous = start->label;
  double total = start->score;
  for (int32_t i = 1; i < position_count_; ++i) {
    if (i != cache_position_) {
      ClearCache();
      cache_position_ = i;
    }
    bool found = false;
    double best = none;
    int32_t best_label = 0;
    for (const NEEdge* edge = edges_by_end_[i]; edge != nullptr; edge = edge->next_by_end) {
      if (edge->start != i - 1 || !Allowed(text_length_, previous, edge->label, edge->index)) {
        continue;
      }
      double score = 0.0;
      if (!Unscored(edge->label) || !Unscored(previous) || !Unscored(second_previous)) {
        if (!KnowsLabel(edge->label)) continue;
        score = ScoreLabel(second_previous, previous, edge->label, edge->index);
      }
      const double candidate = total + score + edge->score;
      if (!found || candidate > best) {
        found = true;
        best = candidate;
        best_label = edge->label;
      }
    }
    if (!found) return none;
    second_previous = previous;
    previous = best_label;
    total = best;
  }
  return total;
}

void CNEDecoder::Extend(int32_t position, NEPathNode* node, NEEdge* edge) {
  if (position != cache_position_) {
    ClearCache();
    cache_position_ = position;
  }
  if (!Allowed(text_length_, node->label, edge->label, edge->index)) return;

  double score = 0.0;
  if (!Unscored(edge->label) || !Unscored(node->label) || !Unscored(node->previous_label)) {
    const int32_t label = edge->label;
    const bool known =
        static_cast<uint32_t>(label) < static_cast<uint32_t>(kNearLabels) && !tables_.known.empty()
            ? tables_.known[static_cast<size_t>(label)] != 0
            : KnowsLabel(label);
    if (!known) return;
    // Below the bound the exact score cannot matter (see BoundedForwardPass).
    if (node->score >= bound_)
      score = ScoreLabel(node->previous_label, node->label, label, edge->index);
  }
  const double total = node->score + score + edge->score;

  // Nodes that extend the same previous edge arrive one after another, so the
  // head is the only node this extension can share its state with.
  NEPathNode* head = node_lists_[position].head;
  if (head != nullptr && head->previous != nullptr && SameEdge(node->edge, head->previous->edge) &&
      head->label == edge->label && edge->label != kLabelEnd) {
    if (total > head->score) {
      head->score = total;
      head->edge = edge;
      head->previous = node;
    }
    return;
  }

  NEPathNode* fresh = node_arena_.New<NEPathNode>();
  fresh->edge = edge;
  fresh->previous = node;
  fresh->previous_label = node->label;
  fresh->label = edge->label;
  fresh->score = total;
  AddNode(position, fresh);
}

void CNEDecoder::AddNode(int32_t position, NEPathNode* node) {
  NENodeList& list = node_lists_[position];
  node->next = list.head;
  list.head = node;
  const float score = static_cast<float>(node->score);
  if (list.count == 0 || score > list.best) list.best = score;
  ++list.count;
}

bool CNEDecoder::BestPath(NEPath& path) const {
  if (position_count_ < 2) return false;
  const NEPathNode* best = node_lists_[position_count_ - 1].head;
  if (best == nullptr) return false;
  for (const NEPathNode* node = best->next; node != nullptr; node = node->next) {
    if (node->score > best->score) best = node;
  }
  size_t count = 0;
  for (const NEPathNode* node = best->previous; node != nullptr && node->edge != nullptr;
       node = node->previous) {
    ++count;
  }
  path.score = best->score;
  path.edges.assign(count, NEEdge());
  size_t slot = count;
  for (const NEPathNode* node = best->previous; node != nullptr && node->edge != nullptr;
       node = node->previous) {
    NEEdge& copy = path.edges[--slot];
    copy = *node->edge;
    copy.next_by_end = nullptr;
    copy.next_by_start = nullptr;
  }
  return true;
}

void CNEDecoder::Release() {
  node_arena_.Release();
  edge_arena_.Release();
  edges_by_end_ = nullptr;
  edges_by_start_ = nullptr;
  node_lists_ = nullptr;
  position_count_ = 0;
}

// ---- scoring ----

void CNEDecoder::PrepareModel() {
  const CMEModel* model = classifier_ != nullptr ? &classifier_->Model() : nullptr;
  if (model == nullptr) {
    tables_ = ModelTables();
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
  tables_ = ModelTables();
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
  tables_.known.assign(kNearLabels, 0);
  for (int32_t label = 0; label < kNearLabels; ++label) {
    tables_.known[static_cast<size_t>(label)] = model->FindOutcome(DecimalText(label)) >= 0;
  }
  tables_.history[0].assign(kNearLabels, kUnresolved);
  tables_.history[1].assign(kNearLabels, kUnresolved);
}

bool CNEDecoder::KnowsLabel(int32_t label) {
  if (tables_.model == nullptr) return false;
  if (label >= 0 && label < kNearLabels) return tables_.known[static_cast<size_t>(label)] != 0;
  return tables_.model->FindOutcome(DecimalText(label)) >= 0;
}

int32_t CNEDecoder::OutcomeOfLabel(int32_t label) const {
  if (label >= 0 && label < kNearLabels) {
    return tables_.label_outcome.empty() ? -1 : tables_.label_outcome[static_cast<size_t>(label)];
  }
  auto it = tables_.far_label_outcome.find(label);
  return it == tables_.far_label_outcome.end() ? -1 : it->second;
}

int32_t CNEDecoder::HistoryPredicate(int which, int32_t label) {
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

void CNEDecoder::ClearCache() {
  if (++stamp_ == 0) {
    // The stamp wrapped: forget every old mark for real.
    std::fill(context_stamp_.begin(), context_stamp_.end(), 0u);
    stamp_ = 1;
  }
  far_contexts_.clear();
  rows_.clear();
}

void CNEDecoder::ComputeBaseScores(int32_t index) {
  const CMEModel& model = *tables_.model;
  base_.assign(static_cast<size_t>(tables_.outcomes), 0.0);
  base_index_ = index;
  if (samples_ == nullptr || index < 0 || static_cast<size_t>(index) >= samples_->Size()) return;
  const int32_t* predicates = samples_->predicates.data();
  const int32_t* predicate = predicates + samples_->starts[index];
  const int32_t* end = predicates + samples_->starts[index + 1];
  // The rows of the next sample are fetched while this one is summed.
  if (static_cast<size_t>(index) + 1 < samples_->Size()) {
    const int32_t* next_end = predicates + samples_->starts[index + 2];
    for (const int32_t* next = end; next != next_end; ++next) model.PrefetchRow(*next);
  }
  for (; predicate != end; ++predicate) model.AddPredicateScores(*predicate, base_.data());
}

size_t CNEDecoder::ContextRow(int32_t second_previous, int32_t previous, int32_t index) {
  const bool near = second_previous >= 0 && second_previous < kContextLabels && previous >= 0 &&
                    previous < kContextLabels;
  size_t slot = 0;
  if (near) {
    slot = static_cast<size_t>(second_previous * kContextLabels + previous);
    if (context_stamp_[slot] == stamp_) return context_offset_[slot];
  } else {
    auto it = far_contexts_.find({second_previous, previous});
    if (it != far_contexts_.end()) return it->second;
  }

  // The fixed predicates come before the two history predicates in the
  // sample, so their partial sums are shared by every context of the
  // character; adding the history rows afterwards keeps the model's order of
  // additions and therefore its exact results.
  if (base_index_ != index) ComputeBaseScores(index);
  const size_t offset = rows_.size();
  const size_t outcomes = static_cast<size_t>(tables_.outcomes);
  rows_.insert(rows_.end(), base_.begin(), base_.end());
  rows_.insert(rows_.end(), outcomes, kNotScored);
  rows_.push_back(0.0);
  double* scores = rows_.data() + offset;
  const CMEModel& model = *tables_.model;
  // Interned once per label value and model.
  const int32_t pv1 = HistoryPredicate(0, previous);
  if (pv1 >= 0) model.AddPredicateScores(pv1, scores);
  const int32_t pv2 = HistoryPredicate(1, second_previous);
  if (pv2 >= 0) model.AddPredicateScores(pv2, scores);
  // The probabilities themselves (term / normaliser) are only divided out
  // for the labels that are asked for.
  if (outcomes > 0) scores[2 * outcomes] = model.ScoresToTerms(scores);
  ++evaluations_;

  if (near) {
    context_stamp_[slot] = stamp_;
    context_offset_[slot] = static_cast<uint32_t>(offset);
  } else {
    far_contexts_[{second_previous, previous}] = offset;
  }
  return offset;
}

double CNEDecoder::ScoreLabel(int32_t second_previous, int32_t previous, int32_t label,
                              int32_t index) {
  if (tables_.model == nullptr) return 0.0;
  const size_t row = ContextRow(second_previous, previous, index);
  const int32_t outcome = OutcomeOfLabel(label);
  if (outcome < 0) return 0.0;
  const size_t outcomes = static_cast<size_t>(tables_.outcomes);
  double& score = rows_[row + outcomes + static_cast<size_t>(outcome)];
  if (score != kNotScored) return score;
  // The division and the floor of the model's own probabilities.
  double probability = rows_[row + static_cast<size_t>(outcome)] / rows_[row + 2 * outcomes];
  if (!(probability > kProbabilityFloor)) probability = kProbabilityFloor;
  score = std::log(probability);
  return score;
}

}  // namespace verrin
