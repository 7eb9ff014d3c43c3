#include "engine/decoder.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "engine/feature_extractor.h"
#include "engine/word_node.h"
#include "maxent/me_classifier.h"
#include "maxent/me_model.h"
#include "maxent/me_scores.h"
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

// Labels below 64 that may follow each label (the end label follows any).
struct FollowerTable {
  uint64_t bits[kTableLabels];
};

constexpr FollowerTable MakeFollowers() {
  FollowerTable table{};
  for (int32_t previous = 0; previous < kTableLabels; ++previous) {
    uint64_t bits = uint64_t{1} << kLabelEnd;
    for (int32_t next = 0; next < kTableLabels; ++next) {
      if (kTransitions.value[previous][next] >= 0) bits |= uint64_t{1} << next;
    }
    table.bits[previous] = bits;
  }
  return table;
}

constexpr FollowerTable kFollowers = MakeFollowers();

// Labels below 64 that each label may follow by the transition rule (the
// bits of its column of the table).
constexpr FollowerTable MakePredecessors() {
  FollowerTable table{};
  for (int32_t next = 0; next < kTableLabels; ++next) {
    uint64_t bits = 0;
    for (int32_t previous = 0; previous < kTableLabels; ++previous) {
      if (kTransitions.value[previous][next] >= 0) bits |= uint64_t{1} << previous;
    }
    table.bits[next] = bits;
  }
  return table;
}

constexpr FollowerTable kPredecessors = MakePredecessors();
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

// Punctuation, class-word and mdw placeholders are fixed by the input: such
// a character has no other candidate, so its label is certain. A model
// trained without such words (the shipped one has no mdw outcome) scores it
// 0.0 instead of ending every path through the clause.
inline bool FixedByInput(int32_t label) {
  return label == kLabelPunctuation || label == kLabelClassWord || label == kLabelMdw;
}

// Less than every label score: ln of the probability floor is -34.54.
constexpr double kLowestStep = 35.0;

// Sums and comparisons of doubles are made on doubles, not on wider
// registers (x87), so that a sum compared is the sum kept.
constexpr bool kDoublesAsDoubles = FLT_EVAL_METHOD == 0;

inline bool SameEdge(const NEEdge* a, const NEEdge* b) {
  if (a == nullptr || b == nullptr) return false;
  return a == b || (a->start == b->start && a->end == b->end && a->label == b->label);
}

}  // namespace

int32_t LabelTransition(int32_t previous, int32_t next) { return Transition(previous, next); }

bool IsLabelAllowed(int32_t length, int32_t previous, int32_t label, int32_t index) {
  return Allowed(length, previous, label, index);
}

CNEDecoder::CNEDecoder()
    : context_stamp_(static_cast<size_t>(kContextLabels * kContextLabels), 0),
      context_offset_(static_cast<size_t>(kContextLabels * kContextLabels), 0) {
  std::fill(std::begin(label_slot_), std::end(label_slot_), -1);
}

CNEDecoder::~CNEDecoder() = default;

