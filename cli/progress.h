// Progress of a long job on standard error, readable both on a terminal and
// in a log.
#ifndef VERRIN_CLI_PROGRESS_H_
#define VERRIN_CLI_PROGRESS_H_

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "text/diagnostics.h"

namespace verrin::cli {

// On a terminal: one line redrawn in place (at most ten times a second) with
// a bar, the share done, the rate and the time left. In a log (standard error
// not a terminal): one plain line every `log_interval` seconds. Either way a
// job that showed progress ends with one summary line; a short job in a log
// prints nothing.
class CProgress {
 public:
  enum class Unit { kBytes, kCount };
  // `what` names the job ("tagging in.txt"); `total` is the amount of work
  // (0 when unknown: no bar, no time left); `noun` names a counted unit
  // ("sentences") and is unused for bytes.
  CProgress(std::string what, int64_t total, Unit unit, std::string noun = "",
            double log_interval = 10.0);
  ~CProgress();
  CProgress(const CProgress&) = delete;
  CProgress& operator=(const CProgress&) = delete;

  // Work done so far (not above total when total is known).
  void Update(int64_t done);
  // Prints the summary line once (also done by the destructor).
  void Finish();
  // A hook for the library's long jobs that updates this progress (and takes
  // the total they report when they know it). Valid while this lives.
  ProgressHook Hook();

  // The text of one progress report, without line end (for tests).
  static std::string Describe(const std::string& what, int64_t done, int64_t total, Unit unit,
                              const std::string& noun, double seconds, int bar_width);

 private:
  void Print(bool final_line);

  std::string what_, noun_;
  int64_t total_, done_ = 0;
  Unit unit_;
  double log_interval_;
  bool terminal_, shown_ = false, finished_ = false;
  std::chrono::steady_clock::time_point start_, last_;
};

// Training on a terminal: the optimiser redraws one line per iteration and
// ends it with a carriage return. While this lives, each such line of the
// calling thread's diagnostics is shown with the time so far and the time per
// iteration after it; other text passes unchanged. When standard error is not
// a terminal it does nothing (CLogLines gives those lines line ends).
class CIterationTimes {
 public:
  CIterationTimes();
  CIterationTimes(const CIterationTimes&) = delete;
  CIterationTimes& operator=(const CIterationTimes&) = delete;

  // The redrawn line as shown, after `iterations` lines in `seconds`.
  static std::string Decorate(std::string_view line, double seconds, int iterations);

 private:
  void Show(std::string_view text);

  std::chrono::steady_clock::time_point start_;
  int iterations_ = 0;
  std::optional<CDiagnosticsScope> scope_;
};

}  // namespace verrin::cli

#endif  // VERRIN_CLI_PROGRESS_H_
