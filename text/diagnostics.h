// Diagnostics: where the library's messages, warnings and progress lines go.
//
// Every message of the library passes through the calling thread's sink: the
// innermost live CDiagnosticsScope of the thread (a log, a test's buffer),
// else the thread's own sink (SetThreadDiagnosticSink), else the process
// sink (SetProcessDiagnosticSink), else standard error, written unchanged and
// at once. The public message handlers of verrin.h set the thread and process
// sinks. Messages are bytes: file names as they were given, quoted text in
// the encoding its message documents.
#ifndef VERRIN_TEXT_DIAGNOSTICS_H_
#define VERRIN_TEXT_DIAGNOSTICS_H_

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>

namespace verrin {

// Receives one piece of message text (not necessarily a whole line).
using DiagnosticSink = std::function<void(std::string_view text)>;

// Told how far a long job has come: `done` of `total` units (bytes of the
// input file, sentences); `total` is 0 when unknown (a pipe), and `done` is
// never above a known `total`. An empty hook asks for no reports.
using ProgressHook = std::function<void(int64_t done, int64_t total)>;

// Sends text to the calling thread's sink.
void Diagnose(std::string_view text);
// Sends printf-formatted text (any length) to the calling thread's sink.
// (MinGW: the C99 formats of its own stdio, which C++ programs use, so "%zu"
// is checked as it is printed.)
#if defined(__MINGW32__)
void DiagnoseFormat(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
#else
void DiagnoseFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
#endif

// Collects streamed text and sends it to the diagnostics in one piece when
// destroyed, which for a temporary is the end of its statement:
//   CDiagnosticStream() << "number of samples = " << n << "\n";
// Numbers are formatted as std::cerr formats them.
class CDiagnosticStream {
 public:
  CDiagnosticStream() = default;
  ~CDiagnosticStream() { Diagnose(text_.str()); }
  CDiagnosticStream(const CDiagnosticStream&) = delete;
  CDiagnosticStream& operator=(const CDiagnosticStream&) = delete;

  template <typename T>
  CDiagnosticStream& operator<<(const T& value) {
    text_ << value;
    return *this;
  }

 private:
  std::ostringstream text_;
};

// The sink of the calling thread's messages outside every scope; an empty
// sink hands the thread back to the process sink.
void SetThreadDiagnosticSink(DiagnosticSink sink);
// The sink of the messages of threads with neither a scope nor a sink of
// their own; empty: standard error. It may be called on several threads at
// once.
void SetProcessDiagnosticSink(DiagnosticSink sink);

// Redirects the calling thread's diagnostics to `sink` until destroyed; the
// sink in force before comes back then. Scopes nest; destroy them in reverse
// order on the thread that made them.
class CDiagnosticsScope {
 public:
  explicit CDiagnosticsScope(DiagnosticSink sink);
  ~CDiagnosticsScope();
  CDiagnosticsScope(const CDiagnosticsScope&) = delete;
  CDiagnosticsScope& operator=(const CDiagnosticsScope&) = delete;

  // Sends text where it would go without this scope.
  void PassOn(std::string_view text) const;

 private:
  DiagnosticSink sink_;
  const DiagnosticSink* previous_;
};

// Keeps a copy of the messages of the calling thread while it lives, and
// passes them on where they would have gone.
class CDiagnosticsRecorder {
 public:
  CDiagnosticsRecorder();
  CDiagnosticsRecorder(const CDiagnosticsRecorder&) = delete;
  CDiagnosticsRecorder& operator=(const CDiagnosticsRecorder&) = delete;

  const std::string& Text() const { return text_; }

 private:
  std::string text_;
  CDiagnosticsScope scope_;
};

}  // namespace verrin

#endif  // VERRIN_TEXT_DIAGNOSTICS_H_
