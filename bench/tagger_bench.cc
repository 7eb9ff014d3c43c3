// End-to-end tagging speed through the exported API.
//
//   bench_tagger_bench [--res DIR] [--model PATH] [--repeat N] [--threads N] [--option N] [FILE]
//
// Loads the resource set (default: the bundled one), tags every line of FILE
// (UTF-8; default: the bundled example text) N times on one thread, then on
// --threads threads at once (default: the number of cores; each thread its
// own tagger over the one manager, each tagging every line N times), and
// prints the load time, the characters tagged per second and the peak
// memory of the process.
#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "text/code_page.h"
#include "verrin/verrin.h"

#ifndef VERRIN_BENCH_RESOURCE_DIR
#define VERRIN_BENCH_RESOURCE_DIR "resources/default"
#endif

namespace {

using Clock = std::chrono::steady_clock;

long long TagAll(CKyVerrin& tagger, const std::vector<verrin::CUString>& lines, int repeat,
                 int option) {
  long long records_total = 0;
  for (int r = 0; r < repeat; ++r) {
    for (const verrin::CUString& text : lines) {
      tag_WordInfoW* records = nullptr;
      int count = 0;
      tagger.KyTagNEInfo(text.c_str(), option, records, count);
      records_total += count;
      tagger.FreeWordSegResult(records, count);
    }
  }
  return records_total;
}

// CPU seconds of the calling thread: on a shared machine the wall clock
// also counts the time other processes hold the cores.
double ThreadCpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// CPU seconds of every thread of the process (loading uses two).
double ProcessCpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

double PeakMegabytes() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;  // kilobytes on Linux
}

}  // namespace

int main(int argc, char** argv) {
  std::string res = VERRIN_BENCH_RESOURCE_DIR, model, file;
  int repeat = 5;
  int threads = static_cast<int>(std::thread::hardware_concurrency());
  int option = 0;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--res") && i + 1 < argc) {
      res = argv[++i];
    } else if (!std::strcmp(argv[i], "--model") && i + 1 < argc) {
      model = argv[++i];
    } else if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc) {
      repeat = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--threads") && i + 1 < argc) {
      threads = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--option") && i + 1 < argc) {
      option = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--help")) {
      std::printf(
          "usage: bench_tagger_bench [--res DIR] [--model PATH] [--repeat N] [--threads N] "
          "[--option N] [FILE]\n");
      return 0;
    } else {
      file = argv[i];
    }
  }
  if (model.empty()) model = res + "/model.txt";
  if (file.empty()) file = res + "/../example.txt";
  if (repeat < 1) repeat = 1;
  if (threads < 1) threads = 1;

  std::ifstream in(file);
  if (!in) {
    std::fprintf(stderr, "cannot open %s\n", file.c_str());
    return 1;
  }
  std::vector<verrin::CUString> lines;
  std::string line;
  long long units = 0;
  while (std::getline(in, line)) {
    lines.push_back(verrin::FromUtf8(line));
    units += lines.back().Length();
  }

  auto t0 = Clock::now();
  const double c0 = ProcessCpuSeconds();
  CNEResourceManager manager;
  if (!manager.LoadResource(res.c_str(), model.c_str(), false)) {
    std::fprintf(stderr, "cannot load %s with %s\n", res.c_str(), model.c_str());
    return 1;
  }
  auto t1 = Clock::now();
  const double load = std::chrono::duration<double>(t1 - t0).count();
  const double load_cpu = ProcessCpuSeconds() - c0;
  std::printf("resources: %s\nmodel: %s\ntext: %s (%zu lines, %lld characters)\n", res.c_str(),
              model.c_str(), file.c_str(), lines.size(), units);
  std::printf("load: %.3f s (%.3f s CPU, all threads), peak memory after load: %.1f MB\n", load,
              load_cpu, PeakMegabytes());

  // One thread.
  long long words = 0;
  double single = 0.0, single_cpu = 0.0;
  {
    CKyVerrin tagger(&manager);
    auto start = Clock::now();
    const double cpu = ThreadCpuSeconds();
    words = TagAll(tagger, lines, repeat, option);
    single_cpu = ThreadCpuSeconds() - cpu;
    single = std::chrono::duration<double>(Clock::now() - start).count();
  }
  std::printf(
      "1 thread: %.0f characters/s, %.0f per CPU second (%d passes in %.3f s, %.3f s CPU, %lld "
      "words)\n",
      units * repeat / single, units * repeat / single_cpu, repeat, single, single_cpu, words);

  // Every thread its own tagger over the one manager; the taggers are made
  // before and destroyed after the timed part.
  std::vector<std::unique_ptr<CKyVerrin>> taggers;
  for (int t = 0; t < threads; ++t) taggers.push_back(std::make_unique<CKyVerrin>(&manager));
  std::vector<long long> counts(static_cast<size_t>(threads), 0);
  auto start = Clock::now();
  {
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
      pool.emplace_back([&, t]() {
        counts[static_cast<size_t>(t)] =
            TagAll(*taggers[static_cast<size_t>(t)], lines, repeat, option);
      });
    }
    for (std::thread& thread : pool) thread.join();
  }
  const double parallel = std::chrono::duration<double>(Clock::now() - start).count();
  long long parallel_words = 0;
  for (long long c : counts) parallel_words += c;
  std::printf("%d threads: %.0f characters/s (%.2f x one thread; %lld words, %s)\n", threads,
              units * repeat * threads / parallel, single * threads / parallel, parallel_words,
              parallel_words == words * threads ? "same count as one thread" : "COUNT DIFFERS");
  taggers.clear();
  std::printf("peak memory: %.1f MB\n", PeakMegabytes());
  return 0;
}
