#include "maxent/me_classifier.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "maxent/me_line_reader.h"
#include "text/char_class.h"
#include "text/code_page.h"
#include "text/diagnostics.h"
#include "text/file_system.h"
#include "text/number_format.h"

namespace verrin {

bool ParseEventLine(const char16_t* units, size_t length, CMESample& sample) {
  size_t begin = 0, end = length;
  while (begin < end && IsWhiteSpace(units[begin])) ++begin;
  while (end > begin && IsWhiteSpace(units[end - 1])) --end;
  if (begin == end) return false;
  size_t space = end;
  for (size_t i = end; i-- > begin;) {
    if (units[i] == u' ') {
      space = i;
      break;
    }
  }
  const size_t label_begin = space == end ? begin : space + 1;
  const size_t predicates_end = space == end ? begin : space;
  sample.label.Assign(units + label_begin, static_cast<int32_t>(end - label_begin));
  // Reuse the predicate strings of the previous line: their buffers are
  // usually large enough.
  size_t count = 0;
  for (size_t i = begin; i < predicates_end;) {
    while (i < predicates_end && IsWhiteSpace(units[i])) ++i;
    const size_t start = i;
    while (i < predicates_end && !IsWhiteSpace(units[i])) ++i;
    if (i == start) continue;
    const int32_t n = static_cast<int32_t>(i - start);
    if (count < sample.predicates.size()) {
      sample.predicates[count].Assign(units + start, n);
    } else {
      sample.predicates.emplace_back(units + start, n);
    }
    ++count;
  }
  sample.predicates.resize(count);
  return true;
}

CMEClassifier::CMEClassifier() = default;

CMEClassifier::~CMEClassifier() = default;

bool CMEClassifier::LoadEvents(const std::string& path, const ProgressHook& progress) {
  std::FILE* file = OpenFile(path, "r");
  if (file == nullptr) {
    DiagnoseFormat("open file %s failed: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  const int64_t size = progress ? std::max<int64_t>(0, FileSize(file)) : 0;
  CLineReader reader(file);
  CMESample sample;
  const char16_t* units = nullptr;
  size_t length = 0;
  for (uint32_t lines = 1; reader.NextLine(&units, &length); ++lines) {
    if (ParseEventLine(units, length, sample)) model_.AddEvent(sample);
    // The reader's position runs ahead by at most one block.
    if (progress && lines % 4096 == 0) {
      progress(std::min(std::max<int64_t>(0, FilePosition(file)), size), size);
    }
  }
  if (progress) progress(size, size);
  std::fclose(file);
  return true;
}

int CMEClassifier::Train(int32_t cutoff) {
  return model_.Train(cutoff, model_.sigma, width_factor);
}

bool CMEClassifier::Evaluate(const std::string& test_path, const std::string& result_path) const {
  if (model_.OutcomeCount() == 0) {
    DiagnoseFormat("the model is not loaded\n");
    return false;
  }
  // The result is written under a temporary name and appears only when complete.
  CTextFile* result = OpenTextFile(result_path.c_str(), "w");
  if (result == nullptr) {
    DiagnoseFormat("create file %s failed: %s\n", result_path.c_str(), std::strerror(errno));
    return false;
  }
  std::FILE* test = OpenFile(test_path, "r");
  if (test == nullptr) {
    DiagnoseFormat("open file %s failed: %s\n", test_path.c_str(), std::strerror(errno));
    DiscardTextFile(result);
    return false;
  }
  CLineReader reader(test);
  CMESample sample;
  const char16_t* units = nullptr;
  size_t length = 0;
  int total = 0;
  int correct = 0;
  CFixedFormatter number;
  std::u16string line;
  while (reader.NextLine(&units, &length)) {
    if (!ParseEventLine(units, length, sample)) continue;
    const CUString gold(sample.label);
    const std::vector<double> probs = model_.Predict(sample);
    const int32_t predicted = model_.FindOutcome(sample.label);
    const double probability =
        predicted >= 0 && static_cast<size_t>(predicted) < probs.size() ? probs[predicted] : 0.0;
    if (sample.label == gold) ++correct;
    // "%d\t%S\t%f\t%S\n", assembled without u_fprintf's per-number cost.
    line.clear();
    for (char digit : std::to_string(total)) line.push_back(static_cast<char16_t>(digit));
    line.push_back(u'\t');
    line.append(std::u16string_view(sample.label.c_str()));
    line.push_back(u'\t');
    number.Append(probability, line);
    line.push_back(u'\t');
    line.append(std::u16string_view(gold.c_str()));
    line.push_back(u'\n');
    WriteText(result, line.data(), static_cast<int32_t>(line.size()));
    ++total;
  }
  // No evaluated line leaves nothing to divide by: the rate is then 0.
  const double rate = total > 0 ? 100.0 * correct / total : 0.0;
  DiagnoseFormat("total=%d, correct=%d, rate=%.2f\n\n", total, correct, rate);
  const bool read_failed = std::ferror(test) != 0;
  std::fclose(test);
  if (read_failed) {
    DiscardTextFile(result);
    DiagnoseFormat("error reading %s\n", test_path.c_str());
    return false;
  }
  std::string error;
  if (!CloseTextFile(result, &error)) {
    DiagnoseFormat("%s\n", error.c_str());
    return false;
  }
  return true;
}

}  // namespace verrin
