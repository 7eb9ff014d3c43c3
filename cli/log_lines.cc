#include "cli/log_lines.h"

#include <unistd.h>
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include <cerrno>
#include <cstdio>
#include <string>

namespace verrin::cli {
namespace {

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

int MakePipe(int fds[2]) {
#if defined(_WIN32)
  return _pipe(fds, 4096, _O_BINARY);
#else
  return pipe(fds);
#endif
}

}  // namespace

CLogLines::CLogLines() {
  if (isatty(STDERR_FILENO) != 0) return;
  int fds[2];
  if (MakePipe(fds) != 0) return;
  std::fflush(stderr);
  saved_stderr_ = dup(STDERR_FILENO);
  if (saved_stderr_ < 0 || dup2(fds[1], STDERR_FILENO) < 0) {
    if (saved_stderr_ >= 0) close(saved_stderr_);
    saved_stderr_ = -1;
    close(fds[0]);
    close(fds[1]);
    return;
  }
  close(fds[1]);
  const int in = fds[0], out = saved_stderr_;
  copier_ = std::thread([in, out] {
    char buffer[4096];
    bool pending_return = false;
    for (;;) {
      const ssize_t n = read(in, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      std::string text;
      for (ssize_t i = 0; i < n; ++i) {
        const char c = buffer[i];
        if (pending_return && c != '\n') text.push_back('\n');
        pending_return = c == '\r';
        if (!pending_return) text.push_back(c);
      }
      WriteAll(out, text.data(), text.size());
    }
    if (pending_return) WriteAll(out, "\n", 1);
    close(in);
  });
}

CLogLines::~CLogLines() {
  if (saved_stderr_ < 0) return;
  std::fflush(stderr);
  // Pointing standard error back closes the pipe's last write end, so the
  // copier sees the end and finishes.
  dup2(saved_stderr_, STDERR_FILENO);
  copier_.join();
  close(saved_stderr_);
}

}  // namespace verrin::cli
