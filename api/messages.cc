// The public message handlers and the last error of each thread.
#include "api/messages.h"

#include <string_view>
#include <utility>

#include "text/diagnostics.h"
#include "verrin/verrin.h"

namespace verrin {
namespace {

thread_local std::string t_last_error;

DiagnosticSink HandlerSink(VerrinMessageHandler handler, void* context) {
  if (handler == nullptr) return DiagnosticSink();
  return [handler, context](std::string_view text) { handler(context, text.data(), text.size()); };
}

}  // namespace

void SetLastError(std::string message, const char* fallback) {
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  t_last_error = message.empty() ? std::string(fallback) : std::move(message);
}

}  // namespace verrin

void VerrinSetThreadMessageHandler(VerrinMessageHandler handler, void* context) {
  verrin::SetThreadDiagnosticSink(verrin::HandlerSink(handler, context));
}

void VerrinSetMessageHandler(VerrinMessageHandler handler, void* context) {
  verrin::SetProcessDiagnosticSink(verrin::HandlerSink(handler, context));
}

const char* VerrinLastError() { return verrin::t_last_error.c_str(); }
