// Throughput of the clause pipeline after pre-segmentation: feature
// extraction, lattice decoding and assembly, on a synthetic model of the real
// predicate shapes and a long random Chinese text cut into clauses.
//
//   bench_engine_bench [characters (default 400000)] [seed] [realistic|empty|both]
//
// Prints characters per second of thread CPU time for two candidate-label tables: a realistic
// one (label sets drawn per character) and an empty one (every free
// character takes the 13 fallback labels), plus model evaluations per
// character and the share of time of each stage.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/assembler.h"
#include "engine/decoder.h"
#include "engine/feature_extractor.h"
#include "engine/lattice.h"
#include "engine/word_node.h"
#include "maxent/me_classifier.h"
#include "text/char_class.h"
#include "text/code_page.h"

namespace {

using verrin::CUString;
using Clock = std::chrono::steady_clock;

// CPU time of this thread: the machine may be shared, and the figure wanted
// is the work of one core.
struct CpuClock {
  using duration = std::chrono::nanoseconds;
  using time_point = std::chrono::time_point<CpuClock, duration>;
  static time_point now() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return time_point(duration(static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec));
  }
};

constexpr int kInventory = 3000;  // distinct characters
constexpr int kClauseLength = 15;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct Corpus {
  std::vector<char16_t> inventory;
  std::discrete_distribution<int> zipf;
};

Corpus MakeInventory(std::mt19937& rng) {
  Corpus corpus;
  std::vector<double> weights;
  std::uniform_int_distribution<int> unit(0x4E00, 0x9FA5);
  std::map<char16_t, bool> seen;
  while (static_cast<int>(corpus.inventory.size()) < kInventory) {
    const char16_t c = static_cast<char16_t>(unit(rng));
    if (seen[c]) continue;
    seen[c] = true;
    corpus.inventory.push_back(c);
    weights.push_back(1.0 / (static_cast<double>(corpus.inventory.size()) + 10.0));
  }
  corpus.zipf = std::discrete_distribution<int>(weights.begin(), weights.end());
  return corpus;
}

std::u16string Name(const char16_t* prefix, std::u16string value) {
  return std::u16string(prefix) + value;
}

// Predicates of the shapes feature extraction produces, weighted towards
// frequent characters so that most of a clause's predicates are known.
struct SyntheticModel {
  std::vector<std::u16string> outcomes;
  std::vector<std::u16string> predicates;
  size_t features = 0;
};

SyntheticModel BuildModel(std::mt19937& rng, Corpus& corpus, verrin::CMEClassifier& classifier,
                          int bigrams_per_shape) {
  SyntheticModel model;
  for (int label : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 18, 19, 20, 52}) {
    model.outcomes.push_back(std::u16string(verrin::DecimalText(label).View()));
  }
  for (char16_t c : corpus.inventory) {
    const std::u16string s(1, c);
    for (const char16_t* prefix : {u"char=", u"ntc1=", u"pvc1=", u"ntc2=", u"pvc2="}) {
      model.predicates.push_back(Name(prefix, s));
    }
  }
  for (int code : {1, 2, 3, 4, 5, 6, 7, 11}) {
    const std::u16string s(verrin::DecimalText(code).View());
    model.predicates.push_back(Name(u"ct=", s));
    model.predicates.push_back(Name(u"nt1ct=", s));
  }
  model.predicates.push_back(u"wd_therory");
  for (int label : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 18, 19, 20, 51}) {
    const std::u16string s(verrin::DecimalText(label).View());
    model.predicates.push_back(Name(u"pv1lb=", s));
    model.predicates.push_back(Name(u"pv2lb=", s));
  }
  std::map<std::u16string, bool> seen;
  for (const char16_t* prefix : {u"ntc0c1=", u"ntc1c2=", u"pvc0c1=", u"pvc1c2=", u"pv1nt1="}) {
    int made = 0;
    while (made < bigrams_per_shape) {
      std::u16string s(2, u' ');
      s[0] = corpus.inventory[static_cast<size_t>(corpus.zipf(rng))];
      s[1] = corpus.inventory[static_cast<size_t>(corpus.zipf(rng))];
      std::u16string name = Name(prefix, s);
      if (seen[name]) continue;
      seen[name] = true;
      model.predicates.push_back(name);
      ++made;
    }
  }

  std::normal_distribution<double> weight(0.0, 0.7);
  std::vector<verrin::MEModelEntry> table;
  table.reserve(model.predicates.size() * model.outcomes.size() + 1);
  for (const std::u16string& predicate : model.predicates) {
    for (size_t o = 0; o < model.outcomes.size(); ++o) {
      // Word labels dominate real text.
      const double bias = (o == 0 || (o >= 4 && o <= 6)) ? 0.8 : 0.0;
      table.push_back({model.outcomes[o].c_str(), predicate.c_str(), weight(rng) + bias});
    }
  }
  model.features = table.size();
  table.push_back({u"///", u"", 0.0});
  if (!classifier.Model().LoadTable(table.data())) {
    std::fprintf(stderr, "LoadTable failed\n");
    std::exit(1);
  }
  return model;
}

