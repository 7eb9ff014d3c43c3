// Model loading and classification speed on a large synthetic model.
//
// Usage: bench_maxent_bench [outcomes] [predicates] [features per predicate]
// (defaults 40, 200000, 16: about 3.2 million features). Builds the model
// through an entry table, saves it, loads it back, then classifies samples of
// 14 predicates (12 known, 2 unknown) with Eval and with the fast path.
// VERRIN_BENCH_KEEP=1 keeps the saved model file and prints its path.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "maxent/me_model.h"
#include "text/code_page.h"
#include "text/ustring.h"

using namespace verrin;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

long PeakRssMb() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

// Predicate texts shaped like the tagger's: a name prefix, two Chinese
// characters and a number that keeps them distinct.
std::u16string PredicateText(std::mt19937& random, int i) {
  static const char* const kPrefixes[] = {
      "char=", "pv1=", "pv2=", "nx1=", "nx2=", "ct=", "pv1lb=", "kw="};
  std::u16string text;
  for (const char* p = kPrefixes[i % 8]; *p; ++p) text.push_back(static_cast<char16_t>(*p));
  text.push_back(static_cast<char16_t>(0x4E00 + random() % 20000));
  text.push_back(static_cast<char16_t>(0x4E00 + random() % 20000));
  for (char c : std::to_string(i)) text.push_back(static_cast<char16_t>(c));
  return text;
}

// Classifies every sample ten times with Eval, with the fast path, and with
// the fast path on indices resolved beforehand; prints the rates.
void Classify(const CMEModel& model, const std::vector<CMESample>& samples) {
  const int rounds = 10;
  std::vector<double> probs;
  double checksum = 0.0;
  auto start = std::chrono::steady_clock::now();
  for (int r = 0; r < rounds; ++r) {
    for (const CMESample& sample : samples) checksum += model.Eval(sample, probs) + probs[0];
  }
  const double eval_seconds = Seconds(start);

  std::vector<double> scores(static_cast<size_t>(model.OutcomeCount()));
  start = std::chrono::steady_clock::now();
  for (int r = 0; r < rounds; ++r) {
    for (const CMESample& sample : samples) {
      std::fill(scores.begin(), scores.end(), 0.0);
      for (const CUString& text : sample.predicates) {
        const int32_t index = model.PredicateIndex(text);
        if (index >= 0) model.AddPredicateScores(index, scores.data());
      }
      checksum -= model.ScoresToProbabilities(scores.data()) + scores[0];
    }
  }
  const double fast_seconds = Seconds(start);

  // Indices resolved once, as a decoder can do for the predicates that the
  // label contexts of one position share.
  std::vector<std::vector<int32_t>> indices;
  for (const CMESample& sample : samples) {
    indices.emplace_back();
    for (const CUString& text : sample.predicates) {
      indices.back().push_back(model.PredicateIndex(text));
    }
  }
  start = std::chrono::steady_clock::now();
  for (int r = 0; r < rounds; ++r) {
    for (const std::vector<int32_t>& list : indices) {
      std::fill(scores.begin(), scores.end(), 0.0);
      for (int32_t index : list) {
        if (index >= 0) model.AddPredicateScores(index, scores.data());
      }
      checksum += model.ScoresToProbabilities(scores.data()) + scores[0];
    }
  }
  const double resolved_seconds = Seconds(start);

  const double n = static_cast<double>(samples.size()) * rounds;
  std::printf("  Eval: %.0f classifications/s\n", n / eval_seconds);
  std::printf("  fast path with look-ups: %.0f classifications/s\n", n / fast_seconds);
  std::printf("  fast path, indices resolved: %.0f classifications/s\n", n / resolved_seconds);
  if (checksum == 12345.678) std::printf("!\n");  // keeps the work observable
}

}  // namespace

