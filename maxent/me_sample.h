// CMESample: one classification context in string form.
#ifndef VERRIN_MAXENT_ME_SAMPLE_H_
#define VERRIN_MAXENT_ME_SAMPLE_H_

#include <vector>

#include "text/feature_list.h"
#include "text/ustring.h"

namespace verrin {

struct CMESample {
  CUString label;          // outcome text: gold label, or the prediction after Predict
  FeatureList predicates;  // in the order added; duplicates count twice
};

}  // namespace verrin

#endif  // VERRIN_MAXENT_ME_SAMPLE_H_
