#include "text/output_file.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <cerrno>
#include <cstring>

#include "text/file_system.h"

namespace verrin {

COutputFile::~COutputFile() { Abandon(); }

void COutputFile::SetError(const char* what, int error_number) {
  if (!error_.empty()) return;
  const std::string name = path_ == "-" ? std::string("standard output") : path_;
  error_ =
      std::string(what) + " " + name + ": " + std::strerror(error_number != 0 ? error_number : EIO);
}

bool COutputFile::Open(const std::string& path, bool append) {
  Abandon();
  path_ = path;
  error_.clear();
  if (path == "-") {
    stream_ = stdout;
    return true;
  }
  if (IsDirectory(path)) {
    SetError("cannot write", EISDIR);
    return false;
  }
  if (append || IsSpecialFile(path)) {
    // A device or a pipe cannot be replaced by a rename, and appending keeps
    // what is there: write in place.
    stream_ = OpenFile(path, append ? "ab" : "wb");
    if (stream_ == nullptr) {
      SetError("cannot open", errno);
      return false;
    }
    return true;
  }
  stream_ = CreateUniqueFile(path + ".tmp-", &temp_path_);
  if (stream_ == nullptr) {
    SetError("cannot create", errno);
    return false;
  }
#if !defined(_WIN32)
  // A file replaced keeps its permissions.
  struct stat st;
  if (stat(path.c_str(), &st) == 0) chmod(temp_path_.c_str(), st.st_mode & 07777);
#endif
  return true;
}

bool COutputFile::Write(const void* data, size_t size) {
  if (stream_ == nullptr) return false;
  if (!error_.empty()) return false;
  if (size == 0) return true;
  errno = 0;
  if (std::fwrite(data, 1, size, stream_) != size) {
    SetError("cannot write", errno);
    return false;
  }
  return true;
}

bool COutputFile::Commit() {
  if (stream_ == nullptr) {
    if (error_.empty()) SetError("cannot write", EBADF);
    return false;
  }
  // A write made straight to the stream left its reason in errno.
  if (std::ferror(stream_) != 0) SetError("cannot write", errno);
  errno = 0;
  if (std::fflush(stream_) != 0 || std::ferror(stream_) != 0) SetError("cannot write", errno);
  if (stream_ == stdout) {
    stream_ = nullptr;
    return error_.empty();
  }
  errno = 0;
  if (std::fclose(stream_) != 0) SetError("cannot write", errno);
  stream_ = nullptr;
  if (!temp_path_.empty()) {
    if (error_.empty() && !ReplaceFile(temp_path_, path_)) {
      SetError("cannot rename the finished file to", errno);
    }
    if (!error_.empty()) RemoveFile(temp_path_);
    temp_path_.clear();
  }
  return error_.empty();
}

void COutputFile::Abandon() {
  if (stream_ != nullptr && stream_ != stdout) std::fclose(stream_);
  stream_ = nullptr;
  if (!temp_path_.empty()) {
    RemoveFile(temp_path_);
    temp_path_.clear();
  }
}

}  // namespace verrin
