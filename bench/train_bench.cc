// Training cost: preparation time, seconds per objective evaluation (one
// pass over every active feature of every training sample) and peak memory.
//
// Usage: bench_train_bench [events] [predicates] [outcomes]
//        bench_train_bench --file EVENTS   (a GBK event file; it is opened "r+")
// Defaults: 200000 generated events of 14 predicates drawn from 100000
// predicates (Zipf law) over 40 outcomes. VERRIN_BENCH_FULL=1 also runs the
// whole BLMVM estimation.
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "maxent/me_classifier.h"
#include "maxent/me_model.h"
#include "maxent/me_model_impl.h"
#include "text/code_page.h"

using namespace verrin;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Processor time of this process: steadier than wall time on a shared machine.
double CpuSeconds() {
  struct timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

long PeakRssMb() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

CUString Ascii(const std::string& text) {
  std::u16string units(text.begin(), text.end());
  return CUString(units.c_str(), static_cast<int32_t>(units.size()));
}

// Events whose label depends on a few of their predicates, with noise.
void Generate(CMEModel& model, int events, int predicates, int outcomes) {
  std::mt19937 random(11);
  std::vector<double> cumulative(static_cast<size_t>(predicates));
  double total = 0.0;
  for (int r = 0; r < predicates; ++r) cumulative[r] = total += 1.0 / (r + 1);
  std::uniform_real_distribution<double> unit(0.0, total);
  CMESample sample;
  for (int e = 0; e < events; ++e) {
    sample.predicates.clear();
    int signal = 0;
    for (int i = 0; i < 14; ++i) {
      const int p =
          static_cast<int>(std::lower_bound(cumulative.begin(), cumulative.end(), unit(random)) -
                           cumulative.begin());
      if (i < 3) signal += p;
      sample.predicates.push_back(Ascii("f" + std::to_string(i % 7) + "=" + std::to_string(p)));
    }
    const int label =
        random() % 10 == 0 ? static_cast<int>(random() % outcomes) : signal % outcomes;
    sample.label = Ascii(std::to_string(label + 1));
    model.AddEvent(sample);
  }
}

}  // namespace

int main(int argc, char** argv) {
  CMEClassifier classifier;
  CMEModel& model = classifier.Model();
  auto start = std::chrono::steady_clock::now();
  if (argc > 2 && std::strcmp(argv[1], "--file") == 0) {
    if (!classifier.LoadEvents(argv[2])) return 1;
  } else {
    const int events = argc > 1 ? std::atoi(argv[1]) : 200000;
    const int predicates = argc > 2 ? std::atoi(argv[2]) : 100000;
    const int outcomes = argc > 3 ? std::atoi(argv[3]) : 40;
    if (events < 1 || predicates < 1 || outcomes < 1 || outcomes > 256) {
      std::fprintf(stderr, "usage: bench_train_bench [events] [predicates] [outcomes 1-256]\n");
      return 2;
    }
    Generate(model, events, predicates, outcomes);
  }
  const double event_seconds = Seconds(start);

  start = std::chrono::steady_clock::now();
  const int32_t max_predicates = model.PrepareTraining(0, 0, 0);
  if (max_predicates < 0) return 1;
  const double prepare_seconds = Seconds(start);

  const int n = model.FeatureCount();
  std::vector<double> x(static_cast<size_t>(n)), g(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) x[i] = 0.01 * std::sin(0.37 * i);
  double f = 0.0;
  const int rounds = 5;
  start = std::chrono::steady_clock::now();
  const double cpu_start = CpuSeconds();
  for (int r = 0; r < rounds; ++r) model.ComputeFunctionGradient(x.data(), n, &f, g.data());
  const double objective_seconds = Seconds(start) / rounds;
  const double objective_cpu = (CpuSeconds() - cpu_start) / rounds;

  std::printf("events: %.3f s to read or generate\n", event_seconds);
  std::printf("training samples %d, outcomes %d, features %d, largest sample %d\n",
              static_cast<int>(model.Internals().training.Size()), model.OutcomeCount(), n,
              max_predicates);
  std::printf("preparation (split, features, empirical expectations): %.3f s\n", prepare_seconds);
  std::printf("objective and gradient: %.3f s per evaluation (%.3f s processor time; f = %.6f)\n",
              objective_seconds, objective_cpu, f);
  std::printf("peak memory: %ld MB\n", PeakRssMb());

  if (std::getenv("VERRIN_BENCH_FULL") != nullptr) {
    // The whole optimisation from the zero vector, progress on standard error.
    start = std::chrono::steady_clock::now();
    const double cpu_start = CpuSeconds();
    model.EstimateLMVM();
    std::printf("full BLMVM estimation: %.1f s (%.1f s processor time), training error %.5f\n",
                Seconds(start), CpuSeconds() - cpu_start, model.TrainingError());
    std::printf("peak memory with the optimizer: %ld MB\n", PeakRssMb());
  }
  return 0;
}
