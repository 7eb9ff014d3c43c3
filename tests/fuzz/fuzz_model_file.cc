// A model file, read as a plain file and as the text of a protected one.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_util.h"
#include "maxent/me_model.h"
#include "text/code_page.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  verrin::fuzz::SilenceDiagnostics();
  using namespace verrin;
  const std::string path = fuzz::WriteScratch("model.txt", data, size);
  CMEModel plain;
  const bool loaded = plain.Load(path, false);
  VERRIN_FUZZ_CHECK(loaded || plain.OutcomeCount() == 0);
  CMEModel deciphered;
  const bool walked = deciphered.LoadDeciphered(std::vector<unsigned char>(data, data + size));
  // Both readings see the same features unless the bytes hold a zero, which
  // ends the text of a protected file.
  bool has_zero = false;
  for (size_t i = 0; i < size; ++i) has_zero |= data[i] == 0;
  if (!has_zero && loaded && walked) {
    VERRIN_FUZZ_CHECK(plain.OutcomeCount() == deciphered.OutcomeCount());
    VERRIN_FUZZ_CHECK(plain.FeatureCount() == deciphered.FeatureCount());
  }
  return 0;
}
