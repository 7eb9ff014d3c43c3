// CMEClassifier: the holder through which the resource set owns the model.
#ifndef VERRIN_MAXENT_ME_CLASSIFIER_H_
#define VERRIN_MAXENT_ME_CLASSIFIER_H_

#include <cstdint>

#include "maxent/me_model.h"
#include "text/ustring.h"

namespace verrin {

class CMEClassifier {
 public:
  CMEClassifier();
  virtual ~CMEClassifier();

  CMEModel& Model() { return model_; }
  const CMEModel& Model() const { return model_; }

  bool HasOutcome(const char16_t* text) const { return model_.FindOutcome(text) >= 0; }
  CUString GetOutcome(int32_t index) const { return model_.GetOutcome(index); }

  // Reads an event file ("pred pred ... label" per line) into pending events.
  bool LoadEvents(const CUString& path);
  // Trains with the model's sigma and this holder's width factor.
  int Train(int32_t cutoff);
  // Classifies every line of a labelled test file and writes the result file.
  bool Evaluate(const CUString& test_path, const CUString& result_path) const;

  double width_factor = 0.0;

 private:
  CMEModel model_;
};

}  // namespace verrin

#endif  // VERRIN_MAXENT_ME_CLASSIFIER_H_
