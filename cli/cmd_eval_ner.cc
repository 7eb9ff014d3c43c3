// verrin eval-ner
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/input_lines.h"
#include "cli/line_pipeline.h"
#include "cli/progress.h"
#include "eval/ner_scorer.h"
#include "eval/record_bio.h"
#include "text/code_page.h"
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
    "                   (a fixed key built into verrin: not encryption)\n"
    "  --output FILE    also write the predicted BIO tags to FILE\n"
    "  --threads N      tag with N threads (default: one per core); the result is\n"
    "                   the same for every N\n";

// A sentence as the tagger gave it back, with the clauses it could not tag.
struct TaggedSentence {
  BioSentence sentence;
  int failed = 0;
};

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

  const std::string& gold_path = parser.Positional()[0];
  std::vector<BioSentence> gold;
  if (!ReadBioFile(gold_path, &gold, &error)) return Fail("eval-ner", error);
  // A character that is not UTF-8 is tagged as U+FFFD: say so, as every
  // command does for its input.
  int64_t damaged_lines = 0;
  for (const BioSentence& sentence : gold) {
    for (size_t i = 0; i < sentence.chars.size(); ++i) {
      const std::string& c = sentence.chars[i];
      if (ToUtf8(FromUtf8(c)) == c) continue;
      if (++damaged_lines <= InputLines::kMaxReported) {
        std::fprintf(stderr, "verrin eval-ner: %s:%lld: bytes not valid UTF-8 became U+FFFD\n",
                     gold_path.c_str(),
                     static_cast<long long>(sentence.first_line + static_cast<int64_t>(i)));
      }
    }
  }
  CNEResourceManager manager;
  if (!LoadManager("eval-ner", resources, manager)) return kExitFailure;
  std::vector<std::unique_ptr<CKyVerrin>> taggers;
  for (int t = 0; t < threads; ++t) taggers.push_back(std::make_unique<CKyVerrin>(&manager));

  const auto start = std::chrono::steady_clock::now();
  std::vector<BioSentence> predicted;
  predicted.reserve(gold.size());
  int64_t failed_sentences = 0;
  {
    CProgress progress("eval-ner " + parser.Positional()[0], static_cast<int64_t>(gold.size()),
                       CProgress::Unit::kCount, "sentences");
    size_t next = 0;
    PipelineSteps<size_t, TaggedSentence> steps;
    steps.read = [&](size_t& index) {
      if (next == gold.size()) return false;
      index = next++;
      return true;
    };
    steps.make_worker = [&](int t) {
      CKyVerrin* tagger = taggers[static_cast<size_t>(t)].get();
      return [tagger, &gold](size_t& index, TaggedSentence& out) {
        out.sentence = TagBioSentence(*tagger, gold[index]);
        out.failed = tagger->UntaggedClauses();
      };
    };
    steps.write = [&](TaggedSentence& tagged, bool) {
      if (tagged.failed > 0) {
        // Its characters count as tagged O: the scores are low by them.
        ++failed_sentences;
        std::fprintf(stderr, "verrin eval-ner: %s:%lld: %d %s could not be tagged\n",
                     gold_path.c_str(), static_cast<long long>(tagged.sentence.first_line),
                     tagged.failed, tagged.failed == 1 ? "clause" : "clauses");
      }
      predicted.push_back(std::move(tagged.sentence));
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
  return TaggingStatus("eval-ner", failed_sentences, damaged_lines);
}

}  // namespace

VERRIN_COMMAND(eval_ner, "eval-ner", "tag the text of a BIO file and score the entities", kUsage,
               Run);

}  // namespace verrin::cli