struct Clause {
  CUString text;  // with the sentinel
  std::vector<verrin::NEWordNode> nodes;
};

std::vector<Clause> BuildClauses(std::mt19937& rng, Corpus& corpus, int characters) {
  std::vector<Clause> clauses;
  std::uniform_int_distribution<int> length(kClauseLength - 5, kClauseLength + 5);
  std::uniform_int_distribution<int> word_length(1, 3);
  int made = 0;
  while (made < characters) {
    Clause clause;
    const int n = length(rng);
    int filled = 0;
    while (filled < n) {
      const int w = std::min(word_length(rng), n - filled);
      verrin::NEWordNode node;
      for (int k = 0; k < w; ++k) {
        node.strText.Append(corpus.inventory[static_cast<size_t>(corpus.zipf(rng))]);
      }
      node.strWord = node.strText;
      node.nTextPos = filled;
      node.nTextLen = w;
      node.nLength = w;
      clause.text.Append(node.strText);
      clause.nodes.push_back(std::move(node));
      filled += w;
    }
    verrin::NEWordNode sentinel;
    sentinel.strText = CUString(verrin::kSentinel, 1);
    sentinel.strWord = sentinel.strText;
    sentinel.nType = verrin::kNodePunctuation;
    sentinel.nTextPos = n;
    sentinel.nTextLen = 1;
    sentinel.nLength = 1;
    clause.text.Append(verrin::kSentinel);
    clause.nodes.push_back(std::move(sentinel));
    clauses.push_back(std::move(clause));
    made += n;
  }
  return clauses;
}

struct RunResult {
  int64_t characters = 0;
  int64_t failures = 0;
  uint64_t evaluations = 0;
  double extract = 0, decode = 0, assemble = 0;  // thread CPU seconds
  double wall = 0;
};

