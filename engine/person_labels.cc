#include "engine/person_labels.h"

#include "engine/word_node.h"
#include "resource/char_label_table.h"

namespace verrin {

int32_t AllowPersonLabels(CharLabelTable& table) {
  constexpr int32_t kPersonLabelBits =
      (1 << kLabelPersonBegin) | (1 << kLabelPersonInner) | (1 << kLabelPersonEnd);
  return table.AllowLabels(0x4E00, 0x9FFF, kPersonLabelBits);
}

bool AllowPersonLabelsInFile(const std::string& path, int32_t* changed, std::string* error) {
  CharLabelTable table;
  if (!table.Load(path, false)) {
    *error = "cannot read " + path;
    return false;
  }
  *changed = AllowPersonLabels(table);
  if (!table.Write(path)) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace verrin
