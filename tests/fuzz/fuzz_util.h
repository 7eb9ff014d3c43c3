// Helpers shared by the fuzz targets.
#ifndef VERRIN_TESTS_FUZZ_FUZZ_UTIL_H_
#define VERRIN_TESTS_FUZZ_FUZZ_UTIL_H_

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/diagnostics.h"

namespace verrin::fuzz {

// A private scratch directory for this process, made on first use: in
// memory (/dev/shm) where there is one, since every input is written to a
// file and the writers sync what they rename into place.
inline const std::string& ScratchDir() {
  static const std::string dir = [] {
    for (const char* base : {"/dev/shm", "/tmp"}) {
      std::string pattern = std::string(base) + "/verrin-fuzz-XXXXXX";
      if (mkdtemp(pattern.data()) != nullptr) return pattern;
    }
    std::abort();
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

// Drops the library's messages on the calling thread from now on: refused
// inputs are the common case, and writing their messages to standard error
// costs more than reading them.
inline void SilenceDiagnostics() {
  static CDiagnosticsScope quiet([](std::string_view) {});
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
