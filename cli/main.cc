// verrin: the command-line face of the library.
#include <locale.h>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>

#include <csignal>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/command.h"
#include "text/file_system.h"
#include "text/output_file.h"
#include "verrin/verrin.h"

namespace verrin::cli {

std::vector<Command>& Commands() {
  static std::vector<Command> commands;
  return commands;
}

void ArgParser::AddOption(const std::string& name, std::string* value) { options_[name] = value; }
void ArgParser::AddFlag(const std::string& name, bool* value) { flags_[name] = value; }

bool ArgParser::Parse(int argc, char** argv, std::string* error) {
  bool only_positional = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (only_positional || arg.size() < 2 || arg[0] != '-') {
      positional_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      only_positional = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      help_ = true;
      continue;
    }
    std::string name = arg, value;
    bool has_value = false;
    size_t eq = arg.find('=');
    if (eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      has_value = true;
    }
    if (name.rfind("--", 0) == 0)
      name = name.substr(2);
    else
      name = name.substr(1);
    if (auto f = flags_.find(name); f != flags_.end()) {
      if (has_value) {
        *error = "option --" + name + " takes no value";
        return false;
      }
      *f->second = true;
      continue;
    }
    auto o = options_.find(name);
    if (o == options_.end()) {
      *error = "unknown option " + arg;
      return false;
    }
    if (!has_value) {
      if (i + 1 >= argc) {
        *error = "option --" + name + " needs a value";
        return false;
      }
      value = argv[++i];
    }
    *o->second = value;
  }
  return true;
}

int UsageError(const char* command, const std::string& message) {
  std::fprintf(stderr, "verrin %s: %s\nTry 'verrin %s --help'.\n", command, message.c_str(),
               command);
  return kExitUsage;
}

int Fail(const char* command, const std::string& message) {
  std::fprintf(stderr, "verrin %s: %s\n", command, message.c_str());
  return kExitFailure;
}

bool ParseIntArg(const std::string& text, int* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text.c_str(), &end, 10);
  if (*end != 0 || errno != 0 || v < -2147483647L || v > 2147483647L) return false;
  *value = static_cast<int>(v);
  return true;
}

bool ParseDoubleArg(const std::string& text, double* value) {
  if (text.empty()) return false;
  char* end = nullptr;
#if defined(_WIN32)
  static _locale_t c_locale = _create_locale(LC_NUMERIC, "C");
  double v = _strtod_l(text.c_str(), &end, c_locale);
#else
  static locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  double v = strtod_l(text.c_str(), &end, c_locale);
#endif
  if (*end != 0) return false;
  *value = v;
  return true;
}

namespace {

// Whether this program is the one the build wrote (not an installed copy):
// its own file lies in the build directory it was compiled for.
bool RunsFromBuildTree() {
#if defined(_WIN32)
  return false;
#else
  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return false;
  std::string folder(exe, static_cast<size_t>(n));
  folder.erase(folder.rfind('/') == std::string::npos ? 0 : folder.rfind('/'));
  char* resolved = realpath(VERRIN_BUILD_PROGRAM_DIR, nullptr);
  if (resolved == nullptr) return false;
  const bool same = folder == resolved;
  std::free(resolved);
  return same;
#endif
}

}  // namespace

ResourceDirChoice ChooseDefaultResourceDir() {
  // A program in its build tree was built and tested with its source tree's
  // resources: an installed copy elsewhere may be older or newer.
  if (RunsFromBuildTree() && IsDirectory(VERRIN_SOURCE_RESOURCE_DIR)) {
    return {VERRIN_SOURCE_RESOURCE_DIR, "the source tree of this build"};
  }
  const std::string installed = VerrinDefaultResourceDir();
  if (IsDirectory(installed)) return {installed, "installed"};
  return {VERRIN_SOURCE_RESOURCE_DIR, "the source tree of this build"};
}

std::string DefaultResourceDir() { return ChooseDefaultResourceDir().dir; }

std::string BundledResourceDir(const std::string& name) {
  const std::string bundled = DefaultResourceDir();
  const size_t slash = bundled.find_last_of('/');
  return slash == std::string::npos ? name : bundled.substr(0, slash + 1) + name;
}

std::string ResolveResourceDir(const std::string& res) {
  if (res.empty()) return DefaultResourceDir();
  if (IsDirectory(res) || res.find_first_of("/\\") != std::string::npos) return res;
  const std::string sibling = BundledResourceDir(res);
  return IsDirectory(sibling) ? sibling : res;
}

std::string DefaultModelPath(const std::string& resource_dir) {
  std::string path = resource_dir + "/model.txt";
  return verrin::PathExists(path) ? path : std::string();
}

