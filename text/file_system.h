// Files and directories by narrow path, on every platform.
//
// Paths inside Verrin are narrow strings. On POSIX systems they go to the
// system unchanged. On Windows they are UTF-8 and are opened through the wide
// (UTF-16) calls, so that every file name works whatever the system code
// page; a path that is not valid UTF-8 is taken as code page 936 (GBK), the
// encoding hosts of the library have always passed.
#ifndef VERRIN_TEXT_FILE_SYSTEM_H_
#define VERRIN_TEXT_FILE_SYSTEM_H_

#include <cstdint>
#include <cstdio>
#include <string>

namespace verrin {

// fopen with a narrow path (see above); null on failure, with errno set.
std::FILE* OpenFile(const std::string& path, const char* mode);
bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
// Creates one directory (its parent must exist); false when it cannot.
bool MakeDirectory(const std::string& path);
// True when both paths name the same existing file.
bool SameFile(const std::string& a, const std::string& b);
// True when the path exists and is neither a regular file nor a directory
// (a device or a pipe), which cannot be replaced by a rename.
bool IsSpecialFile(const std::string& path);
// Creates a new file of a unique name that starts with `prefix` and opens it
// for writing (binary); null on failure (errno set). `*path` is its name.
std::FILE* CreateUniqueFile(const std::string& prefix, std::string* path);
// Renames `from` over `to`, replacing a file there; false on failure (errno set).
bool ReplaceFile(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);
// Writes what the stream holds and what the system holds of the file to the
// disk (fflush, then fsync); false on failure (errno set).
bool SyncFile(std::FILE* file);
// Asks the system to write the directory that holds `path` to the disk, so
// that a rename into it survives a crash; failures are ignored (some file
// systems cannot).
void SyncDirectoryOf(const std::string& path);
// True when standard error is a terminal (progress is then redrawn in place).
bool StandardErrorIsTerminal();
// The size of an open file and the position in it, in bytes; -1 where the
// stream cannot seek (a pipe). FileSize leaves the position where it was.
int64_t FileSize(std::FILE* file);
int64_t FilePosition(std::FILE* file);

#if defined(_WIN32)
// The UTF-16 form of a narrow path (see above).
std::wstring WidePath(const std::string& path);
// A UTF-16 text as UTF-8 (for the command line's arguments).
std::string WideToUtf8(const wchar_t* text);
#endif

}  // namespace verrin

#endif  // VERRIN_TEXT_FILE_SYSTEM_H_
