// CSpillBuffer: bytes collected in order, in memory up to a limit and past it
// in an anonymous temporary file, so that a text of any size can be held until
// it is complete without its memory growing with it.
#ifndef VERRIN_TEXT_SPILL_BUFFER_H_
#define VERRIN_TEXT_SPILL_BUFFER_H_

#include <cstddef>
#include <cstdio>
#include <string>

#include "text/output_file.h"

namespace verrin {

class CSpillBuffer {
 public:
  static constexpr size_t kDefaultMemoryLimit = size_t{1} << 18;

  // Keeps at most `memory_limit` bytes in memory; past that every byte held
  // moves to a temporary file (in $TMPDIR, else /tmp) that is gone once closed.
  explicit CSpillBuffer(size_t memory_limit = kDefaultMemoryLimit);
  ~CSpillBuffer();
  CSpillBuffer(const CSpillBuffer&) = delete;
  CSpillBuffer& operator=(const CSpillBuffer&) = delete;

  // Adds the bytes after those held. False once the temporary file could not
  // be made or written (Error() says why); nothing is held after a failure.
  bool Append(const char* data, size_t size);
  bool Append(const std::string& bytes) { return Append(bytes.data(), bytes.size()); }
  // Writes every byte held, in order, to `output` and empties the buffer
  // (the temporary file is closed). False when reading the temporary file
  // failed (Error()) or a write to `output` failed (output.Error()).
  bool MoveTo(COutputFile& output);
  // Bytes held.
  size_t Size() const { return size_; }
  // True while the bytes held are in a temporary file.
  bool Spilled() const { return file_ != nullptr; }
  // "temporary file: reason" for the first failure, "" when none.
  const std::string& Error() const { return error_; }

 private:
  bool Spill();
  void Close();
  void Fail(int error_number);

  size_t limit_;
  size_t size_ = 0;
  std::string memory_;
  std::FILE* file_ = nullptr;
  std::string error_;
};

}  // namespace verrin

#endif  // VERRIN_TEXT_SPILL_BUFFER_H_