int TaggingStatus(const char* command, int64_t failed_lines, int64_t damaged_lines) {
  if (failed_lines == 0 && damaged_lines == 0) return kExitOk;
  std::string what;
  if (failed_lines > 0) {
    what = std::to_string(failed_lines) + (failed_lines == 1 ? " line" : " lines") +
           " with clauses left out";
  }
  if (damaged_lines > 0) {
    if (!what.empty()) what += " and ";
    what += std::to_string(damaged_lines) + (damaged_lines == 1 ? " line" : " lines") +
            " with invalid bytes";
  }
  std::fprintf(stderr, "verrin %s: finished with %s (exit status %d)\n", command, what.c_str(),
               kExitIncomplete);
  return kExitIncomplete;
}

bool StderrIsTerminal() { return isatty(fileno(stderr)) != 0; }

// Which resource directory a command without --res reads, and why. The man
// page replaces this part of each command's help (cmake/man_page.cmake).
// `set` is the bundled set the command reads without --res.
static void PrintResourceDirNote(FILE* out, const std::string& set) {
  const ResourceDirChoice choice = ChooseDefaultResourceDir();
  const std::string dir = set == "default" ? choice.dir : BundledResourceDir(set);
  std::fprintf(out,
               "\nWithout --res, the resources are read from\n  %s\n  (%s%s).\n"
               "Search order: the source tree's resources/default for a program run\n"
               "from its build tree; share/verrin/default beside the installed program\n"
               "or library; %s.\n"
               "--res also takes the name of a bundled set: default (newswire) or\n"
               "web (posts and news of today).\n",
               dir.c_str(), set == "default" ? "" : "the bundled set beside the default one, ",
               choice.origin, VERRIN_INSTALL_RESOURCE_DIR);
}

static void PrintMainHelp(FILE* out) {
  std::fprintf(out,
               "verrin - finds person, location and organization names in Chinese text\n\n"
               "Usage: verrin <command> [options] [arguments]\n"
               "   or: verrin --version\n\nCommands:\n");
  std::vector<Command> sorted = Commands();
  std::sort(sorted.begin(), sorted.end(),
            [](const Command& a, const Command& b) { return std::strcmp(a.name, b.name) < 0; });
  for (const Command& c : sorted) std::fprintf(out, "  %-12s %s\n", c.name, c.summary);
  std::fprintf(out,
               "\nRun 'verrin <command> --help' for the options of one command.\n"
               "Exit status: 0 success, 1 failure, 2 usage error, 3 finished but some\n"
               "input was not tagged in full (named on standard error).\n");
}

}  // namespace verrin::cli

#if defined(_WIN32)
int RunMain(int argc, char** argv);

// Arguments arrive as UTF-16 and go on as UTF-8, so every file name works;
// standard streams are binary so that output is the same bytes as elsewhere.
int wmain(int argc, wchar_t** wargv) {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(verrin::WideToUtf8(wargv[i]));
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return RunMain(argc, argv.data());
}

int RunMain(int argc, char** argv) {
#else
int main(int argc, char** argv) {
#endif
  using namespace verrin::cli;
#if !defined(_WIN32)
  // A file size limit makes a write fail (EFBIG) instead of killing the
  // process, so the file is reported and its temporary copy removed.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  // An interrupted command leaves no "OUT.tmp-XXXXXX" behind.
  verrin::RemoveTemporaryFilesOnSignals();
  if (argc < 2) {
    PrintMainHelp(stderr);
    return kExitUsage;
  }
  std::string name = argv[1];
  if (name == "--version" || name == "-V") {
    std::printf("verrin %s\n", VerrinVersion());
    return kExitOk;
  }
  if (name == "--help" || name == "-h" || name == "help") {
    PrintMainHelp(stdout);
    return kExitOk;
  }
  for (const Command& c : Commands()) {
    if (name == c.name) {
      for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
          std::fputs(c.usage, stdout);
          if (std::strstr(c.usage, "--res") != nullptr) PrintResourceDirNote(stdout, c.default_set);
          return kExitOk;
        }
        if (std::strcmp(argv[i], "--") == 0) break;
      }
      const int status = c.run(argc - 1, argv + 1);
      // Results printed to standard output count only once they are out: a
      // full disk or a closed pipe must not pass for success.
      errno = 0;
      if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        const int error = errno != 0 ? errno : EIO;
        // A command that failed has said why already (often this very error).
        if (status != kExitFailure) {
          std::fprintf(stderr, "verrin %s: cannot write standard output: %s\n", c.name,
                       std::strerror(error));
        }
        return kExitFailure;
      }
      return status;
    }
  }
  std::fprintf(stderr, "verrin: unknown command '%s'\nRun 'verrin --help' for the list.\n",
               name.c_str());
  return kExitUsage;
}
