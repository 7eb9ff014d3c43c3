// One line through the library with the small hand-made resource set.
#include <cstddef>
#include <cstdint>

#include "tag_line_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CNEResourceManager* manager = [] {
    auto* m = new CNEResourceManager();
    if (!m->LoadResource(VERRIN_FUZZ_TAGGER_DIR, VERRIN_FUZZ_TAGGER_DIR "/model.txt", false)) {
      std::abort();
    }
    return m;
  }();
  static CKyVerrin* tagger = new CKyVerrin(manager);
  verrin::fuzz::SilenceDiagnostics();
  verrin::fuzz::TagLineAndCheck(*tagger, data, size);
  return 0;
}