RunResult Run(const std::vector<Clause>& clauses, const std::vector<int32_t>& table_bits,
              verrin::CMEClassifier& classifier) {
  RunResult result;
  verrin::CNELattice lattice;
  lattice.SetModel(&classifier);
  std::vector<verrin::CMESample> samples;
  std::vector<verrin::NEWordNode*> words;
  std::vector<int32_t> labels;
  std::vector<int32_t> classes;
  std::vector<int32_t> bits;
  std::vector<verrin::NEWordNode> out_nodes;
  const std::vector<const verrin::NEWordNode*> positions;
  const auto wall_start = Clock::now();
  const uint64_t evaluations_before = lattice.Decoder().Evaluations();
  CUString text;
  for (const Clause& clause : clauses) {
    const auto t0 = CpuClock::now();
    const int32_t length = clause.text.Length();
    words.clear();
    for (const verrin::NEWordNode& node : clause.nodes) {
      words.push_back(const_cast<verrin::NEWordNode*>(&node));
    }
    labels.assign(static_cast<size_t>(length), verrin::kLabelSingle);
    labels.back() = verrin::kLabelEnd;
    classes.resize(static_cast<size_t>(length));
    for (int32_t i = 0; i < length; ++i)
      classes[static_cast<size_t>(i)] = verrin::CharClassOf(clause.text[i]);
    classes.back() = verrin::kClassSentinel;
    verrin::ExtractSentenceFeatures(clause.text, words, labels, classes, false, samples);
    const auto t1 = CpuClock::now();

    text.Assign(clause.text.c_str(), length - 1);
    bits.resize(static_cast<size_t>(length - 1));
    for (int32_t i = 0; i + 1 < length; ++i) bits[static_cast<size_t>(i)] = table_bits[text[i]];
    const bool ok = lattice.DecodeWithLabelBits(text, samples, bits);
    const auto t2 = CpuClock::now();
    if (ok) {
      verrin::AssembleClause(text, lattice.Path(), positions, out_nodes);
      lattice.ResetLattice();
    } else {
      ++result.failures;
    }
    const auto t3 = CpuClock::now();
    result.extract += Seconds(t1 - t0);
    result.decode += Seconds(t2 - t1);
    result.assemble += Seconds(t3 - t2);
    result.characters += length - 1;
  }
  result.evaluations = lattice.Decoder().Evaluations() - evaluations_before;
  result.wall = Seconds(Clock::now() - wall_start);
  return result;
}

void Report(const char* name, const RunResult& r) {
  const double total = r.extract + r.decode + r.assemble;
  std::printf(
      "%-22s %9.0f chars/s  %6.2f evaluations/char  extract %4.1f%%  decode %4.1f%%  "
      "assemble %4.1f%%  (%lld chars, %.2f s CPU, %.2f s wall, %lld failed clauses)\n",
      name, static_cast<double>(r.characters) / total,
      static_cast<double>(r.evaluations) / static_cast<double>(r.characters),
      100.0 * r.extract / total, 100.0 * r.decode / total, 100.0 * r.assemble / total,
      static_cast<long long>(r.characters), total, r.wall, static_cast<long long>(r.failures));
}

}  // namespace

int main(int argc, char** argv) {
  const int characters = argc > 1 ? verrin::ParseInt(argv[1]) : 400000;
  const unsigned seed = argc > 2 ? static_cast<unsigned>(verrin::ParseInt(argv[2])) : 2024u;
  std::mt19937 rng(seed);
  Corpus corpus = MakeInventory(rng);

  verrin::CMEClassifier classifier;
  const auto load_start = Clock::now();
  SyntheticModel model = BuildModel(rng, corpus, classifier, 20000);
  const double load_seconds = Seconds(Clock::now() - load_start);
  std::printf("model: %d outcomes, %d predicates, %d features (built and loaded in %.1f s)\n",
              classifier.Model().OutcomeCount(), classifier.Model().PredicateCount(),
              classifier.Model().FeatureCount(), load_seconds);

  std::vector<Clause> clauses = BuildClauses(rng, corpus, characters);
  std::printf("text: %zu clauses, about %d characters each\n", clauses.size(), kClauseLength);

  // Realistic table: every character may be a one-character or a longer
  // word; name labels for some characters only.
  std::vector<int32_t> realistic(65536, 0);
  std::bernoulli_distribution word(0.9), person(0.3), location(0.2), organization(0.2);
  for (char16_t c : corpus.inventory) {
    int32_t bits = 1 << 1;
    if (word(rng)) bits |= (1 << 5) | (1 << 6) | (1 << 7);
    if (person(rng)) bits |= (1 << 2) | (1 << 3) | (1 << 4);
    if (location(rng)) bits |= (1 << 8) | (1 << 9) | (1 << 10);
    if (organization(rng)) bits |= (1 << 11) | (1 << 12) | (1 << 13);
    realistic[c] = bits;
  }
  const std::vector<int32_t> empty(65536, 0);

  const std::string which = argc > 3 ? argv[3] : "both";
  if (which != "empty") Report("realistic label table", Run(clauses, realistic, classifier));
  if (which != "realistic") Report("empty label table", Run(clauses, empty, classifier));
  return 0;
}
