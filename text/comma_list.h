// Comma-separated lists of options ("PER.NAM=P, GPE.NAM=L", "class-marks,org-items").
#ifndef VERRIN_TEXT_COMMA_LIST_H_
#define VERRIN_TEXT_COMMA_LIST_H_

#include <string_view>
#include <vector>

namespace verrin {

// `text` without the spaces and tabs at either end.
std::string_view TrimBlanks(std::string_view text);

// The items between the commas of `text`, each trimmed of spaces and tabs;
// empty items are kept ("a,,b" gives three, "" one empty item).
std::vector<std::string_view> SplitCommaList(std::string_view text);

}  // namespace verrin

#endif  // VERRIN_TEXT_COMMA_LIST_H_
