// CNEDecoder: the lattice of one clause and its second-order best-path search.
//
// Positions 0..N+1 for a clause of N characters. Edges of character i run
// from i to i + 1; the end edge (label kLabelEnd) from N to N + 1. A path
// node is a partial path ending with its edge; the pair (label of the
// previous edge, label of its edge) is the search state. All lists are
// intrusive, singly linked and push-front. Nodes, edges and tables live in
// two BlockArenas and stay valid until Release().
//
// The work is shared among four file pairs: the label grammar
// (label_grammar.h), the lattice and the full search (here), the bounded
// search (bounded_search.h/.cc: BoundedForwardPass and the comparison of
// nodes) and the label scores (score_cache.h, CNEScoreCache).
#ifndef VERRIN_ENGINE_DECODER_H_
#define VERRIN_ENGINE_DECODER_H_

#include <cstdint>
#include <limits>
#include <vector>

#include "engine/block_arena.h"
#include "engine/bounded_search.h"
#include "engine/label_grammar.h"
#include "engine/lattice.h"
#include "engine/score_cache.h"
#include "maxent/me_sample.h"
#include "text/ustring.h"

namespace verrin {

class CMEClassifier;

struct NEPathNode {
  NEEdge* edge = nullptr;                 // null for the start node
  NEPathNode* next = nullptr;             // next node of the same position
  NEPathNode* previous = nullptr;         // null for the start node
  double score = 0.0;                     // sum of label scores along the path
  const NEEdge* previous_edge = nullptr;  // previous->edge, for the head merge
  int32_t previous_label = 0;
  int32_t label = 0;
  int32_t mark = 0;  // -1 in the start node
  // The search's context row in the score cache of stamp row_stamp (an
  // offset in its rows, which the cache keeps below 2^32 as well).
  uint32_t row_stamp = 0;
  uint32_t row = 0;
};

struct NENodeList {
  int32_t count = 0;
  NEPathNode* head = nullptr;
};

class CNEDecoder {
 public:
  static constexpr double kProbabilityFloor = CNEScoreCache::kProbabilityFloor;

  CNEDecoder();
  ~CNEDecoder();
  CNEDecoder(const CNEDecoder&) = delete;
  CNEDecoder& operator=(const CNEDecoder&) = delete;

  // ---- lattice ----
  // Fresh tables for n + 2 positions, the start node (label start_label,
  // previous label kLabelNone) at 0 and the end edge (end_label) from n to
  // n + 1.
  void InitPositions(int32_t n, int32_t start_label, int32_t end_label);
  // Copies `edge` into the arena and links it at its end and start positions.
  NEEdge* AddEdge(const NEEdge& edge);
  // Candidate edges of every character of `text`: the imposed label when the
  // sample's label is not kLabelSingle, else kLabelSingle and every label
  // from kLabelPersonBegin to kLabelOrgEnd whose bit is set in
  // label_bits[i], else (bits 0) the fallback labels. Requires
  // samples.size() > text length and label_bits.size() >= text length.
  void BuildLattice(const CUString& text, const std::vector<CMESample>& samples,
                    const std::vector<int32_t>& label_bits,
                    const std::vector<int32_t>& fallback_labels);
  // The same with the labels of indexed samples.
  void BuildLattice(const CUString& text, const NEIndexedSamples& samples,
                    const std::vector<int32_t>& label_bits,
                    const std::vector<int32_t>& fallback_labels);
  // Adds `cost` to the score of every character edge whose label differs
  // from reference[edge index] (indices beyond `reference` are left alone):
  // the search then prefers paths that disagree with the reference, as
  // margin-based training needs. With `groups`, two labels differ when
  // their entries in it do (labels beyond it compare as themselves).
  void AddEdgeCosts(const std::vector<int32_t>& reference, double cost,
                    const std::vector<int32_t>* groups = nullptr);
  // Binds the clause for scoring and clears the score cache. `model` may be
  // null (then no label is an outcome). Nothing is copied: text, samples and
  // model must outlive the search.
  void SetInput(const CUString& text, const std::vector<CMESample>& samples,
                const CMEClassifier* model);
  // The same with samples indexed in `model` (NEIndexedSamples).
  void SetInput(const CUString& text, const NEIndexedSamples& samples, const CMEClassifier* model);
  // Extends every node by every edge, position by position.
  void ForwardPass();
  // ForwardPass for a lattice whose edge scores are all 0 or below (no
  // AddEdgeCosts), with the same path and score, ties included, and never a
  // node that ForwardPass does not make. It extends only the nodes that may
  // still lie on a best path: those at or above the score of one complete
  // path found first, and not outscored by another node of their position
  // by more than the next two steps can make up. Why no result changes:
  // "The bounded search" in docs/architecture.md.
  void BoundedForwardPass();
  void AddNode(int32_t position, NEPathNode* node);
  // The best complete path (ties: the end node created last). False, with
  // `path` untouched, when no node reached position N + 1.
  bool BestPath(NEPath& path) const;
  // Returns every node, edge and table to the arenas.
  void Release();

