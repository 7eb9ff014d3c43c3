// The engine's feature and assembly steps: thin members over the free
// functions of feature_extractor and assembler.
#include "engine/assembler.h"
#include "engine/feature_extractor.h"
#include "engine/ne_engine.h"
#include "engine/ne_resource.h"

namespace verrin {

bool CNEEngine::ExtractFeatures(NEClause& clause) {
  ExtractSentenceFeatures(clause.text, clause.words, clause.labels, clause.classes, clause.training,
                          clause.samples, FeatureGroups(), &lexicon_marks_);
  return true;
}

NEFeatureGroups CNEEngine::FeatureGroups() {
  if (fixed_groups_) return groups_;
  if (resource_ == nullptr) return NEFeatureGroups();
  const CMEModel* model = &resource_->Classifier().Model();
  if (!predicate_names_.BoundTo(model)) predicate_names_.Bind(model);
  return predicate_names_.Groups();
}

void CNEEngine::AssembleWords(const NEClause& clause, const NEPath& path,
                              std::vector<NEWordNode>& nodes, CUString& rendered) {
  AssembleClause(clause.text, path, clause.positions, nodes, rendered, assembly_);
}

}  // namespace verrin
