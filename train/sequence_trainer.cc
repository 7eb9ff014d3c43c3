#include "train/sequence_trainer.h"

#include <algorithm>
#include <cstdio>

#include "engine/decoder.h"
#include "engine/feature_extractor.h"
#include "engine/ne_engine.h"
#include "engine/ne_resource.h"
#include "maxent/me_classifier.h"
#include "maxent/me_model.h"
#include "maxent/me_model_impl.h"
#include "resource/char_label_table.h"
#include "text/char_class.h"
#include "text/code_page.h"
#include "text/diagnostics.h"
#include "text/file_system.h"

namespace verrin {

namespace {

constexpr int32_t kNearLabels = 256;

// Labels that only the corpus fixes: tagging leaves them free (kLabelSingle).
bool IsFreeInTagging(int32_t label) { return label >= kLabelSingle && label <= kLabelOrgEnd; }

}  // namespace

CSequenceTrainer::CSequenceTrainer(CNEEngine* engine, const SequenceTrainingOptions& options)
    : engine_(engine),
      model_(&engine->Resource()->Classifier().Model()),
      decoder_(&engine->Lattice().Decoder()),
      options_(options) {
  groups_.resize(kNearLabels);
  for (int32_t label = 0; label < kNearLabels; ++label) {
    // The plain-word labels (one character; begin, inner, end) are one group.
    const bool plain =
        label == kLabelSingle || (label >= kLabelWordBegin && label <= kLabelWordEnd);
    groups_[static_cast<size_t>(label)] = options_.entities_only && plain ? kLabelSingle : label;
  }
  const size_t rows = model_->Internals().row_weight.size();
  averaged_sum_.assign(rows, 0.0);
  delta_.assign(rows, 0.0);
}

CSequenceTrainer::~CSequenceTrainer() = default;

int32_t CSequenceTrainer::Group(int32_t label) const {
  if (label < 0 || label >= kNearLabels) return label;
  return groups_[static_cast<size_t>(label)];
}

bool CSequenceTrainer::PrepareClause(const CUString& sentence, CUString* text,
                                     std::vector<int32_t>* reference,
                                     std::vector<CMESample>* samples) {
  NEClause& clause = clause_;
  clause.training = true;
  clause.segmented = true;
  clause.separator = engine_->WordSeparator();
  engine_->PreSegment(sentence, clause);
  if (clause.nodes.size() < 2) return false;
  engine_->BuildProcessedText(clause);
  engine_->InitLabels(clause);
  *reference = clause.labels;
  // Tagging knows only the labels fixed by pre-segmentation, and its
  // samples carry no label history.
  for (int32_t& label : clause.labels) {
    if (IsFreeInTagging(label)) label = kLabelSingle;
  }
  clause.training = false;
  if (!engine_->ExtractFeatures(clause)) return false;
  samples->swap(clause.samples);
  text->Refill(clause.text);
  text->Truncate(text->Length() - 1);  // the sentinel is scored through its sample only
  return text->Length() > 0 && samples->size() > static_cast<size_t>(text->Length());
}

void CSequenceTrainer::StepsOf(const std::vector<int32_t>& labels, std::vector<Step>* steps) const {
  steps->clear();
  int32_t second_previous = kLabelNone;
  int32_t previous = kLabelStart;
  for (size_t i = 0; i < labels.size(); ++i) {
    const int32_t label = labels[i];
    if (!AllUnscoredLabels(label, previous, second_previous)) {
      steps->push_back(Step{static_cast<int32_t>(i), second_previous, previous, label});
    }
    second_previous = previous;
    previous = label;
  }
}

bool CSequenceTrainer::PathAllowed(const std::vector<int32_t>& labels) {
  const int32_t n = decoder_->PositionCount() - 2;
  if (n < 0 || labels.size() != static_cast<size_t>(n) + 1) return false;
  int32_t second_previous = kLabelNone;
  int32_t previous = kLabelStart;
  for (int32_t i = 0; i <= n; ++i) {
    const int32_t label = labels[static_cast<size_t>(i)];
    bool candidate = false;
    for (const NEEdge* edge = decoder_->EdgesStartingAt(i); edge != nullptr && !candidate;
         edge = edge->next_by_start) {
      candidate = edge->label == label;
    }
    if (!candidate || !IsLabelAllowed(n, previous, label, i)) return false;
    if (!AllUnscoredLabels(label, previous, second_previous) && !decoder_->KnowsLabel(label)) {
      return false;
    }
    second_previous = previous;
    previous = label;
  }
  return true;
}

void CSequenceTrainer::AccumulateGradient(const Step& step, const std::vector<CMESample>& samples,
                                          double sign) {
  const CMEModel::Impl& m = model_->Internals();
  const int32_t outcomes = model_->OutcomeCount();
  const int32_t target = decoder_->OutcomeOfLabel(step.label);
  if (target < 0 || outcomes <= 0) return;

  // The step's predicates: the sample's own, then the two history labels.
  std::vector<int32_t>& predicates = step_predicates_;
  predicates.clear();
  for (const CUString& text : samples[static_cast<size_t>(step.index)].predicates) {
    const int32_t p = model_->PredicateIndex(text);
    if (p >= 0) predicates.push_back(p);
  }
  const int32_t pv1 = decoder_->HistoryPredicate(0, step.previous);
  if (pv1 >= 0) predicates.push_back(pv1);
  const int32_t pv2 = decoder_->HistoryPredicate(1, step.second_previous);
  if (pv2 >= 0) predicates.push_back(pv2);

  scores_.assign(static_cast<size_t>(outcomes), 0.0);
  for (int32_t p : predicates) model_->AddPredicateScores(p, scores_.data());
  model_->ScoresToProbabilities(scores_.data());

  const double step_size = sign * options_.rate;
  for (int32_t p : predicates) {
    const size_t end = m.row_start[static_cast<size_t>(p) + 1];
    for (size_t k = m.row_start[static_cast<size_t>(p)]; k < end; ++k) {
      const int32_t o = m.row_outcome[k];
      const double gradient = (o == target ? 1.0 : 0.0) - scores_[static_cast<size_t>(o)];
      if (delta_[k] == 0.0) touched_.push_back(k);
      delta_[k] += step_size * gradient;
    }
  }
}

void CSequenceTrainer::TrainLine(const CUString& line, SequenceEpochStats* stats) {
  engine_->SplitSentences(line.c_str(), sentences_, true);
  const CharLabelTable& table = engine_->Resource()->CharLabels();
  CNEDecoder& decoder = *decoder_;
  const CMEClassifier* classifier = engine_->Lattice().Model();
  for (const CUString& sentence : sentences_) {
    if (!PrepareClause(sentence, &text_, &reference_, &samples_)) continue;
    const int32_t n = text_.Length();
    std::vector<int32_t>& bits = label_bits_;
    bits.resize(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) bits[static_cast<size_t>(i)] = table.At(text_[i]);
    reference_.resize(static_cast<size_t>(n) + 1);
    reference_[static_cast<size_t>(n)] = kLabelEnd;

    decoder.BuildLattice(text_, samples_, bits, fallback_.Labels());
    decoder.SetInput(text_, samples_, classifier);
    if (!PathAllowed(reference_)) {
      decoder.Release();
      ++stats->skipped;
      continue;
    }
    if (options_.margin != 0.0) decoder.AddEdgeCosts(reference_, options_.margin, &groups_);
    decoder.ForwardPass();
    const bool found = decoder.BestPath(path_);
    decoder.Release();
    // A path holds one edge per character; the end edge is implied.
    if (!found || path_.edges.size() != static_cast<size_t>(n)) {
      ++stats->skipped;
      continue;
    }
    ++stats->clauses;
    stats->characters += n;
    decoded_.clear();
    for (const NEEdge& edge : path_.edges) decoded_.push_back(edge.label);
    decoded_.push_back(kLabelEnd);
    int64_t wrong = 0;
    for (int32_t i = 0; i < n; ++i) {
      const size_t k = static_cast<size_t>(i);
      wrong += Group(decoded_[k]) != Group(reference_[k]);
    }
    if (wrong > 0) {
      ++stats->wrong_clauses;
      stats->wrong_characters += wrong;
      ++updates_;
      // Gradients at the current weights, for both paths, before any change;
      // steps with the same label and history on both paths cancel.
      StepsOf(reference_, &reference_steps_);
      StepsOf(decoded_, &decoded_steps_);
      auto same = [](const Step& a, const Step& b) {
        return a.index == b.index && a.label == b.label && a.previous == b.previous &&
               a.second_previous == b.second_previous;
      };
      size_t d = 0;
      for (const Step& step : reference_steps_) {
        while (d < decoded_steps_.size() && decoded_steps_[d].index < step.index) ++d;
        if (d < decoded_steps_.size() && same(decoded_steps_[d], step)) continue;
        AccumulateGradient(step, samples_, 1.0);
      }
      size_t r = 0;
      for (const Step& step : decoded_steps_) {
        while (r < reference_steps_.size() && reference_steps_[r].index < step.index) ++r;
        if (r < reference_steps_.size() && same(reference_steps_[r], step)) continue;
        AccumulateGradient(step, samples_, -1.0);
      }
      CMEModel::Impl& m = model_->Internals();
      for (size_t k : touched_) {
        m.row_weight[k] += delta_[k];
        averaged_sum_[k] += count_ * delta_[k];
        delta_[k] = 0.0;
      }
      touched_.clear();
    }
    count_ += 1.0;
  }
}

bool CSequenceTrainer::RunEpoch(const std::string& corpus_path, const ProgressHook& progress,
                                SequenceEpochStats* stats, std::string* error) {
  std::FILE* corpus = OpenFile(corpus_path, "r");
  if (corpus == nullptr) {
    *error = "cannot open the corpus " + corpus_path;
    return false;
  }
  const int64_t size = progress ? std::max<int64_t>(0, FileSize(corpus)) : 0;
  CUString line;
  while (ReadNarrowLine(corpus, line)) {
    TrimWhiteSpace(line);
    if (line.Empty()) continue;
    TrainLine(line, stats);
    ++stats->lines;
    if (progress) progress(std::min(std::max<int64_t>(0, FilePosition(corpus)), size), size);
  }
  std::fclose(corpus);
  return true;
}

void CSequenceTrainer::UseAveragedWeights() {
  CMEModel::Impl& m = model_->Internals();
  saved_ = m.row_weight;
  for (size_t k = 0; k < m.row_weight.size(); ++k) {
    m.row_weight[k] = saved_[k] - averaged_sum_[k] / count_;
  }
  SyncFeatureWeights();
}

void CSequenceTrainer::UseCurrentWeights() {
  if (saved_.empty()) return;
  CMEModel::Impl& m = model_->Internals();
  m.row_weight.swap(saved_);
  saved_.clear();
  SyncFeatureWeights();
}

void CSequenceTrainer::SyncFeatureWeights() {
  CMEModel::Impl& m = model_->Internals();
  for (size_t k = 0; k < m.row_weight.size(); ++k) {
    const size_t f = static_cast<size_t>(m.row_feature[k]);
    if (f < m.weights.size()) m.weights[f] = m.row_weight[k];
  }
}

}  // namespace verrin
