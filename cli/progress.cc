#include "cli/progress.h"

#include <cstdio>

#include "cli/command.h"

namespace verrin::cli {
namespace {

std::string Amount(double value, CProgress::Unit unit, const std::string& noun) {
  char text[64];
  if (unit == CProgress::Unit::kCount) {
    std::snprintf(text, sizeof text, "%.0f %s", value, noun.c_str());
  } else if (value >= 1e9) {
    std::snprintf(text, sizeof text, "%.2f GB", value / 1e9);
  } else if (value >= 1e6) {
    std::snprintf(text, sizeof text, "%.1f MB", value / 1e6);
  } else if (value >= 1e3) {
    std::snprintf(text, sizeof text, "%.0f KB", value / 1e3);
  } else {
    std::snprintf(text, sizeof text, "%.0f B", value);
  }
  return text;
}

std::string Duration(double seconds) {
  const long long s = static_cast<long long>(seconds + 0.5);
  char text[32];
  if (s >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
  }
  return text;
}

}  // namespace

CProgress::CProgress(std::string what, int64_t total, Unit unit, std::string noun,
                     double log_interval)
    : what_(std::move(what)),
      noun_(std::move(noun)),
      total_(total),
      unit_(unit),
      log_interval_(log_interval),
      terminal_(StderrIsTerminal()),
      start_(std::chrono::steady_clock::now()),
      last_(start_) {}

CProgress::~CProgress() { Finish(); }

std::string CProgress::Describe(const std::string& what, int64_t done, int64_t total, Unit unit,
                                const std::string& noun, double seconds, int bar_width) {
  std::string text = what;
  const double rate = seconds > 0 ? done / seconds : 0;
  if (total > 0) {
    const double share = done >= total ? 1.0 : static_cast<double>(done) / total;
    if (bar_width > 0) {
      const int filled = static_cast<int>(share * bar_width);
      text += " [" + std::string(filled, '#') + std::string(bar_width - filled, ' ') + "]";
    }
    char percent[16];
    std::snprintf(percent, sizeof percent, " %3d%%", static_cast<int>(share * 100));
    text += percent;
    text += ", " + Amount(static_cast<double>(done), unit, noun) + " of " +
            Amount(static_cast<double>(total), unit, noun);
  } else {
    text += ", " + Amount(static_cast<double>(done), unit, noun);
  }
  if (seconds > 0) {
    text += ", " + Amount(rate, unit, noun) + "/s";
    if (total > 0 && done < total && rate > 0) {
      text += ", " + Duration((total - done) / rate) + " left";
    }
  }
  return text;
}

void CProgress::Update(int64_t done) {
  done_ = done;
  const auto now = std::chrono::steady_clock::now();
  const double since = std::chrono::duration<double>(now - last_).count();
  if (since < (terminal_ ? 0.1 : log_interval_)) return;
  last_ = now;
  Print(false);
}

void CProgress::Print(bool final_line) {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  std::string line;
  if (final_line) {
    line = what_ + ": " + Amount(static_cast<double>(done_), unit_, noun_) + " in " +
           Duration(seconds) +
           (seconds > 0 ? ", " + Amount(done_ / seconds, unit_, noun_) + "/s" : std::string());
  } else {
    line = Describe(what_, done_, total_, unit_, noun_, seconds, terminal_ ? 30 : 0);
  }
  if (terminal_) {
    std::fprintf(stderr, "\r\033[K%s%s", line.c_str(), final_line ? "\n" : "");
  } else {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
  std::fflush(stderr);
  shown_ = true;
}

ProgressHook CProgress::Hook() {
  return [this](int64_t done, int64_t total) {
    if (total > 0) total_ = total;
    Update(done);
  };
}

void CProgress::Finish() {
  if (finished_) return;
  finished_ = true;
  if (shown_) Print(true);
}

CIterationTimes::CIterationTimes() : start_(std::chrono::steady_clock::now()) {
  if (StderrIsTerminal()) scope_.emplace([this](std::string_view text) { Show(text); });
}

std::string CIterationTimes::Decorate(std::string_view line, double seconds, int iterations) {
  if (line.empty() || line.back() != '\r' || line.find('\n') != std::string_view::npos ||
      iterations <= 0) {
    return std::string(line);
  }
  char times[64];
  std::snprintf(times, sizeof times, "   %s, %.2f s/iteration", Duration(seconds).c_str(),
                seconds / iterations);
  line.remove_suffix(1);
  return std::string(line) + times + "\033[K\r";
}

void CIterationTimes::Show(std::string_view text) {
  if (!text.empty() && text.back() == '\r') ++iterations_;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const std::string shown = Decorate(text, seconds, iterations_);
  std::fwrite(shown.data(), 1, shown.size(), stderr);
  std::fflush(stderr);
}

}  // namespace verrin::cli
