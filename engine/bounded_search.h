// The bounded search's tables and working records (CNEDecoder's
// BoundedForwardPass, engine/bounded_search.cc).
//
// A walk that keeps the two best label pairs of each position finds the
// score of one complete path; the forward pass then extends only the nodes
// that may still lie on a best path. Why no result changes: the section "The
// bounded search" of docs/architecture.md.
#ifndef VERRIN_ENGINE_BOUNDED_SEARCH_H_
#define VERRIN_ENGINE_BOUNDED_SEARCH_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace verrin {

struct NEPathNode;

namespace bounded_search {

// The comparison of nodes covers labels below this (the score cache's flat
// context table).
inline constexpr int32_t kContextLabels = 64;
// Largest |fixed scores| + 2 |history row| for which nodes are compared.
inline constexpr double kBoundScale = 300.0;
// Rounding margin of FirstStepGain's bound: its sums and the model's differ
// by far less where ScoresSmall holds.
inline constexpr double kGainMargin = 1e-8;

// Tables of the comparison of nodes for one model, made from the rows of its
// history predicates ("pv1lb=" and "pv2lb=" labels below kContextLabels).
struct BoundTables {
  bool ready = false;
  bool usable = false;
  double history_scale = 0.0;  // largest |h1| or |h2|
  // dominance[x * kContextLabels + w]: at least the score of any label in
  // context (x, y) less its score in context (w, y), for any y (the rows of
  // "pv2lb=x" and "pv2lb=w" differ by at most so much between outcomes).
  std::vector<double> dominance;
  // history_spread[y * kContextLabels + w]: the spread of the rows of
  // "pv1lb=y" and "pv1lb=w" (see CNEDecoder::Outscored).
  std::vector<double> history_spread;
  // second_step[(e * kContextLabels + y1) * kContextLabels + y2]: see
  // CNEDecoder::SecondStepRow (e 1 where the second step may be the end),
  // valid where second_ready[e * kContextLabels + y1] is 1.
  std::vector<double> second_step;
  std::vector<uint8_t> second_ready;
  // The history rows the tables were made from, and the model's
  // RowsVersion then.
  std::vector<double> history_rows[2];
  uint64_t rows_version = 0;
};

// A state of the bounding walk: the last two labels and the best score.
struct BeamState {
  int32_t second_previous;
  int32_t previous;
  double score;
};
inline constexpr size_t kBeamWidth = 2;

// The best node of one label at a position, with what the comparison reads
// of it.
struct StrongNode {
  double score;
  NEPathNode* node;
  int32_t label;
  int32_t previous_label;
};

// The outcomes of the labels that may follow one label.
struct FollowerOutcomes {
  int32_t count = 0;
  uint8_t outcome[kContextLabels];
};

// Consecutive live nodes of one label, live_nodes[first, first + count).
struct LiveRun {
  int32_t label;
  uint32_t first;
  uint32_t count;
};

}  // namespace bounded_search

}  // namespace verrin

#endif  // VERRIN_ENGINE_BOUNDED_SEARCH_H_
