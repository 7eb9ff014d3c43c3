// CNEDecoder: the lattice of one clause and its second-order best-path search,
// with the label scorer that feeds it.
//
// Positions 0..N+1 for a clause of N characters. Edges of character i run
// from i to i + 1; the end edge (label 52) from N to N + 1. A path node is a
// partial path ending with its edge; the pair (label of the previous edge,
// label of its edge) is the search state. All lists are intrusive, singly
// linked and push-front. Nodes, edges and tables live in two BlockArenas and
// stay valid until Release().
#ifndef VERRIN_ENGINE_DECODER_H_
#define VERRIN_ENGINE_DECODER_H_

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <utility>
#include <vector>

#include "engine/block_arena.h"
#include "engine/lattice.h"
#include "maxent/me_sample.h"
#include "text/ustring.h"

namespace verrin {

class CMEClassifier;
class CMEModel;

// Word-cutting rule between two adjacent labels: 1 the next character
// continues the word, 0 it starts a new word, -1 the pair is invalid.
int32_t LabelTransition(int32_t previous, int32_t next);

// Position rules and the transition rule for `label` on character `index` of
// a clause of `length` characters after `previous`: no continuing label on the
// first character, no open label on the last, the end label 52 always.
bool IsLabelAllowed(int32_t length, int32_t previous, int32_t label, int32_t index);

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
  static constexpr double kProbabilityFloor = 1.0E-15;

  CNEDecoder();
  ~CNEDecoder();
  CNEDecoder(const CNEDecoder&) = delete;
  CNEDecoder& operator=(const CNEDecoder&) = delete;

  // ---- lattice ----
  // Fresh tables for n + 2 positions, the start node (label start_label,
  // previous label 0) at 0 and the end edge (end_label) from n to n + 1.
  void InitPositions(int32_t n, int32_t start_label, int32_t end_label);
  // Copies `edge` into the arena and links it at its end and start positions.
  NEEdge* AddEdge(const NEEdge& edge);
  // Candidate edges of every character of `text`: the imposed label when the
  // sample's label text is not 1, else label 1 and every label 2..13 whose
  // bit is set in label_bits[i], else (bits 0) the fallback labels. Requires
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
  // node that ForwardPass does not make.
  //
  // A walk that keeps the few best label pairs of each position first finds
  // the score B of one complete path. Every step scores at most 0, so a node
  // scoring below T (B less a margin for rounding) is on no path scoring B or
  // more. Among the nodes of a position, a node n1 (labels x1 then y1) is on
  // no best path either when another node n2 (x2, y2) scores more than n1 by
  // more than the next two steps can favour n1, and every edge that may
  // follow y1 may follow y2: each path through n1 then scores less than n2
  // followed by the same labels (see BuildRuns). The second step, on a
  // label z, can favour n1 by at most d_z - min d with d = h2_y1 - h2_y2
  // (h1, h2 the rows of "pv1lb=" and "pv2lb=" labels, the minimum over
  // every outcome since ln Z1 - ln Z2 >= min d), z any label that may come
  // two steps after y1 (the end only two characters before it). The first
  // step can favour n1 by at most the spread of (h1_y1 + h2_x1) -
  // (h1_y2 + h2_x2), or, tighter, with s1 and s2 the two contexts' sums at
  // the next character and d = s1 - s2:
  //   ln p1(c) - ln p2(c) = d_c - (ln Z1 - ln Z2) <= d_c - E_p2[d]
  // (Jensen: ln Z1 - ln Z2 = ln E_p2[exp(d)] >= E_p2[d]), the largest over
  // the labels c that may follow y1 and leave the position, and at least 0
  // (the floor of the probabilities only narrows a difference). p2 is n2's
  // own row at the next character. Every bound carries a margin far above
  // the rounding of the model's sums where ScoresSmall holds, and the
  // comparison as a whole B - T (see BoundedForwardPass). Such nodes are
  // dead: only live nodes are extended, and a run of nodes (consecutive,
  // one label) with no live node is passed over whole.
  //
  // Why no result changes: a node that is dead is on no path scoring the
  // best score S (strictly, by the margins). Every node of the bounded
  // search scores at most its twin of the full search (it merges a subset of
  // the same extensions), so by induction a node on a best path has the
  // same score and predecessor in both: its best extension comes from a
  // node on a best path, and every other extension it receives in the full
  // search is either present here with the same value or came from a node
  // on no best path, whose value lies below the winner's, so the first best
  // (the tie rule) is the same. A run passed over would only have made or
  // merged into its own node (the extensions of one run share their state);
  // every other node keeps its place in its list, so the head merges and the
  // end node created last are those of the full search.
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
  double ScoreLabel(int32_t second_previous, int32_t previous, int32_t label, int32_t index);
  // The decimal text of `label` is an outcome of the bound model.
  bool KnowsLabel(int32_t label);
  // The outcome that scores `label` (the last one with its number), -1 when
  // none does; valid from SetInput until the next model is bound.
  int32_t OutcomeOfLabel(int32_t label) const;
  // The bound model's predicate "pv1lb=<label>" (which 0) or "pv2lb=<label>"
  // (which 1), -1 when unknown.
  int32_t HistoryPredicate(int which, int32_t label);

