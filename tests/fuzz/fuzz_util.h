// Helpers shared by the fuzz targets.
#ifndef VERRIN_TESTS_FUZZ_FUZZ_UTIL_H_
#define VERRIN_TESTS_FUZZ_FUZZ_UTIL_H_

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace verrin::fuzz {

// A private scratch directory for this process, made on first use.
inline const std::string& ScratchDir() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/verrin-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) std::abort();
    return std::string(made);
  }();
  return dir;
}

// Writes the bytes to NAME in the scratch directory; returns the path.
inline std::string WriteScratch(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = ScratchDir() + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return path;
}

// Stops the run with a message: a broken invariant is a finding.
#define VERRIN_FUZZ_CHECK(condition)                                                     \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

}  // namespace verrin::fuzz

#endif  // VERRIN_TESTS_FUZZ_FUZZ_UTIL_H_
