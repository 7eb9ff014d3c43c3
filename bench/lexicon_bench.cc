// Lexicon loading and prefix search speed.
//
// Usage: bench_lexicon [DICT]
// Without DICT a dictionary of 350,000 distinct synthetic Chinese words is
// generated (deterministically) into a temporary directory. Reports the load
// time of the plain and the protected form, the resident memory the loaded
// lexicon adds, and prefix searches and dictionary segmentation per second
// over a text built from dictionary words and random characters.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "io/protected_file.h"
#include "resource/lexicon.h"
#include "text/code_page.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// A pool of 6,000 CJK units stands in for the characters of real words.
char16_t RandomUnit(std::mt19937& rng) { return static_cast<char16_t>(0x4E00 + rng() % 6000); }

int RandomWordLength(std::mt19937& rng) {
  const unsigned r = rng() % 100;
  if (r < 2) return 1;
  if (r < 52) return 2;
  if (r < 80) return 3;
  if (r < 95) return 4;
  return 5 + static_cast<int>(rng() % 4);
}

std::vector<std::u16string> SyntheticWords(size_t count) {
  std::mt19937 rng(350000);
  std::unordered_set<std::u16string> seen;
  std::vector<std::u16string> words;
  while (words.size() < count) {
    std::u16string word;
    const int n = RandomWordLength(rng);
    for (int i = 0; i < n; ++i) word.push_back(RandomUnit(rng));
    if (seen.insert(word).second) words.push_back(word);
  }
  return words;
}

bool Encipher(const std::string& in_path, const std::string& out_path) {
  std::FILE* in = std::fopen(in_path.c_str(), "rb");
  std::FILE* out = std::fopen(out_path.c_str(), "wb");
  const bool ok = in && out && verrin::EncipherFile(in, out, verrin::kProtectedKey);
  if (in) std::fclose(in);
  if (out) std::fclose(out);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace verrin;
  char dir_template[] = "/tmp/verrin-lexicon-bench-XXXXXX";
  const char* dir = mkdtemp(dir_template);
  if (dir == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string plain_path = std::string(dir) + "/dict.txt";
  std::vector<std::u16string> words;

  if (argc > 1) {
    std::ifstream in(argv[1], std::ios::binary);
    std::ofstream out(plain_path, std::ios::binary);
    if (!in || !out) {
      std::fprintf(stderr, "cannot read %s\n", argv[1]);
      return 1;
    }
    out << in.rdbuf();
  } else {
    words = SyntheticWords(350000);
    std::u16string text;
    for (const std::u16string& w : words) text += w + u"\n";
    std::ofstream out(plain_path, std::ios::binary);
    out << ToGbk(text.data(), static_cast<int32_t>(text.size()));
  }
  if (!Encipher(plain_path, std::string(dir) + "/dict.des")) {
    std::fprintf(stderr, "cannot write the protected dictionary\n");
    return 1;
  }

  CNELexicon warm;  // the converter set and the allocator are warmed up here
  warm.LoadLexicon(plain_path, false);

  const long rss_before = ResidentKb();
  auto start = Clock::now();
  auto* lexicon = new CNELexicon;
  if (!lexicon->LoadLexicon(plain_path, false)) {
    std::fprintf(stderr, "load %s failed.\n", plain_path.c_str());
    return 1;
  }
  const double plain_seconds = Seconds(start);
  const long rss_after = ResidentKb();

  start = Clock::now();
  CNELexicon protected_lexicon;
  if (!protected_lexicon.LoadLexicon(plain_path, true)) {
    std::fprintf(stderr, "protected load failed\n");
    return 1;
  }
  const double protected_seconds = Seconds(start);

  if (words.empty()) {
    for (int32_t n = 1; n <= lexicon->EntryCount(); ++n) words.emplace_back(lexicon->WordAt(n));
  }

  // About half the text comes from dictionary words, half from random units,
  // so searches meet both long match chains and early misses.
  std::mt19937 rng(7);
  std::u16string text;
  while (text.size() < 2000000) {
    if (rng() % 2) {
      text += words[rng() % words.size()];
    } else {
      text.push_back(RandomUnit(rng));
    }
  }
  const int32_t length = static_cast<int32_t>(text.size());

  start = Clock::now();
  long long found = 0;
  verrin::PrefixMatchBuffer matches;
  for (int32_t i = 0; i < length; ++i)
    found += lexicon->PrefixMatches(text.c_str() + i, length - i, matches);
  const double search_seconds = Seconds(start);

  start = Clock::now();
  const std::vector<int32_t> entries = lexicon->SegmentByDict(text.c_str(), length);
  const double segment_seconds = Seconds(start);

  std::printf("dictionary:            %d entries (%s)\n", lexicon->EntryCount(),
              argc > 1 ? argv[1] : "synthetic");
  std::printf("load plain:            %.3f s\n", plain_seconds);
  std::printf("load protected:        %.3f s\n", protected_seconds);
  std::printf("resident memory added: %.1f MB\n", (rss_after - rss_before) / 1024.0);
  std::printf("prefix searches:       %.2f million/s (%d searches, %lld matches)\n",
              length / search_seconds / 1e6, length, found);
  std::printf("dictionary segmentation: %.2f million units/s (%zu tokens)\n",
              length / segment_seconds / 1e6, entries.size());

  delete lexicon;
  std::remove(plain_path.c_str());
  std::remove((std::string(dir) + "/dict.des").c_str());
  rmdir(dir);
  return 0;
}
