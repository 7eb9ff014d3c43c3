// The predicate groups a model may carry beyond the base predicates (the
// file comment of engine/feature_extractor.h lists their predicates): their
// names in lists, and which of them a model holds.
#ifndef VERRIN_ENGINE_FEATURE_GROUPS_H_
#define VERRIN_ENGINE_FEATURE_GROUPS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace verrin {

class CMEModel;

// The groups, in the order their predicates follow the base ones.
enum FeatureGroup : uint32_t {
  kGroupPreviousWord = 1u << 0,
  kGroupPersonMarks = 1u << 1,
  kGroupClassMarks = 1u << 2,
  kGroupContinuationMarks = 1u << 3,
  kGroupNextMatch = 1u << 4,
  kGroupWordShape = 1u << 5,
  kGroupWordPosition = 1u << 6,
  kGroupOrgItems = 1u << 7,
};
// The groups that read the lexicon marks.
inline constexpr uint32_t kLexiconMarkGroups =
    kGroupPersonMarks | kGroupClassMarks | kGroupContinuationMarks | kGroupNextMatch;

struct NEFeatureGroups {
  uint32_t bits = 0;
  // With kGroupWordShape: the shortest word that gets shape predicates (2-5).
  int32_t shape_min_length = 2;

  bool Empty() const { return bits == 0; }
  bool Has(uint32_t group) const { return (bits & group) != 0; }
  // Both sets; the word shapes from the shorter minimum length.
  NEFeatureGroups With(const NEFeatureGroups& other) const;
  bool operator==(const NEFeatureGroups& other) const;
  bool operator!=(const NEFeatureGroups& other) const { return !(*this == other); }
};

// Reads a comma-separated list of group names: prev-word, person-marks,
// class-marks, continuation-marks, next-match, word-shape (words of 2 units
// or more; word-shape:N from N = 2..5 on), word-position, org-items; "none" or an empty
// list for none. False with `error` naming the offending item.
bool ParseFeatureGroups(std::string_view list, NEFeatureGroups* groups, std::string* error);
// The list ParseFeatureGroups reads back ("none" for none).
std::string FeatureGroupList(const NEFeatureGroups& groups);
// The groups whose predicates `model` holds (any predicate of a group puts it
// in); the word-shape minimum is the shortest length with a shape predicate.
NEFeatureGroups ModelFeatureGroups(const CMEModel& model);

}  // namespace verrin

#endif  // VERRIN_ENGINE_FEATURE_GROUPS_H_
