// Helpers that append formatted predicate strings to a feature list.
//
// Formats follow the predicate vocabulary of the model: a name prefix followed
// by one unit ("%S%C"), by a text ("%S%S"), by a comparison code ("%S%d") or
// the bare name. Feature strings are short, but nothing here cuts them.
#ifndef VERRIN_TEXT_FEATURE_LIST_H_
#define VERRIN_TEXT_FEATURE_LIST_H_

#include <cstdint>
#include <vector>

#include "text/ustring.h"

namespace verrin {

using FeatureList = std::vector<CUString>;

// name + 1 (a < b), 2 (a = b) or 3 (a > b).
void AddCompareFeature(FeatureList& list, const CUString& name, int32_t a, int32_t b);
// name + the one unit.
void AddCharFeature(FeatureList& list, const CUString& name, char16_t unit);
// name + the units; nothing is appended for a null or empty text.
void AddStringFeature(FeatureList& list, const CUString& name, const char16_t* text,
                      int32_t length = -1);
// name + the decimal form of value ("%S%d").
void AddIntFeature(FeatureList& list, const CUString& name, int32_t value);
// The string as it is.
void AddFeature(FeatureList& list, const CUString& feature);

}  // namespace verrin

#endif  // VERRIN_TEXT_FEATURE_LIST_H_
