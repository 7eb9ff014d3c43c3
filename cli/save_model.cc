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
    // A model without features is refused by every loader: fail here, not
    // at the next load.
    if (model.WrittenFeatureCount() == 0) {
      char text[160];
      std::snprintf(text, sizeof text,
                    "every weight lies within %g of 0: the model would hold no features (take a "
                    "smaller --prune)",
                    prune);
      Fail(command, text);
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
