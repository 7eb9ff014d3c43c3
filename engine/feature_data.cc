// Training-feature generation: a bracketed corpus becomes the event file of
// the trainer and a character label table, through the same pre-segmentation,
// label and feature code as tagging, with the training switch on.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/ne_engine.h"
#include "engine/ne_resource.h"
#include "text/char_class.h"
#include "text/code_page.h"
#include "text/diagnostics.h"
#include "text/file_system.h"

namespace verrin {
namespace {

inline constexpr char kEventFile[] = "/ME_featuredata_tr.txt";

// One line per sample: each predicate followed by a space, then the outcome.
void WriteEvents(const std::vector<CMESample>& samples, CTextFile* file) {
  for (const CMESample& sample : samples) {
    for (const CUString& predicate : sample.predicates) {
      WriteText(file, predicate.c_str(), predicate.Length());
      WriteText(file, u" ", 1);
    }
    WriteText(file, sample.label.c_str(), sample.label.Length());
    WriteText(file, u"\n", 1);
  }
}

// Called with the finished event file; training itself is a separate step.
bool TrainingHook(const std::string& /*event_path*/, int /*param*/) { return true; }

}  // namespace

bool CNEEngine::GenerateFeatureData(const char* corpus_path, int param, const char* out_dir) {
  // The corpus is only read, so it is opened for reading alone: a read-only
  // corpus must work.
  std::FILE* corpus = OpenFile(corpus_path, "r");
  if (corpus == nullptr) {
    DiagnoseFormat("Could not open file %s: %s\n", corpus_path, std::strerror(errno));
    return false;
  }
  const std::string dir = out_dir != nullptr ? out_dir : "";
  const std::string event_path = dir + kEventFile;
  CTextFile* events = OpenTextFile(event_path.c_str(), "w");
  if (events == nullptr) {
    DiagnoseFormat("Could not open file %s: %s\n", event_path.c_str(), std::strerror(errno));
    std::fclose(corpus);
    return false;
  }
  const char progress_end = StandardErrorIsTerminal() ? '\r' : '\n';
  const int64_t corpus_size = std::max<int64_t>(0, FileSize(corpus));

  CUString line;
  std::vector<CUString> sentences;
  NEClause clause;
  clause.training = true;
  clause.segmented = true;
  clause.separator = separator_;
  int count = 0;
  while (ReadNarrowLine(corpus, line)) {
    TrimWhiteSpace(line);
    if (line.Empty()) continue;
    SplitSentences(line.c_str(), sentences, true);
    for (const CUString& sentence : sentences) {
      PreSegment(sentence, clause);
      if (clause.nodes.size() < 2) continue;
      BuildProcessedText(clause);
      InitLabels(clause);
      resource_->CharLabels().Record(clause.text.c_str(), clause.labels);
      if (!ExtractFeatures(clause)) break;
      WriteEvents(clause.samples, events);
    }
    ++count;
    if (progress_hook_) {
      progress_hook_(std::min(std::max<int64_t>(0, FilePosition(corpus)), corpus_size),
                     corpus_size);
    } else if (count % 100 == 0 && progress_) {
      DiagnoseFormat("processed %d sentences%c", count, progress_end);
    }
  }
  if (!progress_hook_ && progress_ && progress_end == '\r' && count >= 100) Diagnose("\n");
  const bool read_failed = std::ferror(corpus) != 0;
  std::fclose(corpus);
  std::string error;
  if (read_failed) {
    DiscardTextFile(events);
    DiagnoseFormat("error reading %s\n", corpus_path);
    return false;
  }
  if (!CloseTextFile(events, &error)) {
    DiagnoseFormat("%s\n", error.c_str());
    return false;
  }
  if (!resource_->CharLabels().Write(dir + kCharLabelFile)) return false;
  return TrainingHook(event_path, param);
}

}  // namespace verrin
