// verrin model: facts about a model file.
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "cli/input_lines.h"
#include "io/protected_file.h"
#include "maxent/me_model.h"
#include "text/code_page.h"

namespace verrin::cli {
namespace {

constexpr char kName[] = "model";
constexpr char kUsage[] =
    "Usage: verrin model --stats PATH [--protected]\n"
    "\n"
    "Loads the model and prints the numbers of outcomes, predicates and\n"
    "features, one \"name: count\" line each.\n"
    "\n"
    "  --stats PATH   model text file\n"
    "  --protected    read the protected twin of the model (\"txt\" -> \"des\";\n"
    "                 a fixed key built into verrin: not encryption)\n";

int Run(int argc, char** argv) {
  std::string path;
  bool protected_form = false;
  ArgParser parser;
  parser.AddOption("stats", &path);
  parser.AddFlag("protected", &protected_form);
  std::string error;
  if (!parser.Parse(argc, argv, &error)) return UsageError(kName, error);
  if (path.empty()) return UsageError(kName, "--stats PATH is required");
  if (!parser.Positional().empty()) return UsageError(kName, "unexpected argument");
  if (!CheckReadable(kName, protected_form ? ProtectedPathFor(path) : path, "the model")) {
    return kExitFailure;
  }
  CMEModel model;
  if (!model.Load(path, protected_form)) return Fail(kName, "cannot load " + path);
  std::printf("outcomes: %d\npredicates: %d\nfeatures: %d\n", model.OutcomeCount(),
              model.PredicateCount(), model.FeatureCount());
  return kExitOk;
}

}  // namespace

VERRIN_COMMAND(model, kName, "print the sizes of a model file", kUsage, Run);

}  // namespace verrin::cli
