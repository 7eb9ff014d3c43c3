#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <string>
#include <vector>

#include "text/file_system.h"
#include "verrin/verrin.h"

namespace {

using verrin::IsDirectory;

// The installed tree may have been moved as a whole (a staged install, a
// package unpacked elsewhere): look beside the module this code lives in
// first, from both the library and the program folders, and fall back on the
// configured path.
std::string Folder(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string FindDefaultResourceDir() {
  std::vector<std::string> folders;
#if defined(_WIN32)
  // The DLL's own file (or the program's, when linked in), as UTF-8 with "/".
  HMODULE module = nullptr;
  wchar_t name[32768];
  if (GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&VerrinDefaultResourceDir), &module) != 0) {
    const DWORD n = GetModuleFileNameW(module, name, 32768);
    if (n > 0 && n < 32768) {
      for (DWORD i = 0; i < n; ++i) {
        if (name[i] == L'\\') name[i] = L'/';
      }
      folders.push_back(Folder(verrin::WideToUtf8(name)));
    }
  }
#else
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&VerrinDefaultResourceDir), &info) != 0 &&
      info.dli_fname != nullptr) {
    folders.push_back(Folder(info.dli_fname));
  }
  // Linked into a program, the module's name is what the program was started
  // as, which says nothing when it was found through PATH.
  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n > 0) folders.push_back(Folder(std::string(exe, static_cast<size_t>(n))));
#endif
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    for (const char* relative :
         {VERRIN_RESOURCE_DIR_FROM_LIBDIR, VERRIN_RESOURCE_DIR_FROM_BINDIR}) {
      const std::string candidate = folder + "/" + relative;
      if (!IsDirectory(candidate)) continue;
#if defined(_WIN32)
      return candidate;
#else
      // "lib/../share/verrin/default" reads badly in messages and settings.
      char* resolved = realpath(candidate.c_str(), nullptr);
      if (resolved == nullptr) return candidate;
      const std::string path = resolved;
      std::free(resolved);
      return path;
#endif
    }
  }
  return VERRIN_INSTALL_RESOURCE_DIR;
}

}  // namespace

const char* VerrinVersion() { return VERRIN_VERSION; }

const char* VerrinDefaultResourceDir() {
  static const std::string dir = FindDefaultResourceDir();
  return dir.c_str();
}
