// The bounded search of CNEDecoder: the bounding walk, the bound, and the
// comparison of the nodes of a position (see bounded_search.h and the
// section "The bounded search" of docs/architecture.md).
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

#include "engine/decoder.h"
#include "engine/word_node.h"
#include "maxent/me_model.h"

namespace verrin {

using bounded_search::BeamState;
using bounded_search::FollowerOutcomes;
using bounded_search::kBeamWidth;
using bounded_search::kBoundScale;
using bounded_search::kGainMargin;
using bounded_search::LiveRun;
using bounded_search::StrongNode;
using label_grammar::FixedByInput;
using label_grammar::kContinuing;
using label_grammar::kFollowers;
using label_grammar::kGrammarLabels;
using label_grammar::kOpen;
using label_grammar::Unscored;

namespace {

// Sums and comparisons of doubles are made on doubles, not on wider
// registers (x87), so that a sum compared is the sum kept.
constexpr bool kDoublesAsDoubles = FLT_EVAL_METHOD == 0;

// A node the comparison covers: both its labels below kContextLabels, its
// own label scored.
inline bool Comparable(const NEPathNode* node) {
  constexpr int32_t kLabels = bounded_search::kContextLabels;
  return node->label >= 0 && node->label < kLabels && !Unscored(node->label) &&
         node->previous_label >= 0 && node->previous_label < kLabels;
}

}  // namespace

void CNEDecoder::BoundedForwardPass() {
  // The walk sums a path's scores as ExtendAll does, but where doubles are
  // kept in wider registers (x87) the two sums may differ in their last
  // bits; the margin keeps the bound at or below the score the forward pass
  // gives the same path.
  // Two paths compared through the rest of a clause (see Outscored) are
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
  cache_.BeginSeededPass();
  ForwardPass();
  cache_.EndSeededPass();
  compare_nodes_ = false;
  pruning_ = false;
  bound_ = -std::numeric_limits<double>::infinity();
}

// ---- the bounding walk ----

inline void CNEDecoder::AddCandidate(size_t group, int32_t second_previous, int32_t previous,
                                     double total) {
  for (size_t c = group; c < candidates_.size(); ++c) {
    BeamState& candidate = candidates_[c];
    if (candidate.second_previous == second_previous && candidate.previous == previous) {
      if (total > candidate.score) candidate.score = total;
      return;
    }
  }
  candidates_.push_back(BeamState{second_previous, previous, total});
}

[[gnu::always_inline]] inline void CNEDecoder::WalkState(int32_t i, size_t s) {
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
  uint64_t allowed = static_cast<uint32_t>(state.previous) < static_cast<uint32_t>(kGrammarLabels)
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
            ? static_cast<uint32_t>(edge->label) >= static_cast<uint32_t>(kGrammarLabels) ||
                  ((allowed >> edge->label) & 1u) == 0
            : !label_grammar::Allowed(text_length_, state.previous, edge->label, edge->index)) {
      continue;
    }
    double score = 0.0;
    if (state_scored || !Unscored(edge->label)) {
      if (KnowsLabel(edge->label)) {
        // A model knows the label: the row the cache holds for the
        // context, whichever edge asked first.
        if (!row_found) {
          row = cache_.ContextRow(state.second_previous, state.previous, edge->index);
          row_found = true;
        }
        score = cache_.RowScore(row, OutcomeOfLabel(edge->label));
      } else if (!FixedByInput(edge->label)) {
        continue;
      }
    }
    // Summed as ExtendAll sums.
    AddCandidate(group, state.previous, edge->label, state.score + score + edge->score);
  }
}

