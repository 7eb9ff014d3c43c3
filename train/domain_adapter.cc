#include "train/domain_adapter.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "engine/ne_engine.h"
#include "engine/ne_resource.h"
#include "engine/person_labels.h"
#include "maxent/me_classifier.h"
#include "maxent/me_model.h"
#include "maxent/me_model_impl.h"
#include "resource/char_label_table.h"
#include "text/char_class.h"
#include "text/code_page.h"
#include "text/file_system.h"
#include "text/output_file.h"

namespace verrin {

namespace {

// True when the model has the feature (outcome, predicate).
bool HasFeature(const CMEModel& model, int32_t outcome, int32_t predicate) {
  if (outcome < 0 || predicate < 0) return false;
  const CMEModel::Impl& m = model.Internals();
  const size_t end = m.row_start[static_cast<size_t>(predicate) + 1];
  for (size_t k = m.row_start[static_cast<size_t>(predicate)]; k < end; ++k) {
    if (m.row_outcome[k] == outcome) return true;
  }
  return false;
}

}  // namespace

CDomainAdapter::CDomainAdapter(CNEEngine* engine, const DomainAdaptationOptions& options)
    : engine_(engine), options_(options) {}

CDomainAdapter::~CDomainAdapter() = default;

bool CDomainAdapter::ReadLines(const std::string& path, std::vector<CUString>* lines,
                               int64_t* characters, std::string* error) {
  std::FILE* file = OpenFile(path, "r");
  if (file == nullptr) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  CUString line;
  while (ReadNarrowLine(file, line)) {
    TrimWhiteSpace(line);
    if (line.Empty()) continue;
    *characters += line.Length();
    lines->push_back(line);
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    *error = "cannot read " + path;
    return false;
  }
  return true;
}

bool CDomainAdapter::ReadCorpus(const std::string& path, std::string* error) {
  return ReadLines(path, &corpus_, &corpus_characters_, error);
}

bool CDomainAdapter::ReadBaseCorpus(const std::string& path, std::string* error) {
  return ReadLines(path, &base_, &base_characters_, error);
}

void CDomainAdapter::ExtendResources(const ProgressHook& progress, DomainScanStats* stats) {
  CNEResource& resource = *engine_->Resource();
  CharLabelTable& table = resource.CharLabels();
  CMEModel& model = resource.Classifier().Model();
  const CharLabelTable before = table;

  // Occurrences of the pairs the model lacks, keyed "label TAB predicate".
  std::unordered_map<std::u16string, int32_t> counts;
  std::u16string key;
  NEClause& clause = clause_;
  // The corpus's samples carry the groups asked for and those the model
  // holds; tagging and training then produce what the model holds.
  engine_->SetFeatureGroups(options_.groups.With(ModelFeatureGroups(model)));
  for (size_t i = 0; i < corpus_.size(); ++i) {
    engine_->SplitSentences(corpus_[i].c_str(), sentences_, true);
    for (const CUString& sentence : sentences_) {
      clause.training = true;
      clause.segmented = true;
      clause.separator = engine_->WordSeparator();
      engine_->PreSegment(sentence, clause);
      if (clause.nodes.size() < 2) continue;
      engine_->BuildProcessedText(clause);
      engine_->InitLabels(clause);
      table.Record(clause.text.c_str(), clause.labels);
      if (!engine_->ExtractFeatures(clause)) continue;
      ++stats->clauses;
      stats->characters += clause.text.Length() - 1;
      for (const CMESample& sample : clause.samples) {
        // A label the model has no outcome for stays without one: a new
        // outcome would take a share of every character's probability.
        const int32_t outcome = model.FindOutcome(sample.label);
        if (outcome < 0) continue;
        for (const CUString& predicate : sample.predicates) {
          if (HasFeature(model, outcome, model.PredicateIndex(predicate))) continue;
          key.assign(sample.label.View());
          key.push_back(u'\t');
          key.append(predicate.View());
          ++counts[key];
        }
      }
    }
    ++stats->lines;
    if (progress) progress(static_cast<int64_t>(i + 1), static_cast<int64_t>(corpus_.size()));
  }
  engine_->UseModelFeatureGroups();
  AllowPersonLabels(table);
  for (int32_t unit = 0; unit < CharLabelTable::kSize; ++unit) {
    const char16_t u = static_cast<char16_t>(unit);
    stats->label_entries += table.At(u) != before.At(u);
  }

  // The new pairs in code-unit order, then every feature the model has with
  // its weight (LoadTable sets every known feature from its entry).
  std::vector<std::u16string> added;
  for (const auto& [text, count] : counts) {
    if (count >= options_.feature_cutoff) added.push_back(text);
  }
  std::sort(added.begin(), added.end());
  std::vector<std::pair<std::pair<CUString, CUString>, double>> known;
  model.ExportEntries(known);
  std::vector<CUString> texts;
  texts.reserve(added.size() * 2);
  std::vector<MEModelEntry> entries;
  entries.reserve(added.size() + known.size() + 1);
  const int32_t predicates_before = model.PredicateCount();
  for (const std::u16string& text : added) {
    const size_t tab = text.find(u'\t');
    texts.emplace_back(text.data(), static_cast<int32_t>(tab));
    texts.emplace_back(text.data() + tab + 1, static_cast<int32_t>(text.size() - tab - 1));
  }
  for (size_t i = 0; i < added.size(); ++i) {
    entries.push_back({texts[2 * i].c_str(), texts[2 * i + 1].c_str(), 0.0});
  }
  for (const auto& entry : known) {
    entries.push_back({entry.first.first.c_str(), entry.first.second.c_str(), entry.second});
  }
  entries.push_back({u"///", u"", 0.0});
  model.LoadTable(entries.data());
  stats->new_features = static_cast<int64_t>(added.size());
  stats->new_predicates = model.PredicateCount() - predicates_before;
}

int32_t CDomainAdapter::Train(const ProgressHook& progress, const std::function<double()>& score,
                              const std::function<void(const DomainPassStats&)>& on_pass) {
  SequenceTrainingOptions sequence;
  sequence.rate = options_.rate;
  sequence.margin = options_.margin;
  sequence.entities_only = options_.entities_only;
  CSequenceTrainer trainer(engine_, sequence);
  CMEModel& model = engine_->Resource()->Classifier().Model();

  // Base characters per pass: at most the whole base corpus (compared before
  // rounding, which an infinite or huge share would overflow).
  const double wanted = options_.base_share * static_cast<double>(corpus_characters_);
  const int64_t base_goal = base_.empty()                                    ? 0
                            : wanted < static_cast<double>(base_characters_) ? std::llround(wanted)
                                                                             : base_characters_;
  const int64_t total = corpus_characters_ + base_goal;
  CLargeTable<double> best;
  double best_score = 0.0;
  int32_t best_pass = 0;
  for (int32_t pass = 1; pass <= options_.passes; ++pass) {
    DomainPassStats stats;
    stats.pass = pass;
    // Lines of both corpora interleaved so that each has had the same share
    // of its characters for the pass at every point.
    size_t corpus_next = 0;
    int64_t corpus_done = 0, base_done = 0;
    while (corpus_next < corpus_.size() || base_done < base_goal) {
      const bool take_base =
          base_done < base_goal &&
          (corpus_next >= corpus_.size() ||
           static_cast<double>(base_done) * static_cast<double>(corpus_characters_) <
               static_cast<double>(corpus_done) * static_cast<double>(base_goal));
      if (take_base) {
        const CUString& line = base_[base_next_];
        base_next_ = (base_next_ + 1) % base_.size();
        trainer.TrainLine(line, &stats.base);
        ++stats.base.lines;
        base_done += line.Length();
      } else {
        const CUString& line = corpus_[corpus_next++];
        trainer.TrainLine(line, &stats.corpus);
        ++stats.corpus.lines;
        corpus_done += line.Length();
      }
      if (progress) {
        progress(static_cast<int64_t>(pass - 1) * total + std::min(corpus_done + base_done, total),
                 static_cast<int64_t>(options_.passes) * total);
      }
    }
    trainer.UseAveragedWeights();
    if (score) {
      stats.score = score();
      if (best_pass == 0 || stats.score > best_score) {
        best_score = stats.score;
        best_pass = pass;
        best = static_cast<const CMEModel&>(model).Internals().row_weight;
      }
    } else {
      best_pass = pass;
    }
    if (on_pass) on_pass(stats);
    if (pass < options_.passes) trainer.UseCurrentWeights();
  }
  if (score && best_pass != options_.passes) {
    trainer.UseCurrentWeights();
    model.Internals().row_weight = best;
    trainer.SyncFeatureWeights();
  }
  return best_pass;
}

int32_t CDomainAdapter::Prune() {
  if (!(options_.prune > 0)) return 0;
  return engine_->Resource()->Classifier().Model().ZeroSmallWeights(options_.prune);
}

namespace {

// The files of a resource directory besides the model and the label table.
constexpr const char* kLexiconFiles[] = {kDictFile, kNeItemFile, kNeAffixFile, kPeInfoFile};
constexpr const char* kWrittenFiles[] = {kDictFile,   kNeItemFile,    kNeAffixFile,
                                         kPeInfoFile, kCharLabelFile, "/model.txt"};

bool CopyFile(const std::string& from, const std::string& to, std::string* error) {
  std::FILE* in = OpenFile(from, "rb");
  if (in == nullptr) {
    *error = "cannot open " + from + ": " + std::strerror(errno);
    return false;
  }
  COutputFile out;
  if (!out.Open(to)) {
    std::fclose(in);
    *error = out.Error();
    return false;
  }
  char buffer[1 << 16];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) out.Write(buffer, n);
  const bool read_failed = std::ferror(in) != 0;
  std::fclose(in);
  if (read_failed) {
    out.Abandon();
    *error = "cannot read " + from;
    return false;
  }
  if (!out.Commit()) {
    *error = out.Error();
    return false;
  }
  return true;
}

// Removes a directory that holds nothing; false otherwise.
bool RemoveEmptyDirectory(const std::string& path) {
  std::error_code error;
  return std::filesystem::remove(std::filesystem::u8path(path), error) && !error;
}

void RemoveWrittenFiles(const std::string& dir) {
  for (const char* name : kWrittenFiles) {
    if (PathExists(dir + name)) RemoveFile(dir + name);
  }
}

}  // namespace

