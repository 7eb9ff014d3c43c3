// CSequenceTrainer: refines a trained model for the decoder that uses it.
//
// The maximum-entropy trainer fits every character's label on its own, with
// the true labels of the two characters before it as history. The tagger
// instead takes the best whole path through the lattice, where one early
// mistake (an organization not started) can only be mended two characters
// later. This trainer works on the tagger's own objective: each clause of a
// bracketed training corpus is decoded with the current weights, exactly as
// tagging does; when the best path differs from the corpus's labels, the
// weights move by `rate` times the gradient of
//
//   score(corpus path) - score(decoded path),
//   score(path) = sum over scored steps of ln p(label | sample, history),
//
// which a structured perceptron does with linear scores. Steps whose label
// and history agree on both paths cancel and are skipped. With a margin, every
// wrongly labelled character of the search adds `margin` to a path's score,
// so that paths close to the corpus's are pushed away too. The weights the
// model gets are the average over all clauses seen (averaged perceptron),
// which keeps the result stable.
//
// Only the model's existing features change; none is added or removed.
#ifndef VERRIN_TRAIN_SEQUENCE_TRAINER_H_
#define VERRIN_TRAIN_SEQUENCE_TRAINER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "engine/clause.h"
#include "engine/lattice.h"
#include "engine/word_node.h"
#include "maxent/me_sample.h"
#include "text/diagnostics.h"
#include "text/large_table.h"
#include "text/ustring.h"

namespace verrin {

class CMEModel;
class CNEDecoder;
class CNEEngine;

struct SequenceTrainingOptions {
  double rate = 0.05;   // step size
  double margin = 0.0;  // added to the score of every wrongly labelled character
  // Judge labels by their entity part alone (none, or person, location,
  // organization with begin, inner, end): the margin counts only characters
  // whose entity part is wrong, and a decoded path that differs from the
  // corpus's only in how plain words are cut brings no update.
  bool entities_only = false;
};

struct SequenceEpochStats {
  int64_t lines = 0;
  int64_t clauses = 0;           // clauses decoded
  int64_t skipped = 0;           // clauses the lattice cannot label as the corpus does
  int64_t wrong_clauses = 0;     // clauses whose decoded path differed (an update)
  int64_t characters = 0;        // characters of the decoded clauses
  int64_t wrong_characters = 0;  // characters labelled differently by the decoded path
};

class CSequenceTrainer {
 public:
  // `engine` supplies pre-segmentation, features, label table, lattice and
  // the model (its resource's), whose weights change in place.
  CSequenceTrainer(CNEEngine* engine, const SequenceTrainingOptions& options);
  ~CSequenceTrainer();
  CSequenceTrainer(const CSequenceTrainer&) = delete;
  CSequenceTrainer& operator=(const CSequenceTrainer&) = delete;

  // One pass over a bracketed corpus (GBK, one or more sentences per line).
  // False with `error` set when the file cannot be opened. `progress` (may be
  // empty) hears the bytes of the corpus read after each line.
  bool RunEpoch(const std::string& corpus_path, const ProgressHook& progress,
                SequenceEpochStats* stats, std::string* error);
  // One line of the corpus: its clauses, one update each.
  void TrainLine(const CUString& line, SequenceEpochStats* stats);

  // The labels the corpus gives the clause's processed units (the sentinel's
  // 52 last) and the tagging samples; false when the clause has no
  // characters to label. `text` receives the processed clause without its
  // sentinel.
  bool PrepareClause(const CUString& sentence, CUString* text, std::vector<int32_t>* reference,
                     std::vector<CMESample>* samples);

  // Swaps the averaged weights into the model (for saving or scoring) and
  // back; training goes on only with the current weights in place.
  void UseAveragedWeights();
  void UseCurrentWeights();
  // Writes the model's scoring weights back into its feature table, which
  // Save and ZeroSmallWeights read.
  void SyncFeatureWeights();

  // Updates made so far (clauses whose decoded path differed).
  int64_t Updates() const { return updates_; }

 private:
  struct Step {
    int32_t index;
    int32_t second_previous;
    int32_t previous;
    int32_t label;
  };
  // Adds sign * rate * d ln p(label | step) / d weight to delta_ for every
  // row position of the step's predicates.
  void AccumulateGradient(const Step& step, const std::vector<CMESample>& samples, double sign);
  int32_t Group(int32_t label) const;
  // The clause's steps for the label sequence (one label per character, the
  // end label last).
  void StepsOf(const std::vector<int32_t>& labels, std::vector<Step>* steps) const;
  // The reference path (one label per character, the end label last) runs
  // through the lattice the decoder holds, by the search's rules.
  bool PathAllowed(const std::vector<int32_t>& labels);

  CNEEngine* engine_;
  CMEModel* model_;
  CNEDecoder* decoder_;
  SequenceTrainingOptions options_;
  std::vector<double> averaged_sum_;  // per row position: sum of count * change
  CLargeTable<double> saved_;         // current weights while the averaged ones are in
  double count_ = 1.0;                // clauses seen plus one
  int64_t updates_ = 0;

  // Scratch of one clause.
  std::vector<double> delta_;
  std::vector<size_t> touched_;
  std::vector<double> scores_;
  std::vector<int32_t> step_predicates_;
  std::vector<int32_t> label_bits_;  // candidate bits of the clause's characters
  std::vector<int32_t> groups_;      // label -> the label that stands for its group
  std::vector<int32_t> decoded_;
  std::vector<Step> reference_steps_, decoded_steps_;
  std::vector<CUString> sentences_;
  NEClause clause_;
  std::vector<CMESample> samples_;
  std::vector<int32_t> reference_;
  CUString text_;
  NEPath path_;
  CNEFallbackLabels fallback_;
};

}  // namespace verrin

#endif  // VERRIN_TRAIN_SEQUENCE_TRAINER_H_
