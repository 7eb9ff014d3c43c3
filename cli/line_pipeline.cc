#include "cli/line_pipeline.h"

#if defined(__linux__)
#include <sched.h>
#endif

#include "cli/command.h"

namespace verrin::cli {

int DefaultThreadCount() {
#if defined(__linux__)
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
#endif
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? static_cast<int>(n) : 1;
}

bool ParseThreadCount(const std::string& text, int* threads) {
  int n = 0;
  if (!ParseIntArg(text, &n) || n < 0 || n > 1024) return false;
  *threads = n == 0 ? DefaultThreadCount() : n;
  return true;
}

}  // namespace verrin::cli
