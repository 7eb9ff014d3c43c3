// The person-label policy of training: names are written with almost any
// Chinese character, and a character the corpus never showed inside a name
// could otherwise never be tagged as part of one.
#ifndef VERRIN_ENGINE_PERSON_LABELS_H_
#define VERRIN_ENGINE_PERSON_LABELS_H_

#include <cstdint>
#include <string>

namespace verrin {

class CharLabelTable;

// Lets every character of U+4E00..U+9FFF that has labels in `table` also take
// the person labels (begin, inner, end) that some character of the table
// already has; characters without labels keep none (they may take every label
// anyway). Returns how many entries changed.
int32_t AllowPersonLabels(CharLabelTable& table);

// The same on the plain label table file at `path`, rewritten in place.
// False with `error` set when the file cannot be read or written.
bool AllowPersonLabelsInFile(const std::string& path, int32_t* changed, std::string* error);

}  // namespace verrin

#endif  // VERRIN_ENGINE_PERSON_LABELS_H_
