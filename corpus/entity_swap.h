// Entity swapping: more training text from a bracketed training corpus.
//
// Every line that holds an entity is written again, once per copy, with each
// entity "[P word]", "[L word]" or "[O word]" (word without spaces, nested
// parts included) replaced by an entity of the same class drawn from the
// corpus's own entities. The model then sees the contexts of persons,
// locations and organizations with many more names in them, and learns to
// rely on the context rather than on the names it happens to know.
//
// Draws are uniform over the distinct entity texts of a class (in order of
// first appearance) from a fixed 64-bit generator, so that the same corpus,
// copy count and seed always give the same output.
#ifndef VERRIN_CORPUS_ENTITY_SWAP_H_
#define VERRIN_CORPUS_ENTITY_SWAP_H_

#include <cstdint>
#include <string>
#include <vector>

#include "text/ustring.h"

namespace verrin {

struct EntitySwapOptions {
  int32_t copies = 1;
  uint64_t seed = 1;
};

struct EntitySwapStats {
  int64_t lines_read = 0;
  int64_t lines_with_entities = 0;
  int64_t lines_written = 0;                 // the corpus's own lines and the copies
  int64_t distinct_entities[3] = {0, 0, 0};  // persons, locations, organizations
};

// The entity brackets of one line: begin and end (one past "]") offsets and
// the class index (0 P, 1 L, 2 O).
struct EntityBracket {
  int32_t begin = 0;
  int32_t end = 0;
  int32_t klass = 0;
};
std::vector<EntityBracket> FindEntityBrackets(const CUString& line);

// Works on the GBK bytes of a whole corpus; the output is the corpus as it
// was (each line ended by "\n") followed by the copies.
void SwapEntities(const std::string& corpus, const EntitySwapOptions& options, std::string* output,
                  EntitySwapStats* stats);

// File form; false with `error` set when a file cannot be read or written.
bool SwapEntitiesInFile(const std::string& in_path, const std::string& out_path,
                        const EntitySwapOptions& options, EntitySwapStats* stats,
                        std::string* error);

}  // namespace verrin

#endif  // VERRIN_CORPUS_ENTITY_SWAP_H_
