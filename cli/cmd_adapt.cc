// verrin adapt: a resource directory taught the text of the user's domain.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/input_lines.h"
#include "cli/progress.h"
#include "engine/ne_engine.h"
#include "engine/ne_resource.h"
#include "eval/ner_scorer.h"
#include "eval/record_bio.h"
#include "maxent/me_model.h"
#include "text/file_system.h"
#include "train/domain_adapter.h"
#include "verrin/verrin.h"

namespace verrin::cli {
namespace {

constexpr char kName[] = "adapt";
constexpr char kUsage[] =
    "Usage: verrin adapt [options] CORPUS OUTDIR\n"
    "\n"
    "Teaches a resource set the text of your domain from CORPUS, a bracketed\n"
    "training corpus of it (GBK, words separated by spaces, entities written\n"
    "[P ...], [L ...], [O ...]; `verrin convert` makes one from BIO, Weibo or\n"
    "CLUENER files), and writes OUTDIR, a complete resource directory: the\n"
    "lexicons, the label table and model.txt. `verrin tag --res OUTDIR`,\n"
    "`eval-ner --res OUTDIR` and `serve --res OUTDIR` use it as it is.\n"
    "\n"
    "  1. The label table gains every label the corpus gives a character, so\n"
    "     that no clause of the corpus is out of the tagger's reach.\n"
    "  2. The model gains the (label, predicate) pairs of the corpus that it\n"
    "     lacks (at least --cutoff occurrences), at weight 0.\n"
    "  3. The weights are trained on whole decoded clauses of the corpus, as\n"
    "     `verrin refine` trains them (margin 2), with --base-corpus lines\n"
    "     mixed in so that the original text is not forgotten.\n"
    "Same inputs, same bytes out. OUTDIR appears complete or not at all; an\n"
    "existing OUTDIR is replaced when it is empty or a resource directory.\n"
    "About 20 seconds a pass for 10,000 sentences of news.\n"
    "\n"
    "Options:\n"
    "  --res DIR          resource directory to start from (default: the\n"
    "                     bundled resources)\n"
    "  --model PATH       model to start from (default: DIR/model.txt)\n"
    "  --base-corpus FILE bracketed corpus the model was trained on (for the\n"
    "                     bundled model: MSRA converted as\n"
    "                     scripts/train-default-model.sh does); each pass takes\n"
    "                     --base-share times the corpus's characters from it\n"
    "  --dev GOLD.bio     score every pass on this BIO file (as eval-ner does)\n"
    "                     and keep the best pass instead of the last\n"
    "  --passes N         passes over the corpus (default 10)\n"
    "  --base-share S     base corpus characters per corpus character and pass\n"
    "                     (default 1)\n"
    "  --cutoff N         occurrences a new (label, predicate) pair needs\n"
    "                     (default 1)\n"
    "  --rate R           step size (default 0.15)\n"
    "  --margin C         margin per wrongly labelled character (default 2)\n"
    "  --prune M          leave out weights within M of 0 (default 0.1)\n"
    "  --entities-only    judge labels by their entity part alone (persons,\n"
    "                     locations, organizations), not how the corpus cuts\n"
    "                     plain words\n"
    "  --option 1|2       words of the corpora separated by '/' (1) or spaces\n"
    "                     (2, default)\n"
    "  --groups LIST      predicate groups the model gains besides those it has\n"
    "                     (comma-separated, the names of `verrin genfeatures\n"
    "                     --help`; default org-items, none for none): their\n"
    "                     pairs join the model at weight 0 with the others of\n"
    "                     step 2, and OUTDIR tags with them\n";

std::string Percent(int64_t part, int64_t whole) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f%%", whole > 0 ? 100.0 * part / whole : 0.0);
  return text;
}

int Run(int argc, char** argv) {
  std::string res_dir, model_path, base_path, dev_path,
      passes_text = "10", share_text = "1", cutoff_text = "1", rate_text = "0.15",
      margin_text = "2", prune_text = "0.1", option_text = "2", groups_text = "org-items";
  DomainAdaptationOptions options;
  ArgParser parser;
  parser.AddOption("res", &res_dir);
  parser.AddOption("model", &model_path);
  parser.AddOption("base-corpus", &base_path);
  parser.AddOption("dev", &dev_path);
  parser.AddOption("passes", &passes_text);
  parser.AddOption("base-share", &share_text);
  parser.AddOption("cutoff", &cutoff_text);
  parser.AddOption("rate", &rate_text);
  parser.AddOption("margin", &margin_text);
  parser.AddOption("prune", &prune_text);
  parser.AddOption("option", &option_text);
  parser.AddOption("groups", &groups_text);
  parser.AddFlag("entities-only", &options.entities_only);
  std::string error;
  if (!parser.Parse(argc, argv, &error)) return UsageError(kName, error);
  int passes = 0, cutoff = 0, option = 2;
  if (!ParseIntArg(passes_text, &passes) || passes < 1) {
    return UsageError(kName, "--passes needs a whole number of at least 1");
  }
  if (!ParseIntArg(cutoff_text, &cutoff) || cutoff < 1) {
    return UsageError(kName, "--cutoff needs a whole number of at least 1");
  }
  if (!ParseIntArg(option_text, &option) || (option != 1 && option != 2)) {
    return UsageError(kName, "--option must be 1 or 2");
  }
  if (!ParseFeatureGroups(groups_text, &options.groups, &error)) {
    return UsageError(kName, "--groups: " + error);
  }
  options.passes = passes;
  options.feature_cutoff = cutoff;
  if (!ParseDoubleArg(share_text, &options.base_share) || !(options.base_share >= 0)) {
    return UsageError(kName, "--base-share needs a number of at least 0");
  }
  if (!ParseDoubleArg(rate_text, &options.rate) || !(options.rate > 0)) {
    return UsageError(kName, "--rate needs a number above 0");
  }
  if (!ParseDoubleArg(margin_text, &options.margin) || !(options.margin >= 0)) {
    return UsageError(kName, "--margin needs a number of at least 0");
  }
  if (!ParseDoubleArg(prune_text, &options.prune) || !(options.prune >= 0)) {
    return UsageError(kName, "--prune needs a number of at least 0");
  }
  if (parser.Positional().size() != 2) return UsageError(kName, "expected CORPUS and OUTDIR");
  const std::string& corpus = parser.Positional()[0];
  const std::string& out_dir = parser.Positional()[1];
  if (!CheckReadable(kName, corpus, "the corpus")) return kExitFailure;
  if (!base_path.empty() && !CheckReadable(kName, base_path, "the base corpus")) {
    return kExitFailure;
  }

  std::vector<BioSentence> dev;
  if (!dev_path.empty() && !ReadBioFile(dev_path, &dev, &error)) return Fail(kName, error);
  res_dir = ResolveResourceDir(res_dir);
  while (res_dir.size() > 1 && res_dir.back() == '/') res_dir.pop_back();
  CNEResourceManager manager;
  if (!LoadManager(kName, res_dir, model_path, false, manager)) return kExitFailure;
  CNEResource* resource = manager.Resource();
  if (resource->Classifier().Model().OutcomeCount() == 0) {
    return Fail(kName, "no model loaded to start from");
  }
  CNEEngine engine(resource);
  engine.SetWordSeparatorOption(option);
  CDomainAdapter adapter(&engine, options);
  if (!adapter.ReadCorpus(corpus, &error)) return Fail(kName, error);
  if (!base_path.empty() && !adapter.ReadBaseCorpus(base_path, &error)) {
    return Fail(kName, error);
  }

  const auto start = std::chrono::steady_clock::now();
  auto seconds = [&start]() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  DomainScanStats scan;
  {
    CProgress progress("adapt: reading " + corpus, 0, CProgress::Unit::kCount, "lines");
    adapter.ExtendResources(progress.Hook(), &scan);
  }
  std::fprintf(stderr,
               "corpus: %lld lines, %lld clauses, %lld characters; label table: %d characters "
               "gained labels; model: %lld features added (%lld new predicates), %.1f s\n",
               static_cast<long long>(scan.lines), static_cast<long long>(scan.clauses),
               static_cast<long long>(scan.characters), scan.label_entries,
               static_cast<long long>(scan.new_features),
               static_cast<long long>(scan.new_predicates), seconds());
  const NEFeatureGroups held = ModelFeatureGroups(resource->Classifier().Model());
  if (!held.Empty()) std::fprintf(stderr, "feature groups: %s\n", FeatureGroupList(held).c_str());

  CKyVerrin tagger(&manager);
  auto score_dev = [&]() {
    CProgress progress("adapt: tagging " + dev_path, static_cast<int64_t>(dev.size()),
                       CProgress::Unit::kCount, "sentences");
    const std::vector<BioSentence> predicted = TagBioSentences(tagger, dev, progress.Hook());
    progress.Finish();
    return ScoreSpans(dev, predicted).overall.F1();
  };
  auto report = [&](const DomainPassStats& s) {
    const SequenceEpochStats& c = s.corpus;
    std::fprintf(
        stderr,
        "pass %d: corpus %lld clauses, %s decoded wrongly, %s of characters wrong, "
        "%lld skipped",
        s.pass, static_cast<long long>(c.clauses), Percent(c.wrong_clauses, c.clauses).c_str(),
        Percent(c.wrong_characters, c.characters).c_str(), static_cast<long long>(c.skipped));
    if (s.base.lines > 0) {
      std::fprintf(stderr, "; base %lld clauses, %s decoded wrongly",
                   static_cast<long long>(s.base.clauses),
                   Percent(s.base.wrong_clauses, s.base.clauses).c_str());
    }
    if (s.score >= 0) std::fprintf(stderr, "; dev F1 %.2f", 100 * s.score);
    std::fprintf(stderr, "; %.1f s\n", seconds());
  };
  int32_t kept = 0;
  {
    CProgress progress("adapt: training on " + corpus, 0, CProgress::Unit::kCount, "characters");
    kept =
        adapter.Train(progress.Hook(), dev.empty() ? std::function<double()>() : score_dev, report);
  }
  if (!dev.empty()) std::fprintf(stderr, "kept the weights of pass %d\n", kept);
  const int32_t pruned = adapter.Prune();
  if (pruned > 0) {
    std::fprintf(stderr, "left out %d weights within %g of 0\n", pruned, options.prune);
  }
  if (!WriteResourceDirectory(&engine, res_dir, out_dir, &error)) return Fail(kName, error);
  std::fprintf(stderr, "wrote %s (%lld features), %.1f s\n", out_dir.c_str(),
               static_cast<long long>(resource->Classifier().Model().FeatureCount() - pruned),
               seconds());
  return kExitOk;
}

}  // namespace

VERRIN_COMMAND(adapt, kName, "teach a resource set the text of a domain from a bracketed corpus",
               kUsage, Run);

}  // namespace verrin::cli
