#include "text/output_file.h"

#if !defined(_WIN32)
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "text/file_system.h"

namespace verrin {
namespace {

// Temporary files not yet committed, readable from a signal handler: fixed
// slots that are never freed, each claimed by one file at a time.
constexpr int kTempSlots = 32;
constexpr size_t kTempPathBytes = 4096;
struct TempSlot {
  std::atomic<bool> claimed{false};
  std::atomic<bool> ready{false};
  char path[kTempPathBytes];
};
TempSlot g_temp_slots[kTempSlots];

int ListTemporary(const std::string& path) {
  if (path.size() >= kTempPathBytes) return -1;
  for (int i = 0; i < kTempSlots; ++i) {
    bool expected = false;
    if (!g_temp_slots[i].claimed.compare_exchange_strong(expected, true)) continue;
    std::memcpy(g_temp_slots[i].path, path.c_str(), path.size() + 1);
    g_temp_slots[i].ready.store(true);
    return i;
  }
  return -1;
}

void UnlistTemporary(int slot) {
  if (slot < 0) return;
  g_temp_slots[slot].ready.store(false);
  g_temp_slots[slot].claimed.store(false);
}

#if !defined(_WIN32)
// The file a path names once its symbolic links are followed (the path
// itself when it is no link; the last name of a chain whose end does not
// exist yet, so that writing creates it, as writing through the link would).
std::string FollowLinks(const std::string& path) {
  std::string current = path;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st;
    if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    const ssize_t n = readlink(current.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<size_t>(n) >= target.size()) return current;
    target.resize(static_cast<size_t>(n));
    if (!target.empty() && target[0] != '/') {
      const size_t slash = current.rfind('/');
      if (slash != std::string::npos) target = current.substr(0, slash + 1) + target;
    }
    current = target;
  }
  return current;
}

extern "C" void RemoveTemporariesAndExit(int signal_number) {
  for (TempSlot& slot : g_temp_slots) {
    if (slot.ready.load()) unlink(slot.path);
  }
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}
#endif

}  // namespace

void RemoveTemporaryFilesOnSignals() {
#if !defined(_WIN32)
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old_action;
    if (sigaction(signal_number, nullptr, &old_action) != 0) continue;
    if (old_action.sa_handler == SIG_IGN) continue;  // nohup, background jobs
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = RemoveTemporariesAndExit;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
  }
#endif
}

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
#if !defined(_WIN32)
  target_ = FollowLinks(path);
#else
  target_ = path;
#endif
  stream_ = CreateUniqueFile(target_ + ".tmp-", &temp_path_);
  if (stream_ == nullptr) {
    SetError("cannot create", errno);
    return false;
  }
  temp_slot_ = ListTemporary(temp_path_);
#if !defined(_WIN32)
  // A file replaced keeps its permissions.
  struct stat st;
  if (stat(target_.c_str(), &st) == 0) chmod(temp_path_.c_str(), st.st_mode & 07777);
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
  // The bytes reach the disk before the name does: after a crash PATH holds
  // either the old file or the whole new one.
  if (!temp_path_.empty() && error_.empty() && !SyncFile(stream_)) SetError("cannot write", errno);
  errno = 0;
  if (std::fclose(stream_) != 0) SetError("cannot write", errno);
  stream_ = nullptr;
  if (!temp_path_.empty()) {
    if (error_.empty() && !ReplaceFile(temp_path_, target_)) {
      SetError("cannot rename the finished file to", errno);
    }
    if (!error_.empty()) {
      RemoveFile(temp_path_);
    } else {
      SyncDirectoryOf(target_);
    }
    UnlistTemporary(temp_slot_);
    temp_slot_ = -1;
    temp_path_.clear();
  }
  return error_.empty();
}

void COutputFile::Abandon() {
  if (stream_ != nullptr && stream_ != stdout) std::fclose(stream_);
  stream_ = nullptr;
  if (!temp_path_.empty()) {
    RemoveFile(temp_path_);
    UnlistTemporary(temp_slot_);
    temp_slot_ = -1;
    temp_path_.clear();
  }
}

}  // namespace verrin
