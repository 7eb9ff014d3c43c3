#include "engine/decoder.h"

#include <algorithm>

#include "engine/word_node.h"
#include "maxent/me_classifier.h"
#include "maxent/me_model.h"
#include "maxent/me_scores.h"
#include "text/code_page.h"

namespace verrin {

using label_grammar::FixedByInput;
using label_grammar::Has;
using label_grammar::kContinuing;
using label_grammar::kGrammarLabels;
using label_grammar::kOpen;
using label_grammar::kPredecessors;
using label_grammar::Transition;
using label_grammar::Unscored;

namespace {

// Less than every label score: ln of the probability floor is -34.54.
constexpr double kLowestStep = 35.0;

inline bool SameEdge(const NEEdge* a, const NEEdge* b) {
  if (a == nullptr || b == nullptr) return false;
  return a == b || (a->start == b->start && a->end == b->end && a->label == b->label);
}

}  // namespace

CNEDecoder::CNEDecoder() { std::fill(std::begin(label_slot_), std::end(label_slot_), -1); }

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
      // The set bits of the name and word labels (kLabelPersonBegin to
      // kLabelOrgEnd), lowest first.
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
  // Tables made for another model (or a reloaded one) are made again.
  if (cache_.Bind(samples, model)) bound_tables_ = bounded_search::BoundTables();
}

[[gnu::always_inline]] inline void CNEDecoder::ExtendAll(int32_t position, NEEdge* edge) {
  const int32_t label = edge->label;
  const int32_t index = edge->index;
  // The parts of the position rules that do not depend on the node.
  if (index == 0 && Has(kContinuing, label)) return;
  if ((index == text_length_ - 1 || label == kLabelEnd) && Has(kOpen, label)) return;
  const bool any_previous = label == kLabelEnd;
  const bool label_scored = !Unscored(label);
  const std::vector<int8_t>& known_labels = cache_.Tables().known;
  const bool known =
      static_cast<uint32_t>(label) < static_cast<uint32_t>(kNearLabels) && !known_labels.empty()
          ? known_labels[static_cast<size_t>(label)] != 0
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
  const uint64_t predecessors = static_cast<uint32_t>(label) < static_cast<uint32_t>(kGrammarLabels)
                                    ? kPredecessors.bits[label]
                                    : 0;
  // No live node may precede the label: nothing to extend.
  if (!any_previous && (predecessors & live_labels_) == 0) return;
  // Dead nodes, and runs of them, are left out: see BoundedForwardPass for
  // why no result depends on them.
  for (const bounded_search::LiveRun& run : live_runs_) {
    if (!any_previous &&
        (static_cast<uint32_t>(run.label) >= static_cast<uint32_t>(kGrammarLabels) ||
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
    cache_.MoveTo(i);
    unmade_ = false;
    for (NEEdge* edge = edges_by_end_[i]; edge != nullptr; edge = edge->next_by_end) {
      ExtendAll(i, edge);
    }
  }
  unmade_ = false;
}

inline void CNEDecoder::ExtendNode(NENodeList& list, int32_t position, NEPathNode* node,
                                   NEEdge* edge, bool label_scored, bool known, int32_t outcome,
                                   int32_t index) {
  const int32_t label = edge->label;
  double score = 0.0;
  if (label_scored || !Unscored(node->label) || !Unscored(node->previous_label)) {
    if (!known && !FixedByInput(label)) return;
    if (known && cache_.Tables().model != nullptr) {
      // The node's context row, looked up once per cache of a position.
      if (node->row_stamp != cache_.Stamp()) {
        node->row =
            static_cast<uint32_t>(cache_.ContextRow(node->previous_label, node->label, index));
        node->row_stamp = cache_.Stamp();
      }
      if (outcome >= 0) {
        double& cached = cache_.CachedScore(node->row, outcome);
        if (cached != kNotScored) {
          score = cached;
        } else {
          const double probability = cache_.RowProbability(node->row, outcome);
          // The sum rounds no lower from a larger step: an extension that
          // falls below the bound with LogAtMost for its step needs no
          // logarithm. A node more than the lowest step (ln 1e-15) above
          // the bound has none that falls below it.
          if (pruning_ && node->score < bound_ + kLowestStep &&
              node->score + CNEScoreCache::LogAtMost(probability) + edge->score < bound_) {
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

}  // namespace verrin
