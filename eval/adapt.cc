// AdaptResources (include/verrin/adapt.h): the domain adapter of train/ run
// on a loaded resource set, the passes scored on a dev file as eval-ner
// scores tagging. It lives here, above api/, since the scoring tags with
// CKyVerrin and reads BIO files.
#include "verrin/adapt.h"

#include <cmath>

#include "engine/feature_groups.h"
#include "engine/ne_engine.h"
#include "engine/ne_resource.h"
#include "eval/ner_scorer.h"
#include "eval/record_bio.h"
#include "maxent/me_model.h"
#include "train/domain_adapter.h"

namespace verrin {

CAdaptOptions::CAdaptOptions() {
  // The adapter's own defaults, so that they are written down once.
  const DomainAdaptationOptions defaults;
  passes = defaults.passes;
  cutoff = defaults.feature_cutoff;
  option = 2;
  groups = FeatureGroupList(defaults.groups);
  baseShare = defaults.base_share;
  rate = defaults.rate;
  margin = defaults.margin;
  prune = defaults.prune;
  entitiesOnly = defaults.entities_only;
}

namespace {

// The adapter's options of `options`; false with `setting` and `message` set
// for the first setting out of range.
bool ToDomainOptions(const CAdaptOptions& options, DomainAdaptationOptions* out,
                     std::string* setting, std::string* message) {
  auto bad = [&](const char* name, const std::string& why) {
    *setting = name;
    *message = name + why;
    return false;
  };
  if (!(options.passes >= 1)) return bad("passes", " needs a whole number of at least 1");
  if (!(options.cutoff >= 1)) return bad("cutoff", " needs a whole number of at least 1");
  if (options.option != 1 && options.option != 2) return bad("option", " must be 1 or 2");
  std::string error;
  if (!ParseFeatureGroups(options.groups, &out->groups, &error)) return bad("groups", ": " + error);
  if (!(options.baseShare >= 0)) return bad("base-share", " needs a number of at least 0");
  // An infinite step or margin would fill the model with infinities.
  if (!(options.rate > 0 && std::isfinite(options.rate))) {
    return bad("rate", " needs a number above 0");
  }
  if (!(options.margin >= 0 && std::isfinite(options.margin))) {
    return bad("margin", " needs a number of at least 0");
  }
  if (!(options.prune >= 0)) return bad("prune", " needs a number of at least 0");
  out->passes = options.passes;
  out->feature_cutoff = options.cutoff;
  out->base_share = options.baseShare;
  out->rate = options.rate;
  out->margin = options.margin;
  out->prune = options.prune;
  out->entities_only = options.entitiesOnly;
  return true;
}

// Brackets a step with the host's hooks; the progress hook of the step.
class StepScope {
 public:
  StepScope(const CAdaptHooks& hooks, AdaptStep step, int64_t total) : hooks_(hooks), step_(step) {
    if (hooks_.stepBegins) progress_ = hooks_.stepBegins(step, total);
  }
  ~StepScope() {
    if (hooks_.stepEnds) hooks_.stepEnds(step_);
  }
  StepScope(const StepScope&) = delete;
  StepScope& operator=(const StepScope&) = delete;

  const ProgressHook& Hook() const { return progress_; }

 private:
  const CAdaptHooks& hooks_;
  AdaptStep step_;
  AdaptProgress progress_;
};

}  // namespace

bool CheckAdaptOptions(const CAdaptOptions& options, std::string* setting, std::string* message) {
  DomainAdaptationOptions ignored;
  return ToDomainOptions(options, &ignored, setting, message);
}

bool AdaptResources(CNEResourceManager& manager, const std::string& resourceDir,
                    const std::string& corpus, const std::string& outDir,
                    const CAdaptOptions& options, const CAdaptHooks& hooks, CAdaptReport* report,
                    std::string* error) {
  *report = CAdaptReport();
  DomainAdaptationOptions domain;
  std::string setting;
  if (!ToDomainOptions(options, &domain, &setting, error)) return false;
  std::string source_dir = resourceDir;
  while (source_dir.size() > 1 && source_dir.back() == '/') source_dir.pop_back();

  std::vector<BioSentence> dev;
  if (!options.dev.empty() && !ReadBioFile(options.dev, &dev, error)) return false;
  CNEResource* resource = manager.Resource();
  if (resource == nullptr || resource->Classifier().Model().OutcomeCount() == 0) {
    *error = "no model loaded to start from";
    return false;
  }
  CNEEngine engine(resource);
  engine.SetWordSeparatorOption(options.option);
  CDomainAdapter adapter(&engine, domain);
  if (!adapter.ReadCorpus(corpus, error)) return false;
  if (!options.baseCorpus.empty() && !adapter.ReadBaseCorpus(options.baseCorpus, error)) {
    return false;
  }

  DomainScanStats scan;
  {
    StepScope step(hooks, AdaptStep::kReadingCorpus, 0);
    adapter.ExtendResources(step.Hook(), &scan);
  }
  report->lines = scan.lines;
  report->clauses = scan.clauses;
  report->characters = scan.characters;
  report->labelEntries = scan.label_entries;
  report->newFeatures = scan.new_features;
  report->newPredicates = scan.new_predicates;
  const NEFeatureGroups held = ModelFeatureGroups(resource->Classifier().Model());
  if (!held.Empty()) report->featureGroups = FeatureGroupList(held);
  if (hooks.extended) hooks.extended(*report);

  CKyVerrin tagger(&manager);
  auto score_dev = [&]() {
    std::vector<BioSentence> predicted;
    {
      StepScope step(hooks, AdaptStep::kTaggingDev, static_cast<int64_t>(dev.size()));
      predicted = TagBioSentences(tagger, dev, step.Hook());
    }
    return ScoreSpans(dev, predicted).overall.F1();
  };
  auto on_pass = [&](const DomainPassStats& s) {
    CAdaptPass pass;
    pass.pass = s.pass;
    pass.clauses = s.corpus.clauses;
    pass.wrongClauses = s.corpus.wrong_clauses;
    pass.characters = s.corpus.characters;
    pass.wrongCharacters = s.corpus.wrong_characters;
    pass.skipped = s.corpus.skipped;
    pass.baseLines = s.base.lines;
    pass.baseClauses = s.base.clauses;
    pass.baseWrongClauses = s.base.wrong_clauses;
    pass.devF1 = s.score;
    report->passes.push_back(pass);
    if (hooks.passDone) hooks.passDone(pass);
  };
  {
    StepScope step(hooks, AdaptStep::kTraining, 0);
    report->keptPass =
        adapter.Train(step.Hook(), dev.empty() ? std::function<double()>() : score_dev, on_pass);
  }
  report->prunedWeights = adapter.Prune();
  if (!resource->Classifier().Model().CheckWeightsLeft(options.prune, error)) return false;
  if (hooks.trained) hooks.trained(*report);
  if (!WriteResourceDirectory(&engine, source_dir, outDir, error)) return false;
  report->features = resource->Classifier().Model().WrittenFeatureCount();
  return true;
}

}  // namespace verrin