bool WriteResourceDirectory(CNEEngine* engine, const std::string& source_dir,
                            const std::string& out_dir_text, std::string* error) {
  std::string out_dir = out_dir_text;
  while (out_dir.size() > 1 && out_dir.back() == '/') out_dir.pop_back();
  const bool replacing = PathExists(out_dir);
  if (replacing && !IsDirectory(out_dir)) {
    *error = out_dir + " exists and is not a directory";
    return false;
  }
  // A new directory beside the target, so that the final rename stays on one
  // file system.
  std::string partial;
  for (int i = 0;; ++i) {
    partial = out_dir + ".partial" + (i == 0 ? "" : "-" + std::to_string(i));
    if (PathExists(partial) && i < 999) continue;
    if (MakeDirectory(partial)) break;
    *error = "cannot create " + partial + ": " + std::strerror(errno);
    return false;
  }
  auto give_up = [&](const std::string& message) {
    RemoveWrittenFiles(partial);
    RemoveEmptyDirectory(partial);
    *error = message;
    return false;
  };
  for (const char* name : kLexiconFiles) {
    const std::string from = source_dir + name;
    if (!PathExists(from)) continue;
    std::string copy_error;
    if (!CopyFile(from, partial + name, &copy_error)) return give_up(copy_error);
  }
  CNEResource& resource = *engine->Resource();
  std::string diagnostics;
  {
    CDiagnosticsScope scope([&](std::string_view text) { diagnostics.append(text); });
    if (!resource.CharLabels().Write(partial + kCharLabelFile) ||
        !resource.Classifier().Model().Save(partial + "/model.txt")) {
      while (!diagnostics.empty() && diagnostics.back() == '\n') diagnostics.pop_back();
      return give_up(diagnostics.empty() ? "cannot write below " + partial : diagnostics);
    }
  }
  if (!replacing) {
    if (!ReplaceFile(partial, out_dir)) {
      return give_up("cannot rename " + partial + " to " + out_dir + ": " + std::strerror(errno));
    }
    return true;
  }
  // An empty directory is replaced by the rename itself; a resource
  // directory is moved aside first, and its files removed after.
  if (ReplaceFile(partial, out_dir)) return true;
  if (!PathExists(out_dir + "/model.txt")) {
    return give_up(out_dir +
                   " exists and is not a resource directory (it holds no model.txt): give a "
                   "new or empty directory");
  }
  std::string previous;
  for (int i = 0;; ++i) {
    previous = out_dir + ".previous" + (i == 0 ? "" : "-" + std::to_string(i));
    if (!PathExists(previous)) break;
    if (i == 999) return give_up("cannot find a free name beside " + out_dir);
  }
  if (!ReplaceFile(out_dir, previous)) {
    return give_up("cannot rename " + out_dir + ": " + std::strerror(errno));
  }
  if (!ReplaceFile(partial, out_dir)) {
    const int reason = errno;
    ReplaceFile(previous, out_dir);
    return give_up("cannot rename " + partial + " to " + out_dir + ": " + std::strerror(reason));
  }
  RemoveWrittenFiles(previous);
  if (!RemoveEmptyDirectory(previous)) {
    Diagnose("the previous " + out_dir + " held other files too; they are kept in " + previous +
             "\n");
  }
  return true;
}

}  // namespace verrin
