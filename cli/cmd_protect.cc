// verrin protect / unprotect: write and read back protected resource files.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/command.h"
#include "cli/input_lines.h"
#include "io/protected_file.h"
#include "text/file_system.h"
#include "text/output_file.h"

namespace verrin::cli {
namespace {

constexpr char kProtectUsage[] =
    "Usage: verrin protect IN OUT\n"
    "\n"
    "Enciphers the plain resource file IN (any text: a lexicon, PeInfo, the\n"
    "character label table or a model) into the protected file OUT, the form\n"
    "read when resources are loaded with the protected flag. By convention OUT\n"
    "is named like IN with its last \"txt\" replaced by \"des\".\n"
    "\n"
    "The key is fixed and built into every copy of verrin, so anyone with\n"
    "'verrin unprotect' or the library recovers the plain file: the format hides\n"
    "files from casual reading and is not access control or encryption.\n";

constexpr char kUnprotectUsage[] =
    "Usage: verrin unprotect IN OUT\n"
    "\n"
    "Deciphers the protected resource file IN and writes its plain text to OUT\n"
    "(the zero padding of the last chunk is dropped). The key is fixed and\n"
    "built into every copy of verrin: protected files are hidden from casual\n"
    "reading, not secured.\n";

int RunCipher(const char* name, bool encipher, int argc, char** argv) {
  ArgParser parser;
  std::string error;
  if (!parser.Parse(argc, argv, &error)) return UsageError(name, error);
  if (parser.Positional().size() != 2) return UsageError(name, "expected IN and OUT");
  const std::string& in_path = parser.Positional()[0];
  const std::string& out_path = parser.Positional()[1];
  if (SameFile(in_path, out_path)) return Fail(name, "IN and OUT are the same file");
  if (!CheckReadable(name, in_path, "")) return kExitFailure;

  std::FILE* in = OpenFile(in_path, "rb");
  if (in == nullptr) return Fail(name, "cannot open " + in_path + ": " + std::strerror(errno));
  COutputFile out;
  if (!out.Open(out_path)) {
    std::fclose(in);
    return Fail(name, out.Error());
  }
  const bool ok = encipher ? EncipherFile(in, out.Stream(), kProtectedKey)
                           : DecipherFile(in, out.Stream(), kProtectedKey);
  const bool read_failed = std::ferror(in) != 0;
  std::fclose(in);
  // A half-written file must not pass for a good one: it is never renamed.
  if (read_failed) return Fail(name, "error reading " + in_path);
  if (!out.Commit()) return Fail(name, out.Error());
  if (!ok) return Fail(name, "failed while writing " + out_path);
  return kExitOk;
}

int RunProtect(int argc, char** argv) { return RunCipher("protect", true, argc, argv); }
int RunUnprotect(int argc, char** argv) { return RunCipher("unprotect", false, argc, argv); }

}  // namespace

VERRIN_COMMAND(protect, "protect",
               "scramble a resource file into its protected form (not encryption)", kProtectUsage,
               RunProtect);
VERRIN_COMMAND(unprotect, "unprotect", "decipher a protected resource file", kUnprotectUsage,
               RunUnprotect);

}  // namespace verrin::cli
