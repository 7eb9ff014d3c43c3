#include "text/spill_buffer.h"

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace verrin {

namespace {

// A new file open for reading and writing that no name refers to: it
// disappears when closed, even when the process is killed.
std::FILE* OpenAnonymousFile() {
#if defined(_WIN32)
  return std::tmpfile();
#else
  const char* dir = std::getenv("TMPDIR");
  std::string pattern =
      std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/verrin-spill-XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) return nullptr;
  unlink(pattern.c_str());
  std::FILE* file = fdopen(fd, "w+b");
  if (file == nullptr) {
    const int error = errno;
    close(fd);
    errno = error;
  }
  return file;
#endif
}

}  // namespace

CSpillBuffer::CSpillBuffer(size_t memory_limit) : limit_(memory_limit) {}

CSpillBuffer::~CSpillBuffer() { Close(); }

void CSpillBuffer::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  std::string().swap(memory_);
  size_ = 0;
}

void CSpillBuffer::Fail(int error_number) {
  if (error_.empty()) {
    error_ =
        std::string("temporary file: ") + std::strerror(error_number != 0 ? error_number : EIO);
  }
  Close();
}

bool CSpillBuffer::Spill() {
  errno = 0;
  file_ = OpenAnonymousFile();
  if (file_ == nullptr) {
    Fail(errno);
    return false;
  }
  if (!memory_.empty() && std::fwrite(memory_.data(), 1, memory_.size(), file_) != memory_.size()) {
    Fail(errno);
    return false;
  }
  std::string().swap(memory_);
  return true;
}

bool CSpillBuffer::Append(const char* data, size_t size) {
  if (!error_.empty()) return false;
  if (file_ == nullptr && memory_.size() + size > limit_ && !Spill()) return false;
  if (file_ == nullptr) {
    memory_.append(data, size);
  } else {
    errno = 0;
    if (std::fwrite(data, 1, size, file_) != size) {
      Fail(errno);
      return false;
    }
  }
  size_ += size;
  return true;
}

bool CSpillBuffer::MoveTo(COutputFile& output) {
  if (!error_.empty()) return false;
  bool written = true;
  if (file_ == nullptr) {
    written = output.Write(memory_);
  } else {
    errno = 0;
    if (std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0) {
      Fail(errno);
      return false;
    }
    std::vector<char> chunk(size_t{1} << 16);
    size_t left = size_;
    while (left > 0 && written) {
      const size_t got = std::fread(chunk.data(), 1, std::min(chunk.size(), left), file_);
      if (got == 0) {
        Fail(std::ferror(file_) != 0 ? errno : EIO);
        return false;
      }
      written = output.Write(chunk.data(), got);
      left -= got;
    }
  }
  Close();
  return written;
}

}  // namespace verrin
