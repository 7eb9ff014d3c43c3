#include "text/diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace verrin {
namespace {

// The sink of the innermost live scope of this thread; null: none.
thread_local const DiagnosticSink* t_sink = nullptr;
// The thread's own sink beneath its scopes; empty: the process sink.
thread_local DiagnosticSink t_thread_sink;

// The process sink, replaced whole under the mutex and used through a copy of
// the pointer, so a thread that is writing keeps the sink it took.
std::mutex g_process_mutex;
std::shared_ptr<const DiagnosticSink> g_process_sink;

// Where a message goes when no scope of its thread takes it.
void DeliverOutsideScopes(std::string_view text) {
  if (t_thread_sink) {
    t_thread_sink(text);
    return;
  }
  std::shared_ptr<const DiagnosticSink> process;
  {
    std::lock_guard<std::mutex> lock(g_process_mutex);
    process = g_process_sink;
  }
  if (process) {
    (*process)(text);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace

void Diagnose(std::string_view text) {
  if (text.empty()) return;
  if (t_sink != nullptr) {
    (*t_sink)(text);
    return;
  }
  DeliverOutsideScopes(text);
}

void SetThreadDiagnosticSink(DiagnosticSink sink) { t_thread_sink = std::move(sink); }

void SetProcessDiagnosticSink(DiagnosticSink sink) {
  std::shared_ptr<const DiagnosticSink> next;
  if (sink) next = std::make_shared<const DiagnosticSink>(std::move(sink));
  std::lock_guard<std::mutex> lock(g_process_mutex);
  g_process_sink = std::move(next);
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

void CDiagnosticsScope::PassOn(std::string_view text) const {
  if (previous_ != nullptr) {
    (*previous_)(text);
  } else {
    DeliverOutsideScopes(text);
  }
}

CDiagnosticsRecorder::CDiagnosticsRecorder()
    : scope_([this](std::string_view text) {
        text_.append(text.data(), text.size());
        scope_.PassOn(text);
      }) {}

}  // namespace verrin
