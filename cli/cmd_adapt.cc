// verrin adapt: a resource directory taught the text of the user's domain.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/command.h"
#include "cli/input_lines.h"
#include "cli/progress.h"
#include "verrin/adapt.h"
#include "verrin/verrin.h"

namespace verrin::cli {
namespace {

constexpr char kName[] = "adapt";
// The bundled set adapting starts from without --res: the set of today's
// text, which adapts to posts and news better than the newswire one.
constexpr char kStartSet[] = "web";
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
    "                     bundled web set, which knows posts and news of\n"
    "                     today; --res default starts from the newswire set)\n"
    "  --model PATH       model to start from (default: DIR/model.txt)\n"
    "  --base-corpus FILE bracketed corpus the model was trained on (for the\n"
    "                     bundled sets: MSRA converted as\n"
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

// The text of a setting's default, read back as the same value.
std::string Text(int value) { return std::to_string(value); }
std::string Text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

int Run(int argc, char** argv) {
  CAdaptOptions options;
  std::string res_dir, model_path,
      passes_text = Text(options.passes), share_text = Text(options.baseShare),
      cutoff_text = Text(options.cutoff), rate_text = Text(options.rate),
      margin_text = Text(options.margin), prune_text = Text(options.prune),
      option_text = Text(options.option);
  ArgParser parser;
  parser.AddOption("res", &res_dir);
  parser.AddOption("model", &model_path);
  parser.AddOption("base-corpus", &options.baseCorpus);
  parser.AddOption("dev", &options.dev);
  parser.AddOption("passes", &passes_text);
  parser.AddOption("base-share", &share_text);
  parser.AddOption("cutoff", &cutoff_text);
  parser.AddOption("rate", &rate_text);
  parser.AddOption("margin", &margin_text);
  parser.AddOption("prune", &prune_text);
  parser.AddOption("option", &option_text);
  parser.AddOption("groups", &options.groups);
  parser.AddFlag("entities-only", &options.entitiesOnly);
  std::string error;
  if (!parser.Parse(argc, argv, &error)) return UsageError(kName, error);
  // A text that is no number is passed on as a value out of range, so that
  // the library names the option as it names any value out of range.
  if (!ParseIntArg(passes_text, &options.passes)) options.passes = 0;
  if (!ParseIntArg(cutoff_text, &options.cutoff)) options.cutoff = 0;
  if (!ParseIntArg(option_text, &options.option)) options.option = 0;
  const double kNotANumber = std::nan("");
  if (!ParseDoubleArg(share_text, &options.baseShare)) options.baseShare = kNotANumber;
  if (!ParseDoubleArg(rate_text, &options.rate)) options.rate = kNotANumber;
  if (!ParseDoubleArg(margin_text, &options.margin)) options.margin = kNotANumber;
  if (!ParseDoubleArg(prune_text, &options.prune)) options.prune = kNotANumber;
  std::string setting;
  if (!CheckAdaptOptions(options, &setting, &error)) return UsageError(kName, "--" + error);
  if (parser.Positional().size() != 2) return UsageError(kName, "expected CORPUS and OUTDIR");
  const std::string& corpus = parser.Positional()[0];
  const std::string& out_dir = parser.Positional()[1];
  if (!CheckReadable(kName, corpus, "the corpus")) return kExitFailure;
  if (!options.baseCorpus.empty() && !CheckReadable(kName, options.baseCorpus, "the base corpus")) {
    return kExitFailure;
  }

  res_dir = res_dir.empty() ? BundledResourceDir(kStartSet) : ResolveResourceDir(res_dir);
  while (res_dir.size() > 1 && res_dir.back() == '/') res_dir.pop_back();
  CNEResourceManager manager;
  if (!LoadManager(kName, res_dir, model_path, false, manager)) return kExitFailure;

  // Progress of the steps (the dev file's tagging runs within the training).
  std::optional<CProgress> progress[3];
  std::chrono::steady_clock::time_point start;
  auto seconds = [&start]() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  CAdaptHooks hooks;
  hooks.stepBegins = [&](AdaptStep step, int64_t total) -> AdaptProgress {
    std::optional<CProgress>& p = progress[static_cast<int>(step)];
    switch (step) {
      case AdaptStep::kReadingCorpus:
        start = std::chrono::steady_clock::now();
        p.emplace("adapt: reading " + corpus, total, CProgress::Unit::kCount, "lines");
        break;
      case AdaptStep::kTraining:
        p.emplace("adapt: training on " + corpus, total, CProgress::Unit::kCount, "characters");
        break;
      case AdaptStep::kTaggingDev:
        p.emplace("adapt: tagging " + options.dev, total, CProgress::Unit::kCount, "sentences");
        break;
    }
    return p->Hook();
  };
  hooks.stepEnds = [&](AdaptStep step) { progress[static_cast<int>(step)].reset(); };
  hooks.extended = [&](const CAdaptReport& r) {
    std::fprintf(stderr,
                 "corpus: %lld lines, %lld clauses, %lld characters; label table: %d characters "
                 "gained labels; model: %lld features added (%lld new predicates), %.1f s\n",
                 static_cast<long long>(r.lines), static_cast<long long>(r.clauses),
                 static_cast<long long>(r.characters), r.labelEntries,
                 static_cast<long long>(r.newFeatures), static_cast<long long>(r.newPredicates),
                 seconds());
    if (!r.featureGroups.empty())
      std::fprintf(stderr, "feature groups: %s\n", r.featureGroups.c_str());
  };
  hooks.passDone = [&](const CAdaptPass& s) {
    std::fprintf(
        stderr,
        "pass %d: corpus %lld clauses, %s decoded wrongly, %s of characters wrong, "
        "%lld skipped",
        s.pass, static_cast<long long>(s.clauses), Percent(s.wrongClauses, s.clauses).c_str(),
        Percent(s.wrongCharacters, s.characters).c_str(), static_cast<long long>(s.skipped));
    if (s.baseLines > 0) {
      std::fprintf(stderr, "; base %lld clauses, %s decoded wrongly",
                   static_cast<long long>(s.baseClauses),
                   Percent(s.baseWrongClauses, s.baseClauses).c_str());
    }
    if (s.devF1 >= 0) std::fprintf(stderr, "; dev F1 %.2f", 100 * s.devF1);
    std::fprintf(stderr, "; %.1f s\n", seconds());
  };
  hooks.trained = [&](const CAdaptReport& r) {
    if (!options.dev.empty()) std::fprintf(stderr, "kept the weights of pass %d\n", r.keptPass);
    if (r.prunedWeights > 0) {
      std::fprintf(stderr, "left out %d weights within %g of 0\n", r.prunedWeights, options.prune);
    }
  };
  CAdaptReport report;
  if (!AdaptResources(manager, res_dir, corpus, out_dir, options, hooks, &report, &error)) {
    return Fail(kName, error);
  }
  std::fprintf(stderr, "wrote %s (%lld features), %.1f s\n", out_dir.c_str(),
               static_cast<long long>(report.features), seconds());
  return kExitOk;
}

}  // namespace

VERRIN_COMMAND_READING_SET(adapt, kName,
                           "teach a resource set the text of a domain from a bracketed corpus",
                           kUsage, Run, kStartSet);

}  // namespace verrin::cli