void CNEDecoder::InitPositions(int32_t n, int32_t start_label, int32_t end_label) {
  position_count_ = n + 2;
  backward_edges_ = false;
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
  if (copy->start >= copy->end) backward_edges_ = true;
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
      // The set bits of labels 2..13, lowest first.
      constexpr uint32_t kNameLabels =
          ((uint32_t{1} << (kLabelOrgEnd + 1)) - 1) & ~((uint32_t{1} << kLabelPersonBegin) - 1);
      for (uint32_t rest = static_cast<uint32_t>(bits) & kNameLabels; rest != 0; rest &= rest - 1) {
        edge.label = static_cast<int32_t>(__builtin_ctz(rest));
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
  rows_floor_ = 0;
  seeded_ = false;
  walking_ = false;
  ClearCache();
  cache_position_ = -1;
  base_index_ = -1;
  if (++clause_stamp_ == 0) {
    std::fill(kept_stamp_.begin(), kept_stamp_.end(), 0u);
    clause_stamp_ = 1;
  }
}

[[gnu::always_inline]] inline void CNEDecoder::ExtendAll(int32_t position, NEEdge* edge) {
  const int32_t label = edge->label;
  const int32_t index = edge->index;
  // The parts of the position rules that do not depend on the node.
  if (index == 0 && Has(kContinuing, label)) return;
  if ((index == text_length_ - 1 || label == kLabelEnd) && Has(kOpen, label)) return;
  const bool any_previous = label == kLabelEnd;
  const bool label_scored = !Unscored(label);
  const bool known =
      static_cast<uint32_t>(label) < static_cast<uint32_t>(kNearLabels) && !tables_.known.empty()
          ? tables_.known[static_cast<size_t>(label)] != 0
          : KnowsLabel(label);
  if (label_scored && !known) return;
  const int32_t outcome = known ? OutcomeOfLabel(label) : -1;

  // The nodes at the edge's start come in runs of one label (those of one
  // edge); runs whose label the transition rule bars are passed over whole.
  NENodeList& list = node_lists_[position];
  if (edge->start >= position) {
    // The list may still grow: no runs.
    for (NEPathNode* node = node_lists_[edge->start].head; node != nullptr; node = node->next) {
      if (!any_previous && Transition(node->label, label) < 0) continue;
      ExtendNode(list, position, node, edge, label_scored, known, outcome, index);
    }
    return;
  }
  if (edge->start != runs_start_) {
    BuildRuns(edge->start, position);
  }
  // Transition(previous, label) >= 0 exactly for the previous labels below
  // 64 whose bit is set here (none when the label is beyond the table).
  const uint64_t predecessors = static_cast<uint32_t>(label) < static_cast<uint32_t>(kTableLabels)
                                    ? kPredecessors.bits[label]
                                    : 0;
  // No live node may precede the label: nothing to extend.
  if (!any_previous && (predecessors & live_labels_) == 0) return;
  // Dead nodes, and runs of them, are left out: see BoundedForwardPass for
  // why no result depends on them.
  for (const LiveRun& run : live_runs_) {
    if (!any_previous && (static_cast<uint32_t>(run.label) >= static_cast<uint32_t>(kTableLabels) ||
                          ((predecessors >> run.label) & 1u) == 0)) {
      continue;
    }
    NEPathNode* const* nodes = live_nodes_.data() + run.first;
    for (uint32_t k = 0; k < run.count; ++k) {
      ExtendNode(list, position, nodes[k], edge, label_scored, known, outcome, index);
    }
  }
}

void CNEDecoder::ForwardPass() {
  runs_start_ = -1;
  for (int32_t i = 1; i < position_count_; ++i) {
    if (i != cache_position_) {
      ClearCache();
      cache_position_ = i;
      SeedCache(i);
    }
    unmade_ = false;
    for (NEEdge* edge = edges_by_end_[i]; edge != nullptr; edge = edge->next_by_end) {
      ExtendAll(i, edge);
    }
  }
  unmade_ = false;
}

void CNEDecoder::BuildRuns(int32_t start, int32_t position) {
  runs_start_ = start;
  live_runs_.clear();
  live_labels_ = 0;
  const NENodeList& list = node_lists_[start];
  size_t room = live_nodes_.size();
  if (room < static_cast<size_t>(std::max(list.count, 0))) {
    room = static_cast<size_t>(list.count);
    live_nodes_.resize(room);
  }
  NEPathNode** live = live_nodes_.data();
  uint32_t kept = 0;
  // Live nodes go into live_nodes_ in list order, one LiveRun per group of
  // consecutive live nodes with one label (a run whose nodes all died leaves
  // no trace, and two runs of one label that only dead nodes separate become
  // one: ExtendAll treats both alike).
  auto keep = [&](NEPathNode* node) {
    if (kept == room) {
      room = 2 * room + 16;
      live_nodes_.resize(room);
      live = live_nodes_.data();
    }
    if (kept == 0 || live_runs_.back().label != node->label) {
      live_runs_.push_back(LiveRun{node->label, kept, 0});
      if (static_cast<uint32_t>(node->label) < static_cast<uint32_t>(kTableLabels)) {
        live_labels_ |= uint64_t{1} << node->label;
      }
    }
    live[kept++] = node;
    ++live_runs_.back().count;
  };
  if (!compare_nodes_ || !tables_.bound_usable ||
      static_cast<size_t>(start) >= position_safe_.size() ||
      position_safe_[static_cast<size_t>(start)] == 0) {
    for (NEPathNode* node = list.head; node != nullptr; node = node->next) {
      if (node->score >= bound_) keep(node);
    }
    return;
  }
  // A node n1 (labels x1 then y1) is not on any best path when another node
  // n2 (x2, y2) of the position scores more than n1 by more than the next two
  // steps can favour n1, and every edge that may follow y1 may follow y2:
  // each path through n1 then scores less than n2 followed by the same
  // labels, whose contexts are the same from the third step on. The second
  // steps differ by at most what SecondStepRow gives: the largest of
  // h2_y1 - h2_y2 over the labels that may come there, less its smallest
  // over every outcome. The first step is bounded twice: by the spread of
  // (h1_y1 + h2_x1) - (h1_y2 + h2_x2), from the tables, and, where that is
  // not enough, by the gain FirstStepGain finds from n2's own row. With
  // y1 = y2 both go into the same nodes, where n1 never wins a merge.
  const size_t labels = static_cast<size_t>(kContextLabels);
  const uint64_t next = next_labels_[static_cast<size_t>(start)];
  auto eligible = [](const NEPathNode* node) {
    return node->label >= 0 && node->label < kContextLabels && !Unscored(node->label) &&
           node->previous_label >= 0 && node->previous_label < kContextLabels;
  };
  // Each node is compared with the best node of each label only, so the
  // work stays linear in the nodes of the position; the best of them first
  // (the first in list order of equals). The nodes that may live are read into
  // run_nodes_ on the way.
  // list.count is the number of nodes in the list.
  if (run_nodes_.size() < room) run_nodes_.resize(room);
  NEPathNode** read = run_nodes_.data();
  size_t count = 0;
  strongest_.clear();
  for (NEPathNode* other = list.head; other != nullptr; other = other->next) {
    // Only the nodes that score at least the bound can live (kept without
    // a branch); every node can be the best of its label.
    const double score = other->score;
    read[count] = other;
    count += score >= bound_ ? 1 : 0;
    if (!eligible(other)) continue;
    int32_t& slot = label_slot_[static_cast<size_t>(other->label)];
    if (slot < 0) {
      slot = static_cast<int32_t>(strongest_.size());
      strongest_.push_back(StrongNode{score, other, other->label, other->previous_label});
    } else if (score > strongest_[static_cast<size_t>(slot)].score) {
      strongest_[static_cast<size_t>(slot)] =
          StrongNode{score, other, other->label, other->previous_label};
    }
  }
  for (const StrongNode& strong : strongest_) label_slot_[static_cast<size_t>(strong.label)] = -1;
  SortStrongest();
  // The rows of the best nodes belong to the cache of this position only.
  const bool rows_here = position == start + 1 && position == cache_position_;
  const size_t outcomes = static_cast<size_t>(tables_.outcomes);
  strong_ready_.assign(strongest_.size(), 0);
  if (strong_rows_.size() < strongest_.size() * 2 * outcomes) {
    strong_rows_.resize(strongest_.size() * 2 * outcomes);
  }
  if (gain_row_.size() < outcomes) gain_row_.resize(outcomes);
  const StrongNode* strongest = strongest_.data();
  const size_t strong_count = strongest_.size();
  const double* dominance = tables_.dominance.data();
  const double* history_spread = tables_.history_spread.data();
  const double margin = bound_margin_;
  uint64_t listed = 0;  // labels whose entry of follower_outcomes_ is filled
  // The second step can be the end only from the last character.
  second_end_ = static_cast<size_t>(start) + 1 < next_labels_.size() &&
                ((next_labels_[static_cast<size_t>(start) + 1] >> kLabelEnd) & 1u) != 0;
  for (size_t i = 0; i < count; ++i) {
    NEPathNode* node = read[i];
    if (!eligible(node)) {
      keep(node);
      continue;
    }
    const double score = node->score;
    const size_t y = static_cast<size_t>(node->label);
    const uint64_t followers = kFollowers.bits[y] & next;
    // The first better node that every label that may follow this one may
    // follow (NaN scores are passed over, as the comparisons below do).
    size_t k = 0;
    for (; k < strong_count && !(strongest[k].score <= score); ++k) {
      if ((followers & ~kFollowers.bits[strongest[k].label]) == 0) break;
    }
    if (k == strong_count || strongest[k].score <= score) {
      keep(node);
      continue;
    }
    const size_t x = static_cast<size_t>(node->previous_label);
    const double* spread = dominance + x * labels;
    const double* first = history_spread + y * labels;
    const double* second_step = SecondStepRow(y);
    bool summed = false;  // gain_row_ holds h1_y1 + h2_x1
    bool dead = false;
    for (; k < strong_count; ++k) {
      const StrongNode& other = strongest[k];
      if (other.score <= score) break;  // so are the rest
      const size_t w = static_cast<size_t>(other.label);
      if ((followers & ~kFollowers.bits[w]) != 0) continue;
      const size_t v = static_cast<size_t>(other.previous_label);
      const double second = second_step[w];
      if (score + first[w] + spread[v] + second + margin < other.score) {
        dead = true;
        break;
      }
      if (!rows_here) continue;
      // What the first step may still give n1 for n1 to live.
      const double room_left = other.score - score - margin - second - kGainMargin;
      if (!(room_left > 0.0)) continue;
      if (!summed) {
        const double* h1 = tables_.history_rows[0].data() + y * outcomes;
        const double* h2 = tables_.history_rows[1].data() + x * outcomes;
        for (size_t o = 0; o < outcomes; ++o) gain_row_[o] = h1[o] + h2[o];
        summed = true;
      }
      if ((listed >> y & 1u) == 0) {
        ListFollowerOutcomes(static_cast<int32_t>(y), followers);
        listed |= uint64_t{1} << y;
      }
      if (FirstStepGain(gain_row_.data(), static_cast<int32_t>(y), k, start) < room_left) {
        dead = true;
        break;
      }
    }
    if (!dead) keep(node);
  }
}

void CNEDecoder::SortStrongest() {
  // Best first; an insertion sort, which keeps equals in list order (the
  // order std::sort gives so few keys, which it sorts by insertion too).
  StrongNode* strong = strongest_.data();
  const size_t count = strongest_.size();
  if (count > 16) {
    std::sort(strongest_.begin(), strongest_.end(),
              [](const StrongNode& a, const StrongNode& b) { return a.score > b.score; });
    return;
  }
  for (size_t i = 1; i < count; ++i) {
    const StrongNode moving = strong[i];
    size_t j = i;
    for (; j > 0 && moving.score > strong[j - 1].score; --j) strong[j] = strong[j - 1];
    strong[j] = moving;
  }
}

const double* CNEDecoder::FillSecondStepRow(size_t y1) {
  const size_t labels = static_cast<size_t>(kContextLabels);
  const size_t row = (second_end_ ? labels : 0) + y1;
  double* known = tables_.second_step.data() + row * labels;
  // With the same label c after both nodes, the contexts of the second step
  // differ in "pv2lb=" only: d = h2_y1 - h2_y2. Its label z scores
  // d_z - (ln Z1 - ln Z2) more for n1, and ln Z1 - ln Z2 >= min d over
  // every outcome; z is a label that may come two steps after y1 (the end
  // only where the second step leaves the last character; nothing comes
  // after the end).
  uint64_t second = 0;
  for (uint64_t rest = kFollowers.bits[y1] & ~(uint64_t{1} << kLabelEnd); rest != 0;
       rest &= rest - 1) {
    second |= kFollowers.bits[__builtin_ctzll(rest)];
  }
  if (!second_end_) second &= ~(uint64_t{1} << kLabelEnd);
  const size_t outcomes = static_cast<size_t>(tables_.outcomes);
  const double* h1 = tables_.history_rows[1].data() + y1 * outcomes;
  for (size_t y2 = 0; y2 < labels; ++y2) {
    const double* h2 = tables_.history_rows[1].data() + y2 * outcomes;
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (size_t o = 0; o < outcomes; ++o) {
      const double d = h1[o] - h2[o];
      low = std::min(low, d);
      // An outcome whose number is no label below 64 counts as any label.
      const int32_t label = tables_.outcome_label[o];
      if (static_cast<uint32_t>(label) >= static_cast<uint32_t>(kContextLabels) ||
          ((second >> label) & 1u) != 0) {
        high = std::max(high, d);
      }
    }
    // At least 0: the floor of the probabilities only narrows a difference.
    known[y2] = std::max(0.0, high - low) * (1.0 + 1e-9) + 1e-9 + 1e-11 * kBoundScale;
  }
  tables_.second_ready[row] = 1;
  return known;
}

void CNEDecoder::ListFollowerOutcomes(int32_t label, uint64_t followers) {
  FollowerOutcomes& list = follower_outcomes_[static_cast<size_t>(label)];
  list.count = 0;
  for (uint64_t rest = followers; rest != 0; rest &= rest - 1) {
    const size_t next = static_cast<size_t>(__builtin_ctzll(rest));
    // A label no outcome scores adds 0 to both paths.
    if (tables_.known[next] == 0) continue;
    const int32_t outcome = tables_.label_outcome[next];
    if (outcome >= 0) list.outcome[list.count++] = static_cast<uint8_t>(outcome);
  }
}

double CNEDecoder::FirstStepGain(const double* a1, int32_t label, size_t strong, int32_t index) {
  // With s1 and s2 the sums of the two contexts at the next character (the
  // same fixed sums, other history rows) and d = s1 - s2 = a1 - a2, the
  // first step scores ln p1(c) - ln p2(c) = d_c - (ln Z1 - ln Z2) more for
  // n1, and ln Z1 - ln Z2 = ln E_p2[exp(d)] >= E_p2[d] (Jensen), so n1 gains
  // at most d_c - E_p2[d] on label c. The floor of the probabilities only
  // narrows a difference: the floored gain is at most the larger of 0 and
  // that. Only the labels that may follow n1's and leave the position count.
  const size_t outcomes = static_cast<size_t>(tables_.outcomes);
  double* p2 = strong_rows_.data() + strong * 2 * outcomes;
  double* a2 = p2 + outcomes;
  if (strong_ready_[strong] == 0) {
    // n2 outscores a live node, so it is mostly extended anyway: its row
    // goes where its extensions will look for it.
    NEPathNode* other = strongest_[strong].node;
    if (other->row_stamp != stamp_) {
      other->row = static_cast<uint32_t>(ContextRow(other->previous_label, other->label, index));
      other->row_stamp = stamp_;
    }
    const double* terms = rows_.data() + other->row;
    const double z = terms[2 * outcomes];
    const double* h1 =
        tables_.history_rows[0].data() + static_cast<size_t>(other->label) * outcomes;
    const double* h2 =
        tables_.history_rows[1].data() + static_cast<size_t>(other->previous_label) * outcomes;
    for (size_t o = 0; o < outcomes; ++o) {
      p2[o] = terms[o] / z;
      a2[o] = h1[o] + h2[o];
    }
    strong_ready_[strong] = 1;
  }
  double expected = 0.0;
  for (size_t o = 0; o < outcomes; ++o) expected += p2[o] * (a1[o] - a2[o]);
  const FollowerOutcomes& list = follower_outcomes_[static_cast<size_t>(label)];
  double gain = 0.0;
  for (int32_t k = 0; k < list.count; ++k) {
    const size_t o = list.outcome[k];
    gain = std::max(gain, (a1[o] - a2[o]) - expected);
  }
  return gain * (1.0 + 1e-9);
}

inline void CNEDecoder::ExtendNode(NENodeList& list, int32_t position, NEPathNode* node,
                                   NEEdge* edge, bool label_scored, bool known, int32_t outcome,
                                   int32_t index) {
  const int32_t label = edge->label;
  double score = 0.0;
  if (label_scored || !Unscored(node->label) || !Unscored(node->previous_label)) {
    if (!known && !FixedByInput(label)) return;
    if (known && tables_.model != nullptr) {
      // The node's context row, looked up once per cache of a position.
      if (node->row_stamp != stamp_) {
        node->row = static_cast<uint32_t>(ContextRow(node->previous_label, node->label, index));
        node->row_stamp = stamp_;
      }
      if (outcome >= 0) {
        double& cached =
            rows_[node->row + static_cast<size_t>(tables_.outcomes) + static_cast<size_t>(outcome)];
        if (cached != kNotScored) {
          score = cached;
        } else {
          const double probability = RowProbability(node->row, outcome);
          // The sum rounds no lower from a larger step: an extension that
          // falls below the bound with LogAtMost for its step needs no
          // logarithm. A node more than the lowest step (ln 1e-15) above
          // the bound has none that falls below it.
          if (pruning_ && node->score < bound_ + kLowestStep &&
              node->score + LogAtMost(probability) + edge->score < bound_) {
            BelowBound(list, node, label);
            return;
          }
          score = cached = TermLog(probability);
        }
      }
    }
  }
  const double total = node->score + score + edge->score;
  if (pruning_ && total < bound_) {
    BelowBound(list, node, label);
    return;
  }

  if (unmade_) {
    // The head of the list is a node scoring below the bound that was not
    // made (see BelowBound).
    if (label != kLabelEnd && unmade_label_ == label && SameEdge(node->edge, unmade_edge_)) {
      // It would take this extension's score; NaN never beats a score.
      if (!(total >= bound_)) return;
    }
    unmade_ = false;
  } else {
    // Nodes that extend the same previous edge arrive one after another, so
    // the head is the only node this extension can share its state with.
    NEPathNode* head = list.head;
    if (head != nullptr && head->previous != nullptr && head->label == label &&
        label != kLabelEnd && SameEdge(node->edge, head->previous_edge)) {
      if (total > head->score) {
        head->score = total;
        head->edge = edge;
        head->previous = node;
        head->previous_edge = node->edge;
      }
      return;
    }
  }

  NEPathNode* fresh =
      node_arena_.New<NEPathNode>(edge, nullptr, node, total, node->edge, node->label, label);
  AddNode(position, fresh);
}

inline void CNEDecoder::BelowBound(const NENodeList& list, const NEPathNode* node, int32_t label) {
  // The full search would merge this extension into the head of the list or
  // make a node of it there. Either way the node scores below the bound
  // until an extension of the same state raises it, and until then nothing
  // reads it but the head merge: it is made only then, where it would
  // stand, with that extension's values (the first best of the state's
  // extensions is the first best of those at or above the bound).
  const bool same_head =
      unmade_
          ? label != kLabelEnd && unmade_label_ == label && SameEdge(node->edge, unmade_edge_)
          : list.head != nullptr && list.head->previous != nullptr && list.head->label == label &&
                label != kLabelEnd && SameEdge(node->edge, list.head->previous_edge);
  // A made head scores at least the bound (or NaN), so it keeps its values.
  if (same_head) return;
  unmade_ = true;
  unmade_label_ = label;
  unmade_edge_ = node->edge;
}

void CNEDecoder::BoundedForwardPass() {
  // The walk sums a path's scores as ExtendAll does, but where doubles are
  // kept in wider registers (x87) the two sums may differ in their last
  // bits; the margin keeps the bound at or below the score the forward pass
  // gives the same path.
  // Two paths compared through the rest of a clause (see BuildRuns) are
  // summed over as many steps, each addition off by at most half a unit in
  // the last place of a value no larger than |B|: the margin grows with the
  // clause.
  const double found = BoundPathScore();
  const double steps = static_cast<double>(position_count_);
  bound_margin_ = (std::fabs(found) + 1.0) * (1e-9 + 1e-15 * steps);
  bound_ = found - bound_margin_;
  if (bound_ != -std::numeric_limits<double>::infinity()) {
    PreparePositions();
    compare_nodes_ = true;
    // An edge that does not move forward extends its list while it grows,
    // nodes below the bound included (see ExtendAll): those must be made.
    pruning_ = kDoublesAsDoubles && !backward_edges_;
  }
  // The walk filled the score cache of the last position only; start afresh
  // with the rows it kept.
  ClearCache();
  cache_position_ = -1;
  seeded_ = true;
  ForwardPass();
  seeded_ = false;
  rows_floor_ = 0;
  compare_nodes_ = false;
  pruning_ = false;
  bound_ = -std::numeric_limits<double>::infinity();
}

void CNEDecoder::KeepSeeds(int32_t position) {
  // The rows stay where the walk made them: the next position's cache starts
  // after them.
  rows_floor_ = rows_used_;
  if (row_keys_.empty()) return;
  Seed& seed = seeds_[static_cast<size_t>(position)];
  seed.first = seed_keys_.size();
  seed.count = row_keys_.size();
  seed_keys_.insert(seed_keys_.end(), row_keys_.begin(), row_keys_.end());
}

void CNEDecoder::SeedCache(int32_t position) {
  if (!seeded_ || static_cast<size_t>(position) >= seeds_.size()) return;
  const Seed& seed = seeds_[static_cast<size_t>(position)];
  for (size_t k = 0; k < seed.count; ++k) {
    const RowKey& key = seed_keys_[seed.first + k];
    RegisterRow(key.second_previous, key.previous, key.offset);
  }
}

void CNEDecoder::KeepTwoBest() {
  static_assert(kBeamWidth == 2, "the selection keeps two states");
  beam_.clear();
  if (candidates_.size() < 2) {
    beam_.assign(candidates_.begin(), candidates_.end());
    return;
  }
  // The two highest scores, best first, with the ties of the selection the
  // walk has always made: of the first two, `low` is the second unless it
  // scores more than the first; a later state displaces `low` only when it
  // scores more, and then `low` becomes the lower of the survivor and the
  // newcomer, the survivor when they tie.
  const BeamState* low = &candidates_[1];
  const BeamState* high = &candidates_[0];
  if (candidates_[1].score > candidates_[0].score) std::swap(low, high);
  for (size_t k = 2; k < candidates_.size(); ++k) {
    const BeamState* state = &candidates_[k];
    if (!(state->score > low->score)) continue;
    if (high->score > state->score) {
      low = state;
    } else {
      low = high;
      high = state;
    }
  }
  beam_.push_back(*high);
  beam_.push_back(*low);
}

double CNEDecoder::BoundPathScore() {
  const double none = -std::numeric_limits<double>::infinity();
  const NEPathNode* start = position_count_ > 0 ? node_lists_[0].head : nullptr;
  seeds_.assign(static_cast<size_t>(std::max(position_count_, 0)), Seed());
  seed_keys_.clear();
  rows_floor_ = 0;
  if (start == nullptr) return none;
  beam_.assign(1, BeamState{start->previous_label, start->label, start->score});
  walking_ = true;
  for (int32_t i = 1; i < position_count_; ++i) {
    if (i != cache_position_) {
      ClearCache();
      cache_position_ = i;
    }
    candidates_.clear();
    for (size_t s = 0; s < beam_.size(); ++s) {
      const BeamState& state = beam_[s];
      // A candidate made from this state can only merge with one from a
      // state with the same last label: the others are not searched.
      size_t group = candidates_.size();
      for (size_t t = 0; t < s; ++t) {
        if (beam_[t].previous == state.previous) group = 0;
      }
      const bool state_scored = !Unscored(state.previous) || !Unscored(state.second_previous);
      // Allowed(text_length_, state.previous, label, i - 1) as a set of the
      // labels below 64: those that may follow the state's last label (the
      // end any), less the position rules of character i - 1. No label
      // from 64 up is allowed.
      uint64_t allowed = static_cast<uint32_t>(state.previous) < static_cast<uint32_t>(kTableLabels)
                             ? kFollowers.bits[state.previous]
                             : uint64_t{1} << kLabelEnd;
      if (i - 1 == 0) allowed &= ~uint64_t{kContinuing};
      if (i - 1 == text_length_ - 1) allowed &= ~uint64_t{kOpen};
      // The state's context row, looked up at its first scored edge.
      size_t row = 0;
      bool row_found = false;
      for (const NEEdge* edge = edges_by_end_[i]; edge != nullptr; edge = edge->next_by_end) {
        if (edge->start != i - 1) continue;
        if (edge->index == i - 1
                ? static_cast<uint32_t>(edge->label) >= static_cast<uint32_t>(kTableLabels) ||
                      ((allowed >> edge->label) & 1u) == 0
                : !Allowed(text_length_, state.previous, edge->label, edge->index)) {
          continue;
        }
        double score = 0.0;
        if (state_scored || !Unscored(edge->label)) {
          if (KnowsLabel(edge->label)) {
            // A model knows the label: the row the cache holds for the
            // context, whichever edge asked first.
            if (!row_found) {
              row = ContextRow(state.second_previous, state.previous, edge->index);
              row_found = true;
            }
            score = RowScore(row, OutcomeOfLabel(edge->label));
          } else if (!FixedByInput(edge->label)) {
            continue;
          }
        }
        // Summed as ExtendAll sums.
        const double total = state.score + score + edge->score;
        bool merged = false;
        for (size_t c = group; c < candidates_.size(); ++c) {
          BeamState& candidate = candidates_[c];
          if (candidate.second_previous == state.previous && candidate.previous == edge->label) {
            if (total > candidate.score) candidate.score = total;
            merged = true;
            break;
          }
        }
        if (!merged) candidates_.push_back(BeamState{state.previous, edge->label, total});
      }
    }
    // The contexts this position evaluated serve the forward pass again.
    KeepSeeds(i);
    if (candidates_.empty()) {
      walking_ = false;
      return none;
    }
    KeepTwoBest();
  }
  walking_ = false;
  double best = none;
  for (const BeamState& state : beam_) best = std::max(best, state.score);
  return best;
}

void CNEDecoder::PreparePositions() {
  const size_t count = static_cast<size_t>(std::max(position_count_, 0));
  position_safe_.assign(count, 0);
  next_labels_.assign(count, 0);
  if (tables_.model == nullptr || count < 2) return;
  PrepareBound();
  if (!tables_.bound_usable) return;
  // The labels below 64 that ExtendAll does not pass over for want of an
  // outcome.
  uint64_t usable = 0;
  for (int32_t label = 0; label < kContextLabels; ++label) {
    if (Unscored(label) || KnowsLabel(label)) usable |= uint64_t{1} << label;
  }
  for (int32_t p = 0; p + 1 < position_count_; ++p) {
    uint8_t safe = ScoresSmall(p) ? 1 : 0;
    uint64_t labels = 0;
    for (const NEEdge* edge = edges_by_start_[p]; edge != nullptr; edge = edge->next_by_start) {
      if (edge->end != p + 1 || edge->index != p) {
        // Not a lattice of character edges: no comparison anywhere.
        std::fill(position_safe_.begin(), position_safe_.end(), 0);
        return;
      }
      const int32_t label = edge->label;
      if (static_cast<uint32_t>(label) < static_cast<uint32_t>(kContextLabels)) {
        labels |= uint64_t{1} << label;
      } else if (KnowsLabel(label)) {
        safe = 0;  // no follower mask for it (no position rule bars it)
      }
    }
    // The checks of ExtendAll that depend on the edge alone (the end label
    // is neither continuing nor open).
    uint64_t next = labels & usable;
    if (p == 0) next &= ~uint64_t{kContinuing};
    if (p == text_length_ - 1) next &= ~uint64_t{kOpen};
    position_safe_[static_cast<size_t>(p)] = safe;
    next_labels_[static_cast<size_t>(p)] = next;
  }
}

void CNEDecoder::PrepareBound() {
  // A trainer may change the weights in place between searches.
  if (tables_.bound_ready && tables_.rows_version == tables_.model->RowsVersion()) return;
  tables_.bound_ready = true;
  tables_.rows_version = tables_.model->RowsVersion();
  tables_.bound_usable = false;
  const int32_t n = tables_.outcomes;
  if (n <= 0 || n > kContextLabels) return;
  const size_t outcomes = static_cast<size_t>(n);
  const size_t labels = static_cast<size_t>(kContextLabels);
  const CMEModel& model = *tables_.model;
  std::vector<double>* rows = tables_.history_rows;
  double scale = 0.0;
  for (int which = 0; which < 2; ++which) {
    rows[which].assign(labels * outcomes, 0.0);
    for (int32_t label = 0; label < kContextLabels; ++label) {
      const int32_t predicate = History(which, label);
      double* row = rows[which].data() + static_cast<size_t>(label) * outcomes;
      if (predicate >= 0) {
        model.AddPredicateScores(predicate, row);
      }
      for (size_t y = 0; y < outcomes; ++y) scale = std::max(scale, std::fabs(row[y]));
    }
  }
  // Also false for NaN.
  if (!(scale <= kBoundScale)) return;
  tables_.history_scale = scale;
  // How far the scores of one history row can differ from another's over the
  // outcomes, with a margin for the rounding of both steps.
  auto spread = [&](const std::vector<double>& table, size_t a, size_t b) {
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (size_t o = 0; o < outcomes; ++o) {
      const double d = table[a * outcomes + o] - table[b * outcomes + o];
      low = std::min(low, d);
      high = std::max(high, d);
    }
    return (high - low) * (1.0 + 1e-9) + 1e-9 + 1e-11 * kBoundScale;
  };
  tables_.dominance.assign(labels * labels, 0.0);
  for (size_t x = 0; x < labels; ++x) {
    for (size_t w = 0; w < labels; ++w) tables_.dominance[x * labels + w] = spread(rows[1], x, w);
  }
  tables_.history_spread.assign(labels * labels, 0.0);
  for (size_t y = 0; y < labels; ++y) {
    for (size_t w = 0; w < labels; ++w)
      tables_.history_spread[y * labels + w] = spread(rows[0], y, w);
  }
  // Filled row by row as the search asks (see SecondStepRow).
  tables_.second_step.assign(2 * labels * labels, 0.0);
  tables_.second_ready.assign(2 * labels, 0);
  tables_.bound_usable = true;
}

bool CNEDecoder::ScoresSmall(int32_t index) {
  if (base_index_ != index) ComputeBaseScores(index);
  const size_t outcomes = static_cast<size_t>(std::max(tables_.outcomes, 0));
  // The largest |score| that is not NaN (std::max passes NaN over), in four
  // independent chains.
  double lane[4] = {0.0, 0.0, 0.0, 0.0};
  size_t o = 0;
  for (; o + 4 <= outcomes; o += 4) {
    for (size_t k = 0; k < 4; ++k) lane[k] = std::max(lane[k], std::fabs(base_scores_[o + k]));
  }
  for (; o < outcomes; ++o) lane[0] = std::max(lane[0], std::fabs(base_scores_[o]));
  const double scale = std::max(std::max(lane[0], lane[1]), std::max(lane[2], lane[3]));
  // With |f| + 2 |h| at most kBoundScale the model's sums are far from where
  // exp overflows or loses precision, and their rounding far below the
  // margins of the comparison. Also false for NaN.
  return scale + 2.0 * tables_.history_scale <= kBoundScale;
}

void CNEDecoder::AddNode(int32_t position, NEPathNode* node) {
  NENodeList& list = node_lists_[position];
  node->next = list.head;
  list.head = node;
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
  rows_used_ = rows_floor_;
  row_keys_.clear();
}

void CNEDecoder::ComputeBaseScores(int32_t index) {
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

inline size_t CNEDecoder::NewRow() {
  const size_t offset = rows_used_;
  const size_t end = offset + RowStride();
  if (rows_.size() < end) rows_.resize(std::max(end, 2 * rows_.size()));
  rows_used_ = end;
  return offset;
}

inline void CNEDecoder::RegisterRow(int32_t second_previous, int32_t previous, size_t offset) {
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

size_t CNEDecoder::ContextRow(int32_t second_previous, int32_t previous, int32_t index) {
  if (second_previous >= 0 && second_previous < kContextLabels && previous >= 0 &&
      previous < kContextLabels) {
    const size_t slot = static_cast<size_t>(second_previous * kContextLabels + previous);
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

double CNEDecoder::ScoreLabel(int32_t second_previous, int32_t previous, int32_t label,
                              int32_t index) {
  if (tables_.model == nullptr) return 0.0;
  return ScoreOutcome(second_previous, previous, OutcomeOfLabel(label), index);
}

double CNEDecoder::ScoreOutcome(int32_t second_previous, int32_t previous, int32_t outcome,
                                int32_t index) {
  if (tables_.model == nullptr) return 0.0;
  return RowScore(ContextRow(second_previous, previous, index), outcome);
}

double CNEDecoder::ScoreFromTerms(double& score, size_t row, int32_t outcome) {
  score = TermLog(RowProbability(row, outcome));
  return score;
}

}  // namespace verrin
