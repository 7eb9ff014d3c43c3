#include "text/diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <utility>
#include <vector>

namespace verrin {
namespace {

// The sink of the innermost live scope of this thread; null: standard error.
thread_local const DiagnosticSink* t_sink = nullptr;

}  // namespace

void Diagnose(std::string_view text) {
  if (text.empty()) return;
  if (t_sink != nullptr) {
    (*t_sink)(text);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stderr);
}

void DiagnoseFormat(const char* format, ...) {
  char small[512];
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (n < 0) {
    va_end(again);
    return;
  }
  if (static_cast<size_t>(n) < sizeof small) {
    va_end(again);
    Diagnose(std::string_view(small, static_cast<size_t>(n)));
    return;
  }
  // Messages that name long paths or sentences are written whole.
  std::vector<char> large(static_cast<size_t>(n) + 1);
  std::vsnprintf(large.data(), large.size(), format, again);
  va_end(again);
  Diagnose(std::string_view(large.data(), static_cast<size_t>(n)));
}

CDiagnosticsScope::CDiagnosticsScope(DiagnosticSink sink)
    : sink_(std::move(sink)), previous_(t_sink) {
  t_sink = &sink_;
}

CDiagnosticsScope::~CDiagnosticsScope() { t_sink = previous_; }

}  // namespace verrin
