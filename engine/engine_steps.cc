// The engine's feature and assembly steps: thin members over the free
// functions of feature_extractor and assembler.
#include "engine/assembler.h"
#include "engine/feature_extractor.h"
#include "engine/ne_engine.h"

namespace verrin {

bool CNEEngine::ExtractFeatures(NEClause& clause) {
  ExtractSentenceFeatures(clause.text, clause.words, clause.labels, clause.classes, clause.training,
                          clause.samples);
  return true;
}

void CNEEngine::AssembleWords(const NEClause& clause, const NEPath& path,
                              std::vector<NEWordNode>& nodes, CUString& rendered) {
  AssembleClause(clause.text, path, clause.positions, nodes, rendered, assembly_);
}

}  // namespace verrin
