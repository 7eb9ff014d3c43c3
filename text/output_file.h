// COutputFile: a file being written is never passed off as complete.
//
// A regular file (or a new one) is written under a temporary name in the
// same directory ("PATH.tmp-XXXXXX") and renamed over PATH only by Commit,
// once every write, the flush, the fsync and the close have succeeded; a
// failed or abandoned file is removed and PATH is left as it was. When PATH
// is a symbolic link (or a chain of them), the file it points to is the one
// replaced, with its temporary beside it, and the link stays a link.
// Standard output ("-"), special files such as devices and pipes, and files
// opened to be appended to are written in place: there a failure is still
// reported, but what was written stays written.
//
// Temporary files not yet committed are listed for
// RemoveTemporaryFilesOnSignals: a program that installs it leaves none
// behind when SIGINT, SIGTERM or SIGHUP ends it. Nothing can remove them
// after SIGKILL (or a crash): a "PATH.tmp-XXXXXX" then stays beside PATH,
// which itself is left as it was.
#ifndef VERRIN_TEXT_OUTPUT_FILE_H_
#define VERRIN_TEXT_OUTPUT_FILE_H_

#include <cstddef>
#include <cstdio>
#include <string>

namespace verrin {

class COutputFile {
 public:
  COutputFile() = default;
  // Removes an uncommitted temporary file.
  ~COutputFile();
  COutputFile(const COutputFile&) = delete;
  COutputFile& operator=(const COutputFile&) = delete;

  // Opens PATH ("-": standard output) for writing, or for appending to what
  // it holds. False with Error() set when it cannot be made (or PATH is a
  // directory).
  bool Open(const std::string& path, bool append = false);
  // The stream to write to (null before Open). Writes made directly to it
  // are checked by Commit through the stream's error flag.
  std::FILE* Stream() const { return stream_; }
  // Writes the bytes; false once any write has failed (the first reason is kept).
  bool Write(const void* data, size_t size);
  bool Write(const std::string& bytes) { return Write(bytes.data(), bytes.size()); }
  // Flushes, closes and renames the temporary file to PATH. False with
  // Error() set when anything failed since Open; the temporary is removed.
  bool Commit();
  // Drops what was written (removes the temporary file).
  void Abandon();
  // True when no write has failed so far.
  bool Good() const { return error_.empty(); }
  // "cannot write PATH: reason" for the first failure, "" when none.
  const std::string& Error() const { return error_; }
  const std::string& Path() const { return path_; }

 private:
  void SetError(const char* what, int error_number);

  std::string path_;
  std::string target_;     // the file replaced: PATH with its links followed
  std::string temp_path_;  // empty when written in place
  int temp_slot_ = -1;     // its entry in the list of temporary files
  std::FILE* stream_ = nullptr;
  std::string error_;
};

// Installs handlers for SIGINT, SIGTERM and SIGHUP (each unless it is
// ignored) that remove the uncommitted temporary files of every COutputFile
// and then end the process by the same signal. For programs, not libraries:
// it replaces the handlers the process had.
void RemoveTemporaryFilesOnSignals();

}  // namespace verrin

#endif  // VERRIN_TEXT_OUTPUT_FILE_H_
