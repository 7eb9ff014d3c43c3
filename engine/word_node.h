// NEWordNode: a word of one clause as it flows through the engine.
#ifndef VERRIN_ENGINE_WORD_NODE_H_
#define VERRIN_ENGINE_WORD_NODE_H_

#include <cstdint>
#include <vector>

#include "text/ustring.h"

namespace verrin {

// Node types.
enum NodeType : int32_t {
  kNodeWord = 1,  // ordinary word
  kNodePerson = 2,
  kNodeOrganization = 3,
  kNodeLocation = 4,
  kNodeMdw = 5,          // word of bracket class "mdw"
  kNodeClassWord = 6,    // "number", "engstring" or another bracket class
  kNodePunctuation = 9,  // single punctuation unit, and the sentinel
};

// Labels, one per processed character.
enum Label : int32_t {
  kLabelNone = 0,
  kLabelSingle = 1,  // one-character word; also "free" before decoding
  kLabelPersonBegin = 2,
  kLabelPersonInner = 3,
  kLabelPersonEnd = 4,
  kLabelWordBegin = 5,
  kLabelWordInner = 6,
  kLabelWordEnd = 7,
  kLabelLocationBegin = 8,
  kLabelLocationInner = 9,
  kLabelLocationEnd = 10,
  kLabelOrgBegin = 11,
  kLabelOrgInner = 12,
  kLabelOrgEnd = 13,
  kLabelPunctuation = 18,
  kLabelClassWord = 19,
  kLabelMdw = 20,
  kLabelStart = 51,
  kLabelEnd = 52,
};

// End-of-clause sentinel appended to every processed text.
inline constexpr char16_t kSentinel = 0x0002;

// Positions and lengths are 32-bit so that clauses of any length work.
struct NEWordNode {
  int32_t nStart = 0;   // start in the pre-segmented (or assembled) text
  int32_t nLength = 0;  // length in UTF-16 units
  int32_t nType = kNodeWord;
  CUString strWord;
  std::vector<NEWordNode> vecParts;  // sub-words; training-feature generation only
  CUString strTag;                   // class text, or empty
  int32_t nTextPos = 0;              // position in the processed text
  int32_t nTextLen = 0;              // length in the processed text
  CUString strText;                  // form in the processed text

  // Back to a fresh node's values, keeping the storage of its texts.
  void Clear() {
    nStart = 0;
    nLength = 0;
    nType = kNodeWord;
    strWord.Clear();
    vecParts.clear();
    strTag.Clear();
    nTextPos = 0;
    nTextLen = 0;
    strText.Clear();
  }
};

}  // namespace verrin

#endif  // VERRIN_ENGINE_WORD_NODE_H_
