// verrin eval-ner
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/line_pipeline.h"
#include "cli/progress.h"
#include "eval/ner_scorer.h"
#include "eval/record_bio.h"
#include "text/file_system.h"
#include "text/output_file.h"
#include "verrin/verrin.h"

namespace verrin::cli {
namespace {

const char kUsage[] =
    "Usage: verrin eval-ner [options] GOLD.bio\n"
    "\n"
    "Tags the raw text of every sentence of a BIO file (UTF-8, one character and\n"
    "its tag per line, a blank line between sentences; tags O, B-X, I-X with X in\n"
    "PER, LOC, ORG) and prints precision, recall and F1 of exact entity spans per\n"
    "class and overall.\n"
    "\n"
    "Options:\n"
    "  --res DIR        resource directory (default: the bundled resources)\n"
    "  --model PATH     model file (default: DIR/model.txt when it exists)\n"
    "  --protected      read the protected (.des) forms of every file\n"
    "  --output FILE    also write the predicted BIO tags to FILE\n"
    "  --threads N      tag with N threads (default: one per core); the result is\n"
    "                   the same for every N\n";

int Run(int argc, char** argv) {
  ResourceOptions resources;
  std::string output, threads_text = "0";
  ArgParser parser;
  resources.AddTo(parser);
  parser.AddOption("output", &output);
  parser.AddOption("threads", &threads_text);
  std::string error;
  if (!parser.Parse(argc, argv, &error)) return UsageError("eval-ner", error);
  if (parser.Positional().size() != 1) return UsageError("eval-ner", "expected GOLD.bio");
  int threads = 1;
  if (!ParseThreadCount(threads_text, &threads)) {
    return UsageError("eval-ner",
                      "--threads needs a whole number from 1 to 1024 (0: one per core)");
  }

  std::vector<BioSentence> gold;
  if (!ReadBioFile(parser.Positional()[0], &gold, &error)) return Fail("eval-ner", error);
  CNEResourceManager manager;
  if (!LoadManager("eval-ner", resources, manager)) return kExitFailure;
  std::vector<std::unique_ptr<CKyVerrin>> taggers;
  for (int t = 0; t < threads; ++t) taggers.push_back(std::make_unique<CKyVerrin>(&manager));

  const auto start = std::chrono::steady_clock::now();
  std::vector<BioSentence> predicted;
  predicted.reserve(gold.size());
  {
    CProgress progress("eval-ner " + parser.Positional()[0], static_cast<int64_t>(gold.size()),
                       CProgress::Unit::kCount, "sentences");
    size_t next = 0;
    PipelineSteps<size_t, BioSentence> steps;
    steps.read = [&](size_t& index) {
      if (next == gold.size()) return false;
      index = next++;
      return true;
    };
    steps.make_worker = [&](int t) {
      CKyVerrin* tagger = taggers[static_cast<size_t>(t)].get();
      return [tagger, &gold](size_t& index, BioSentence& out) {
        out = TagBioSentence(*tagger, gold[index]);
      };
    };
    steps.write = [&](BioSentence& sentence, bool) {
      predicted.push_back(std::move(sentence));
      progress.Update(static_cast<int64_t>(predicted.size()));
      return true;
    };
    RunPipeline(steps, threads);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  if (!output.empty()) {
    const std::string bio = BioText(predicted);
    COutputFile file;
    if (!file.Open(output) || !file.Write(bio) || !file.Commit()) {
      return Fail("eval-ner", file.Error());
    }
  }
  NerScore score = ScoreSpans(gold, predicted);
  if (!score.ok) return Fail("eval-ner", score.error);
  std::fputs(FormatScoreTable(score).c_str(), stdout);
  std::fprintf(stdout, "%lld sentences, %lld characters tagged in %.2f s\n",
               static_cast<long long>(score.sentences), static_cast<long long>(score.characters),
               seconds);
  return kExitOk;
}

}  // namespace

VERRIN_COMMAND(eval_ner, "eval-ner", "tag the text of a BIO file and score the entities", kUsage,
               Run);

}  // namespace verrin::cli
