#include "engine/engine_test_util.h"

#include "engine/feature_extractor.h"
#include "test_util.h"
#include "text/char_class.h"
#include "text/code_page.h"

namespace verrin::testing {

std::u16string U16(const std::string& utf8) {
  CUString text = U(utf8);
  return std::u16string(text.View());
}

NEClause MakeClause(const std::vector<std::string>& words_utf8) {
  NEClause clause;
  clause.text = CUString();
  std::vector<std::string> all = words_utf8;
  clause.nodes.reserve(all.size() + 1);
  for (const std::string& w : all) {
    NEWordNode node;
    node.strWord = U(w);
    node.strText = node.strWord;
    node.nTextPos = clause.text.Length();
    node.nTextLen = node.strText.Length();
    node.nStart = node.nTextPos;
    node.nLength = node.nTextLen;
    clause.text.Append(node.strText);
    clause.nodes.push_back(std::move(node));
  }
  NEWordNode sentinel;
  sentinel.strWord = CUString(kSentinel, 1);
  sentinel.strText = sentinel.strWord;
  sentinel.nType = kNodePunctuation;
  sentinel.nTextPos = clause.text.Length();
  sentinel.nTextLen = 1;
  sentinel.nLength = 1;
  clause.text.Append(kSentinel);
  clause.nodes.push_back(std::move(sentinel));
  for (NEWordNode& node : clause.nodes) clause.words.push_back(&node);
  const int32_t n = clause.text.Length();
  for (int32_t i = 0; i < n; ++i) {
    clause.labels.push_back(i == n - 1 ? kLabelEnd : kLabelSingle);
    clause.classes.push_back(i == n - 1 ? kClassSentinel : CharClassOf(clause.text[i]));
  }
  return clause;
}

std::vector<CMESample> TaggingSamples(const NEClause& clause) {
  std::vector<CMESample> samples;
  ExtractSentenceFeatures(clause.text, clause.words, clause.labels, clause.classes, false, samples);
  return samples;
}

std::vector<std::u16string> StandardOutcomes() {
  std::vector<std::u16string> outcomes;
  for (int label : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 18, 19, 20, 52}) {
    outcomes.push_back(std::u16string(DecimalText(label).View()));
  }
  return outcomes;
}

bool LoadModel(const ModelRecipe& recipe, CMEClassifier& classifier) {
  std::vector<MEModelEntry> table;
  // Every outcome first (with a predicate no sample carries) so that outcome
  // indices follow the recipe's order.
  static const std::u16string kNowhere = u"never=seen";
  for (const std::u16string& outcome : recipe.outcomes) {
    table.push_back({outcome.c_str(), kNowhere.c_str(), 0.0});
  }
  for (const ModelRecipe::Entry& entry : recipe.entries) {
    table.push_back({entry.outcome.c_str(), entry.predicate.c_str(), entry.weight});
  }
  table.push_back({u"///", u"", 0.0});
  return classifier.Model().LoadTable(table.data());
}

ModelRecipe RandomModel(std::mt19937& rng, const std::vector<std::u16string>& outcomes,
                        const std::vector<std::u16string>& predicates) {
  ModelRecipe recipe;
  recipe.outcomes = outcomes;
  std::uniform_real_distribution<double> weight(-2.0, 2.0);
  std::bernoulli_distribution keep(0.5);
  for (const std::u16string& predicate : predicates) {
    for (const std::u16string& outcome : outcomes) {
      if (keep(rng)) recipe.entries.push_back({outcome, predicate, weight(rng)});
    }
  }
  return recipe;
}

std::vector<std::u16string> HistoryPredicates() {
  std::vector<std::u16string> predicates;
  for (int label : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 18, 19, 20, 51}) {
    predicates.push_back(u"pv1lb=" + std::u16string(DecimalText(label).View()));
    predicates.push_back(u"pv2lb=" + std::u16string(DecimalText(label).View()));
  }
  return predicates;
}

NEPath PathOf(const std::vector<int32_t>& labels) {
  NEPath path;
  for (size_t i = 0; i < labels.size(); ++i) {
    NEEdge edge;
    edge.start = static_cast<int32_t>(i);
    edge.end = static_cast<int32_t>(i) + 1;
    edge.index = static_cast<int32_t>(i);
    edge.label = labels[i];
    path.edges.push_back(edge);
  }
  return path;
}

}  // namespace verrin::testing
