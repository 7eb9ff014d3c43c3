// NEClause: one clause on its way through the engine's steps, with the
// working storage they reuse from clause to clause.
//
//   PreSegment          sentence -> text (the words), nodes
//   BuildProcessedText  text -> the processed text, words, positions
//   InitLabels          labels, classes
//   feature extraction  samples (predicate strings) or indexed (tagging)
//
// A tagger keeps one NEClause for its whole life: once it has seen clauses
// as long as the current one, a clause costs no heap allocation.
#ifndef VERRIN_ENGINE_CLAUSE_H_
#define VERRIN_ENGINE_CLAUSE_H_

#include <cstdint>
#include <map>
#include <vector>

#include "engine/lattice.h"
#include "engine/word_node.h"
#include "maxent/me_sample.h"
#include "resource/lexicon.h"
#include "text/char_class.h"
#include "text/ustring.h"

namespace verrin {

// A nested part of a bracketed entity in the training corpus.
struct OrgPart {
  int32_t type = kNodeWord;  // kNodePerson, kNodeLocation or kNodeWord (other)
  CUString text;
};

// Word nodes whose strings outlive the clause that used them: nodes handed
// back are taken again, reset, instead of being made anew.
class NENodePool {
 public:
  // A node with every field reset; its strings keep earlier buffers.
  NEWordNode Take();
  // Appends a reset node to `nodes` and returns it.
  NEWordNode& Append(std::vector<NEWordNode>& nodes);
  // Appends a copy of `node` to `nodes`.
  void AppendCopy(std::vector<NEWordNode>& nodes, const NEWordNode& node);
  // Moves every node of `nodes` into the pool and empties it.
  void Recycle(std::vector<NEWordNode>& nodes);
  void Recycle(NEWordNode&& node);

 private:
  std::vector<NEWordNode> spare_;
};

struct NEClause {
  // How the clause is read.
  // Training: entity brackets keep their class (and nested parts), and the
  // labels of every word come from the corpus; otherwise an entity bracket
  // is an ordinary word and only pre-segmentation fixes labels.
  bool training = false;
  // The words are given, separated by `separator`; otherwise the dictionary
  // cuts the text.
  bool segmented = false;
  char16_t separator = u' ';

  // The words concatenated (PreSegment), then the processed text
  // (BuildProcessedText); ends with the sentinel.
  CUString text;
  std::vector<NEWordNode> nodes;   // pre-segmentation nodes, the sentinel's last
  std::vector<NEWordNode*> words;  // the nodes feature extraction walks
  std::vector<int32_t> labels;     // one per processed unit
  std::vector<int32_t> classes;    // class code per processed unit
  // positions[p]: the node that is not an ordinary word at processed
  // position p (every unit of a word with nested parts), or null.
  std::vector<const NEWordNode*> positions;
  // Nested parts of entity brackets by node index (training).
  std::map<int32_t, std::vector<OrgPart>> org_parts;
  std::vector<CMESample> samples;  // predicate strings
  NEIndexedSamples indexed;        // the same as indices of the bound model

  // Working storage of the steps.
  NENodePool pool;
  CUString work;
  BracketTag bracket;
  RawTextTokens tokens;
};

}  // namespace verrin

#endif  // VERRIN_ENGINE_CLAUSE_H_
