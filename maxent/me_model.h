// CMEModel: a conditional maximum-entropy model over string predicates.
//
// Feature key = outcome index + 256 * predicate index (at most 256 outcomes).
// p(o | sample) = exp(score(o)) / Z with score(o) the sum, in sample order, of
// the weights of (o, p) for every known predicate p of the sample.
#ifndef VERRIN_MAXENT_ME_MODEL_H_
#define VERRIN_MAXENT_ME_MODEL_H_

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "maxent/me_sample.h"
#include "text/ustring.h"

namespace verrin {

// A model entry of an in-memory table; the table ends at outcome "///".
struct MEModelEntry {
  const char16_t* outcome;
  const char16_t* predicate;
  double weight;
};

class CMEModel {
 public:
  CMEModel();
  ~CMEModel();

  // ---- classification ----
  // Fills `probs` with one probability per outcome; returns the best index
  // (ties to the lowest). An empty model returns 0 with an empty vector.
  int32_t Eval(const CMESample& sample, std::vector<double>& probs) const;
  // Eval, then sample.label = the best outcome's text; returns the probabilities.
  std::vector<double> Predict(CMESample& sample) const;
  CUString GetOutcome(int32_t index) const;
  int32_t FindOutcome(const CUString& text) const;
  int32_t FindOutcome(const char16_t* text) const;
  int32_t OutcomeCount() const { return outcome_count_; }

  // ---- fast path with the same bits as Eval ----
  // Predicate index of a text, -1 when unknown.
  int32_t PredicateIndex(const CUString& text) const;
  // scores[o] += weight(o, predicate) for every feature of the predicate, in
  // the order Eval adds them. `scores` holds OutcomeCount() doubles.
  void AddPredicateScores(int32_t predicate, double* scores) const;
  // Turns scores into probabilities exactly as Eval does (in place); returns
  // the best index.
  int32_t ScoresToProbabilities(double* scores) const;

  // ---- model files ----
  bool Load(const CUString& path, bool protected_form);
  bool Save(const CUString& path) const;
  bool LoadTable(const MEModelEntry* entries);
  void ExportEntries(std::vector<std::pair<std::pair<CUString, CUString>, double>>& out) const;

  // ---- training ----
  void AddEvent(const CMESample& sample);
  void ClearEvents();
  int TrainEvents(const std::vector<CMESample>& samples, int cutoff, double sigma,
                  double width_factor);
  int Train(int cutoff, double sigma, double width_factor);
  // AGIS in place of BLMVM for the estimation step of Train.
  void SetUseAgis(bool use_agis) { use_agis_ = use_agis; }

  // Training settings (plain fields, default 0).
  int32_t heldout_count = 0;
  int32_t early_stop_window = 0;
  double sigma = 0.0;

  // Sizes, for statistics.
  int32_t PredicateCount() const;
  int32_t FeatureCount() const;

  struct Impl;  // training and storage details live in the .cc files

 private:
  int32_t outcome_count_ = 0;
  bool use_agis_ = false;
  Impl* impl_;
};

}  // namespace verrin

#endif  // VERRIN_MAXENT_ME_MODEL_H_
