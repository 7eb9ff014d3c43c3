// CDomainAdapter: a resource set and its model taught the text of a domain
// from a bracketed corpus of it.
//
// Three steps, each on the resource set the engine reads, in place:
//   1. The corpus is read once with its labels known, as feature generation
//      reads it. Every character's labels are added to the label table (with
//      the person labels open to every Chinese character of the table), so
//      that no clause of the corpus is beyond the lattice; every (label,
//      predicate) pair the corpus shows at least `feature_cutoff` times and
//      the model lacks joins the model at weight 0.
//   2. Passes of the whole-clause trainer (CSequenceTrainer, with a margin)
//      over the corpus's lines, interleaved with lines of an optional base
//      corpus (the text the model was trained on) so that its domain is kept:
//      each pass takes `base_share` times the corpus's characters from the
//      base corpus, going on where the previous pass stopped.
//   3. The averaged weights of the last pass, or with a scoring hook of the
//      pass that scored best, are kept; weights within `prune` of 0 are left
//      out when the model is written.
// The result depends on the inputs alone: same files in, same bytes out.
#ifndef VERRIN_TRAIN_DOMAIN_ADAPTER_H_
#define VERRIN_TRAIN_DOMAIN_ADAPTER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/clause.h"
#include "engine/feature_extractor.h"
#include "text/diagnostics.h"
#include "text/large_table.h"
#include "text/ustring.h"
#include "train/sequence_trainer.h"

namespace verrin {

class CNEEngine;

struct DomainAdaptationOptions {
  int32_t feature_cutoff = 1;  // corpus occurrences a new (label, predicate) pair needs
  int32_t passes = 10;         // passes over the corpus
  double rate = 0.15;          // step size of the trainer
  double margin = 2.0;         // the trainer's margin per wrongly labelled character
  double base_share = 1.0;     // base corpus characters per pass, per corpus character
  double prune = 0.1;          // weights within this of 0 are left out when written
  // Judge labels by their entity part alone (see SequenceTrainingOptions):
  // how the corpus cuts plain words is then not taught.
  bool entities_only = false;
  // Predicate groups the model gains (step 1) besides those it holds: by
  // default the marks of known organizations, which pay for their cost on
  // the text of other domains (firms and brands the corpus does not teach).
  NEFeatureGroups groups = {kGroupOrgItems};
};

struct DomainScanStats {
  int64_t lines = 0;
  int64_t clauses = 0;
  int64_t characters = 0;
  int32_t label_entries = 0;  // label table entries that gained labels
  int64_t new_features = 0;   // (label, predicate) pairs added to the model
  int64_t new_predicates = 0;
};

struct DomainPassStats {
  int32_t pass = 0;
  SequenceEpochStats corpus;  // the corpus's clauses
  SequenceEpochStats base;    // the base corpus's clauses
  double score = -1.0;        // of the scoring hook, -1 without one
};

class CDomainAdapter {
 public:
  // `engine` supplies the resource set (label table and model) that changes.
  CDomainAdapter(CNEEngine* engine, const DomainAdaptationOptions& options);
  ~CDomainAdapter();
  CDomainAdapter(const CDomainAdapter&) = delete;
  CDomainAdapter& operator=(const CDomainAdapter&) = delete;

  // Reads a bracketed corpus (GBK, one or more sentences per line) into
  // memory; false with `error` set when it cannot be read.
  bool ReadCorpus(const std::string& path, std::string* error);
  bool ReadBaseCorpus(const std::string& path, std::string* error);

  // Step 1. `progress` (may be empty) hears the lines read.
  void ExtendResources(const ProgressHook& progress, DomainScanStats* stats);

  // Step 2 and 3: `options.passes` passes. After each, `on_pass` (may be
  // empty) hears its figures; `score` (may be empty) scores the averaged
  // weights, which are then in the model, and the best pass's weights are
  // kept (the earlier on a tie). `progress` hears the characters of the pass
  // done. Ends with the kept weights in the model; returns the pass they
  // come from.
  int32_t Train(const ProgressHook& progress, const std::function<double()>& score,
                const std::function<void(const DomainPassStats&)>& on_pass);

  // Zeroes the weights within `prune` of 0; returns how many.
  int32_t Prune();

  int64_t CorpusCharacters() const { return corpus_characters_; }

 private:
  void ScanLine(const CUString& line, DomainScanStats* stats);
  bool ReadLines(const std::string& path, std::vector<CUString>* lines, int64_t* characters,
                 std::string* error);

  CNEEngine* engine_;
  DomainAdaptationOptions options_;
  std::vector<CUString> corpus_, base_;
  int64_t corpus_characters_ = 0, base_characters_ = 0;
  size_t base_next_ = 0;  // the base line the next pass starts with
  std::vector<CUString> sentences_;
  NEClause clause_;
};

// Writes the resource set as a complete resource directory `out_dir`: the
// lexicons of `source_dir` copied, the engine's label table and its model.
// The files are made in a new directory beside `out_dir` that then takes its
// place, so that `out_dir` is never left half written. An existing `out_dir`
// is replaced when it is empty or a resource directory (it holds
// "model.txt"); otherwise nothing is written. False with `error` set on
// failure.
bool WriteResourceDirectory(CNEEngine* engine, const std::string& source_dir,
                            const std::string& out_dir, std::string* error);

}  // namespace verrin

#endif  // VERRIN_TRAIN_DOMAIN_ADAPTER_H_
