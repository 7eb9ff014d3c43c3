// Code-page conversion and narrow-file helpers.
//
// Every narrow (8-bit) text that enters or leaves Verrin - resource files,
// models, event files, tagged files - is GBK and passes through
// the GBK converter of a CCodePageSet. A set holds five converters, numbered
// 0 (system default), 1 "ISO8859-1", 2 "GBK", 3 "Big5", 4 "UTF-8".
//
// Two back ends: ICU converters (code_page_icu.cc) and, on Windows, the
// system's own code pages 936, 28591, 950 and 65001 (code_page_win.cc), so
// that the Windows library needs no ICU.
//
// ICU converters are stateful, so every thread has a set of its own: it is
// created by the thread's first conversion and lives until the thread ends
// (or until that thread calls Release). Conversions on different threads
// never share a converter, and no thread can close another thread's set.
#ifndef VERRIN_TEXT_CODE_PAGE_H_
#define VERRIN_TEXT_CODE_PAGE_H_

#include <cstdint>
#include <cstdio>
#include <string>

#include "text/ustring.h"

namespace verrin {

// Code page of every text file Verrin writes.
inline constexpr char kTextFileCodePage[] = "GBK";

class CCodePageSet {
 public:
  enum : int { kDefault = 0, kIso8859_1 = 1, kGbk = 2, kBig5 = 3, kUtf8 = 4, kCount = 5 };

  // The calling thread's set, created on its first request.
  static CCodePageSet& Get();
  // Closes the calling thread's converters and forgets its set; the next
  // Get() on this thread builds a new one. References obtained from Get() on
  // this thread become invalid; other threads' sets are untouched.
  static void Release();
  // True while the calling thread has a set.
  static bool Exists();

  // Converts `length` bytes (-1: NUL-terminated) into at most `capacity`
  // units at `dest`, writes a NUL after them and returns the unit count.
  // `dest` must hold capacity + 1 units.
  int32_t ToUnicode(int code_page, const char* text, int32_t length, char16_t* dest,
                    int32_t capacity);
  // Converts UTF-16 (`length` -1: NUL-terminated) into at most capacity - 1
  // bytes plus a terminating 0; longer output is cut there. Returns the byte count.
  int32_t FromUnicode(int code_page, const char16_t* text, int32_t length, char* dest,
                      int32_t capacity);

  // Whole-text conversions into growable storage; nothing is cut.
  CUString Decode(int code_page, const char* bytes, size_t length);
  std::string Encode(int code_page, const char16_t* text, int32_t length);

 private:
  struct ThreadSlot;
  static ThreadSlot& Slot();
  CCodePageSet();
  ~CCodePageSet();
  CCodePageSet(const CCodePageSet&) = delete;
  CCodePageSet& operator=(const CCodePageSet&) = delete;

  void* converters_[kCount] = {};  // back-end handles (ICU converters, code page ids)
};

// GBK bytes -> UTF-16, whole.
CUString FromGbk(const std::string& bytes);
CUString FromGbk(const char* bytes);
// UTF-16 -> GBK bytes, whole (unmappable units become the converter's substitute).
std::string ToGbk(const CUString& text);
std::string ToGbk(const char16_t* text, int32_t length = -1);

// UTF-8 <-> UTF-16, whole, for the command line (which speaks UTF-8 by
// default), the C API and the service. They convert with the calling thread's
// set, so any number of threads may convert at once. Bytes that are not UTF-8
// become U+FFFD; an unpaired surrogate is written as U+FFFD.
CUString FromUtf8(const std::string& bytes);
std::string ToUtf8(const CUString& text);
std::string ToUtf8(const char16_t* text, int32_t length = -1);
// True when `bytes` is well-formed UTF-8: shortest forms only, no surrogate
// code points, nothing above U+10FFFF. Uses no converter.
bool IsValidUtf8(const char* bytes, size_t length);
inline bool IsValidUtf8(const std::string& bytes) {
  return IsValidUtf8(bytes.data(), bytes.size());
}

// A file written from UTF-16 text as GBK bytes. Line ends are written as
// given ("\n"), on every platform, so files are the same everywhere. A file
// opened with "w" is written under a temporary name and appears under its
// own name only when CloseTextFile succeeds (see COutputFile).
class CTextFile;

// Opens a text file for writing ("w") or appending ("a"); null on failure.
// The path is a byte string handed to the system as given (see
// text/file_system.h); file names never pass through a code page.
CTextFile* OpenTextFile(const char* narrow_path, const char* mode);
// Writes what is pending and closes; false when any byte could not be written,
// with the reason ("cannot write PATH: No space left on device") in `error`.
// Null is accepted (and gives false).
bool CloseTextFile(CTextFile* file, std::string* error = nullptr);
// Closes without keeping anything: a file opened with "w" does not appear.
void DiscardTextFile(CTextFile* file);
// Writes text exactly as it is (no format interpretation).
void WriteText(CTextFile* file, const char16_t* text, int32_t length = -1);
// Case-insensitive comparison with default case folding, in code-unit order.
int UStrCaseCompare(const char16_t* a, const char16_t* b);

// Reads one whole line (its line feed kept, if any) and converts it from GBK.
// Returns false at end of file. Lines of any length arrive whole.
bool ReadNarrowLine(FILE* file, CUString& line);
// Reads one whole line of raw bytes (line feed kept). False at end of file.
bool ReadRawLine(FILE* file, std::string& line);

// Writes the GBK form of a UTF-16 text to a stdio file as bytes.
void WriteNarrowText(FILE* file, const CUString& text);

// atoi of the GBK form of the text: leading white space skipped, optional
// sign, digits up to the first non-digit; 0 when none. Independent of locale.
int ParseNarrowInt(const char16_t* text);
// atoi/atof over narrow text, independent of the process locale.
int ParseInt(const char* text);
double ParseDouble(const char* text);
// strtod over narrow text, independent of the process locale: `*end` is
// where the number ends, errno is ERANGE when it is out of range.
double ParseDouble(const char* text, char** end);

// Decimal text of an int ("%d").
CUString DecimalText(int value);

}  // namespace verrin

#endif  // VERRIN_TEXT_CODE_PAGE_H_
