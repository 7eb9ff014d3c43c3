// verrin eval-ner
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command.h"
#include "eval/ner_scorer.h"
#include "eval/record_bio.h"
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
    "  --output FILE    also write the predicted BIO tags to FILE\n";

int Run(int argc, char** argv) {
  ResourceOptions resources;
  std::string output;
  ArgParser parser;
  resources.AddTo(parser);
  parser.AddOption("output", &output);
  std::string error;
  if (!parser.Parse(argc, argv, &error)) return UsageError("eval-ner", error);
  if (parser.Positional().size() != 1) return UsageError("eval-ner", "expected GOLD.bio");

  std::vector<BioSentence> gold;
  if (!ReadBioFile(parser.Positional()[0], &gold, &error)) return Fail("eval-ner", error);
  CNEResourceManager manager;
  if (!LoadManager("eval-ner", resources, manager)) return kExitFailure;
  CKyVerrin tagger(&manager);

  const bool progress = StderrIsTerminal();
  const auto start = std::chrono::steady_clock::now();
  const std::vector<BioSentence> predicted = TagBioSentences(tagger, gold, progress);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  if (!output.empty()) {
    std::string bio;
    for (const BioSentence& out : predicted) {
      for (size_t i = 0; i < out.chars.size(); ++i) bio += out.chars[i] + " " + out.tags[i] + "\n";
      bio += "\n";
    }
    std::FILE* f = std::fopen(output.c_str(), "wb");
    if (f == nullptr) return Fail("eval-ner", "cannot write " + output);
    std::fwrite(bio.data(), 1, bio.size(), f);
    std::fclose(f);
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
