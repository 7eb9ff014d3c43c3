// verrin refine: train a model's weights further for whole-clause decoding.
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
#include "train/sequence_trainer.h"
#include "verrin/verrin.h"

namespace verrin::cli {
namespace {

constexpr char kName[] = "refine";
constexpr char kUsage[] =
    "Usage: verrin refine [options] CORPUS MODEL_OUT\n"
    "\n"
    "Trains the weights of a model further on a bracketed training corpus (the\n"
    "input of genfeatures) so that the tagger's best path, rather than each\n"
    "character's label on its own, comes out right. Every clause is decoded with\n"
    "the current weights as tagging does; where the path differs from the\n"
    "corpus's labels, the weights move towards the corpus's path and away from\n"
    "the decoded one (an averaged structured perceptron on the tagger's own path\n"
    "score). The model keeps its features; the averaged weights are saved to\n"
    "MODEL_OUT. Load the resource directory the model was trained with: its\n"
    "label table decides the candidates, as in tagging.\n"
    "\n"
    "Options:\n"
    "  --res DIR        resource directory (default: the bundled resources)\n"
    "  --model PATH     model to start from (default: DIR/model.txt)\n"
    "  --protected      read the protected (.des) forms of every file\n"
    "                   (a fixed key built into verrin: not encryption)\n"
    "  --option 1|2     words of the corpus separated by '/' (1) or spaces (2, default)\n"
    "  --epochs N       passes over the corpus (default 3)\n"
    "  --rate R         step size (default 0.05)\n"
    "  --margin C       add C to a path's score for every character it labels\n"
    "                   differently from the corpus, so that near misses are\n"
    "                   corrected too (default 0)\n"
    "  --entities-only  judge labels by their entity part alone: the plain-word\n"
    "                   labels count as one, so that the margin and the updates\n"
    "                   concern persons, locations and organizations only\n"
    "  --dev GOLD.bio   after every pass, score the averaged weights on this BIO\n"
    "                   file (as eval-ner does)\n"
    "  --prune M        leave out of the saved model every feature whose weight\n"
    "                   lies within M of 0\n";

void PrintScore(const NerScore& score) {
  std::fprintf(stderr, "  dev: P %.2f R %.2f F1 %.2f (PER %.2f, LOC %.2f, ORG %.2f)\n",
               100 * score.overall.Precision(), 100 * score.overall.Recall(),
               100 * score.overall.F1(), 100 * score.classes.at("PER").F1(),
               100 * score.classes.at("LOC").F1(), 100 * score.classes.at("ORG").F1());
}

int Run(int argc, char** argv) {
  ResourceOptions resources;
  std::string option_text = "2", epochs_text = "3", rate_text = "0.05", margin_text = "0", dev_path,
              prune_text = "0";
  ArgParser parser;
  resources.AddTo(parser);
  parser.AddOption("option", &option_text);
  parser.AddOption("epochs", &epochs_text);
  parser.AddOption("rate", &rate_text);
  parser.AddOption("margin", &margin_text);
  parser.AddOption("dev", &dev_path);
  parser.AddOption("prune", &prune_text);
  SequenceTrainingOptions options;
  parser.AddFlag("entities-only", &options.entities_only);
  std::string error;
  if (!parser.Parse(argc, argv, &error)) return UsageError(kName, error);
  int option = 2, epochs = 3;
  double prune = 0;
  if (!ParseIntArg(option_text, &option) || (option != 1 && option != 2)) {
    return UsageError(kName, "--option must be 1 or 2");
  }
  if (!ParseIntArg(epochs_text, &epochs) || epochs < 1) {
    return UsageError(kName, "--epochs needs a whole number of at least 1");
  }
  if (!ParseDoubleArg(rate_text, &options.rate) || !(options.rate > 0)) {
    return UsageError(kName, "--rate needs a number above 0");
  }
  if (!ParseDoubleArg(margin_text, &options.margin) || !(options.margin >= 0)) {
    return UsageError(kName, "--margin needs a number of at least 0");
  }
  if (!ParseDoubleArg(prune_text, &prune) || !(prune >= 0)) {
    return UsageError(kName, "--prune needs a number of at least 0");
  }
  if (parser.Positional().size() != 2) return UsageError(kName, "expected CORPUS and MODEL_OUT");
  const std::string& corpus = parser.Positional()[0];
  const std::string& model_out = parser.Positional()[1];
  if (!CheckReadable(kName, corpus, "the corpus")) return kExitFailure;

  std::vector<BioSentence> dev;
  if (!dev_path.empty() && !ReadBioFile(dev_path, &dev, &error)) return Fail(kName, error);
  CNEResourceManager manager;
  if (!LoadManager(kName, resources, manager)) return kExitFailure;
  CMEModel& model = manager.Resource()->Classifier().Model();
  if (model.OutcomeCount() == 0) return Fail(kName, "no model loaded to start from");

  CNEEngine engine(manager.Resource());
  engine.SetWordSeparatorOption(option);
  CSequenceTrainer trainer(&engine, options);
  CKyVerrin tagger(&manager);
  // Scores the weights in force on the development set.
  auto score_dev = [&]() {
    CProgress progress("refine: tagging " + dev_path, static_cast<int64_t>(dev.size()),
                       CProgress::Unit::kCount, "sentences");
    const std::vector<BioSentence> predicted = TagBioSentences(tagger, dev, progress.Hook());
    progress.Finish();
    PrintScore(ScoreSpans(dev, predicted));
  };
  if (!dev.empty()) {
    std::fprintf(stderr, "before refining\n");
    score_dev();
  }
  for (int epoch = 1; epoch <= epochs; ++epoch) {
    const auto start = std::chrono::steady_clock::now();
    SequenceEpochStats stats;
    CProgress progress("refine: pass " + std::to_string(epoch) + " over " + corpus, 0,
                       CProgress::Unit::kBytes);
    const bool ran = trainer.RunEpoch(corpus, progress.Hook(), &stats, &error);
    progress.Finish();
    if (!ran) return Fail(kName, error);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(
        stderr,
        "pass %d: %lld clauses, %lld decoded wrongly (%.2f%%), %lld of %lld characters "
        "wrong (%.3f%%), %lld skipped, %.1f s\n",
        epoch, static_cast<long long>(stats.clauses), static_cast<long long>(stats.wrong_clauses),
        stats.clauses > 0 ? 100.0 * stats.wrong_clauses / stats.clauses : 0.0,
        static_cast<long long>(stats.wrong_characters), static_cast<long long>(stats.characters),
        stats.characters > 0 ? 100.0 * stats.wrong_characters / stats.characters : 0.0,
        static_cast<long long>(stats.skipped), seconds);
    if (!dev.empty()) {
      trainer.UseAveragedWeights();
      score_dev();
      trainer.UseCurrentWeights();
    }
  }
  trainer.UseAveragedWeights();
  return SaveTrainedModel(kName, model, prune, model_out) ? kExitOk : kExitFailure;
}

}  // namespace

VERRIN_COMMAND(refine, kName, "train a model further for whole-clause decoding", kUsage, Run);

}  // namespace verrin::cli
