// Buffered whole-line reading of GBK text files for the model and event readers.
#ifndef VERRIN_MAXENT_ME_LINE_READER_H_
#define VERRIN_MAXENT_ME_LINE_READER_H_

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace verrin {

// Hands out the lines of an open stdio file exactly as ReadNarrowLine does
// (each with its line feed when it has one, the last one also without), but
// reads in large blocks and converts into reused buffers. Lines of any length
// arrive whole.
class CLineReader {
 public:
  // Reads in blocks of `block_size` bytes (1 MB unless given).
  explicit CLineReader(std::FILE* file, size_t block_size = size_t{1} << 20);

  // Next line as raw bytes; false at end of file. Valid until the next call.
  bool NextBytes(const char** bytes, size_t* length);
  // Next line converted from GBK (ASCII-only lines are widened directly).
  // Valid until the next call.
  bool NextLine(const char16_t** units, size_t* length);

 private:
  bool Fill();

  std::FILE* file_;
  std::vector<char> block_;
  size_t begin_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
  std::string carry_;  // a line that spans blocks
  std::vector<char16_t> units_;
};

// GBK bytes -> UTF-16 into `out` (resized to the result); ASCII is widened
// without the converter.
void DecodeGbkInto(const char* bytes, size_t length, std::vector<char16_t>& out);

}  // namespace verrin

#endif  // VERRIN_MAXENT_ME_LINE_READER_H_
