// verrin score: entity precision, recall and F1 of one BIO file against another.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command.h"
#include "eval/ner_scorer.h"

namespace verrin::cli {
namespace {

const char kScoreUsage[] =
    "Usage: verrin score GOLD PRED\n"
    "\n"
    "Scores the entities of PRED against GOLD. Both files hold one 'character TAG'\n"
    "per line (tags O, B-X, I-X) and a blank line after each sentence; they must\n"
    "hold the same sentences and characters. Entities are compared as exact\n"
    "(start, end, class) spans, read as conlleval reads them. Prints gold,\n"
    "predicted and correct counts, precision, recall and F1 per class and overall.\n";

int RunScore(int argc, char** argv) {
  ArgParser parser;
  std::string error;
  if (!parser.Parse(argc, argv, &error)) return UsageError("score", error);
  if (parser.Positional().size() != 2) return UsageError("score", "expected GOLD and PRED");
  std::vector<BioSentence> gold, predicted;
  if (!ReadBioFile(parser.Positional()[0], &gold, &error)) return Fail("score", error);
  if (!ReadBioFile(parser.Positional()[1], &predicted, &error)) return Fail("score", error);
  const NerScore score = ScoreSpans(gold, predicted);
  if (!score.ok) return Fail("score", score.error);
  const std::string table = FormatScoreTable(score);
  std::fwrite(table.data(), 1, table.size(), stdout);
  return kExitOk;
}

}  // namespace

VERRIN_COMMAND(score, "score", "entity precision, recall and F1 of a BIO file against gold",
               kScoreUsage, RunScore);

}  // namespace verrin::cli
