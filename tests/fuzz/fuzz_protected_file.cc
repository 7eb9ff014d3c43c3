// A protected file: deciphered whole, and chunk by chunk back to text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "fuzz_util.h"
#include "io/protected_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace verrin;
  const std::string path = fuzz::WriteScratch("file.des", data, size);
  std::FILE* in = std::fopen(path.c_str(), "rb");
  std::vector<unsigned char> whole;
  VERRIN_FUZZ_CHECK(ReadProtectedFile(in, whole));
  VERRIN_FUZZ_CHECK(whole.size() == size);
  std::rewind(in);
  std::FILE* out = std::tmpfile();
  VERRIN_FUZZ_CHECK(DecipherFile(in, out, kProtectedKey));
  // The chunked form writes the whole-file form up to its first zero byte,
  // for every whole 512-byte chunk.
  const size_t whole_chunks = size / 512 * 512;
  size_t text_length = 0;
  while (text_length < whole_chunks && whole[text_length] != 0) ++text_length;
  std::vector<unsigned char> chunked(static_cast<size_t>(std::ftell(out)));
  std::rewind(out);
  VERRIN_FUZZ_CHECK(std::fread(chunked.data(), 1, chunked.size(), out) == chunked.size());
  if (chunked.size() <= text_length) {
    for (size_t i = 0; i < chunked.size(); ++i) VERRIN_FUZZ_CHECK(chunked[i] == whole[i]);
  }
  std::fclose(out);
  std::fclose(in);
  return 0;
}
