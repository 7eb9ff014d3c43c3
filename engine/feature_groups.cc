#include "engine/feature_groups.h"

#include <algorithm>
#include <string>

#include "engine/feature_names.h"
#include "maxent/me_model.h"
#include "text/comma_list.h"

namespace verrin {

using namespace predicate_names;  // NOLINT: the extractor's own names

NEFeatureGroups NEFeatureGroups::With(const NEFeatureGroups& other) const {
  NEFeatureGroups both;
  both.bits = bits | other.bits;
  if (Has(kGroupWordShape) && other.Has(kGroupWordShape)) {
    both.shape_min_length = std::min(shape_min_length, other.shape_min_length);
  } else {
    both.shape_min_length = Has(kGroupWordShape) ? shape_min_length : other.shape_min_length;
  }
  return both;
}

bool NEFeatureGroups::operator==(const NEFeatureGroups& other) const {
  return bits == other.bits &&
         (!Has(kGroupWordShape) || shape_min_length == other.shape_min_length);
}

bool ParseFeatureGroups(std::string_view list, NEFeatureGroups* groups, std::string* error) {
  NEFeatureGroups parsed;
  const std::string_view whole = TrimBlanks(list);
  if (whole.empty() || whole == "none") {
    *groups = parsed;
    return true;
  }
  for (const std::string_view item : SplitCommaList(whole)) {
    std::string_view name = item;
    int32_t min_length = 2;
    const size_t colon = item.find(':');
    if (colon != std::string_view::npos) {
      name = item.substr(0, colon);
      const std::string_view number = item.substr(colon + 1);
      if (name != "word-shape" || number.size() != 1 || number[0] < '2' || number[0] > '5') {
        *error = "unknown feature group '" + std::string(item) +
                 "' (only word-shape takes a minimum length, word-shape:2 to word-shape:5)";
        return false;
      }
      min_length = number[0] - '0';
    }
    bool known = false;
    for (const GroupInfo& info : kGroups) {
      if (name != info.list_name) continue;
      known = true;
      if (info.group == kGroupWordShape) {
        parsed.shape_min_length = parsed.Has(kGroupWordShape)
                                      ? std::min(parsed.shape_min_length, min_length)
                                      : min_length;
      }
      parsed.bits |= info.group;
    }
    if (!known) {
      std::string names;
      for (const GroupInfo& info : kGroups)
        names += std::string(names.empty() ? "" : ", ") + info.list_name;
      *error = "unknown feature group '" + std::string(item) + "' (known: " + names + ")";
      return false;
    }
  }
  *groups = parsed;
  return true;
}

std::string FeatureGroupList(const NEFeatureGroups& groups) {
  std::string list;
  for (const GroupInfo& info : kGroups) {
    if (!groups.Has(info.group)) continue;
    if (!list.empty()) list += ',';
    list += info.list_name;
    if (info.group == kGroupWordShape && groups.shape_min_length != 2) {
      list += ':' + std::to_string(groups.shape_min_length);
    }
  }
  return list.empty() ? "none" : list;
}

NEFeatureGroups ModelFeatureGroups(const CMEModel& model) {
  NEFeatureGroups groups;
  for (const GroupInfo& info : kGroups) {
    for (int name = info.first; name <= info.last; ++name) {
      if (model.HasPredicateName(kNameTexts[name])) {
        groups.bits |= info.group;
        break;
      }
    }
  }
  if (groups.Has(kGroupWordShape)) {
    // The shortest length whose names the model holds.
    const int ends[] = {kShape2End, kShape3Inner, kShape4Inner, kShape5Inner};
    int name = kShape2Begin;
    for (int32_t size = 2; size <= 5; ++size) {
      bool held = false;
      for (; name <= ends[size - 2]; ++name)
        held = held || model.HasPredicateName(kNameTexts[name]);
      if (held) {
        groups.shape_min_length = size;
        break;
      }
    }
  }
  return groups;
}

}  // namespace verrin
