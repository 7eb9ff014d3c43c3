// verrin evaluate: classify a labelled event file with a model.
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "cli/input_lines.h"
#include "io/protected_file.h"
#include "maxent/me_classifier.h"
#include "text/code_page.h"

namespace verrin::cli {
namespace {

constexpr char kName[] = "evaluate";
constexpr char kUsage[] =
    "Usage: verrin evaluate --model PATH [--protected] TEST RESULT\n"
    "\n"
    "Classifies every line of the labelled event file TEST (GBK; predicates\n"
    "separated by white space, the gold label after the last space) and writes\n"
    "one line per event to RESULT: line number, predicted label, its\n"
    "probability and the gold label, separated by tabs. The totals and the\n"
    "rate of correct labels go to standard error.\n"
    "\n"
    "  --model PATH   model text file\n"
    "  --protected    read the protected twin of the model (\"txt\" -> \"des\";\n"
    "                 a fixed key built into verrin: not encryption)\n";

int Run(int argc, char** argv) {
  std::string model_path;
  bool protected_form = false;
  ArgParser parser;
  parser.AddOption("model", &model_path);
  parser.AddFlag("protected", &protected_form);
  std::string error;
  if (!parser.Parse(argc, argv, &error)) return UsageError(kName, error);
  if (model_path.empty()) return UsageError(kName, "--model PATH is required");
  if (parser.Positional().size() != 2) return UsageError(kName, "expected TEST and RESULT");
  if (!CheckReadable(kName, protected_form ? ProtectedPathFor(model_path) : model_path,
                     "the model") ||
      !CheckReadable(kName, parser.Positional()[0], "the test file")) {
    return kExitFailure;
  }
  CMEClassifier classifier;
  if (!classifier.Model().Load(model_path, protected_form)) {
    return Fail(kName, "cannot load the model " + model_path);
  }
  if (!classifier.Evaluate(parser.Positional()[0], parser.Positional()[1])) {
    std::fprintf(stderr, "\n");
    return Fail(kName, "evaluation failed");
  }
  return kExitOk;
}

}  // namespace

VERRIN_COMMAND(evaluate, kName, "classify a labelled event file with a model", kUsage, Run);

}  // namespace verrin::cli
