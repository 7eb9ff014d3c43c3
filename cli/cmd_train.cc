// verrin train: fit a maximum-entropy model to an event file.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "cli/input_lines.h"
#include "cli/log_lines.h"
#include "cli/progress.h"
#include "maxent/me_classifier.h"
#include "text/code_page.h"

namespace verrin::cli {
namespace {

constexpr char kName[] = "train";
constexpr char kUsage[] =
    "Usage: verrin train [options] EVENTS MODEL_OUT\n"
    "\n"
    "Trains a maximum-entropy model on the event file EVENTS (GBK; one event\n"
    "per line: predicates separated by white space, the label after the last\n"
    "space) and saves it to MODEL_OUT. Progress goes to standard error.\n"
    "\n"
    "  --cutoff N        drop (label, predicate) pairs seen fewer than N times\n"
    "  --sigma S         Gaussian prior with standard deviation S (> 0)\n"
    "  --width-factor W  inequality model with width W / number of samples\n"
    "  --heldout N|P%    keep the last N events, or the last P per cent of them\n"
    "                    (rounded down, e.g. 5%), as held-out data\n"
    "  --early-stop W    stop when the held-out likelihood of the last W\n"
    "                    iterations falls below that of the W before them\n"
    "  --agis            estimate with AGIS instead of BLMVM\n"
    "  --prune M         leave out of the saved model every feature whose\n"
    "                    weight lies within M of 0 (a smaller model that scores\n"
    "                    almost as the whole one)\n";

int Run(int argc, char** argv) {
  std::string cutoff_text = "0", sigma_text = "0", width_text = "0", heldout_text = "0",
              early_stop_text = "0", prune_text = "0";
  bool agis = false;
  ArgParser parser;
  parser.AddOption("cutoff", &cutoff_text);
  parser.AddOption("sigma", &sigma_text);
  parser.AddOption("width-factor", &width_text);
  parser.AddOption("heldout", &heldout_text);
  parser.AddOption("early-stop", &early_stop_text);
  parser.AddFlag("agis", &agis);
  parser.AddOption("prune", &prune_text);
  std::string error;
  if (!parser.Parse(argc, argv, &error)) return UsageError(kName, error);
  int cutoff = 0, heldout = 0, early_stop = 0;
  double sigma = 0, width_factor = 0;
  if (!ParseIntArg(cutoff_text, &cutoff) || cutoff < 0) {
    return UsageError(kName, "--cutoff needs a whole number of at least 0");
  }
  if (!ParseDoubleArg(sigma_text, &sigma) || !(sigma >= 0)) {
    return UsageError(kName, "--sigma needs a number of at least 0");
  }
  if (!ParseDoubleArg(width_text, &width_factor) || !(width_factor >= 0)) {
    return UsageError(kName, "--width-factor needs a number of at least 0");
  }
  double heldout_share = -1;  // per cent, when given so
  if (!heldout_text.empty() && heldout_text.back() == '%') {
    if (!ParseDoubleArg(heldout_text.substr(0, heldout_text.size() - 1), &heldout_share) ||
        !(heldout_share >= 0 && heldout_share < 100)) {
      return UsageError(kName, "--heldout needs a share from 0% to below 100%, e.g. 5%");
    }
  } else if (!ParseIntArg(heldout_text, &heldout) || heldout < 0) {
    return UsageError(kName, "--heldout needs a whole number of at least 0 or a share such as 5%");
  }
  if (!ParseIntArg(early_stop_text, &early_stop) || early_stop < 0) {
    return UsageError(kName, "--early-stop needs a whole number of at least 0");
  }
  double prune = 0;
  if (!ParseDoubleArg(prune_text, &prune) || !(prune >= 0)) {
    return UsageError(kName, "--prune needs a number of at least 0");
  }
  if (parser.Positional().size() != 2) return UsageError(kName, "expected EVENTS and MODEL_OUT");
  const std::string& events = parser.Positional()[0];
  const std::string& model_out = parser.Positional()[1];
  if (access(events.c_str(), F_OK) != 0) return Fail(kName, "no such event file: " + events);
  if (!CheckReadable(kName, events, "the event file")) return kExitFailure;

  CLogLines log_lines;  // one line per iteration in a log
  CMEClassifier classifier;
  CMEModel& model = classifier.Model();
  model.sigma = sigma;
  model.heldout_count = heldout;
  model.early_stop_window = early_stop;
  model.SetUseAgis(agis);
  classifier.width_factor = width_factor;
  {
    CProgress progress("train: reading " + events, 0, CProgress::Unit::kBytes);
    if (!classifier.LoadEvents(events, progress.Hook())) {
      std::fprintf(stderr, "\n");
      return Fail(kName, "cannot read the event file " + events);
    }
  }
  if (heldout_share >= 0) {
    const int32_t events_read = model.PendingEventCount();
    // The small term keeps 29% of 100 from coming out as 28.999... and so 28.
    model.heldout_count =
        static_cast<int32_t>(std::floor(events_read * heldout_share / 100.0 + 1e-9));
    std::fprintf(stderr, "held out: the last %d of %d events (%s)\n", model.heldout_count,
                 events_read, heldout_text.c_str());
  }
  {
    CIterationTimes times;  // on a terminal: time so far and per iteration
    if (classifier.Train(cutoff) != 1) return Fail(kName, "training failed");
  }
  return SaveTrainedModel(kName, model, prune, model_out) ? kExitOk : kExitFailure;
}

}  // namespace

VERRIN_COMMAND(train, kName, "train a maximum-entropy model on an event file", kUsage, Run);

}  // namespace verrin::cli
