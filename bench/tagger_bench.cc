// End-to-end tagging speed through the exported API.
//
//   bench_tagger [--res DIR] [--model PATH] [--repeat N] [FILE]
//
// Loads the resource set (default: the bundled one), tags every line of FILE
// (UTF-8; default: the bundled example text) N times and prints the load time
// and the characters tagged per second on one core.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "text/code_page.h"
#include "verrin/verrin.h"

#ifndef VERRIN_BENCH_RESOURCE_DIR
#define VERRIN_BENCH_RESOURCE_DIR "resources/default"
#endif

int main(int argc, char** argv) {
  std::string res = VERRIN_BENCH_RESOURCE_DIR, model, file;
  int repeat = 20;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--res") && i + 1 < argc)
      res = argv[++i];
    else if (!std::strcmp(argv[i], "--model") && i + 1 < argc)
      model = argv[++i];
    else if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc)
      repeat = std::atoi(argv[++i]);
    else
      file = argv[i];
  }
  if (model.empty()) model = res + "/model.txt";
  if (file.empty()) file = res + "/../example.txt";

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

  using Clock = std::chrono::steady_clock;
  auto t0 = Clock::now();
  CNEResourceManager manager;
  if (!manager.LoadResource(res.c_str(), model.c_str(), false)) {
    std::fprintf(stderr, "cannot load %s with %s\n", res.c_str(), model.c_str());
    return 1;
  }
  auto t1 = Clock::now();
  CKyVerrin tagger(&manager);
  long long records_total = 0;
  for (int r = 0; r < repeat; ++r) {
    for (const verrin::CUString& text : lines) {
      tag_WordInfoW* records = nullptr;
      int count = 0;
      tagger.KyTagNEInfo(text.c_str(), 0, records, count);
      records_total += count;
      tagger.FreeWordSegResult(records, count);
    }
  }
  auto t2 = Clock::now();
  const double load = std::chrono::duration<double>(t1 - t0).count();
  const double tag = std::chrono::duration<double>(t2 - t1).count();
  std::printf("resources: %s\nmodel: %s\nload: %.3f s\n", res.c_str(), model.c_str(), load);
  std::printf("tagged: %lld characters (%d passes over %zu lines) in %.3f s\n", units * repeat,
              repeat, lines.size(), tag);
  std::printf("speed: %.0f characters/s, %lld words\n", units * repeat / tag, records_total);
  return 0;
}
