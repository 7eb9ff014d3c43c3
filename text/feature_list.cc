#include "text/feature_list.h"

#include <cstdio>

namespace verrin {

void AddCompareFeature(FeatureList& list, const CUString& name, int32_t a, int32_t b) {
  AddIntFeature(list, name, a < b ? 1 : (a == b ? 2 : 3));
}

void AddCharFeature(FeatureList& list, const CUString& name, char16_t unit) {
  CUString feature(name.Length() + 1);
  feature.Append(name);
  feature.Append(&unit, 1);
  list.push_back(std::move(feature));
}

void AddStringFeature(FeatureList& list, const CUString& name, const char16_t* text,
                      int32_t length) {
  if (text == nullptr) return;
  if (length < 0) length = UStrLen(text);
  if (length == 0) return;
  CUString feature(name.Length() + length);
  feature.Append(name);
  feature.Append(text, length);
  list.push_back(std::move(feature));
}

void AddIntFeature(FeatureList& list, const CUString& name, int32_t value) {
  char digits[16];
  const int n = std::snprintf(digits, sizeof digits, "%d", static_cast<int>(value));
  CUString feature(name.Length() + n);
  feature.Append(name);
  for (int i = 0; i < n; ++i) feature.Append(static_cast<char16_t>(digits[i]));
  list.push_back(std::move(feature));
}

void AddFeature(FeatureList& list, const CUString& feature) { list.push_back(feature); }

}  // namespace verrin
