// Diagnostics: where the library's messages, warnings and progress lines go.
//
// Every message of the library passes through the calling thread's sink. The
// default sink writes the bytes to standard error unchanged and at once, so a
// host that sets nothing sees what it always saw. A CDiagnosticsScope sends
// the messages of its thread elsewhere (a log, a test's buffer) while it
// lives. Messages are bytes: file names as they were given, quoted text in
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

// Redirects the calling thread's diagnostics to `sink` until destroyed; the
// sink in force before comes back then. Scopes nest; destroy them in reverse
// order on the thread that made them.
class CDiagnosticsScope {
 public:
  explicit CDiagnosticsScope(DiagnosticSink sink);
  ~CDiagnosticsScope();
  CDiagnosticsScope(const CDiagnosticsScope&) = delete;
  CDiagnosticsScope& operator=(const CDiagnosticsScope&) = delete;

 private:
  DiagnosticSink sink_;
  const DiagnosticSink* previous_;
};

}  // namespace verrin

#endif  // VERRIN_TEXT_DIAGNOSTICS_H_
