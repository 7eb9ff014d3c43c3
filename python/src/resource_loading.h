// What the extension's parts share: loading a resource set as Tagger and
// adapt() load it, and turning the library's messages into Python errors and
// warnings.
#ifndef VERRIN_PYTHON_RESOURCE_LOADING_H_
#define VERRIN_PYTHON_RESOURCE_LOADING_H_

#include <pybind11/pybind11.h>

#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>

#include "verrin/verrin.h"

namespace verrin_python {

// Taggers of one manager tag concurrently, one CKyVerrin per thread. Loading
// sets the process locale, so it waits until no thread of this module tags
// and holds off new tagging while it runs.
extern std::shared_mutex g_loading;

bool Exists(const std::string& path);

// Raises FileNotFoundError(ENOENT, message, path).
[[noreturn]] void ThrowNotFound(const std::string& message, const std::string& path);
// Raises RuntimeError(message).
[[noreturn]] void ThrowLoadError(const std::string& message);
// Raises ValueError for a path with a NUL byte, which the system would read
// as a shorter path.
void CheckPath(const std::string& path, const char* what);
// Gives `messages` (if any) to Python as a RuntimeWarning.
void WarnMessages(const std::string& messages);

// Collects the library's messages of the calling thread while it lives, so
// that a load's messages travel with its exception or warning; other
// threads' messages still go where they went.
class ThreadMessages {
 public:
  ThreadMessages() { VerrinSetThreadMessageHandler(&ThreadMessages::Append, &text_); }
  ~ThreadMessages() { VerrinSetThreadMessageHandler(nullptr, nullptr); }
  ThreadMessages(const ThreadMessages&) = delete;
  ThreadMessages& operator=(const ThreadMessages&) = delete;

  // The messages, without the line ends and spaces that close them.
  std::string Text() const;

 private:
  static void Append(void* context, const char* text, size_t length) {
    static_cast<std::string*>(context)->append(text, length);
  }

  std::string text_;
};

// The resource set of the directory `resources` and the model `model` (by
// default the directory's model.txt when it exists; with `require_model`, it
// must), as Tagger loads it; `loaded_model` receives the model path ("" for
// none). Raises FileNotFoundError for a missing directory or file, ValueError
// for a path with a null byte and RuntimeError with the library's messages
// for any other failure; messages of a load that succeeded arrive as
// RuntimeWarning.
std::unique_ptr<CNEResourceManager> LoadResourceSet(const std::string& resources,
                                                    std::optional<std::string> model,
                                                    bool protected_form, bool require_model,
                                                    std::string* loaded_model);

}  // namespace verrin_python

#endif  // VERRIN_PYTHON_RESOURCE_LOADING_H_
