#include "corpus/entity_swap.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "text/code_page.h"
#include "text/file_system.h"
#include "text/output_file.h"

namespace verrin {
namespace {

int32_t ClassIndex(char16_t klass) {
  switch (klass) {
    case u'P':
      return 0;
    case u'L':
      return 1;
    case u'O':
      return 2;
    default:
      return -1;
  }
}

bool IsSpace(char16_t u) { return u == u' ' || u == u'\t' || u == u'\r' || u == u'\n'; }

// splitmix64: small, fast and the same on every platform.
class CSplitMix64 {
 public:
  explicit CSplitMix64(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n) (n > 0), without the bias of a plain modulo.
  uint64_t Below(uint64_t n) {
    const uint64_t limit = UINT64_MAX - UINT64_MAX % n;
    uint64_t x;
    do {
      x = Next();
    } while (x >= limit);
    return x % n;
  }

 private:
  uint64_t state_;
};

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

}  // namespace

std::vector<EntityBracket> FindEntityBrackets(const CUString& line) {
  std::vector<EntityBracket> brackets;
  const char16_t* t = line.c_str();
  const int32_t n = line.Length();
  for (int32_t i = 0; i + 3 < n; ++i) {
    if (t[i] != u'[' || t[i + 2] != u' ') continue;
    const int32_t klass = ClassIndex(t[i + 1]);
    if (klass < 0) continue;
    int32_t j = i + 3;
    while (j < n && t[j] != u']' && t[j] != u'[' && !IsSpace(t[j])) ++j;
    if (j == i + 3 || j >= n || t[j] != u']') continue;
    brackets.push_back({i, j + 1, klass});
    i = j;
  }
  return brackets;
}

void SwapEntities(const std::string& corpus, const EntitySwapOptions& options, std::string* output,
                  EntitySwapStats* stats) {
  *stats = EntitySwapStats();
  output->clear();
  const std::vector<std::string> raw_lines = SplitLines(corpus);
  std::vector<CUString> lines;
  std::vector<std::vector<EntityBracket>> brackets;
  // Distinct bracket texts per class, in order of first appearance.
  std::vector<CUString> pool[3];
  std::unordered_map<CUString, int32_t, CUStringHash> seen[3];
  for (const std::string& raw : raw_lines) {
    ++stats->lines_read;
    output->append(raw).push_back('\n');
    ++stats->lines_written;
    CUString line = FromGbk(raw);
    std::vector<EntityBracket> found = FindEntityBrackets(line);
    if (found.empty()) continue;
    ++stats->lines_with_entities;
    for (const EntityBracket& b : found) {
      CUString text(line.c_str() + b.begin, b.end - b.begin);
      if (seen[b.klass].emplace(text, static_cast<int32_t>(pool[b.klass].size())).second) {
        pool[b.klass].push_back(std::move(text));
      }
    }
    lines.push_back(std::move(line));
    brackets.push_back(std::move(found));
  }
  for (int k = 0; k < 3; ++k) stats->distinct_entities[k] = static_cast<int64_t>(pool[k].size());

  CSplitMix64 random(options.seed);
  for (int32_t copy = 0; copy < options.copies; ++copy) {
    for (size_t i = 0; i < lines.size(); ++i) {
      const CUString& line = lines[i];
      CUString swapped(line.Length() + 16);
      int32_t at = 0;
      for (const EntityBracket& b : brackets[i]) {
        swapped.Append(line.c_str() + at, b.begin - at);
        const auto& choices = pool[b.klass];
        swapped.Append(choices[static_cast<size_t>(random.Below(choices.size()))]);
        at = b.end;
      }
      swapped.Append(line.c_str() + at, line.Length() - at);
      output->append(ToGbk(swapped)).push_back('\n');
      ++stats->lines_written;
    }
  }
}

bool SwapEntitiesInFile(const std::string& in_path, const std::string& out_path,
                        const EntitySwapOptions& options, EntitySwapStats* stats,
                        std::string* error) {
  std::FILE* in = OpenFile(in_path, "rb");
  if (in == nullptr) {
    *error = "cannot open " + in_path + ": " + std::strerror(errno);
    return false;
  }
  std::string corpus;
  char buffer[1 << 16];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) corpus.append(buffer, got);
  const bool read_failed = std::ferror(in) != 0;
  std::fclose(in);
  if (read_failed) {
    *error = "reading " + in_path + " failed";
    return false;
  }
  std::string output;
  SwapEntities(corpus, options, &output, stats);
  COutputFile out;
  if (!out.Open(out_path) || !out.Write(output) || !out.Commit()) {
    *error = out.Error();
    return false;
  }
  return true;
}

}  // namespace verrin
