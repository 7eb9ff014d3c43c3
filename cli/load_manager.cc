#include <cstdio>
#include <string>

#include "cli/command.h"
#include "io/protected_file.h"
#include "text/file_system.h"
#include "verrin/verrin.h"

namespace verrin::cli {

static bool Exists(const std::string& path) { return PathExists(path); }

bool LoadManager(const char* command, std::string res_dir, std::string model_path,
                 bool protected_form, CNEResourceManager& manager, bool use_bundled_model) {
  res_dir = ResolveResourceDir(res_dir);
  while (res_dir.size() > 1 && res_dir.back() == '/') res_dir.pop_back();
  if (!IsDirectory(res_dir)) {
    Fail(command, "resource directory not found: " + res_dir);
    return false;
  }
  if (model_path.empty() && use_bundled_model) {
    const std::string bundled = res_dir + "/model.txt";
    const std::string actual = protected_form ? ProtectedPathFor(bundled) : bundled;
    if (!Exists(actual)) {
      // Without a model every clause would come out untagged.
      Fail(command, "no model: " + actual + " does not exist; give one with --model PATH");
      return false;
    }
    model_path = bundled;
  } else if (!model_path.empty()) {
    const std::string actual = protected_form ? ProtectedPathFor(model_path) : model_path;
    if (!Exists(actual)) {
      Fail(command, "model file not found: " + actual);
      return false;
    }
    if (IsDirectory(actual)) {
      Fail(command, "the model " + actual + " is a directory, not a file");
      return false;
    }
  }
  if (!manager.LoadResource(res_dir.c_str(), model_path.empty() ? nullptr : model_path.c_str(),
                            protected_form)) {
    Fail(command, "could not load the resources in " + res_dir +
                      (model_path.empty() ? "" : " with the model " + model_path) +
                      " (see the messages above)");
    return false;
  }
  return true;
}

}  // namespace verrin::cli
