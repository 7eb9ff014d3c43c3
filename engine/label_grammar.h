// The label grammar: which label may follow which, and where in a clause.
//
// A word starts with a word-start label and goes on with the labels its
// previous label allows (person begin, inner, end; an organization may hold a
// person or a location). The position rules bar a continuing label on the
// first character and a label that leaves a word open on the last one. The
// tables cover the labels below kGrammarLabels; a label beyond them follows
// none and is followed by none, except the end label kLabelEnd, which follows
// any label.
#ifndef VERRIN_ENGINE_LABEL_GRAMMAR_H_
#define VERRIN_ENGINE_LABEL_GRAMMAR_H_

#include <cstdint>
#include <initializer_list>

#include "engine/word_node.h"

namespace verrin {

// Word-cutting rule between two adjacent labels: 1 the next character
// continues the word, 0 it starts a new word, -1 the pair is invalid.
int32_t LabelTransition(int32_t previous, int32_t next);

// Position rules and the transition rule for `label` on character `index` of
// a clause of `length` characters after `previous`: no continuing label on the
// first character, no open label on the last, the end label kLabelEnd always.
bool IsLabelAllowed(int32_t length, int32_t previous, int32_t label, int32_t index);

namespace label_grammar {

// The values of LabelTransition.
inline constexpr int8_t kInvalidPair = -1;
inline constexpr int8_t kStartsWord = 0;
inline constexpr int8_t kContinuesWord = 1;

// The grammar's tables cover the labels below this.
inline constexpr int32_t kGrammarLabels = 64;

constexpr uint32_t Bits(std::initializer_list<int> labels) {
  uint32_t bits = 0;
  for (int label : labels) bits |= 1u << label;
  return bits;
}

// Labels that start a word; labels that only continue one (barred at the
// first character); labels that leave one open (barred at the last
// character).
inline constexpr uint32_t kWordStart =
    Bits({kLabelSingle, kLabelPersonBegin, kLabelWordBegin, kLabelLocationBegin, kLabelOrgBegin,
          kLabelPunctuation, kLabelClassWord, kLabelMdw});
inline constexpr uint32_t kContinuing =
    Bits({kLabelPersonInner, kLabelPersonEnd, kLabelWordInner, kLabelWordEnd, kLabelLocationInner,
          kLabelLocationEnd, kLabelOrgInner, kLabelOrgEnd});
inline constexpr uint32_t kOpen = Bits({kLabelPersonInner, kLabelWordBegin, kLabelWordInner,
                                        kLabelLocationInner, kLabelOrgBegin, kLabelOrgInner});

constexpr bool Has(uint32_t set, int32_t label) {
  return static_cast<uint32_t>(label) < 32 && ((set >> label) & 1u) != 0;
}

// Labels a word continues with after `previous` (kContinuesWord).
constexpr uint32_t ContinuationsOf(int32_t previous) {
  switch (previous) {
    case kLabelPersonBegin:
    case kLabelPersonInner:
      return Bits({kLabelPersonInner, kLabelPersonEnd});
    // A person or a location can be the first part of an organization.
    case kLabelPersonEnd:
    case kLabelLocationEnd:
      return Bits({kLabelOrgInner, kLabelOrgEnd});
    case kLabelWordBegin:
    case kLabelWordInner:
      return Bits({kLabelWordInner, kLabelWordEnd});
    case kLabelLocationBegin:
    case kLabelLocationInner:
      return Bits({kLabelLocationInner, kLabelLocationEnd});
    // An organization can hold a person or a location.
    case kLabelOrgBegin:
    case kLabelOrgInner:
      return Bits({kLabelPersonBegin, kLabelLocationBegin, kLabelOrgInner, kLabelOrgEnd});
    default:
      return 0;
  }
}

// Labels after which a word-start label may follow (kStartsWord). A
// one-character person or location begin ends its name.
constexpr bool EndsWord(int32_t previous) {
  switch (previous) {
    case kLabelSingle:
    case kLabelPersonBegin:
    case kLabelPersonEnd:
    case kLabelWordEnd:
    case kLabelLocationBegin:
    case kLabelLocationEnd:
    case kLabelOrgEnd:
    case kLabelPunctuation:
    case kLabelClassWord:
    case kLabelMdw:
    case kLabelStart:
      return true;
    default:
      return false;
  }
}

struct TransitionTable {
  int8_t value[kGrammarLabels][kGrammarLabels];
};

constexpr TransitionTable MakeTransitions() {
  TransitionTable table{};
  for (int32_t previous = 0; previous < kGrammarLabels; ++previous) {
    for (int32_t next = 0; next < kGrammarLabels; ++next) {
      int8_t v = kInvalidPair;
      if (Has(ContinuationsOf(previous), next)) {
        v = kContinuesWord;
      } else if (EndsWord(previous) && Has(kWordStart, next)) {
        v = kStartsWord;
      }
      table.value[previous][next] = v;
    }
  }
  return table;
}

inline constexpr TransitionTable kTransitions = MakeTransitions();

// A set of labels below kGrammarLabels per label.
struct LabelSetTable {
  uint64_t bits[kGrammarLabels];
};

// Labels below kGrammarLabels that may follow each label (the end label
// follows any).
constexpr LabelSetTable MakeFollowers() {
  LabelSetTable table{};
  for (int32_t previous = 0; previous < kGrammarLabels; ++previous) {
    uint64_t bits = uint64_t{1} << kLabelEnd;
    for (int32_t next = 0; next < kGrammarLabels; ++next) {
      if (kTransitions.value[previous][next] >= 0) bits |= uint64_t{1} << next;
    }
    table.bits[previous] = bits;
  }
  return table;
}

inline constexpr LabelSetTable kFollowers = MakeFollowers();

// Labels below kGrammarLabels that each label may follow by the transition
// rule (the bits of its column of the table).
constexpr LabelSetTable MakePredecessors() {
  LabelSetTable table{};
  for (int32_t next = 0; next < kGrammarLabels; ++next) {
    uint64_t bits = 0;
    for (int32_t previous = 0; previous < kGrammarLabels; ++previous) {
      if (kTransitions.value[previous][next] >= 0) bits |= uint64_t{1} << previous;
    }
    table.bits[next] = bits;
  }
  return table;
}

inline constexpr LabelSetTable kPredecessors = MakePredecessors();

inline int32_t Transition(int32_t previous, int32_t next) {
  // Labels beyond the table are in no row and no column of the table.
  if (static_cast<uint32_t>(previous) >= static_cast<uint32_t>(kGrammarLabels) ||
      static_cast<uint32_t>(next) >= static_cast<uint32_t>(kGrammarLabels)) {
    return kInvalidPair;
  }
  return kTransitions.value[previous][next];
}

inline bool Allowed(int32_t length, int32_t previous, int32_t label, int32_t index) {
  if (index == 0 && Has(kContinuing, label)) return false;
  if (index == length - 1 || label == kLabelEnd) {
    if (Has(kOpen, label)) return false;
    if (label == kLabelEnd) return true;
  }
  return Transition(previous, label) >= 0;
}

// The labels IsUnscoredLabel (engine/feature_extractor.h) names, as a set:
// the model never scores them on their own.
inline constexpr uint64_t kUnscored = (1ull << kLabelNone) | (1ull << kLabelPunctuation) |
                                      (1ull << kLabelClassWord) | (1ull << kLabelMdw) |
                                      (1ull << kLabelStart) | (1ull << kLabelEnd);

inline bool Unscored(int32_t label) {
  return static_cast<uint32_t>(label) < 64 && ((kUnscored >> label) & 1u) != 0;
}

// Punctuation, class-word and mdw placeholders are fixed by the input: such
// a character has no other candidate, so its label is certain. A model
// trained without such words (the shipped one has no mdw outcome) scores it
// 0.0 instead of ending every path through the clause.
inline bool FixedByInput(int32_t label) {
  return label == kLabelPunctuation || label == kLabelClassWord || label == kLabelMdw;
}

}  // namespace label_grammar

}  // namespace verrin

#endif  // VERRIN_ENGINE_LABEL_GRAMMAR_H_
