// CTextLineReader: the one way text files and standard input are read line by line.
//
// Rules, the same for every command and for the file tagger:
//   - LF, CR LF and a lone CR each end a line; the end is not part of the
//     line. A last line without an end is a line; an empty stream has none.
//   - A UTF-8 byte-order mark at the very start of the stream is skipped.
//     In GBK mode it is also reported (the file is most likely UTF-8).
//   - A NUL byte is read as a space, so the text after it is kept; the
//     line's Problem() says how many there were.
//   - Bytes that are not valid in the encoding become replacement characters
//     (never a crash, never a silent shift of the following text); the
//     line's Problem() counts them and suggests the other encoding when the
//     line decodes cleanly in it.
//   - Next hands out whole lines; NextPiece hands out a line in pieces of a
//     bounded size, cut between characters, for lines of any length.
#ifndef VERRIN_TEXT_TEXT_LINE_READER_H_
#define VERRIN_TEXT_TEXT_LINE_READER_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "text/ustring.h"

struct UConverter;

namespace verrin {

enum class CTextEncoding { kUtf8, kGbk };

// Parses "utf-8", "utf8" or "gbk" (any letter case); false on anything else.
bool ParseTextEncoding(const std::string& name, CTextEncoding* encoding);
// "UTF-8" or "GBK".
const char* TextEncodingName(CTextEncoding encoding);

class CTextLineReader {
 public:
  // Reads `file` (not owned, not closed) in `encoding`. Each reader has its
  // own converter, so readers on different threads do not interfere.
  CTextLineReader(std::FILE* file, CTextEncoding encoding);
  ~CTextLineReader();
  CTextLineReader(const CTextLineReader&) = delete;
  CTextLineReader& operator=(const CTextLineReader&) = delete;

  // Reads the next line, decoded and without its end. False at the end of
  // the stream or on a read error (see ReadFailed).
  bool Next(CUString& line);
  // The next line as bytes: NULs turned into spaces, without its end and
  // without a leading byte-order mark, but not decoded (no byte counts as
  // invalid).
  bool NextRaw(std::string& bytes);
  // The next piece of the current line (or the first of the next line): at
  // most about `max_bytes` bytes, decoded, never cutting a character.
  // `line_end` is true for the last piece of a line. The line's counts and
  // Problem() cover its pieces so far; read them when `line_end` is true.
  bool NextPiece(CUString& piece, bool& line_end, size_t max_bytes);

  // Bytes of the stream consumed up to the end of the line last returned.
  int64_t BytesConsumed() const { return consumed_; }
  // 1-based number of the line last returned (0 before the first).
  int64_t LineNumber() const { return line_number_; }
  // What was odd about the line last returned, in one clause such as
  // "4 bytes are not valid UTF-8 and were read as U+FFFD (use --encoding gbk)";
  // "" when nothing was. Invalid bytes come first, then NULs, then a mark.
  std::string Problem() const;
  // True when the line last returned holds bytes that change its meaning
  // (invalid in the encoding); NULs and a byte-order mark are only noted.
  bool LineDamaged() const { return invalid_bytes_ > 0; }

  // True once reading the stream failed; Errno() is the reason.
  bool ReadFailed() const { return read_failed_; }
  int Errno() const { return errno_; }

 private:
  bool Fill();
  // Reads up to `max_bytes` more bytes of the current line into `bytes`.
  bool ReadBytes(std::string& bytes, size_t max_bytes, bool& line_end);
  // Bytes of `bytes` that end between two characters of the encoding.
  size_t CompleteLength(const std::string& bytes) const;
  void DecodePiece(const std::string& bytes, CUString& piece);
  int32_t Decode(const std::string& bytes, CUString& line, CTextEncoding encoding);

  std::FILE* file_;
  CTextEncoding encoding_;
  UConverter* converter_ = nullptr;        // null where ICU is not used
  UConverter* other_converter_ = nullptr;  // the other encoding, for the hint
  std::vector<char> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  bool at_start_ = true;
  bool skip_lf_ = false;
  bool eof_ = false;
  bool read_failed_ = false;
  int errno_ = 0;
  int64_t line_number_ = 0;
  int64_t consumed_ = 0;
  int32_t invalid_bytes_ = 0;
  int32_t nul_bytes_ = 0;
  bool in_line_ = false;        // a piece of the current line was handed out
  bool high_bytes_ = false;     // the line holds a byte from 0x80 on
  bool other_invalid_ = false;  // ... and some of it is invalid in the other encoding
  std::string carry_;           // bytes of a character cut by the piece end
  bool bom_in_gbk_ = false;
  std::string bytes_;
  CUString other_;
};

}  // namespace verrin

#endif  // VERRIN_TEXT_TEXT_LINE_READER_H_
