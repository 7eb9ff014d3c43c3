// CClauseReader: the lines of a text, handed out in pieces that end at
// clause boundaries, so that a line of any length is tagged in bounded
// memory. The lines come from a CTextLineReader and follow its rules.
//
// Tagging the pieces of a line one after another, each split with
// CNEEngine::SplitSentences, gives exactly the clauses of the whole line:
// a piece ends only where the splitter closes a clause and the next clause
// starts as a line would (not with a delimiter such as "，" that a long
// clause broke before, which opens its clause without closing it), its
// clauses split the same seeing nothing past its end (in a long run without
// delimiters each piece is one clause), and every piece but the last of a
// line is followed by text that is not trimmed away. A line no longer than
// the piece size arrives whole, as one piece, and so does a line without any
// such place to cut within its first piece.
#ifndef VERRIN_ENGINE_CLAUSE_READER_H_
#define VERRIN_ENGINE_CLAUSE_READER_H_

#include <cstdint>
#include <cstdio>
#include <string>

#include "text/text_line_reader.h"
#include "text/ustring.h"

namespace verrin {

class CClauseReader {
 public:
  // What is cut from the ends of a line.
  enum class Trim {
    kLineEnd,    // the line feed and the carriage returns before it
    kWhiteSpace  // white space (tab, line feed, carriage return, space) at both ends
  };
  // Units a piece holds before the reader looks for a clause boundary to
  // end it; a piece is at most this plus one clause long, and as short as
  // one clause in a long run without delimiters.
  static constexpr int32_t kPieceUnits = 1 << 16;

  // Reads the lines of `lines` (not owned); `segmented` is the splitting
  // mode the pieces will be tagged in.
  CClauseReader(CTextLineReader& lines, bool segmented, Trim trim,
                int32_t piece_units = kPieceUnits);

  // The next piece of the current line; `line_end` is true for the last
  // piece of a line. Every line gives at least one piece (empty for a line
  // that is empty after trimming). False at the end of the input. When
  // `line_end` is true, Lines() tells the line's number and problems.
  bool Next(CUString& piece, bool& line_end);
  const CTextLineReader& Lines() const { return lines_; }

 private:
  // Reads up to one chunk of the current line. False when the input had
  // ended before the line began.
  bool ReadChunk();
  bool Trimmed(char16_t unit) const;
  // Where the next piece ends: the last clause boundary within the piece
  // size that is followed by text that stays; 0 when there is none yet.
  size_t CutPosition() const;

  CTextLineReader& lines_;
  bool segmented_;
  Trim trim_;
  size_t piece_units_;
  std::u16string pending_;  // units of the current line from head_ on not handed out yet
  size_t head_ = 0;
  CUString chunk_;
  bool line_read_ = false;     // the current line's end has been read
  bool at_line_start_ = true;  // nothing of the current line handed out
};

}  // namespace verrin

#endif  // VERRIN_ENGINE_CLAUSE_READER_H_
