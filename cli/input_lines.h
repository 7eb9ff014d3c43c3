// InputLines: how every command reads a text file or standard input.
//
// Wraps CTextLineReader (see text/text_line_reader.h for the rules on line ends,
// byte-order marks, NUL bytes and undecodable bytes) and reports on standard
// error, one line each and prefixed "verrin COMMAND: ", every input line
// whose bytes were odd ("NAME:LINE: what happened"; the first kMaxReported,
// then how many more there were) and any read error with its reason.
#ifndef VERRIN_CLI_INPUT_LINES_H_
#define VERRIN_CLI_INPUT_LINES_H_

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "text/text_line_reader.h"

namespace verrin::cli {

class InputLines {
 public:
  static constexpr int kMaxReported = 10;

  InputLines(const char* command, CTextEncoding encoding);
  ~InputLines();
  InputLines(const InputLines&) = delete;
  InputLines& operator=(const InputLines&) = delete;

  // Opens PATH ("-" or "": standard input). Prints why and returns false
  // when it cannot be opened or is a directory.
  bool Open(const std::string& path);
  // The next line (see CTextLineReader::Next / NextRaw); false at the end or on
  // a read error, which Finish reports.
  bool Next(CUString& line);
  bool NextRaw(std::string& bytes);
  int64_t LineNumber() const { return reader_ ? reader_->LineNumber() : 0; }
  // The path, or "standard input".
  const std::string& Name() const { return name_; }
  // Lines that held bytes invalid in the encoding.
  int64_t DamagedLines() const { return damaged_lines_; }
  // After the last line: reports the problems not yet shown and a read
  // error. False when reading failed (the input was not read to its end).
  bool Finish();

 private:
  void Report();

  const char* command_;
  CTextEncoding encoding_;
  std::FILE* file_ = nullptr;
  std::string name_;
  std::unique_ptr<CTextLineReader> reader_;
  int64_t odd_lines_ = 0;
  int64_t damaged_lines_ = 0;
};

// True when `path` is a file that can be opened for reading; otherwise prints
// "verrin COMMAND: cannot open WHAT PATH: reason" (or that it is a directory)
// and returns false. Commands call it before handing a path to the library,
// whose own messages do not give the reason.
bool CheckReadable(const char* command, const std::string& path, const char* what);

}  // namespace verrin::cli

#endif  // VERRIN_CLI_INPUT_LINES_H_