double CNEDecoder::BoundPathScore() {
  const double none = -std::numeric_limits<double>::infinity();
  const NEPathNode* start = position_count_ > 0 ? node_lists_[0].head : nullptr;
  cache_.BeginWalk(position_count_);
  if (start == nullptr) return none;
  beam_.assign(1, BeamState{start->previous_label, start->label, start->score});
  cache_.RecordWalk(true);
  for (int32_t i = 1; i < position_count_; ++i) {
    cache_.MoveTo(i);
    candidates_.clear();
    for (size_t s = 0; s < beam_.size(); ++s) WalkState(i, s);
    // The contexts this position evaluated serve the forward pass again.
    cache_.KeepSeeds(i);
    if (candidates_.empty()) {
      cache_.RecordWalk(false);
      return none;
    }
    KeepTwoBest();
  }
  cache_.RecordWalk(false);
  double best = none;
  for (const BeamState& state : beam_) best = std::max(best, state.score);
  return best;
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

// ---- the comparison of nodes ----

void CNEDecoder::BuildRuns(int32_t start, int32_t position) {
  BeginRuns(start);
  const NENodeList& list = node_lists_[start];
  if (!CanCompareAt(start)) {
    for (NEPathNode* node = list.head; node != nullptr; node = node->next) {
      if (node->score >= bound_) KeepLive(node);
    }
    return;
  }
  const size_t count = ReadRunNodes(list);
  CompareRunNodes(start, position, count);
}

void CNEDecoder::BeginRuns(int32_t start) {
  runs_start_ = start;
  live_runs_.clear();
  live_labels_ = 0;
  live_count_ = 0;
  const size_t count = static_cast<size_t>(std::max(node_lists_[start].count, 0));
  if (live_nodes_.size() < count) live_nodes_.resize(count);
}

inline void CNEDecoder::KeepLive(NEPathNode* node) {
  // Live nodes go into live_nodes_ in list order, one LiveRun per group of
  // consecutive live nodes with one label (a run whose nodes all died leaves
  // no trace, and two runs of one label that only dead nodes separate become
  // one: ExtendAll treats both alike).
  if (live_count_ == live_nodes_.size()) live_nodes_.resize(2 * live_nodes_.size() + 16);
  if (live_count_ == 0 || live_runs_.back().label != node->label) {
    live_runs_.push_back(LiveRun{node->label, live_count_, 0});
    if (static_cast<uint32_t>(node->label) < static_cast<uint32_t>(kGrammarLabels)) {
      live_labels_ |= uint64_t{1} << node->label;
    }
  }
  live_nodes_[live_count_++] = node;
  ++live_runs_.back().count;
}

bool CNEDecoder::CanCompareAt(int32_t start) const {
  return compare_nodes_ && bound_tables_.usable &&
         static_cast<size_t>(start) < position_safe_.size() &&
         position_safe_[static_cast<size_t>(start)] != 0;
}

size_t CNEDecoder::ReadRunNodes(const NENodeList& list) {
  // Each node is compared with the best node of each label only, so the
  // work stays linear in the nodes of the position; the best of them first
  // (the first in list order of equals).
  if (run_nodes_.size() < live_nodes_.size()) run_nodes_.resize(live_nodes_.size());
  NEPathNode** read = run_nodes_.data();
  size_t count = 0;
  strongest_.clear();
  for (NEPathNode* other = list.head; other != nullptr; other = other->next) {
    // Only the nodes that score at least the bound can live (kept without
    // a branch); every node can be the best of its label.
    const double score = other->score;
    read[count] = other;
    count += score >= bound_ ? 1 : 0;
    if (!Comparable(other)) continue;
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
  return count;
}

[[gnu::always_inline]] inline bool CNEDecoder::Outscored(const NEPathNode* node, uint64_t next,
                                                         int32_t start) {
  // A node n1 (labels x1 then y1) is on no best path when another node n2
  // (x2, y2) of the position scores more than n1 by more than the next two
  // steps can favour n1, and every edge that may follow y1 may follow y2:
  // each path through n1 then scores less than n2 followed by the same
  // labels, whose contexts are the same from the third step on. The second
  // steps differ by at most what SecondStepRow gives; the first step is
  // bounded by the spread of (h1_y1 + h2_x1) - (h1_y2 + h2_x2) from the
  // tables and, where that is not enough, by the gain FirstStepGain finds
  // from n2's own row. With y1 = y2 both go into the same nodes, where n1
  // never wins a merge.
  const size_t labels = static_cast<size_t>(kContextLabels);
  const StrongNode* strongest = strongest_.data();
  const size_t strong_count = strongest_.size();
  const double score = node->score;
  const size_t y = static_cast<size_t>(node->label);
  const uint64_t followers = kFollowers.bits[y] & next;
  // The first better node that every label that may follow this one may
  // follow (NaN scores are passed over, as the comparisons below do).
  size_t k = 0;
  for (; k < strong_count && !(strongest[k].score <= score); ++k) {
    if ((followers & ~kFollowers.bits[strongest[k].label]) == 0) break;
  }
  if (k == strong_count || strongest[k].score <= score) return false;
  const size_t x = static_cast<size_t>(node->previous_label);
  const double* spread = bound_tables_.dominance.data() + x * labels;
  const double* first = bound_tables_.history_spread.data() + y * labels;
  const double* second_step = SecondStepRow(y);
  const double margin = bound_margin_;
  bool summed = false;  // gain_row_ holds h1_y1 + h2_x1
  for (; k < strong_count; ++k) {
    const StrongNode& other = strongest[k];
    if (other.score <= score) break;  // so are the rest
    const size_t w = static_cast<size_t>(other.label);
    if ((followers & ~kFollowers.bits[w]) != 0) continue;
    const size_t v = static_cast<size_t>(other.previous_label);
    const double second = second_step[w];
    if (score + first[w] + spread[v] + second + margin < other.score) return true;
    if (!rows_here_) continue;
    // What the first step may still give n1 for n1 to live.
    const double room_left = other.score - score - margin - second - kGainMargin;
    if (!(room_left > 0.0)) continue;
    if (!summed) {
      const size_t outcomes = static_cast<size_t>(cache_.Tables().outcomes);
      const double* h1 = bound_tables_.history_rows[0].data() + y * outcomes;
      const double* h2 = bound_tables_.history_rows[1].data() + x * outcomes;
      for (size_t o = 0; o < outcomes; ++o) gain_row_[o] = h1[o] + h2[o];
      summed = true;
    }
    if ((listed_labels_ >> y & 1u) == 0) {
      ListFollowerOutcomes(static_cast<int32_t>(y), followers);
      listed_labels_ |= uint64_t{1} << y;
    }
    if (FirstStepGain(gain_row_.data(), static_cast<int32_t>(y), k, start) < room_left) {
      return true;
    }
  }
  return false;
}

void CNEDecoder::CompareRunNodes(int32_t start, int32_t position, size_t count) {
  // The rows of the best nodes belong to the cache of this position only.
  rows_here_ = position == start + 1 && position == cache_.Position();
  const size_t outcomes = static_cast<size_t>(cache_.Tables().outcomes);
  strong_ready_.assign(strongest_.size(), 0);
  if (strong_rows_.size() < strongest_.size() * 2 * outcomes) {
    strong_rows_.resize(strongest_.size() * 2 * outcomes);
  }
  if (gain_row_.size() < outcomes) gain_row_.resize(outcomes);
  listed_labels_ = 0;
  // The second step can be the end only from the last character.
  second_end_ = static_cast<size_t>(start) + 1 < next_labels_.size() &&
                ((next_labels_[static_cast<size_t>(start) + 1] >> kLabelEnd) & 1u) != 0;
  const uint64_t next = next_labels_[static_cast<size_t>(start)];
  NEPathNode* const* read = run_nodes_.data();
  for (size_t i = 0; i < count; ++i) {
    NEPathNode* node = read[i];
    if (!Comparable(node) || !Outscored(node, next, start)) KeepLive(node);
  }
}

// ---- the tables of the comparison ----

void CNEDecoder::PreparePositions() {
  const size_t count = static_cast<size_t>(std::max(position_count_, 0));
  position_safe_.assign(count, 0);
  next_labels_.assign(count, 0);
  if (cache_.Tables().model == nullptr || count < 2) return;
  PrepareBound();
  if (!bound_tables_.usable) return;
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
  const CMEModel& model = *cache_.Tables().model;
  if (bound_tables_.ready && bound_tables_.rows_version == model.RowsVersion()) return;
  bound_tables_.ready = true;
  bound_tables_.rows_version = model.RowsVersion();
  bound_tables_.usable = false;
  const int32_t n = cache_.Tables().outcomes;
  if (n <= 0 || n > kContextLabels) return;
  const size_t outcomes = static_cast<size_t>(n);
  const size_t labels = static_cast<size_t>(kContextLabels);
  std::vector<double>* rows = bound_tables_.history_rows;
  double scale = 0.0;
  for (int which = 0; which < 2; ++which) {
    rows[which].assign(labels * outcomes, 0.0);
    for (int32_t label = 0; label < kContextLabels; ++label) {
      const int32_t predicate = cache_.History(which, label);
      double* row = rows[which].data() + static_cast<size_t>(label) * outcomes;
      if (predicate >= 0) {
        model.AddPredicateScores(predicate, row);
      }
      for (size_t y = 0; y < outcomes; ++y) scale = std::max(scale, std::fabs(row[y]));
    }
  }
  // Also false for NaN.
  if (!(scale <= kBoundScale)) return;
  bound_tables_.history_scale = scale;
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
  bound_tables_.dominance.assign(labels * labels, 0.0);
  for (size_t x = 0; x < labels; ++x) {
    for (size_t w = 0; w < labels; ++w) {
      bound_tables_.dominance[x * labels + w] = spread(rows[1], x, w);
    }
  }
  bound_tables_.history_spread.assign(labels * labels, 0.0);
  for (size_t y = 0; y < labels; ++y) {
    for (size_t w = 0; w < labels; ++w) {
      bound_tables_.history_spread[y * labels + w] = spread(rows[0], y, w);
    }
  }
  // Filled row by row as the search asks (see SecondStepRow).
  bound_tables_.second_step.assign(2 * labels * labels, 0.0);
  bound_tables_.second_ready.assign(2 * labels, 0);
  bound_tables_.usable = true;
}

bool CNEDecoder::ScoresSmall(int32_t index) {
  const double* base = cache_.BaseScores(index);
  const size_t outcomes = static_cast<size_t>(std::max(cache_.Tables().outcomes, 0));
  // The largest |score| that is not NaN (std::max passes NaN over), in four
  // independent chains.
  double lane[4] = {0.0, 0.0, 0.0, 0.0};
  size_t o = 0;
  for (; o + 4 <= outcomes; o += 4) {
    for (size_t k = 0; k < 4; ++k) lane[k] = std::max(lane[k], std::fabs(base[o + k]));
  }
  for (; o < outcomes; ++o) lane[0] = std::max(lane[0], std::fabs(base[o]));
  const double scale = std::max(std::max(lane[0], lane[1]), std::max(lane[2], lane[3]));
  // With |f| + 2 |h| at most kBoundScale the model's sums are far from where
  // exp overflows or loses precision, and their rounding far below the
  // margins of the comparison. Also false for NaN.
  return scale + 2.0 * bound_tables_.history_scale <= kBoundScale;
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
  double* known = bound_tables_.second_step.data() + row * labels;
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
  const size_t outcomes = static_cast<size_t>(cache_.Tables().outcomes);
  const double* h1 = bound_tables_.history_rows[1].data() + y1 * outcomes;
  for (size_t y2 = 0; y2 < labels; ++y2) {
    const double* h2 = bound_tables_.history_rows[1].data() + y2 * outcomes;
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (size_t o = 0; o < outcomes; ++o) {
      const double d = h1[o] - h2[o];
      low = std::min(low, d);
      // An outcome whose number is no label below 64 counts as any label.
      const int32_t label = cache_.Tables().outcome_label[o];
      if (static_cast<uint32_t>(label) >= static_cast<uint32_t>(kContextLabels) ||
          ((second >> label) & 1u) != 0) {
        high = std::max(high, d);
      }
    }
    // At least 0: the floor of the probabilities only narrows a difference.
    known[y2] = std::max(0.0, high - low) * (1.0 + 1e-9) + 1e-9 + 1e-11 * kBoundScale;
  }
  bound_tables_.second_ready[row] = 1;
  return known;
}

void CNEDecoder::ListFollowerOutcomes(int32_t label, uint64_t followers) {
  FollowerOutcomes& list = follower_outcomes_[static_cast<size_t>(label)];
  list.count = 0;
  for (uint64_t rest = followers; rest != 0; rest &= rest - 1) {
    const size_t next = static_cast<size_t>(__builtin_ctzll(rest));
    // A label no outcome scores adds 0 to both paths.
    if (cache_.Tables().known[next] == 0) continue;
    const int32_t outcome = cache_.Tables().label_outcome[next];
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
  const size_t outcomes = static_cast<size_t>(cache_.Tables().outcomes);
  double* p2 = strong_rows_.data() + strong * 2 * outcomes;
  double* a2 = p2 + outcomes;
  if (strong_ready_[strong] == 0) {
    // n2 outscores a live node, so it is mostly extended anyway: its row
    // goes where its extensions will look for it.
    NEPathNode* other = strongest_[strong].node;
    if (other->row_stamp != cache_.Stamp()) {
      other->row =
          static_cast<uint32_t>(cache_.ContextRow(other->previous_label, other->label, index));
      other->row_stamp = cache_.Stamp();
    }
    const double* terms = cache_.Row(other->row);
    const double z = terms[2 * outcomes];
    const double* h1 =
        bound_tables_.history_rows[0].data() + static_cast<size_t>(other->label) * outcomes;
    const double* h2 = bound_tables_.history_rows[1].data() +
                       static_cast<size_t>(other->previous_label) * outcomes;
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

}  // namespace verrin
