#include "resource_loading.h"

#include <sys/stat.h>

#include <cerrno>
#include <clocale>
#include <mutex>

namespace py = pybind11;

namespace verrin_python {

std::shared_mutex g_loading;

namespace {

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Library messages may hold bytes of file names in any encoding.
py::object MessageText(const std::string& message) {
  return py::reinterpret_steal<py::object>(
      PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
}

}  // namespace

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

void ThrowNotFound(const std::string& message, const std::string& path) {
  // OSError(errno, message, filename), the file name decoded as os.fsdecode does.
  py::object name = py::reinterpret_steal<py::object>(
      PyUnicode_DecodeFSDefaultAndSize(path.data(), static_cast<Py_ssize_t>(path.size())));
  PyErr_SetObject(PyExc_FileNotFoundError,
                  py::make_tuple(ENOENT, MessageText(message), name).ptr());
  throw py::error_already_set();
}

void ThrowLoadError(const std::string& message) {
  PyErr_SetObject(PyExc_RuntimeError, MessageText(message).ptr());
  throw py::error_already_set();
}

void CheckPath(const std::string& path, const char* what) {
  if (path.find('\0') != std::string::npos) {
    throw py::value_error(std::string(what) + " contains a null byte");
  }
}

void WarnMessages(const std::string& messages) {
  if (messages.empty()) return;
  py::module_::import("warnings")
      .attr("warn")(MessageText(messages), py::handle(PyExc_RuntimeWarning), 3);
}

std::string ThreadMessages::Text() const {
  std::string text = text_;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

std::unique_ptr<CNEResourceManager> LoadResourceSet(const std::string& resources,
                                                    std::optional<std::string> model,
                                                    bool protected_form, bool require_model,
                                                    std::string* loaded_model) {
  CheckPath(resources, "the resource directory");
  if (model.has_value()) CheckPath(*model, "the model path");
  std::string dir = resources;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (!IsDirectory(dir)) ThrowNotFound("resource directory not found: " + dir, dir);
  if (!model.has_value()) {
    const std::string bundled = dir + "/model.txt";
    const std::string actual = protected_form ? VerrinProtectedPath(bundled) : bundled;
    if (Exists(actual)) {
      model = bundled;
    } else if (require_model) {
      ThrowNotFound("no model: " + actual + " does not exist; give one with model=PATH", actual);
    }
  } else {
    const std::string actual = protected_form ? VerrinProtectedPath(*model) : *model;
    if (!Exists(actual)) ThrowNotFound("model file not found: " + actual, actual);
  }
  *loaded_model = model.value_or("");

  std::unique_ptr<CNEResourceManager> manager;
  std::string messages;
  bool ok;
  {
    py::gil_scoped_release release;
    std::unique_lock<std::shared_mutex> lock(g_loading);
    // The library sets a Chinese locale for the process; the interpreter
    // keeps the one it had.
    const char* current = std::setlocale(LC_ALL, nullptr);
    const std::string saved_locale = current != nullptr ? current : "C";
    ThreadMessages capture;
    manager = std::make_unique<CNEResourceManager>();
    ok = manager->LoadResource(dir.c_str(), model ? model->c_str() : nullptr, protected_form);
    messages = capture.Text();
    std::setlocale(LC_ALL, saved_locale.c_str());
  }
  if (!ok) {
    manager.reset();
    const char* const kRequired[] = {"/NeItem.txt", "/NeAffix.txt", "/dict.txt",
                                     "/charset_lableInfo_tr.txt"};
    for (const char* name : kRequired) {
      const std::string path = dir + name;
      const std::string actual = protected_form ? VerrinProtectedPath(path) : path;
      if (!Exists(actual)) ThrowNotFound(messages.empty() ? "missing " + actual : messages, actual);
    }
    ThrowLoadError(messages.empty() ? "could not load the resources in " + dir : messages);
  }
  // Warnings of a successful load (for instance about model lines).
  WarnMessages(messages);
  return manager;
}

}  // namespace verrin_python