int main(int argc, char** argv) {
  const int outcomes = argc > 1 ? std::atoi(argv[1]) : 40;
  const int predicates = argc > 2 ? std::atoi(argv[2]) : 200000;
  const int per_predicate = argc > 3 ? std::atoi(argv[3]) : 16;
  if (outcomes < 1 || outcomes > 256 || predicates < 1 || per_predicate < 1) {
    std::fprintf(stderr,
                 "usage: bench_maxent_bench [outcomes 1-256] [predicates] [per predicate]\n");
    return 2;
  }
  std::mt19937 random(7);

  std::vector<std::u16string> outcome_texts, predicate_texts;
  for (int o = 0; o < outcomes; ++o) {
    const std::string s = std::to_string(o + 1);
    outcome_texts.emplace_back(s.begin(), s.end());
  }
  for (int p = 0; p < predicates; ++p) predicate_texts.push_back(PredicateText(random, p));

  std::vector<MEModelEntry> entries;
  std::uniform_real_distribution<double> weight(-3.0, 3.0);
  for (int p = 0; p < predicates; ++p) {
    // Between 1 and 2 * per_predicate - 1 outcomes per predicate.
    const int count = 1 + static_cast<int>(random() % (2 * per_predicate - 1));
    const int first = static_cast<int>(random() % outcomes);
    for (int k = 0; k < count && k < outcomes; ++k) {
      entries.push_back({outcome_texts[(first + k * 7) % outcomes].c_str(),
                         predicate_texts[p].c_str(), weight(random)});
    }
  }
  entries.push_back({u"///", u"", 0.0});

  CMEModel built;
  auto start = std::chrono::steady_clock::now();
  built.LoadTable(entries.data());
  const double table_seconds = Seconds(start);

  char path[] = "/tmp/verrin-maxent-bench-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return 1;
  close(fd);
  start = std::chrono::steady_clock::now();
  if (!built.Save(path)) return 1;
  const double save_seconds = Seconds(start);

  CMEModel model;
  start = std::chrono::steady_clock::now();
  if (!model.Load(path, false)) return 1;
  const double load_seconds = Seconds(start);
  if (std::getenv("VERRIN_BENCH_KEEP") != nullptr) {
    std::printf("kept %s\n", path);
  } else {
    std::remove(path);
  }

  std::printf("model: %d outcomes, %d predicates, %d features\n", model.OutcomeCount(),
              model.PredicateCount(), model.FeatureCount());
  std::printf("load table: %.3f s\nsave: %.3f s\nload: %.3f s\n", table_seconds, save_seconds,
              load_seconds);

  // Samples of 14 predicates: 12 known, 2 unknown. Predicates of real text
  // follow a Zipf law (a few characters are very common); uniform draws are
  // the worst case for the caches.
  std::vector<double> cumulative(static_cast<size_t>(predicates));
  double total = 0.0;
  for (int r = 0; r < predicates; ++r) cumulative[r] = total += 1.0 / (r + 1);
  std::vector<int> by_rank(static_cast<size_t>(predicates));
  for (int p = 0; p < predicates; ++p) by_rank[p] = p;
  std::shuffle(by_rank.begin(), by_rank.end(), random);
  std::uniform_real_distribution<double> unit(0.0, total);
  auto zipf = [&]() {
    const size_t r = static_cast<size_t>(
        std::lower_bound(cumulative.begin(), cumulative.end(), unit(random)) - cumulative.begin());
    return by_rank[std::min(r, by_rank.size() - 1)];
  };
  for (int kind = 0; kind < 2; ++kind) {
    std::vector<CMESample> samples(20000);
    for (CMESample& sample : samples) {
      for (int i = 0; i < 12; ++i) {
        const int p = kind == 0 ? zipf() : static_cast<int>(random() % predicates);
        sample.predicates.emplace_back(predicate_texts[p].c_str());
      }
      sample.predicates.emplace_back(u"char=unknown");
      sample.predicates.emplace_back(u"pv1lb=99");
    }
    std::printf("%s predicates:\n", kind == 0 ? "Zipf-distributed" : "uniformly drawn");
    Classify(model, samples);
  }
  std::printf("peak memory: %ld MB\n", PeakRssMb());
  return 0;
}
