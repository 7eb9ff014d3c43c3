#include "engine/person_labels.h"

#include "engine/word_node.h"
#include "resource/char_label_table.h"

namespace verrin {

int32_t AllowPersonLabels(CharLabelTable& table) {
  constexpr int32_t kPersonLabelBits =
      (1 << kLabelPersonBegin) | (1 << kLabelPersonInner) | (1 << kLabelPersonEnd);
  // Only the person labels the corpus showed somewhere: a model trained on it
  // has no outcome for another, and a table offering that label would not fit
  // the model (a corpus without three-character names never shows the inner
  // label).
  int32_t seen = 0;
  for (int32_t unit = 0; unit < CharLabelTable::kSize; ++unit) {
    seen |= table.At(static_cast<char16_t>(unit));
  }
  return table.AllowLabels(0x4E00, 0x9FFF, kPersonLabelBits & seen);
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
