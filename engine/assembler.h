// Entity assembly: a decoded label path -> word nodes and the bracketed
// rendering of the clause.
//
// Words are cut with LabelTransition; a word's type follows its last label
// (kLabelSingle, kLabelWordEnd: word; kLabelPersonBegin, kLabelPersonEnd:
// person; kLabelLocationBegin, kLabelLocationEnd: location; kLabelOrgEnd:
// organization). A word that
// starts at a position of the node position map (class words, "mdw" words,
// punctuation) comes back as a copy of that pre-segmentation node. In the
// rendering only, an organization or a school word (小学, 中学, 大学) absorbs
// the run of entities (and class words among them) directly before it.
#ifndef VERRIN_ENGINE_ASSEMBLER_H_
#define VERRIN_ENGINE_ASSEMBLER_H_

#include <cstdint>
#include <vector>

#include "engine/clause.h"
#include "engine/lattice.h"
#include "engine/word_node.h"
#include "text/ustring.h"

namespace verrin {

// Node type of a word from the label of its last character. Other labels give
// an ordinary word and the message
// "error label when get word type, lableID=%d, index=%d, word=%S\n" on
// standard error (index = the word's start in the assembled text).
int32_t WordTypeOfLabel(int32_t label, int32_t start, const CUString& word);

// The entry of a type map (NEWordMap::types) at a position inside a word;
// a word start holds the word's node type.
inline constexpr int32_t kInsideWord = 0;

// Leftmost start of the run of entities (kNodePerson, kNodeOrganization,
// kNodeLocation) that ends directly before `start` in `types` (node type at
// each word start, kInsideWord inside words): class words (kNodeClassWord)
// are passed over when `skip_class_words`, up to `other_words` other words
// too; -1 when no entity precedes.
int32_t FindEntityStart(const std::vector<int32_t>& types, int32_t start, int32_t other_words,
                        bool skip_class_words);

// The words of the rendering by assembled position: at[p] is the node that
// starts at p (null inside words); merged organizations live in
// merged[0 .. merged_count).
struct NEWordMap {
  std::vector<const NEWordNode*> at;
  std::vector<NEWordNode> merged;
  int32_t merged_count = 0;
  std::vector<int32_t> starts;  // working storage
  std::vector<int32_t> types;   // working storage: a type map
};

// Merges organizations and school words with the entities before them:
// fills `word_map` from `nodes` (which must outlive it) and replaces the node
// at each merged run's start by the organization spanning the run.
// `assembled` is the concatenation of the nodes' words.
void MergeEntities(const CUString& assembled, const std::vector<NEWordNode>& nodes,
                   NEWordMap& word_map);

// Appends the bracketed form of one node: "[P w] ", "[L w] ", "[O w] ",
// "[mdw w] ", "[tag w] " for class words, "w " otherwise.
void RenderNode(CUString& out, const NEWordNode& node);

// Renders the nodes reached from position 0 by walking `word_map` up to
// `assembled_length`, trimmed of white space at both ends.
CUString RenderSentence(int32_t assembled_length, const NEWordMap& word_map);
// The same into `out`.
void RenderSentence(int32_t assembled_length, const NEWordMap& word_map, CUString& out);

// Working storage of AssembleClause, kept from clause to clause.
struct NEAssembly {
  CUString word;
  CUString assembled;
  NEWordMap word_map;
  NENodePool pool;  // storage of the nodes handed out
};

// Cuts `path` (one edge per unit of `text`, the processed clause without its
// sentinel) into words appended to `nodes` (emptied first) and returns the
// rendered clause. `positions[p]` is the pre-segmentation node that is not
// an ordinary word at processed position p (null or beyond the vector:
// none). An invalid label pair prints "error state, prev[%c]=%d,
// curr[%c]=%d\n" and leaves the unit out.
CUString AssembleClause(const CUString& text, const NEPath& path,
                        const std::vector<const NEWordNode*>& positions,
                        std::vector<NEWordNode>& nodes);
// The same with the rendering into `rendered`; the nodes of `nodes` and the
// working storage are reused through `work`.
void AssembleClause(const CUString& text, const NEPath& path,
                    const std::vector<const NEWordNode*>& positions, std::vector<NEWordNode>& nodes,
                    CUString& rendered, NEAssembly& work);

}  // namespace verrin

#endif  // VERRIN_ENGINE_ASSEMBLER_H_
