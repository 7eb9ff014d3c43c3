// Feature extraction: one CMESample of predicate strings per unit of a
// processed clause.
//
// The active predicates of a unit at position p, in this order (tagging):
//   "char=" t[p], "ct=" class(p),
//   "ntc1=" t[p+1], "nt1ct=" class(p+1), "ntc0c1=" t[p]t[p+1]   (p+1 < L)
//   "ntc2=" t[p+2], "ntc1c2=" t[p+1]t[p+2], "wd_therory"        (p+2 < L)
//   "pvc1=" t[p-1], "pvc0c1=" t[p-1]t[p]                       (p > 0)
//   "pvc1c2=" t[p-2]t[p-1], "pvc2=" t[p-2]                     (p >= 3)
//   "pv1nt1=" t[p-1]t[p+1]                                     (p > 0, p+1 < L)
// where L counts the sentinel U+0002 that ends the clause, and class(x) is the
// decimal class code of unit x. "wd_therory" fires when t[p+1]t[p+2] is 主义
// or 理论. With the training switch every sample starts with "pv1lb=" and
// "pv2lb=" (the preset labels of p-1 and p-2) and samples whose three labels
// are all unscored are dropped.
//
// The lexicon, word-shape and word-text groups are fixed off; they produce
// nothing and need no lexicon marks.
#ifndef VERRIN_ENGINE_FEATURE_EXTRACTOR_H_
#define VERRIN_ENGINE_FEATURE_EXTRACTOR_H_

#include <cstdint>
#include <vector>

#include "engine/word_node.h"
#include "maxent/me_sample.h"
#include "resource/lexicon.h"
#include "text/ustring.h"

namespace verrin {

// Labels that the model never scores on their own: 0, 18, 19, 20, 51, 52.
bool IsUnscoredLabel(int32_t label);
// All three labels are unscored: the step costs nothing and is not trained.
bool AllUnscoredLabels(int32_t current, int32_t previous, int32_t second_previous);
// 18, 19, 52: units whose lexicon marks are cleared.
bool IsLexiconFreeLabel(int32_t label);

// Appends "pv1lb=<previous>" then "pv2lb=<second_previous>" (decimal).
void AddLabelHistory(CMESample& sample, int32_t previous, int32_t second_previous);

// Fixed settings of the optional predicate groups.
inline constexpr bool kPreviousWordFeatures = false;  // "pv1wd="
inline constexpr bool kPersonMarkFeatures = false;    // "fnname", "pnpfx", ...
inline constexpr bool kClassMarkFeatures = false;     // "pntitle", "lnsfx", ...
inline constexpr bool kContinuationFeatures = false;  // "pnsfxcon", ...
inline constexpr bool kNextMatchFeatures = false;     // "ntpnsfx_c=", ...
// Arguments the engine always passes to AddWordShapeFeatures.
inline constexpr bool kGenericWordShape = false;
inline constexpr int32_t kWordShapeMinLength = 6;

// Lexicon marks of a clause (one per unit) and the match map keyed by
// start * 256 + class. Only the switched-off groups read them; null members
// mean "not computed".
struct NELexiconView {
  const std::vector<int32_t>* marks = nullptr;
  const LexiconMatchMap* matches = nullptr;
};

// Working record of the word being extracted.
struct NEFeatureWindow {
  std::vector<const CUString*> previous_words;  // the previous word's form, if any
  std::vector<const CUString*> current_words;   // this word's form, then the next word's
  char16_t current_char = 0;
  int32_t position = 0;
  int32_t previous_label = 0;
  int32_t second_previous_label = 0;
  int32_t current_label = 0;
};

// Word-shape predicates of the unit at `offset` of `word` (processed length
// nTextLen): with `generic` "wdsingle"/"wdbegin"/"wdend", and the
// length-specific "2wd..".."5wd.." names for lengths >= `min_length`.
void AddWordShapeFeatures(const NEWordNode& word, int32_t offset, CMESample& sample, bool generic,
                          int32_t min_length);

// The neighbour predicates of window.position (see the file comment) and the
// switched-off groups. `char_classes` holds one class code per unit of `text`.
void AddNeighbourFeatures(const CUString& text, const std::vector<int32_t>& char_classes,
                          CMESample& sample, const NEFeatureWindow& window,
                          const NELexiconView& lexicon = NELexiconView());

// Appends the samples of words[word_index], whose first unit is at
// `word_start` of `text`: one per unit in tagging, fewer in training.
void ExtractWordFeatures(const CUString& text, std::vector<CMESample>& samples,
                         const std::vector<NEWordNode*>& words, size_t word_index,
                         const std::vector<int32_t>& labels,
                         const std::vector<int32_t>& char_classes, int32_t word_start,
                         bool training);

// Fills `samples` (emptied first) for a processed clause:
//   text         the processed clause, ending with the sentinel U+0002;
//   words        its word nodes in order; their nTextLen add up to the length
//                of `text` (units beyond the text get no sample);
//   labels       preset label per unit (1 free, 52 the sentinel);
//   char_classes class code per unit (1-5, 6, 7, 11).
// In tagging sample i belongs to unit i and carries the label text of
// labels[i]; in training the history predicates come first and samples whose
// three labels are all unscored are left out.
void ExtractSentenceFeatures(const CUString& text, const std::vector<NEWordNode*>& words,
                             const std::vector<int32_t>& labels,
                             const std::vector<int32_t>& char_classes, bool training,
                             std::vector<CMESample>& samples);

}  // namespace verrin

#endif  // VERRIN_ENGINE_FEATURE_EXTRACTOR_H_
