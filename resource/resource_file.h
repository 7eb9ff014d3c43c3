// Reading the lines of a resource file (lexicons, person-name flags, the
// character label table) in its plain or protected form, with the checks
// every such file shares.
#ifndef VERRIN_RESOURCE_RESOURCE_FILE_H_
#define VERRIN_RESOURCE_RESOURCE_FILE_H_

#include <cstdint>
#include <functional>
#include <string>

#include "text/ustring.h"

namespace verrin {

// How reading a resource file ended.
struct ResourceFileRead {
  std::string path;     // the file read
  int open_errno = 0;   // not 0: the file could not be opened (errno)
  std::string problem;  // not empty: why reading stopped ("line N: ...", or the file's damage)

  bool Ok() const { return open_errno == 0 && problem.empty(); }
  // "cannot open PATH: REASON" or "PATH: PROBLEM"; "" when Ok().
  std::string Message() const;
};

// Hands every line of the file at `path` to `on_line` with its number (from
// 1). The plain form is read as GBK text (lines keep their line feed); the
// protected form is deciphered and cut at line feeds up to its zero padding
// (a damaged or cut protected file is a problem before any line is handed
// over). `on_line` returns "" to go on, or why the line cannot be read:
// reading stops there and `problem` is "line N: " and that reason.
ResourceFileRead ReadResourceFile(
    const std::string& path, bool protected_form,
    const std::function<std::string(const CUString& line, int64_t number)>& on_line);

// Why the bytes of a decoded line cannot be text, or "": a NUL byte, or
// bytes that are not valid GBK (decoded as U+FFFD).
std::string LineBytesProblem(const CUString& line);

// Reads exactly a decimal number from `min` to `max` (digits only, no sign
// unless `min` is negative, no leading zero) from text[0 .. length);
// false for anything else, "1x", "01", "nan" and numbers out of range among
// them.
bool ParseExactInt(const char16_t* text, int32_t length, int64_t min, int64_t max, int64_t* value);

// The text of a field for a message: at most 40 units, as UTF-8.
std::string FieldForMessage(const char16_t* text, int32_t length);

}  // namespace verrin

#endif  // VERRIN_RESOURCE_RESOURCE_FILE_H_
