// verrin model: facts about a model file.
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "cli/input_lines.h"
#include "engine/feature_groups.h"
#include "io/protected_file.h"
#include "maxent/me_model.h"
#include "text/code_page.h"

namespace verrin::cli {
namespace {

constexpr char kName[] = "model";
constexpr char kUsage[] =
    "Usage: verrin model --stats [--protected] PATH\n"
    "\n"
    "Loads the model and prints the numbers of outcomes, predicates and\n"
    "features, one \"name: count\" line each, then, for a model that holds\n"
    "predicate groups (genfeatures --groups, adapt), a line \"groups: LIST\"\n"
    "naming them as --groups takes them. A model with a line that cannot be\n"
    "read fails with its file and line (exit status 1).\n"
    "\n"
    "  --stats        print the sizes (the only report so far)\n"
    "  --protected    read the protected form: the path's last \"txt\" becomes\n"
    "                 \"des\"; a path without \"txt\" is read as it is (a fixed\n"
    "                 key built into verrin: not encryption)\n";

int Run(int argc, char** argv) {
  bool stats = false;
  bool protected_form = false;
  ArgParser parser;
  parser.AddFlag("stats", &stats);
  parser.AddFlag("protected", &protected_form);
  std::string error;
  if (!parser.Parse(argc, argv, &error)) return UsageError(kName, error);
  if (!stats) return UsageError(kName, "--stats is required");
  if (parser.Positional().empty()) return UsageError(kName, "PATH is required");
  if (parser.Positional().size() > 1) return UsageError(kName, "unexpected argument");
  const std::string path = parser.Positional()[0];
  if (!CheckReadable(kName, protected_form ? ProtectedPathFor(path) : path, "the model")) {
    return kExitFailure;
  }
  CMEModel model;
  if (!model.Load(path, protected_form)) return Fail(kName, "cannot load " + path);
  std::printf("outcomes: %d\npredicates: %d\nfeatures: %d\n", model.OutcomeCount(),
              model.PredicateCount(), model.FeatureCount());
  const NEFeatureGroups groups = ModelFeatureGroups(model);
  if (!groups.Empty()) std::printf("groups: %s\n", FeatureGroupList(groups).c_str());
  return kExitOk;
}

}  // namespace

VERRIN_COMMAND(model, kName, "print the sizes of a model file", kUsage, Run);

}  // namespace verrin::cli
