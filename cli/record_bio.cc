#include "cli/record_bio.h"

namespace verrin::cli {

namespace {

const char* EntityClass(const tag_WordInfoW& r) {
  if (r.cWordType != 3 || r.pTag == nullptr || r.pTag[0] == 0 || r.pTag[1] != 0) return nullptr;
  switch (r.pTag[0]) {
    case u'P': return "PER";
    case u'L': return "LOC";
    case u'O': return "ORG";
    default: return nullptr;
  }
}

}  // namespace

std::vector<std::string> UnitTags(const tag_WordInfoW* records, int count) {
  std::vector<std::string> tags;
  for (int i = 0; i < count; ++i) {
    const tag_WordInfoW& r = records[i];
    const char* klass = EntityClass(r);
    const bool continues = i > 0 && klass != nullptr && records[i - 1].cLength == 255 &&
                           EntityClass(records[i - 1]) == klass;
    for (int k = 0; r.pWord != nullptr && r.pWord[k] != 0; ++k) {
      if (klass == nullptr) {
        tags.emplace_back("O");
      } else {
        tags.push_back(std::string(k == 0 && !continues ? "B-" : "I-") + klass);
      }
    }
  }
  return tags;
}

}  // namespace verrin::cli
