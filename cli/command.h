// Subcommands of the `verrin` tool and the small argument parser they share.
//
// Each command lives in its own cli/cmd_<name>.cc and registers itself with
// VERRIN_COMMAND. Exit codes: 0 success, 1 failure, 2 usage error.
#ifndef VERRIN_CLI_COMMAND_H_
#define VERRIN_CLI_COMMAND_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace verrin::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
// Finished, but some input was not tagged in full: a clause could not be
// decoded, or input bytes were invalid in the encoding (each named on
// standard error; every other line was written).
inline constexpr int kExitIncomplete = 3;

struct Command {
  const char* name;
  const char* summary;                  // one line for the command table
  const char* usage;                    // full help text of `verrin NAME --help`
  int (*run)(int argc, char** argv);    // argv[0] is the command name
  const char* default_set = "default";  // the bundled set read without --res
};

std::vector<Command>& Commands();

struct CommandRegistrar {
  explicit CommandRegistrar(const Command& command) { Commands().push_back(command); }
};

#define VERRIN_COMMAND(id, name, summary, usage, fn) \
  static ::verrin::cli::CommandRegistrar g_register_##id({name, summary, usage, fn})
// The same for a command that reads the bundled set `set` ("web") without --res.
#define VERRIN_COMMAND_READING_SET(id, name, summary, usage, fn, set) \
  static ::verrin::cli::CommandRegistrar g_register_##id({name, summary, usage, fn, set})

// Flags "--name value", "--name=value" and boolean "--name"; everything else
// is positional ("-" alone is positional too). Unknown flags are errors.
class ArgParser {
 public:
  void AddOption(const std::string& name, std::string* value);
  void AddFlag(const std::string& name, bool* value);
  // False with a message in `error` on an unknown flag or a missing value.
  // "--help"/"-h" sets help().
  bool Parse(int argc, char** argv, std::string* error);
  const std::vector<std::string>& Positional() const { return positional_; }
  bool help() const { return help_; }

 private:
  std::map<std::string, std::string*> options_;
  std::map<std::string, bool*> flags_;
  std::vector<std::string> positional_;
  bool help_ = false;
};

// Prints "verrin NAME: message" plus a hint to standard error; returns kExitUsage.
int UsageError(const char* command, const std::string& message);
// Prints "verrin NAME: message" to standard error; returns kExitFailure.
int Fail(const char* command, const std::string& message);

// Parses a whole decimal int / double; false on anything else.
bool ParseIntArg(const std::string& text, int* value);
bool ParseDoubleArg(const std::string& text, double* value);

// The bundled default resource directory and why it was chosen: the source
// tree's resources/default for a program run from its build tree, else the
// library's VerrinDefaultResourceDir() (beside the installed program or
// library, else the configured install directory) when it exists, else the
// source tree's.
struct ResourceDirChoice {
  std::string dir;
  const char* origin;  // "the source tree of this build" or "installed"
};
ResourceDirChoice ChooseDefaultResourceDir();
std::string DefaultResourceDir();
// The directory --res names: the default set when empty; a bundled set
// beside the default one ("web") when RES is a bare name and no directory
// of that name lies in the working directory; else RES itself.
std::string ResolveResourceDir(const std::string& res);
// The bundled set `name` ("web") beside the default one, whether or not it
// exists.
std::string BundledResourceDir(const std::string& name);
// The bundled default model inside a resource directory ("" when none).
std::string DefaultModelPath(const std::string& resource_dir);

// The status of a command that tagged or read every line: kExitOk, or
// kExitIncomplete with one closing line on standard error when lines had
// clauses left out or bytes invalid in the encoding.
int TaggingStatus(const char* command, int64_t failed_lines, int64_t damaged_lines);

// True when standard error is a terminal (progress lines only then).
bool StderrIsTerminal();

}  // namespace verrin::cli

namespace verrin {
class CMEModel;
}

namespace verrin::cli {

// Saves a trained model to `path`, first leaving out every feature whose
// weight lies within `prune` of 0 when prune > 0 (a line on standard error
// says how many). Prints a failure message and returns false when the file
// cannot be written.
bool SaveTrainedModel(const char* command, CMEModel& model, double prune, const std::string& path);

}  // namespace verrin::cli

#endif  // VERRIN_CLI_COMMAND_H_

class CNEResourceManager;

namespace verrin::cli {

// --res DIR, --model PATH and --protected, shared by the commands that load
// a resource set.
struct ResourceOptions {
  std::string res;
  std::string model;
  bool protected_form = false;
  void AddTo(ArgParser& parser) {
    parser.AddOption("res", &res);
    parser.AddOption("model", &model);
    parser.AddFlag("protected", &protected_form);
  }
};

// Resolves --res/--model/--protected and loads the manager; prints one clear
// line and returns false on failure. Without --model and with
// `use_bundled_model`, DIR/model.txt (or its protected twin) is used when it
// exists.
bool LoadManager(const char* command, std::string res_dir, std::string model_path,
                 bool protected_form, CNEResourceManager& manager, bool use_bundled_model = true);
inline bool LoadManager(const char* command, const ResourceOptions& options,
                        CNEResourceManager& manager, bool use_bundled_model = true) {
  return LoadManager(command, options.res, options.model, options.protected_form, manager,
                     use_bundled_model);
}

}  // namespace verrin::cli
