// Feature extraction: one sample of predicates per unit of a processed clause.
//
// The active predicates of a unit at position p, in this order (tagging):
//   "char=" t[p], "ct=" class(p),
//   "ntc1=" t[p+1], "nt1ct=" class(p+1), "ntc0c1=" t[p]t[p+1]   (p+1 < L)
//   "ntc2=" t[p+2], "ntc1c2=" t[p+1]t[p+2], "wd_therory"        (p+2 < L)
//   "pvc1=" t[p-1], "pvc0c1=" t[p-1]t[p]                       (p > 0)
//   "pvc1c2=" t[p-2]t[p-1], "pvc2=" t[p-2]                     (p >= 3)
//   "pv1nt1=" t[p-1]t[p+1]                                     (p > 0, p+1 < L)
// where L counts the sentinel U+0002 that ends the clause, and class(x) is the
// decimal class code of unit x. In t every unit GBK cannot write is the
// stand-in 〓 (kNonGbkStandIn), as in the GBK training corpora; the classes
// are those of the units themselves (class 1 either way). "wd_therory" fires when t[p+1]t[p+2] is
// 主义 or 理论. With the training switch every sample starts with "pv1lb=" and "pv2lb=" (the preset
// labels of p-1 and p-2) and samples whose three labels are all unscored are dropped.
//
// The samples come in two forms with the same content: predicate strings
// (training files, tests, refinement) and, for tagging, the indices of the
// predicates in one model, found from the units without building a string.
//
// Predicate groups beyond these (NEFeatureGroups) are produced only where
// asked for: in training by the caller, in tagging when the model holds
// predicates of the group. They follow "ct=" (word shape) and "pv1nt1="
// (the others), in the order of FeatureGroup:
//   prev-word           "pv1wd=" + the previous word's processed text (none for
//                       the first word);
//   person-marks        "fnname", "pnpfx", "pnsfx", "pnsur" (marks 0x80, 0x10,
//                       0x20, 0x08 at p), "pvfnname", "pvpnpfx", "pvpnsur"
//                       (0x80, 0x10, 0x08 at p-1), "ntfnname", "ntpnsfx",
//                       "ntpnsur" (0x80, 0x20, 0x08 at p+1);
//   class-marks         "pntitle", "lnsfx", "onsfx", "lnname" (0x01, 0x02,
//                       0x04, 0x40 at p);
//   continuation-marks  "pnsfxcon", "lnsfxcon", "onsfxcon", "lnnamecon"
//                       (0x100, 0x200, 0x400, 0x4000 at p);
//   next-match          for the lexicon matches of class 1, 2, 4 and 64 that
//                       start at p+1: "nt<c>_c=" length against 2 (1 shorter,
//                       2 equal, 3 longer), "nt<c>_n=" the matched text and
//                       "ntis<c>", with <c> pnsfx, lnsfx, onsfx, lnname;
//   word-shape          "2wdbegin" .. "5wdcond" for words of at least the
//                       minimum length (AddWordShapeFeatures);
//   word-position       "wdsingle", "wdbegin", "wdend";
//   org-items           "onname" (a known organization, the longest item
//                       match whose value has bit 4, starts at p),
//                       "onnamecon" (p lies inside such a match, not at its
//                       start), then for the match that starts at p+1
//                       "ntonname_c=", "ntonname_n=", "ntisonname" as
//                       next-match gives them.
// The marks are those of MarkLexiconClasses over the clause (the organization
// items those of their own pass), cleared at units whose label is
// lexicon-free; the matches of next-match and org-items are kept.
#ifndef VERRIN_ENGINE_FEATURE_EXTRACTOR_H_
#define VERRIN_ENGINE_FEATURE_EXTRACTOR_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/feature_groups.h"
#include "engine/lattice.h"
#include "engine/word_node.h"
#include "maxent/me_sample.h"
#include "resource/lexicon.h"
#include "text/ustring.h"

