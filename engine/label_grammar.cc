#include "engine/label_grammar.h"

namespace verrin {

using label_grammar::kContinuesWord;
using label_grammar::kInvalidPair;
using label_grammar::kStartsWord;
using label_grammar::kTransitions;

static_assert(kTransitions.value[kLabelPersonBegin][kLabelPersonInner] == kContinuesWord &&
                  kTransitions.value[kLabelPersonBegin][kLabelLocationBegin] == kStartsWord &&
                  kTransitions.value[kLabelPersonInner][kLabelSingle] == kInvalidPair &&
                  kTransitions.value[kLabelStart][kLabelSingle] == kStartsWord,
              "transition table");

int32_t LabelTransition(int32_t previous, int32_t next) {
  return label_grammar::Transition(previous, next);
}

bool IsLabelAllowed(int32_t length, int32_t previous, int32_t label, int32_t index) {
  return label_grammar::Allowed(length, previous, label, index);
}

}  // namespace verrin
