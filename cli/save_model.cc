#include <cstdio>
#include <string>

#include "cli/command.h"
#include "maxent/me_model.h"
#include "text/code_page.h"

namespace verrin::cli {

bool SaveTrainedModel(const char* command, CMEModel& model, double prune, const std::string& path) {
  if (prune > 0) {
    const int32_t zeroed = model.ZeroSmallWeights(prune);
    std::fprintf(stderr, "pruned %d of %d features (weights within %g of 0)\n", zeroed,
                 model.FeatureCount(), prune);
    std::string error;
    if (!model.CheckWeightsLeft(prune, &error)) {
      Fail(command, error);
      return false;
    }
  }
  if (!model.Save(path)) {
    Fail(command, "cannot write the model " + path);
    return false;
  }
  return true;
}

}  // namespace verrin::cli
