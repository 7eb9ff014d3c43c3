#include "text/file_system.h"

#include <sys/stat.h>
#include <sys/types.h>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// <windows.h> names its own ReplaceFile as a macro.
#undef ReplaceFile
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>

namespace verrin {

#if defined(_WIN32)

namespace {

std::wstring Decode(const std::string& text, UINT code_page, DWORD flags) {
  if (text.empty()) return std::wstring();
  const int n =
      MultiByteToWideChar(code_page, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(code_page, flags, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

}  // namespace

std::wstring WidePath(const std::string& path) {
  std::wstring wide = Decode(path, CP_UTF8, MB_ERR_INVALID_CHARS);
  if (wide.empty() && !path.empty()) wide = Decode(path, 936, 0);
  return wide;
}

std::string WideToUtf8(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.pop_back();  // the terminator
  return out;
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
  std::wstring wide_mode;
  for (const char* p = mode; *p != 0; ++p) wide_mode.push_back(static_cast<wchar_t>(*p));
  return _wfopen(WidePath(path).c_str(), wide_mode.c_str());
}

bool PathExists(const std::string& path) {
  return GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool MakeDirectory(const std::string& path) {
  return CreateDirectoryW(WidePath(path).c_str(), nullptr) != 0;
}

bool SameFile(const std::string& a, const std::string& b) {
  // Volume serial number and file index identify a file, as device and
  // inode do elsewhere.
  BY_HANDLE_FILE_INFORMATION info[2];
  const std::string* paths[2] = {&a, &b};
  for (int i = 0; i < 2; ++i) {
    HANDLE h = CreateFileW(WidePath(*paths[i]).c_str(), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(h, &info[i]) != 0;
    CloseHandle(h);
    if (!ok) return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
         info[0].nFileIndexLow == info[1].nFileIndexLow;
}

bool IsSpecialFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DEVICE) != 0;
}

std::FILE* CreateUniqueFile(const std::string& prefix, std::string* path) {
  static volatile LONG counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = prefix + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(InterlockedIncrement(&counter));
    const int fd = _wopen(WidePath(name).c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY,
                          _S_IREAD | _S_IWRITE);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return nullptr;
    }
    std::FILE* file = _fdopen(fd, "wb");
    if (file == nullptr) {
      _close(fd);
      _wremove(WidePath(name).c_str());
      return nullptr;
    }
    *path = name;
    return file;
  }
  errno = EEXIST;
  return nullptr;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  if (MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
    return true;
  }
  errno = EACCES;
  return false;
}

bool RemoveFile(const std::string& path) { return _wremove(WidePath(path).c_str()) == 0; }

bool SyncFile(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
  return _commit(_fileno(file)) == 0;
}

// MoveFileEx with MOVEFILE_WRITE_THROUGH already waits for the rename.
void SyncDirectoryOf(const std::string& /*path*/) {}

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

#else

std::FILE* OpenFile(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

bool PathExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectory(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool IsSpecialFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

std::FILE* CreateUniqueFile(const std::string& prefix, std::string* path) {
  std::string pattern = prefix + "XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) return nullptr;
  // mkstemp makes the file private (0600); give it the mode a plain fopen
  // would have given.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) {
    const int error = errno;
    close(fd);
    unlink(pattern.c_str());
    errno = error;
    return nullptr;
  }
  *path = pattern;
  return file;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool SyncFile(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
  return fsync(fileno(file)) == 0;
}

void SyncDirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string(".")
                          : slash == 0               ? "/"
                                                     : path.substr(0, slash);
  const int fd = open(dir.c_str(), O_RDONLY);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

bool StandardErrorIsTerminal() { return isatty(fileno(stderr)) != 0; }

#endif

int64_t FilePosition(std::FILE* file) {
#if defined(_WIN32)
  return _ftelli64(file);
#else
  return ftello(file);
#endif
}

int64_t FileSize(std::FILE* file) {
  const int64_t here = FilePosition(file);
  if (here < 0) return -1;
#if defined(_WIN32)
  const bool ok = _fseeki64(file, 0, SEEK_END) == 0;
  const int64_t size = ok ? _ftelli64(file) : -1;
  _fseeki64(file, here, SEEK_SET);
#else
  const bool ok = fseeko(file, 0, SEEK_END) == 0;
  const int64_t size = ok ? ftello(file) : -1;
  fseeko(file, here, SEEK_SET);
#endif
  return size;
}

}  // namespace verrin