namespace verrin {

class CMEModel;
class PeInfoTable;

// What the lexicon-mark groups read: the resource set's lexicons (null: no
// marks from that one), and the clause's marks and matches, worked out
// afresh for every clause that needs them.
struct NELexiconMarks {
  const CNEValuedLexicon* affixes = nullptr;
  const CNEValuedLexicon* items = nullptr;
  const PeInfoTable* pe_info = nullptr;
  std::vector<int32_t> marks;
  LexiconMatchMap matches;
  // With org-items: per unit 1 where a known organization item starts, 2
  // inside one (cleared as `marks`), and the length of the longest one that
  // starts there (0: none; kept).
  std::vector<int32_t> org_marks;
  std::vector<int32_t> org_lengths;
};

// Labels that the model never scores on their own: kLabelNone,
// kLabelPunctuation, kLabelClassWord, kLabelMdw, kLabelStart, kLabelEnd.
bool IsUnscoredLabel(int32_t label);
// All three labels are unscored: the step costs nothing and is not trained.
bool AllUnscoredLabels(int32_t current, int32_t previous, int32_t second_previous);
// kLabelPunctuation, kLabelClassWord, kLabelEnd: units whose lexicon marks
// are cleared.
bool IsLexiconFreeLabel(int32_t label);

// Appends "pv1lb=<previous>" then "pv2lb=<second_previous>" (decimal).
void AddLabelHistory(CMESample& sample, int32_t previous, int32_t second_previous);

// Arguments the engine would pass to AddWordShapeFeatures: with them it adds
// nothing, so the engine does not call it.
inline constexpr bool kGenericWordShape = false;
inline constexpr int32_t kWordShapeMinLength = 6;

// Word-shape predicates of the unit at `offset` of `word` (processed length
// nTextLen): with `generic` "wdsingle"/"wdbegin"/"wdend", and the
// length-specific "2wd..".."5wd.." names for lengths >= `min_length`.
void AddWordShapeFeatures(const NEWordNode& word, int32_t offset, CMESample& sample, bool generic,
                          int32_t min_length);

// The predicate names of the extractor resolved in one model, for
// ExtractIndexedFeatures. Bind again after the model was reloaded.
class NEPredicateNames {
 public:
  void Bind(const CMEModel* model);
  // True when bound to `model` in its current state.
  bool BoundTo(const CMEModel* model) const;

  const CMEModel* Model() const { return model_; }
  // ModelFeatureGroups of the bound model.
  const NEFeatureGroups& Groups() const { return groups_; }
  int32_t Name(int which) const { return names_[which]; }
  // The name's slot in the model's records of one- and two-unit values, -1: none.
  int32_t UnitSlot(int which) const { return unit_slots_[which]; }
  int32_t PairSlot(int which) const { return pair_slots_[which]; }
  // The predicate of a class name (the first: "ct=", the second: "nt1ct=")
  // and a class code below kClassCodes, -1 when the model lacks it.
  static constexpr int32_t kClassCodes = 16;
  int32_t ClassPredicate(int second, int32_t code) const { return class_predicates_[second][code]; }

 private:
  static constexpr int kCount = 65;
  const CMEModel* model_ = nullptr;
  NEFeatureGroups groups_;
  int32_t predicates_ = -1;
  int32_t features_ = -1;
  int32_t names_[kCount] = {};
  int32_t unit_slots_[kCount] = {};
  int32_t pair_slots_[kCount] = {};
  int32_t class_predicates_[2][kClassCodes] = {};
};

// Fills `samples` (emptied first) for a processed clause:
//   text         the processed clause, ending with the sentinel U+0002;
//   words        its word nodes in order; their nTextLen add up to the length
//                of `text` (units beyond the text get no sample);
//   labels       preset label per unit (kLabelSingle free, kLabelEnd the
//                sentinel);
//   char_classes class code per unit (1-5, 6, 7, 11).
// In tagging sample i belongs to unit i and carries the label text of
// labels[i]; in training the history predicates come first and samples whose
// three labels are all unscored are left out. `groups` are the groups to
// produce besides the base set; those that read lexicon marks need `marks`
// (without it their marks are all 0).
void ExtractSentenceFeatures(const CUString& text, const std::vector<NEWordNode*>& words,
                             const std::vector<int32_t>& labels,
                             const std::vector<int32_t>& char_classes, bool training,
                             std::vector<CMESample>& samples,
                             const NEFeatureGroups& groups = NEFeatureGroups(),
                             NELexiconMarks* marks = nullptr);

// The tagging samples of ExtractSentenceFeatures, with the groups of the
// model of `names`, as the indices of their predicates in that model
// (unknown predicates left out, order kept) with their labels as numbers.
void ExtractIndexedFeatures(const CUString& text, const std::vector<NEWordNode*>& words,
                            const std::vector<int32_t>& labels,
                            const std::vector<int32_t>& char_classes, const NEPredicateNames& names,
                            NEIndexedSamples& samples, NELexiconMarks* marks = nullptr);

}  // namespace verrin

#endif  // VERRIN_ENGINE_FEATURE_EXTRACTOR_H_
