// CMEClassifier: the holder through which the resource set owns the model.
#ifndef VERRIN_MAXENT_ME_CLASSIFIER_H_
#define VERRIN_MAXENT_ME_CLASSIFIER_H_

#include <cstddef>
#include <cstdint>

#include "maxent/me_model.h"
#include "text/diagnostics.h"
#include "text/ustring.h"

namespace verrin {

// Reads one event line: trimmed of tab, line feed, carriage return and space;
// the label is the text after the last space, the predicates are the runs of
// non-white units before it (a line without a space is a label alone).
// False for a blank line, which leaves `sample` unspecified.
bool ParseEventLine(const char16_t* units, size_t length, CMESample& sample);

class CMEClassifier {
 public:
  CMEClassifier();
  virtual ~CMEClassifier();
  CMEClassifier(const CMEClassifier&) = delete;
  CMEClassifier& operator=(const CMEClassifier&) = delete;

  CMEModel& Model() { return model_; }
  const CMEModel& Model() const { return model_; }

  bool HasOutcome(const char16_t* text) const { return model_.FindOutcome(text) >= 0; }
  CUString GetOutcome(int32_t index) const { return model_.GetOutcome(index); }

  // Reads an event file ("pred pred ... label" per line, GBK) into the
  // model's pending events. The file is only read (a read-only file works);
  // when it cannot be opened "open file %s failed: <reason>" goes to standard error and
  // the result is false. Blank lines are skipped. `progress`, when set, is
  // told the bytes read so far and the file's size.
  bool LoadEvents(const std::string& path, const ProgressHook& progress = {});
  // Trains with the model's sigma and this holder's width factor.
  int Train(int32_t cutoff);
  // Classifies every line of a labelled test file (only read) and writes
  // "%d\t%S\t%f\t%S\n" (0-based line number, predicted label, its
  // probability, gold label) per line to the GBK result file, then
  // "total=%d, correct=%d, rate=%.2f\n\n" to standard error (rate 0.00 when
  // no line was evaluated). False, with a message, when the model is empty
  // ("the model is not loaded\n", before anything is created) or a file cannot
  // be opened; a result file already created then stays.
  // Paths are byte strings handed to the operating system unchanged.
  bool Evaluate(const std::string& test_path, const std::string& result_path) const;

  double width_factor = 0.0;

 private:
  CMEModel model_;
};

}  // namespace verrin

#endif  // VERRIN_MAXENT_ME_CLASSIFIER_H_