  // ---- inspection ----
  int32_t PositionCount() const { return position_count_; }
  const NEEdge* EdgesEndingAt(int32_t position) const { return edges_by_end_[position]; }
  const NEEdge* EdgesStartingAt(int32_t position) const { return edges_by_start_[position]; }
  const NENodeList& NodesAt(int32_t position) const { return node_lists_[position]; }
  // Model evaluations since construction (one per scored context).
  uint64_t Evaluations() const { return evaluations_; }

 private:
  // Outcome numbers and history predicates of one loaded model.
  struct ModelTables {
    const CMEModel* model = nullptr;
    int32_t outcomes = -1;
    int32_t predicates = -1;
    int32_t features = -1;
    std::vector<int32_t> label_outcome;            // label 0..255 -> last outcome with that number
    std::map<int32_t, int32_t> far_label_outcome;  // other labels
    std::vector<int8_t> known;                     // label 0..255 -> decimal text is an outcome
    std::vector<int32_t> history[2];               // "pv1lb=" / "pv2lb=" + label -> predicate
    // Tables of the comparison of nodes (labels below kContextLabels).
    bool bound_ready = false;
    bool bound_usable = false;
    double history_scale = 0.0;  // largest |h1| or |h2|
    // dominance[x * kContextLabels + w]: at least the score of any label in
    // context (x, y) less its score in context (w, y), for any y (the rows of
    // "pv2lb=x" and "pv2lb=w" differ by at most so much between outcomes).
    std::vector<double> dominance;
    // history_spread[y * kContextLabels + w]: the spread of the rows of
    // "pv1lb=y" and "pv1lb=w" (see BuildRuns).
    std::vector<double> history_spread;
    // second_step[(e * kContextLabels + y1) * kContextLabels + y2]: see
    // SecondStepRow (e 1 where the second step may be the end), valid where
    // second_ready[e * kContextLabels + y1] is 1.
    std::vector<double> second_step;
    std::vector<uint8_t> second_ready;
    std::vector<int32_t> outcome_label;  // outcome -> the number of its text
    // The history rows the tables were made from, and the model's
    // RowsVersion then.
    std::vector<double> history_rows[2];
    uint64_t rows_version = 0;
  };
  static constexpr int32_t kNearLabels = 256;
  static constexpr int32_t kContextLabels = 64;  // flat context table covers labels below this
  static constexpr int32_t kUnresolved = -2;
  static constexpr double kNotScored = 1.0;  // a label score (a log) is never positive
  // Largest |fixed scores| + 2 |history row| for which nodes are compared.
  static constexpr double kBoundScale = 300.0;
  // Rounding margin of FirstStepGain's bound: its sums and the model's
  // differ by far less where ScoresSmall holds.
  static constexpr double kGainMargin = 1e-8;