  // ---- scoring ----
  // ln p(label | sample[index] + "pv1lb=<previous>" + "pv2lb=<second_previous>"),
  // with p floored at 1e-15 (NaN too), bit for bit what CMEModel::Eval of
  // the extended sample gives. Outcome texts are read as decimal numbers
  // (non-numeric: 0; of several outcomes with one number the last counts);
  // 0.0 when no outcome reads as `label`. One model evaluation per
  // (second_previous, previous) pair serves every label until the search moves to
  // another position or SetInput rebinds. The samples are never modified.
  double ScoreLabel(int32_t second_previous, int32_t previous, int32_t label, int32_t index) {
    return cache_.ScoreLabel(second_previous, previous, label, index);
  }
  // The decimal text of `label` is an outcome of the bound model.
  bool KnowsLabel(int32_t label) { return cache_.KnowsLabel(label); }
  // The outcome that scores `label` (the last one with its number), -1 when
  // none does; valid from SetInput until the next model is bound.
  int32_t OutcomeOfLabel(int32_t label) const { return cache_.OutcomeOfLabel(label); }
  // The bound model's predicate "pv1lb=<label>" (which 0) or "pv2lb=<label>"
  // (which 1), -1 when unknown.
  int32_t HistoryPredicate(int which, int32_t label) {
    return cache_.HistoryPredicate(which, label);
  }

  // ---- inspection ----
  int32_t PositionCount() const { return position_count_; }
  const NEEdge* EdgesEndingAt(int32_t position) const { return edges_by_end_[position]; }
  const NEEdge* EdgesStartingAt(int32_t position) const { return edges_by_start_[position]; }
  const NENodeList& NodesAt(int32_t position) const { return node_lists_[position]; }
  // Model evaluations since construction (one per scored context).
  uint64_t Evaluations() const { return cache_.Evaluations(); }

 private:
  static constexpr int32_t kNearLabels = CNEScoreCache::kNearLabels;
  static constexpr int32_t kContextLabels = bounded_search::kContextLabels;
  static_assert(kContextLabels == CNEScoreCache::kContextLabels,
                "the comparison of nodes reads the cache's flat context table");
  static constexpr double kNotScored = CNEScoreCache::kNotScored;

  // ---- lattice and full search (decoder.cc) ----
  // Labels of the sample texts (or of indexed samples) for the lattice.
  template <class LabelOf>
  void BuildLatticeWith(const CUString& text, LabelOf label_of,
                        const std::vector<int32_t>& label_bits,
                        const std::vector<int32_t>& fallback_labels);
  // Extends every node at edge->start by `edge` into `position`, in list
  // order, with the edge's own checks made once for all of them (inlined
  // into the pass).
  void ExtendAll(int32_t position, NEEdge* edge);
  // One extension of ExtendAll (the checks of Extend that depend on the node).
  void ExtendNode(NENodeList& list, int32_t position, NEPathNode* node, NEEdge* edge,
                  bool label_scored, bool known, int32_t outcome, int32_t index);
  // An extension in the bounded search that scores below the bound: what
  // the full search would do with it, as far as later extensions can tell
  // (see ExtendNode).
  void BelowBound(const NENodeList& list, const NEPathNode* node, int32_t label);

