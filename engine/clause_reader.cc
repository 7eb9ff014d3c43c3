#include "engine/clause_reader.h"

#include <algorithm>

#include "engine/ne_engine.h"
#include "text/char_class.h"

namespace verrin {
namespace {

// Bytes read at a time; a line shorter than this is read in one go.
constexpr size_t kChunkBytes = 1 << 16;

}  // namespace

CClauseReader::CClauseReader(CTextLineReader& lines, bool segmented, Trim trim, int32_t piece_units)
    : lines_(lines),
      segmented_(segmented),
      trim_(trim),
      piece_units_(static_cast<size_t>(std::max(piece_units, 1))) {}

bool CClauseReader::Trimmed(char16_t unit) const {
  return trim_ == Trim::kWhiteSpace ? IsWhiteSpace(unit) : unit == u'\n' || unit == u'\r';
}

bool CClauseReader::ReadChunk() {
  if (!lines_.NextPiece(chunk_, line_read_, kChunkBytes)) return false;
  pending_.erase(0, head_);
  head_ = 0;
  pending_.append(chunk_.c_str(), static_cast<size_t>(chunk_.Length()));
  return true;
}

size_t CClauseReader::CutPosition() const {
  const char16_t* units = pending_.data() + head_;
  const size_t size = pending_.size() - head_;
  // The piece must be followed by a unit that trimming keeps, or text that
  // the whole line would lose at its end could end up inside a piece.
  size_t last_kept = size;
  while (last_kept > 0 && Trimmed(units[last_kept - 1])) --last_kept;
  if (last_kept == 0) return 0;
  --last_kept;
  // A piece is split on its own, seeing nothing past its end. A clause the
  // splitter closed from the units up to its end is split the same way in
  // the piece; a piece of a long run (closed by looking kMaxClauseUnits units
  // ahead) only when it is the piece's last clause or the piece goes on for
  // the whole look-ahead. In a long run that makes every clause a piece.
  // A piece split on its own starts afresh, so it never starts with a
  // delimiter that a long clause broke before (that unit opens a clause
  // without closing it, which the piece's own split would not know).
  constexpr size_t kLookAhead = CNEEngine::kMaxClauseUnits + 1;
  size_t cut = 0;
  bool ahead = false;       // some clause before the last one needs the look-ahead
  size_t ahead_start = 0;   // where the latest such clause starts
  bool last_ahead = false;  // the last clause needs it
  size_t last_start = 0;
  bool opened_by_break = false;
  for (size_t position = 0; position < size && position < piece_units_;) {
    const int32_t length = static_cast<int32_t>(size - position);
    const bool opened = opened_by_break;
    const int32_t n =
        CNEEngine::ClauseLength(units + position, length, segmented_, opened, &opened_by_break);
    if (n <= 0) break;
    if (last_ahead) {
      ahead = true;
      ahead_start = last_start;
    }
    last_start = position;
    last_ahead =
        CNEEngine::ClauseLength(units + position, std::min(n + 1, length), segmented_, opened) != n;
    position += static_cast<size_t>(n);
    if (position > last_kept) break;
    if (ahead && position - ahead_start < kLookAhead) break;
    if (opened_by_break && IsSentenceDelimiter(units[position])) continue;
    cut = position;
  }
  return cut;
}

bool CClauseReader::Next(CUString& piece, bool& line_end) {
  for (;;) {
    if (at_line_start_ && trim_ == Trim::kWhiteSpace) {
      while (head_ < pending_.size() && IsWhiteSpace(pending_[head_])) ++head_;
    }
    if (line_read_) {
      size_t end = pending_.size();
      while (end > head_ && Trimmed(pending_[end - 1])) --end;
      piece.Assign(pending_.data() + head_, static_cast<int32_t>(end - head_));
      pending_.clear();
      head_ = 0;
      line_end = true;
      line_read_ = false;
      at_line_start_ = true;
      return true;
    }
    if (pending_.size() - head_ >= piece_units_) {
      const size_t cut = CutPosition();
      if (cut > 0) {
        piece.Assign(pending_.data() + head_, static_cast<int32_t>(cut));
        head_ += cut;
        line_end = false;
        at_line_start_ = false;
        return true;
      }
    }
    if (!ReadChunk()) return false;
  }
}

}  // namespace verrin
