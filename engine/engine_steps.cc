// The engine's feature and assembly steps: thin members over the free
// functions of feature_extractor and assembler.
#include "engine/assembler.h"
#include "engine/feature_extractor.h"
#include "engine/ne_engine.h"

namespace verrin {

bool CNEEngine::ExtractFeatures(const CUString& text, const std::vector<NEWordNode*>& words,
                                std::vector<CMESample>& samples, const std::vector<int32_t>& labels,
                                bool training) {
  ExtractSentenceFeatures(text, words, labels, char_classes_, training, samples);
  return true;
}

CUString CNEEngine::AssembleWords(const CUString& text, const NEPath& path,
                                  std::vector<NEWordNode>& nodes) {
  return AssembleClause(text, path, node_positions_, nodes);
}

}  // namespace verrin