  // ---- bounded search (bounded_search.cc) ----
  // The score of one complete path (summed as ExtendAll sums), found by a walk
  // that keeps the kBeamWidth best label pairs of each position;
  // -infinity when that walk reaches a position with no allowed edge.
  double BoundPathScore();
  // The walk's steps from state beam_[s] into position i, merged into
  // candidates_.
  void WalkState(int32_t i, size_t s);
  // Merges the state (second_previous, previous) scoring `total` into
  // candidates_[group, end), or appends it.
  void AddCandidate(size_t group, int32_t second_previous, int32_t previous, double total);
  // The kBeamWidth best of candidates_ into beam_, best first.
  void KeepTwoBest();
  // The per-position facts the comparison of nodes needs (position_safe_,
  // next_labels_); none when the model or the lattice does not allow it.
  void PreparePositions();
  // The per-model tables of the comparison, built once per model and again
  // when the weights of its history rows have changed.
  void PrepareBound();
  // The fixed-predicate sums of sample `index` are small enough for the
  // margins of the comparison.
  bool ScoresSmall(int32_t index);
  // The live nodes of the list at `start`, which ExtendAll extends into
  // `position`, in list order and in runs of one label (live_runs_,
  // live_nodes_); dead nodes are left out (see BoundedForwardPass).
  void BuildRuns(int32_t start, int32_t position);
  // Empties the runs for the list at `start`, with room for its nodes.
  void BeginRuns(int32_t start);
  // Appends `node` to the runs.
  void KeepLive(NEPathNode* node);
  // The nodes of the list at `start` may be compared with each other.
  bool CanCompareAt(int32_t start) const;
  // The nodes of the list at or above the bound into run_nodes_ (their
  // count returned), and the best node of each label into strongest_, best
  // first.
  size_t ReadRunNodes(const NENodeList& list);
  // Keeps the nodes of run_nodes_[0, count) that no node of strongest_
  // outscores by more than the next two steps can make up.
  void CompareRunNodes(int32_t start, int32_t position, size_t count);
  // The node (eligible for the comparison) is on no best path: a node of
  // strongest_ outscores it by more than the next two steps can make up.
  bool Outscored(const NEPathNode* node, uint64_t next, int32_t start);
  // strongest_ best first, equals in the order they came.
  void SortStrongest();
  // At most what the step after a node whose history rows sum to `a1` (its
  // label `label`) can score more for it than for the best node
  // strongest_[strong], margins included; evaluates that node's row when it
  // has none. Needs ListFollowerOutcomes(label).
  double FirstStepGain(const double* a1, int32_t label, size_t strong, int32_t index);
  // Per label y2 (below kContextLabels): at least what the second step
  // after a node of label y1 can score more for it than for a node of label
  // y2 when both went on with one label, margins included; for the position
  // of the runs (second_end_).
  const double* SecondStepRow(size_t y1) {
    const size_t row = (second_end_ ? static_cast<size_t>(kContextLabels) : 0) + y1;
    if (bound_tables_.second_ready[row] != 0) {
      return bound_tables_.second_step.data() + row * static_cast<size_t>(kContextLabels);
    }
    return FillSecondStepRow(y1);
  }
  const double* FillSecondStepRow(size_t y1);
  // The outcomes of the labels of `followers` that an outcome scores.
  void ListFollowerOutcomes(int32_t label, uint64_t followers);

  // The lattice.
  BlockArena node_arena_;
  BlockArena edge_arena_;
  NEEdge** edges_by_end_ = nullptr;
  NEEdge** edges_by_start_ = nullptr;
  NENodeList* node_lists_ = nullptr;
  int32_t position_count_ = 0;
  bool backward_edges_ = false;  // an edge whose end is not after its start

  // The clause and its scores.
  const CUString* text_ = nullptr;
  int32_t text_length_ = 0;
  NEIndexedSamples indexed_;  // string samples of SetInput, indexed
  CNEScoreCache cache_;

  // What both passes read of the bounded search: the bound, the unmade head
  // and the live runs of the list being extended.
  // T of the bounded search; -infinity otherwise.
  double bound_ = -std::numeric_limits<double>::infinity();
  // Extensions scoring below bound_ make no node (the bounded search where
  // doubles are evaluated as doubles, so that a sum compared is the sum
  // kept).
  bool pruning_ = false;
  // The head of the list being filled is a node below the bound that was
  // not made: its label and the edge of the node it extends.
  bool unmade_ = false;
  int32_t unmade_label_ = 0;
  const NEEdge* unmade_edge_ = nullptr;
  std::vector<bounded_search::LiveRun> live_runs_;
  uint64_t live_labels_ = 0;  // the labels below 64 of live_runs_
  std::vector<NEPathNode*> live_nodes_;
  uint32_t live_count_ = 0;  // entries of live_nodes_ in use
  int32_t runs_start_ = -1;

  // The bounded search's own state.
  bounded_search::BoundTables bound_tables_;
  std::vector<bounded_search::BeamState> beam_, candidates_;
  double bound_margin_ = 0.0;   // B - T
  bool compare_nodes_ = false;  // in the bounded search
  // Per position of the bounded search: 1 when its steps' scores are small
  // enough for the margins of the dominance table.
  std::vector<uint8_t> position_safe_;
  // Per position: the labels (below 64) of the edges that may leave it.
  std::vector<uint64_t> next_labels_;
  // The nodes of the list BuildRuns compares that score at least the bound,
  // in list order.
  std::vector<NEPathNode*> run_nodes_;
  // The best node of each label.
  std::vector<bounded_search::StrongNode> strongest_;
  // Per entry of strongest_: its row was read into strong_rows_ (its
  // probabilities, then its two history rows summed).
  std::vector<uint8_t> strong_ready_;
  std::vector<double> strong_rows_;
  std::vector<double> gain_row_;
  int32_t label_slot_[kContextLabels];  // label -> its entry of strongest_, or -1
  bounded_search::FollowerOutcomes follower_outcomes_[kContextLabels];
  uint64_t listed_labels_ = 0;  // labels whose entry of follower_outcomes_ is filled
  bool rows_here_ = false;      // the rows of strongest_ belong to the cache's position
  bool second_end_ = false;     // at the runs' position, the second step may be the end
};

}  // namespace verrin

#endif  // VERRIN_ENGINE_DECODER_H_