  // Labels of the sample texts (or of indexed samples) for the lattice.
  template <class LabelOf>
  void BuildLatticeWith(const CUString& text, LabelOf label_of,
                        const std::vector<int32_t>& label_bits,
                        const std::vector<int32_t>& fallback_labels);
  // The score of one complete path (summed as ExtendAll sums), found by a walk
  // that keeps the kBeamWidth best label pairs of each position;
  // -infinity when that walk reaches a position with no allowed edge.
  double BoundPathScore();
  // The kBeamWidth best of candidates_ into beam_, best first.
  void KeepTwoBest();
  void PrepareModel();
  void ClearCache();
  // ScoreLabel with the label's outcome already looked up.
  double ScoreOutcome(int32_t second_previous, int32_t previous, int32_t outcome, int32_t index);
  // ln p of `outcome` from the context row at `row` (0.0 for outcome -1).
  double RowScore(size_t row, int32_t outcome) {
    if (outcome < 0) return 0.0;
    const size_t outcomes = static_cast<size_t>(tables_.outcomes);
    double& score = rows_[row + outcomes + static_cast<size_t>(outcome)];
    if (score != kNotScored) return score;
    return ScoreFromTerms(score, row, outcome);
  }
  // Fills the cached score of `outcome` in the row at `row`.
  double ScoreFromTerms(double& score, size_t row, int32_t outcome);
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
  // An extension in the bounded search that scores below the bound: what
  // the full search would do with it, as far as later extensions can tell
  // (see ExtendNode).
  void BelowBound(const NENodeList& list, const NEPathNode* node, int32_t label);
  // Doubles per cached context: terms, label scores, normaliser.
  size_t RowStride() const { return 2 * static_cast<size_t>(std::max(tables_.outcomes, 0)) + 1; }
  // Room for one more row in rows_; returns its offset.
  size_t NewRow();
  // Makes the row at `offset` the cached one of the context.
  void RegisterRow(int32_t second_previous, int32_t previous, size_t offset);
  // The history predicate of a label, from the table when already resolved.
  int32_t History(int which, int32_t label) {
    if (static_cast<uint32_t>(label) < static_cast<uint32_t>(kNearLabels)) {
      const int32_t known = tables_.history[which][static_cast<size_t>(label)];
      if (known != kUnresolved) return known;
    }
    return HistoryPredicate(which, label);
  }
  // The per-position facts the comparison of nodes needs (position_safe_,
  // next_labels_); none when the model or the lattice does not allow it.
  void PreparePositions();
  // The per-model tables of the comparison, built once per model and again
  // when the weights of its history rows have changed.
  void PrepareBound();
  // The fixed-predicate sums of sample `index` are small enough for the
  // margins of the comparison.
  bool ScoresSmall(int32_t index);
  // The bounding walk keeps the rows it evaluated at `position`; the bounded
  // forward pass starts that position's cache with them.
  void KeepSeeds(int32_t position);
  void SeedCache(int32_t position);
  // The live nodes of the list at `start`, which ExtendAll extends into
  // `position`, in list order and in runs of one label (live_runs_,
  // live_nodes_); dead nodes are left out (see BoundedForwardPass).
  void BuildRuns(int32_t start, int32_t position);
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
    if (tables_.second_ready[row] != 0) {
      return tables_.second_step.data() + row * static_cast<size_t>(kContextLabels);
    }
    return FillSecondStepRow(y1);
  }
  const double* FillSecondStepRow(size_t y1);
  // The outcomes of the labels of `followers` that an outcome scores.
  void ListFollowerOutcomes(int32_t label, uint64_t followers);
  // Extends every node at edge->start by `edge` into `position`, in list
  // order, with the edge's own checks made once for all of them (inlined
  // into the pass).
  void ExtendAll(int32_t position, NEEdge* edge);
  // One extension of ExtendAll (the checks of Extend that depend on the node).
  void ExtendNode(NENodeList& list, int32_t position, NEPathNode* node, NEEdge* edge,
                  bool label_scored, bool known, int32_t outcome, int32_t index);
  // Offset in rows_ of the probabilities of context (second_previous, previous)
  // at the cache position, evaluating the model when the context is new.
  size_t ContextRow(int32_t second_previous, int32_t previous, int32_t index);
  void ComputeBaseScores(int32_t index);

  BlockArena node_arena_;
  BlockArena edge_arena_;
  NEEdge** edges_by_end_ = nullptr;
  NEEdge** edges_by_start_ = nullptr;
  NENodeList* node_lists_ = nullptr;
  int32_t position_count_ = 0;
  bool backward_edges_ = false;  // an edge whose end is not after its start

  const CUString* text_ = nullptr;
  int32_t text_length_ = 0;
  const NEIndexedSamples* samples_ = nullptr;
  NEIndexedSamples indexed_;  // string samples of SetInput, indexed
  const CMEClassifier* classifier_ = nullptr;
  ModelTables tables_;

  // T of the bounded search; -infinity otherwise.
  double bound_ = -std::numeric_limits<double>::infinity();

  // Score cache of the current position.
  int32_t cache_position_ = -1;
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
  // States of the bounding walk: the last two labels and the best score.
  struct BeamState {
    int32_t second_previous;
    int32_t previous;
    double score;
  };
  static constexpr size_t kBeamWidth = 2;
  std::vector<BeamState> beam_, candidates_;
  bool walking_ = false;  // in BoundPathScore: row_keys_ records the rows made
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
  // The nodes of the list BuildRuns compares that score at least the bound,
  // in list order.
  std::vector<NEPathNode*> run_nodes_;
  // The best node of each label, with what the comparison reads of it.
  struct StrongNode {
    double score;
    NEPathNode* node;
    int32_t label;
    int32_t previous_label;
  };
  std::vector<StrongNode> strongest_;
  // Per entry of strongest_: its row was read into strong_rows_ (its
  // probabilities, then its two history rows summed).
  std::vector<uint8_t> strong_ready_;
  std::vector<double> strong_rows_;
  std::vector<double> gain_row_;
  int32_t label_slot_[kContextLabels];  // label -> its entry of strongest_, or -1
  struct FollowerOutcomes {
    int32_t count = 0;
    uint8_t outcome[kContextLabels];
  };
  FollowerOutcomes follower_outcomes_[kContextLabels];
  bool second_end_ = false;  // at the runs' position, the second step may be the end
  // Per position of the bounded search: 1 when its steps' scores are small
  // enough for the margins of the dominance table.
  std::vector<uint8_t> position_safe_;
  // Per position: the labels (below 64) of the edges that may leave it.
  std::vector<uint64_t> next_labels_;
  double bound_margin_ = 0.0;   // B - T
  bool compare_nodes_ = false;  // in the bounded search
  // Extensions scoring below bound_ make no node (the bounded search where
  // doubles are evaluated as doubles, so that a sum compared is the sum
  // kept).
  bool pruning_ = false;
  // The head of the list being filled is a node below the bound that was
  // not made: its label and the edge of the node it extends.
  bool unmade_ = false;
  int32_t unmade_label_ = 0;
  const NEEdge* unmade_edge_ = nullptr;
  // Fixed-predicate sums of every sample of the clause (kept_stamp_[i] ==
  // clause_stamp_ when filled): the walk, the comparison and the search share them.
  uint32_t clause_stamp_ = 0;
  std::vector<uint32_t> kept_stamp_;
  std::vector<double> kept_base_;
  struct LiveRun {
    int32_t label;
    uint32_t first;  // in live_nodes_
    uint32_t count;
  };
  std::vector<LiveRun> live_runs_;
  uint64_t live_labels_ = 0;  // the labels below 64 of live_runs_
  std::vector<NEPathNode*> live_nodes_;
  int32_t runs_start_ = -1;
  int32_t base_index_ = -1;              // sample whose fixed-predicate scores base_scores_ holds
  const double* base_scores_ = nullptr;  // in kept_base_, or base_ (zeros)
  std::vector<double> base_;
  uint64_t evaluations_ = 0;
};

}  // namespace verrin

#endif  // VERRIN_ENGINE_DECODER_H_
